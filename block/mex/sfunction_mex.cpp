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

#include "sfunction_common.h"

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
    if (orvalink::mdlInitializeSizes(S, simulinkBuild)) {
        declareForSimulink(S);
    }
}

static void mdlInitializeSampleTimes(SimStruct *S) { orvalink::mdlInitializeSampleTimes(S, simulinkBuild); }

static void mdlStart(SimStruct *S) { orvalink::mdlStart(S, simulinkBuild); }

static void mdlOutputs(SimStruct *S, int_T tid) { orvalink::mdlOutputs(S, tid); }

static void mdlTerminate(SimStruct *S) { orvalink::mdlTerminate(S); }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
// The registration function that generated C code calls: C linkage, not C++'s.
extern "C" {
#include "cg_sfun.h"
}
#endif
