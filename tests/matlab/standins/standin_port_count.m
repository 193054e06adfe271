function n = standin_port_count(block, direction)
% The ports of a block of the stand-ins, as the documentation gives each
% block's ports; a count or widths where a parameter sets them.
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
