// The controls block as MATLAB's `mex` builds it: the front door of
// orvalink_controls.cpp, made by scripts/amalgamate.py from the block's core
// as orvalink.cpp is, under the same rules (see sfunction_mex.cpp): the core
// inside an unnamed namespace, only the documented S-function and mx names,
// the host's entry code or generated-code glue at the end.
//
// The dialog: SampleTime in every form, HostName (the address to listen on),
// PortNumber; every parameter checked and non-tunable. Datagrams are taken
// at major steps only.
#define S_FUNCTION_NAME orvalink_controls
#define S_FUNCTION_LEVEL 2
#define MDL_START

#include "simstruc.h"

// @core

namespace {

#if defined(MATLAB_MEX_FILE)
bool isRealDouble(const mxArray* parameter) { return mxIsDouble(parameter) && !mxIsComplex(parameter); }
bool isText(const mxArray* parameter) { return mxIsChar(parameter); }
void atUnload(void (*stop)()) { (void)mexAtExit(stop); }
#endif

// No method long-jumps; terminate runs after any failure past
// mdlInitializeSizes, so a failed start closes what it opened; a source
// read at every step must not inherit a constant sample time.
const uint_T blockOptions =
    SS_OPTION_EXCEPTION_FREE_CODE | SS_OPTION_CALL_TERMINATE_ON_EXIT | SS_OPTION_DISALLOW_CONSTANT_SAMPLE_TIME;

#if defined(MATLAB_MEX_FILE)
const orvalink::Variant simulinkBuild = {true, blockOptions, isRealDouble, isText, atUnload};
#else
const orvalink::Variant simulinkBuild = {true, blockOptions, nullptr, nullptr, nullptr};
#endif

}  // namespace

#if defined(MATLAB_MEX_FILE)
#define MDL_CHECK_PARAMETERS
static void mdlCheckParameters(SimStruct *S)
{
    const char *problem = orvalink::controls::dialogProblem(S, simulinkBuild);
    if (problem != nullptr) {
        ssSetErrorStatus(S, problem);
    }
}
#endif

static void mdlInitializeSizes(SimStruct *S)
{
    if (!orvalink::controls::mdlInitializeSizes(S, simulinkBuild)) {
        return;
    }
    for (int_T parameter = 0; parameter < ssGetSFcnParamsCount(S); ++parameter) {
        ssSetSFcnParamTunable(S, parameter, false);
    }
    // The block keeps a socket and what it last took, nothing an operating point could restore.
#if defined(ssSetOperatingPointCompliance)
    ssSetOperatingPointCompliance(S, USE_EMPTY_OPERATING_POINT);
#elif defined(ssSetSimStateCompliance)
    ssSetSimStateCompliance(S, USE_EMPTY_SIM_STATE);
#endif
#if defined(ssSetRuntimeThreadSafetyCompliance)
    ssSetRuntimeThreadSafetyCompliance(S, RUNTIME_THREAD_SAFETY_COMPLIANCE_TRUE);
#endif
}

static void mdlInitializeSampleTimes(SimStruct *S) { orvalink::mdlInitializeSampleTimes(S, simulinkBuild); }

static void mdlStart(SimStruct *S) { orvalink::controls::mdlStart(S, simulinkBuild); }

static void mdlOutputs(SimStruct *S, int_T tid) { orvalink::controls::mdlOutputs(S, tid); }

static void mdlTerminate(SimStruct *S) { orvalink::controls::mdlTerminate(S); }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
