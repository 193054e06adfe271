function value = get_param(system, name)
% Stand-in: a loaded system's parameter; 'ModelWorkspace' gives its model workspace.
global SIMULINK
if ~isKey(SIMULINK.systems, system)
    standin_fail('no system ''%s'' is loaded', system);
end
if strcmp(name, 'ModelWorkspace')
    value = Simulink.ModelWorkspace(system);
    return
end
model = SIMULINK.systems(system);
if ~isfield(model.params, name)
    standin_fail('%s has no parameter ''%s''', system, name);
end
value = model.params.(name);
end
