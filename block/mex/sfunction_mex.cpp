// The block as MATLAB's `mex` builds it: the front door of orvalink.cpp,
// the one source file that scripts/amalgamate.py makes from the block's
// core. The core comes in at the marker below, inside an unnamed namespace,
// so the MEX file exports only what the host's entry code defines. The
// methods then appear at file scope with the host's documented signatures,
// and the file ends with the host's own entry code (simulink.c) or, in
// generated code, its glue (cg_sfun.h). Nothing here touches the host's
// structure layout: the core uses only the documented S-function and mx
// names, and outside MATLAB_MEX_FILE only the mx names generated code has.
//
// This build reads the dialog as Simulink users write it: SampleTime in
// every form, an optional fourth parameter FdmVersion (17 or 24), every
// parameter checked and non-tunable, one packet per major step.
#define S_FUNCTION_NAME orvalink
#define S_FUNCTION_LEVEL 2
#define MDL_START

#include "simstruc.h"

// @core

namespace {

#if defined(MATLAB_MEX_FILE)
bool isRealDouble(const mxArray* parameter) { return mxIsDouble(parameter) && !mxIsComplex(parameter); }
bool isText(const mxArray* parameter) { return mxIsChar(parameter); }
// Pairs the socket library's start once per load of the MEX file: the last registration stands.
void atUnload(void (*stop)()) { (void)mexAtExit(stop); }
#endif

// No method long-jumps (nothing calls mexErrMsgTxt or mxCalloc); terminate
// runs after any failure past mdlInitializeSizes; a sink that sends at every
// step must not inherit a constant sample time and run once.
const uint_T blockOptions =
    SS_OPTION_EXCEPTION_FREE_CODE | SS_OPTION_CALL_TERMINATE_ON_EXIT | SS_OPTION_DISALLOW_CONSTANT_SAMPLE_TIME;

#if defined(MATLAB_MEX_FILE)
const orvalink::Variant simulinkBuild = {true, blockOptions, isRealDouble, isText, atUnload};
#else
// Generated code passes only real double matrices, text as character codes:
// the values MATLAB checked, checked again for what a class check is not needed.
const orvalink::Variant simulinkBuild = {true, blockOptions, nullptr, nullptr, nullptr};
#endif

}  // namespace

#if defined(MATLAB_MEX_FILE)
#define MDL_CHECK_PARAMETERS
static void mdlCheckParameters(SimStruct *S)
{
    const char *problem = orvalink::dialogProblem(S, simulinkBuild);
    if (problem != nullptr) {
        ssSetErrorStatus(S, problem);
    }
}
#endif

static void mdlInitializeSizes(SimStruct *S)
{
    if (!orvalink::mdlInitializeSizes(S, simulinkBuild)) {
        return;
    }
    // Edits during a run would be accepted and ignored: Simulink refuses them instead.
    for (int_T parameter = 0; parameter < ssGetSFcnParamsCount(S); ++parameter) {
        ssSetSFcnParamTunable(S, parameter, false);
    }
    // The block keeps a socket, nothing an operating point could restore.
#if defined(ssSetOperatingPointCompliance)
    ssSetOperatingPointCompliance(S, USE_EMPTY_OPERATING_POINT);
#elif defined(ssSetSimStateCompliance)
    ssSetSimStateCompliance(S, USE_EMPTY_SIM_STATE);
#endif
    // All state is in the block's own work; the socket library's start is shared safely.
#if defined(ssSetRuntimeThreadSafetyCompliance)
    ssSetRuntimeThreadSafetyCompliance(S, RUNTIME_THREAD_SAFETY_COMPLIANCE_TRUE);
#endif
}

static void mdlInitializeSampleTimes(SimStruct *S) { orvalink::mdlInitializeSampleTimes(S, simulinkBuild); }

static void mdlStart(SimStruct *S) { orvalink::mdlStart(S, simulinkBuild); }

static void mdlOutputs(SimStruct *S, int_T tid) { orvalink::mdlOutputs(S, tid); }

static void mdlTerminate(SimStruct *S) { orvalink::mdlTerminate(S); }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
