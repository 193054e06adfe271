function load_system(what)
% Stand-in: loads a system by name (its .slx on the path) or by file.
global SIMULINK
[~, name, extension] = fileparts(what);
if isKey(SIMULINK.systems, name)
    return
end
file = what;
if isempty(extension)
    file = file_in_loadpath([name '.slx']);
end
if isempty(file) || ~exist(file, 'file')
    error('standin:notFound', 'There is no system named ''%s''', what);
end
contents = load('-mat', file);
SIMULINK.systems(name) = contents.system;
end
