% Stand-in for Simulink.ModelWorkspace: assignin puts a variable into the
% model's workspace, which the model file keeps (data source "Model File").
classdef ModelWorkspace < handle
    properties
        System = ''
    end
    methods
        function self = ModelWorkspace(system)
            self.System = system;
        end
        function assignin(self, name, value)
            global SIMULINK
            if ~isvarname(name)
                standin_fail('''%s'' is not a variable name', name);
            end
            model = SIMULINK.systems(self.System);
            model.workspace.(name) = value;
            SIMULINK.systems(self.System) = model;
        end
    end
end
