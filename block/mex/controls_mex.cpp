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

#include "sfunction_common.h"

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
    if (orvalink::controls::mdlInitializeSizes(S, simulinkBuild)) {
        declareForSimulink(S);
    }
}

static void mdlInitializeSampleTimes(SimStruct *S) { orvalink::mdlInitializeSampleTimes(S, simulinkBuild); }

static void mdlStart(SimStruct *S) { orvalink::controls::mdlStart(S, simulinkBuild); }

static void mdlOutputs(SimStruct *S, int_T tid) { orvalink::controls::mdlOutputs(S, tid); }

static void mdlTerminate(SimStruct *S) { orvalink::controls::mdlTerminate(S); }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
// The registration function that generated C code calls: C linkage, not C++'s.
extern "C" {
#include "cg_sfun.h"
}
#endif
