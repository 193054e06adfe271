function add_line(system, from, to)
% Stand-in: a line from an output port to a free input port of blocks in
% the same system, each port within the block's count.
global SIMULINK
if ~isKey(SIMULINK.systems, system)
    standin_fail('no system ''%s'' is loaded', system);
end
model = SIMULINK.systems(system);
[fromBlock, fromPort] = port_of(model, from);
[toBlock, toPort] = port_of(model, to);
if fromPort > standin_port_count(fromBlock, 'output')
    standin_fail('%s has no output port %d', fromBlock.name, fromPort);
end
if toPort > standin_port_count(toBlock, 'input')
    standin_fail('%s has no input port %d', toBlock.name, toPort);
end
if any(strcmp(model.lines(:, 2), to))
    error('standin:connected', 'The input port %s is already connected', to);
end
model.lines(end + 1, :) = {from, to};
SIMULINK.systems(system) = model;
end

function [block, port] = port_of(model, text)
cut = find(text == '/', 1, 'last');
port = str2double(text(cut + 1:end));
found = strcmp({model.blocks.name}, text(1:cut - 1));
if isempty(cut) || ~any(found) || ~(port >= 1) || port ~= round(port)
    standin_fail('''%s'' names no block port', text);
end
block = model.blocks(found);
end
