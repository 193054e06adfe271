function open_system(name)
% Stand-in: opens a loaded system.
global SIMULINK
if ~isKey(SIMULINK.systems, name)
    standin_fail('no system ''%s'' is loaded', name);
end
SIMULINK.opened{end + 1} = name;
end
