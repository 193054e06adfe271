// libmex of the emulated host. mexErrMsgTxt jumps back to the call site in
// mexEmuCall: a C++ exception would have to cross shared libraries with
// their own runtimes, which is unreliable on Windows.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emulated_host.h"

namespace {

std::jmp_buf* activeCall = nullptr;
char lastMessage[1024];

}  // namespace

extern "C" {

int mexEmuCall(MexFunctionPtr function, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    std::jmp_buf callSite;
    std::jmp_buf* const outer = activeCall;
    lastMessage[0] = '\0';
    activeCall = &callSite;
    // volatile: written after setjmp and read after the jump back.
    volatile int failed = 1;
    if (setjmp(callSite) == 0) {
        function(nlhs, plhs, nrhs, prhs);
        failed = 0;
    }
    activeCall = outer;
    if (outer == nullptr) {
        mxEmuReleaseCallMemory();
    }
    return failed;
}

const char* mexEmuLastErrorMessage() { return lastMessage; }

void mexErrMsgTxt(const char* message)
{
    std::snprintf(lastMessage, sizeof lastMessage, "%s", message != nullptr ? message : "");
    if (activeCall == nullptr) {
        std::fprintf(stderr, "mexErrMsgTxt outside a MEX call: %s\n", lastMessage);
        std::abort();
    }
    std::longjmp(*activeCall, 1);
}

}  // extern "C"
