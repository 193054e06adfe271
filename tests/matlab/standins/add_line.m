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
if fromPort > port_count(fromBlock, 'output')
    standin_fail('%s has no output port %d', fromBlock.name, fromPort);
end
if toPort > port_count(toBlock, 'input')
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

function n = port_count(block, direction)
% As the documentation gives each block's ports; a count or widths where a parameter sets them.
input = strcmp(direction, 'input');
switch block.kind
    case {'simulink/Sources/From Workspace', 'simulink/Sources/Constant'}
        n = ~input;
    case 'simulink/Sinks/Terminator'
        n = input;
    case {'simulink/Math Operations/Gain', 'simulink/Math Operations/Trigonometric Function', ...
            'simulink/Continuous/Integrator'}
        n = 1;
    case {'simulink/Math Operations/Sum', 'simulink/Math Operations/Product'}
        n = 1;
        if input
            n = sum(block.params.Inputs == '+' | block.params.Inputs == '-' | block.params.Inputs == '*' | ...
                block.params.Inputs == '/');
        end
    case 'simulink/Signal Routing/Demux'
        n = 1;
        if ~input
            n = count_or_widths(block.params.Outputs);
        end
    case 'simulink/Signal Routing/Mux'
        n = 1;
        if input
            n = count_or_widths(block.params.Inputs);
        end
    otherwise  % the S-functions: the link's nine inputs, the controls' four outputs
        if strcmp(block.params.FunctionName, 'orvalink_controls')
            n = 4 * ~input;
        else
            n = 9 * input;
        end
end
end

function n = count_or_widths(text)
values = str2num(text); %#ok<ST2NM>
if isscalar(values)
    n = values;
else
    n = numel(values);
end
end
