function name = new_system(name, kind)
% Stand-in: a model, or with 'Library' a library, loaded and empty.
global SIMULINK
if nargin < 2
    kind = 'Model';
end
if ~any(strcmp(kind, {'Model', 'Library'}))
    standin_fail('new_system has no kind ''%s''', kind);
end
if ~isvarname(name)
    standin_fail('''%s'' is not a system name', name);
end
if isKey(SIMULINK.systems, name)
    error('standin:loaded', 'A system named ''%s'' is already loaded', name);
end
SIMULINK.systems(name) = struct('kind', kind, 'blocks', {struct('name', {}, 'kind', {}, 'source', {}, 'params', {}, 'mask', {})}, ...
    'params', struct('EnableLBRepository', 'off', 'Lock', 'off', 'StopTime', '10.0', 'EnablePacing', 'off', ...
    'PacingRate', '1'), 'lines', {cell(0, 2)}, 'workspace', struct());
end
