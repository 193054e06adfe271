function answer = exist(varargin)
% Stand-in: Octave's own exist, but for the two questions build_orvalink
% asks of the system it runs on, which the test answers.
global STANDIN
if numel(varargin) == 2 && strcmp(varargin{1}, 'OCTAVE_VERSION') && strcmp(varargin{2}, 'builtin')
    answer = 5 * STANDIN.octave;
elseif numel(varargin) == 1 && strcmp(varargin{1}, 'new_system')
    answer = 2 * STANDIN.simulink;
else
    answer = builtin('exist', varargin{:});
end
end
