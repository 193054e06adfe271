// What the front doors of both blocks for MATLAB's mex share: the class
// checks a MEX file makes, the unload hook, the options, and what Simulink
// reads after a block's sizes. scripts/amalgamate.py copies it into each
// one-file source, after the core.
#pragma once

namespace {

#if defined(MATLAB_MEX_FILE)
bool isRealDouble(const mxArray* parameter) { return mxIsDouble(parameter) && !mxIsComplex(parameter); }
bool isText(const mxArray* parameter) { return mxIsChar(parameter); }
// Pairs the socket library's start once per load of the MEX file: the last registration stands.
void atUnload(void (*stop)()) { (void)mexAtExit(stop); }
#endif

// No method long-jumps (nothing calls mexErrMsgTxt or mxCalloc); terminate
// runs after any failure past mdlInitializeSizes, so that what a failed
// start opened is closed; a block that acts at every step must not inherit
// a constant sample time and run once.
const uint_T blockOptions =
    SS_OPTION_EXCEPTION_FREE_CODE | SS_OPTION_CALL_TERMINATE_ON_EXIT | SS_OPTION_DISALLOW_CONSTANT_SAMPLE_TIME;

#if defined(MATLAB_MEX_FILE)
const orvalink::Variant simulinkBuild = {true, blockOptions, isRealDouble, isText, atUnload};
#else
// Generated code passes only real double matrices, text as character codes:
// the values MATLAB checked, checked again for what a class check is not needed.
const orvalink::Variant simulinkBuild = {true, blockOptions, nullptr, nullptr, nullptr};
#endif

// After a block's sizes: every parameter non-tunable (edits during a run
// would be accepted and ignored: Simulink refuses them instead); an empty
// operating point (a block keeps a socket, nothing an operating point could
// restore); thread-safe (all state is in the block's own work, and the
// socket library's start is shared safely).
void declareForSimulink(SimStruct *S)
{
    for (int_T parameter = 0; parameter < ssGetSFcnParamsCount(S); ++parameter) {
        ssSetSFcnParamTunable(S, parameter, false);
    }
#if defined(ssSetOperatingPointCompliance)
    ssSetOperatingPointCompliance(S, USE_EMPTY_OPERATING_POINT);
#elif defined(ssSetSimStateCompliance)
    ssSetSimStateCompliance(S, USE_EMPTY_SIM_STATE);
#endif
#if defined(ssSetRuntimeThreadSafetyCompliance)
    ssSetRuntimeThreadSafetyCompliance(S, RUNTIME_THREAD_SAFETY_COMPLIANCE_TRUE);
#endif
}

}  // namespace
