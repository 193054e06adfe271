function state = simulink_standin(command, varargin)
% The state behind the Simulink stand-ins: the loaded systems, each a
% struct of its kind, blocks, parameters and lines, and what was saved,
% opened and simulated. simulink_standin('reset') starts afresh.
global SIMULINK
if nargin > 0 && strcmp(command, 'reset')
    SIMULINK = struct('systems', {containers.Map()}, 'masks', {{}}, 'saved', {{}}, 'opened', {{}}, ...
        'simulated', {{}});
end
state = SIMULINK;
end
