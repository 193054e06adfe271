// What the emulated host's libmx and libmex offer beyond the MEX interface:
// the host's side of a MEX call, and hooks for tests.
#pragma once

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*MexFunctionPtr)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Frees every mxCalloc block of the call that just ended.
MX_API void mxEmuReleaseCallMemory(void);
// Lets `successfulCalls` mxCalloc calls succeed, then fails the next one; negative: never fail.
MX_API void mxEmuFailCallocAfter(long successfulCalls);
MX_API long mxEmuCallocFailuresInjected(void);
// Makes the next array creation (mxCreate...) fail, as a host out of memory does.
MX_API void mxEmuFailNextArrayCreation(void);

// Calls a MEX function as the host does: 0 when it returned, 1 when it
// ended in mexErrMsgTxt (the message is then mexEmuLastErrorMessage()).
// The call's mxCalloc memory is released afterwards.
MEX_API int mexEmuCall(MexFunctionPtr function, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
MEX_API const char* mexEmuLastErrorMessage(void);

#ifdef __cplusplus
}
#endif
