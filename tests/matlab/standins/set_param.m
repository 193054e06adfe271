function set_param(path, varargin)
% Stand-in: only the parameters the documentation gives for each kind of
% block or system the package uses, each value text (Position numbers).
global SIMULINK STANDIN
if mod(numel(varargin), 2) ~= 0
    standin_fail('set_param takes name-value pairs');
end
cut = find(path == '/', 1);
if isempty(cut)
    system = path;
    if ~isKey(SIMULINK.systems, system)
        standin_fail('no system ''%s'' is loaded', system);
    end
    model = SIMULINK.systems(system);
    allowed = {'EnableLBRepository', 'Lock', 'StartTime', 'StopTime', 'EnablePacing', 'PacingRate', 'SolverType', ...
        'Solver', 'FixedStep'};
    if strcmp(varargin{1}, 'EnableLBRepository') && isfield(STANDIN, 'noLibraryBrowserRepository') && ...
            STANDIN.noLibraryBrowserRepository
        error('standin:parameter', '%s has no parameter EnableLBRepository in this release', path);
    end
    for k = 1:2:numel(varargin)
        check(varargin{k}, varargin{k + 1}, allowed, path);
        model.params.(varargin{k}) = varargin{k + 1};
    end
    SIMULINK.systems(system) = model;
    return
end
system = path(1:cut - 1);
name = path(cut + 1:end);
if ~isKey(SIMULINK.systems, system)
    standin_fail('no system ''%s'' is loaded', system);
end
model = SIMULINK.systems(system);
index = find(strcmp({model.blocks.name}, name));
if isempty(index)
    standin_fail('no block ''%s''', path);
end
switch model.blocks(index).kind
    case 'simulink/User-Defined Functions/S-Function'
        allowed = {'FunctionName', 'Parameters', 'Position'};
    case 'simulink/Sources/From Workspace'
        allowed = {'VariableName', 'SampleTime', 'Position'};
    case 'simulink/Signal Routing/Demux'
        allowed = {'Outputs', 'Position'};
    case 'simulink/Signal Routing/Mux'
        allowed = {'Inputs', 'Position'};
    case 'simulink/Sources/Constant'
        allowed = {'Value', 'Position'};
    case 'simulink/Sinks/Terminator'
        allowed = {'Position'};
    case 'simulink/Math Operations/Gain'
        allowed = {'Gain', 'Position'};
    case {'simulink/Math Operations/Sum', 'simulink/Math Operations/Product'}
        allowed = {'Inputs', 'Position'};
    case 'simulink/Math Operations/Trigonometric Function'
        allowed = {'Operator', 'Position'};
    case 'simulink/Continuous/Integrator'
        allowed = {'InitialCondition', 'LimitOutput', 'UpperSaturationLimit', 'LowerSaturationLimit', 'Position'};
end
for k = 1:2:numel(varargin)
    check(varargin{k}, varargin{k + 1}, allowed, path);
    if any(strcmp(varargin{k}, {'FunctionName', 'Parameters'})) && strcmp(model.kind, 'Library')
        needMask(model.blocks(index), varargin{k}, varargin{k + 1}, path);
    end
    model.blocks(index).params.(varargin{k}) = varargin{k + 1};
end
SIMULINK.systems(system) = model;
end

function check(name, value, allowed, path)
if ~any(strcmp(name, allowed))
    standin_fail('%s has no parameter ''%s''', path, name);
end
if strcmp(name, 'Position')
    if ~isnumeric(value) || numel(value) ~= 4
        standin_fail('Position takes four numbers');
    end
elseif ~ischar(value)
    standin_fail('the value of %s must be text', name);
end
end

function needMask(block, name, value, path)
% A library's S-Function is masked before it names its S-function and the
% mask variables it passes, so that every name it refers to exists.
if ~isobject(block.mask)
    standin_fail('%s: %s set before the block''s mask exists', path, name);
end
if strcmp(name, 'Parameters')
    names = regexp(value, '[A-Za-z]\w*', 'match');
    known = {block.mask.Parameters.Name};
    for k = 1:numel(names)
        if ~any(strcmp(names{k}, known))
            standin_fail('%s: Parameters names ''%s'', which is no mask variable', path, names{k});
        end
    end
end
end
