function save_system(name, file)
% Stand-in: writes the loaded system, masks and model workspace included,
% to FILE (.slx from R2012a on, or .mdl).
global SIMULINK
if ~isKey(SIMULINK.systems, name)
    standin_fail('no system ''%s'' is loaded', name);
end
[~, base, extension] = fileparts(file);
if ~any(strcmp(extension, {'.slx', '.mdl'})) || ~strcmp(base, name)
    standin_fail('save_system(''%s'', ''%s''): the file is the system''s name with .slx or .mdl', name, file);
end
ordered = sort({'2012a', version('-release')});
if strcmp(extension, '.slx') && ~strcmp(ordered{1}, '2012a')
    standin_fail('R%s cannot save SLX, which came in R2012a', version('-release'));
end
system = SIMULINK.systems(name);
for k = 1:numel(system.blocks)
    if isobject(system.blocks(k).mask)
        system.blocks(k).mask = system.blocks(k).mask.contents();
    end
end
save('-mat', file, 'system');
if strcmp(system.kind, 'Library')
    system.params.Lock = 'on';  % a saved library is locked
end
SIMULINK.systems(name) = system;
SIMULINK.saved{end + 1} = file;
end
