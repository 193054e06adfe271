% Stand-in for Simulink.Mask: create on an S-Function block, addParameter
% with the documented properties only, and the documented text properties.
classdef Mask < handle
    properties
        Type = ''
        Description = ''
        Display = ''
        Help = ''
        Parameters = struct('Type', {}, 'Prompt', {}, 'Name', {}, 'Value', {}, 'TypeOptions', {}, ...
            'Evaluate', {}, 'Tunable', {})
    end
    methods (Static)
        function mask = create(block)
            global SIMULINK
            cut = find(block == '/', 1);
            system = block(1:cut - 1);
            if isempty(cut) || ~isKey(SIMULINK.systems, system)
                standin_fail('Simulink.Mask.create: no block ''%s''', block);
            end
            model = SIMULINK.systems(system);
            index = find(strcmp({model.blocks.name}, block(cut + 1:end)));
            if isempty(index) || ~isempty(model.blocks(index).mask)
                standin_fail('Simulink.Mask.create: no unmasked block ''%s''', block);
            end
            mask = Simulink.Mask();
            model.blocks(index).mask = mask;
            SIMULINK.systems(system) = model;
        end
    end
    methods
        function addParameter(self, varargin)
            % Names of the S-Function block's own parameters, which a mask variable may not take.
            builtIn = {'FunctionName', 'Parameters', 'SFunctionModules', 'SampleTime', 'Name', 'Position', ...
                'Tag', 'Description', 'Priority', 'Mask'};
            parameter = struct('Type', 'edit', 'Prompt', '', 'Name', '', 'Value', '', 'TypeOptions', {{}}, ...
                'Evaluate', 'on', 'Tunable', 'on');
            for k = 1:2:numel(varargin)
                if ~isfield(parameter, varargin{k})
                    standin_fail('a mask parameter has no property ''%s''', varargin{k});
                end
                parameter.(varargin{k}) = varargin{k + 1};
            end
            if ~any(strcmp(parameter.Type, {'edit', 'popup', 'checkbox'}))
                standin_fail('no mask parameter type ''%s''', parameter.Type);
            end
            if ~isvarname(parameter.Name) || any(strcmpi(parameter.Name, builtIn)) || ...
                    any(strcmp(parameter.Name, {self.Parameters.Name}))
                standin_fail('''%s'' cannot name a mask parameter', parameter.Name);
            end
            if ~any(strcmp(parameter.Evaluate, {'on', 'off'})) || ~any(strcmp(parameter.Tunable, {'on', 'off'}))
                standin_fail('Evaluate and Tunable take ''on'' or ''off''');
            end
            if strcmp(parameter.Type, 'popup') && ~any(strcmp(parameter.Value, parameter.TypeOptions))
                standin_fail('a popup''s value is one of its options');
            end
            self.Parameters(end + 1) = parameter;
        end
        function data = contents(self)
            data = struct('Type', self.Type, 'Description', self.Description, 'Display', self.Display, ...
                'Help', self.Help, 'Parameters', self.Parameters);
        end
    end
end
