% Stand-in for MATLAB's mex: records each build (the folder it ran in and
% its arguments) and answers mex.getCompilerConfigurations from the test's
% settings. A class, so that both calls resolve as they do in MATLAB.
classdef mex
    methods
        function self = mex(varargin)
            global STANDIN
            STANDIN.calls{end + 1} = {pwd, varargin};
            if STANDIN.failBuild
                error('mex:standin', 'the compiler failed');
            end
        end
    end
    methods (Static)
        function configurations = getCompilerConfigurations(language, list)
            global STANDIN
            if nargin > 1 && ~any(strcmp(list, {'Selected', 'Installed', 'Supported'}))
                standin_fail('mex.getCompilerConfigurations has no list ''%s''', list);
            end
            STANDIN.languages{end + 1} = language;
            configurations = STANDIN.compilers;
        end
    end
end
