function sim(name)
% Stand-in: simulates a loaded model whose every input port is connected.
global SIMULINK
if ~isKey(SIMULINK.systems, name)
    standin_fail('no system ''%s'' is loaded', name);
end
SIMULINK.simulated{end + 1} = name;
end
