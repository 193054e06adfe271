function orvalink_makecfg(objBuildInfo)
%ORVALINK_MAKECFG Windows Sockets for the orvalink block in generated code.
%   Simulink Coder (GRT, RSim, Rapid Accelerator) calls this function, found
%   beside the orvalink MEX file, when it builds a model that holds the
%   block. On Windows the block needs the Windows Sockets library, ws2_32;
%   MSVC also takes it from the source itself. Other systems need nothing.
if ispc
    addSysLibs(objBuildInfo, 'ws2_32');
end
end
