function add_block(source, destination, varargin)
% Stand-in: the documented library blocks the package uses, or a
% block of a loaded library, copied with its kind, parameters and mask.
global SIMULINK
documented = {'simulink/User-Defined Functions/S-Function', 'simulink/Sources/From Workspace', ...
    'simulink/Signal Routing/Demux', 'simulink/Signal Routing/Mux', 'simulink/Sources/Constant', ...
    'simulink/Sinks/Terminator', 'simulink/Math Operations/Gain', 'simulink/Math Operations/Sum', ...
    'simulink/Math Operations/Product', 'simulink/Math Operations/Trigonometric Function', ...
    'simulink/Continuous/Integrator'};
[system, name] = split_path(destination);
model = SIMULINK.systems(system);
if any(strcmp(source, documented))
    block = struct('name', name, 'kind', source, 'source', source, 'params', struct(), 'mask', []);
else
    [library, libraryBlock] = split_path(source);
    if ~isKey(SIMULINK.systems, library)
        standin_fail('no library block ''%s'' is loaded', source);
    end
    from = SIMULINK.systems(library).blocks;
    found = strcmp({from.name}, libraryBlock);
    if ~any(found)
        standin_fail('library %s has no block ''%s''', library, libraryBlock);
    end
    block = from(found);
    block.name = name;
    block.source = source;
end
if any(strcmp({model.blocks.name}, name))
    error('standin:exists', 'Block %s already exists', destination);
end
model.blocks(end + 1) = block;
SIMULINK.systems(system) = model;
if ~isempty(varargin)
    set_param(destination, varargin{:});
end
end

function [system, name] = split_path(path)
cut = find(path == '/', 1);
if isempty(cut)
    standin_fail('''%s'' is not a block path', path);
end
system = path(1:cut - 1);
name = path(cut + 1:end);
global SIMULINK
if ~isKey(SIMULINK.systems, system)
    standin_fail('no system ''%s'' is loaded (%s)', system, path);
end
end
