function orvalink_controls_makecfg(objBuildInfo)
%ORVALINK_CONTROLS_MAKECFG Windows Sockets for the orvalink_controls block in generated code.
%   Simulink Coder (GRT, RSim, Rapid Accelerator) calls this function, found
%   beside the orvalink_controls MEX file, when it builds a model that holds
%   the block; a makecfg file named for one S-function serves that one only.
%   On Windows the block needs the Windows Sockets library, ws2_32; MSVC
%   also takes it from the source itself. Other systems need nothing.
if ispc
    addSysLibs(objBuildInfo, 'ws2_32');
end
end
