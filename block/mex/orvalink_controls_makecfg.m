function orvalink_controls_makecfg(objBuildInfo)
%ORVALINK_CONTROLS_MAKECFG Windows Sockets for the orvalink_controls block in generated code.
%   Simulink Coder (GRT, RSim, Rapid Accelerator) calls this function, found
%   beside the orvalink_controls MEX file, when it builds a model that holds
%   the block: a makecfg file named for one S-function serves that one only.
%   The block needs what orvalink needs, which orvalink_makecfg, beside it,
%   adds.
orvalink_makecfg(objBuildInfo);
end
