function close_system(name, saveChanges)
% Stand-in: closes a loaded system without saving (the package passes 0).
global SIMULINK
if nargin < 2 || ~isequal(saveChanges, 0)
    standin_fail('close_system(name, 0) is the form the package uses');
end
if ~isKey(SIMULINK.systems, name)
    error('standin:notLoaded', 'Invalid Simulink object name: %s', name);
end
remove(SIMULINK.systems, name);
end
