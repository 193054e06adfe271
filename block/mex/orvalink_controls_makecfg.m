function orvalink_controls_makecfg(objBuildInfo)
%ORVALINK_CONTROLS_MAKECFG Windows Sockets for the orvalink_controls block in generated code.
%   Simulink Coder (GRT, RSim, Rapid Accelerator) calls this function, found
%   beside the orvalink_controls MEX file, when it builds a model that holds
%   the block. A makecfg file named for one S-function serves that one only.
%   On Windows the block needs the Windows Sockets library, ws2_32. MSVC
%   takes it from the source itself (#pragma comment); MinGW-w64 is given
%   it as a link option, with addLinkFlags of RTW.BuildInfo. Other systems
%   need nothing.
if ispc && usesMinGW()
    addLinkFlags(objBuildInfo, '-lws2_32');
end
end

function yes = usesMinGW()
% By default generated code is built with the compiler mex is set up with.
yes = false;
compilers = mex.getCompilerConfigurations('C', 'Selected');
for k = 1:numel(compilers)
    yes = yes || ~isempty(strfind(lower([compilers(k).Name ' ' compilers(k).ShortName]), 'mingw')); %#ok<STREMP>
end
end
