/* What the host's entry code does with an S-function source that includes
 * it at its end: checks the switches the source defined and takes the
 * address of each method, registering mdlStart only when MDL_START is
 * defined and mdlCheckParameters only when MDL_CHECK_PARAMETERS is.
 * TH_ENTRY names the function that hands them to the host; TH_LINKAGE is
 * its linkage: C for a MEX file (mex.h declares mexFunction so), and for
 * generated code whatever the source gives the include (C code calls it). */
#if !defined(S_FUNCTION_NAME) || !defined(S_FUNCTION_LEVEL)
#error "an S-function defines S_FUNCTION_NAME and S_FUNCTION_LEVEL before simstruc.h"
#endif
#if S_FUNCTION_LEVEL != 2
#error "this host runs level-2 S-functions"
#endif

#define TH_STRING_OF(name) #name
#define TH_NAME_OF(name) TH_STRING_OF(name)

TH_LINKAGE void TH_ENTRY(SimStruct* S)
{
    S->sfcn.name = TH_NAME_OF(S_FUNCTION_NAME);
    S->sfcn.level = S_FUNCTION_LEVEL;
    S->sfcn.initializeSizes = mdlInitializeSizes;
    S->sfcn.initializeSampleTimes = mdlInitializeSampleTimes;
#if defined(MDL_START)
    S->sfcn.start = mdlStart;
#endif
#if defined(MDL_CHECK_PARAMETERS)
    S->sfcn.checkParameters = mdlCheckParameters;
#endif
    S->sfcn.outputs = mdlOutputs;
    S->sfcn.terminate = mdlTerminate;
}
