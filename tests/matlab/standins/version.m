function text = version(varargin)
% Stand-in: the MATLAB release the test sets (version('-release'), e.g.
% '2024b'), and Octave's own version otherwise.
global STANDIN
if nargin == 1 && strcmp(varargin{1}, '-release')
    text = '2024b';
    if isstruct(STANDIN) && isfield(STANDIN, 'release')
        text = STANDIN.release;
    end
else
    text = OCTAVE_VERSION;
end
end
