// The block's declaration to the host: parameters, ports, sample time,
// work, and the five methods that every front door hands to its host.
#pragma once

#include <cstddef>

#include "simstruc.h"

namespace orvalink {

// Dialog parameters, in the order the block's dialog passes them. The build
// for MATLAB's mex also takes an optional fourth, FdmVersion.
enum DialogParameter {
    SAMPLE_TIME_PARAM = 0,
    HOST_NAME_PARAM = 1,
    PORT_NUMBER_PARAM = 2,
    FDM_VERSION_PARAM = 3,
    NUM_DIALOG_PARAMS = 3,
    MAX_DIALOG_PARAMS = 4
};

constexpr int_T numInputPorts = 9;
constexpr int_T inputPortWidths[numInputPorts] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
constexpr int_T numPWork = 2;
constexpr std::size_t maxHostNameLength = 255;  // the longest name a resolver takes

// The block's two pointer-work slots.
enum BlockWorkSlot { SOCKET_CELL = 0, PACKET_BUFFER = 1 };

// What sets one build of the block apart: its front door passes it to every
// method, so that the methods' bodies are the same in every build.
struct Variant {
    // False: the plain dialog of the host's own build (three parameters, the
    // period as given, the port's low 16 bits). True: the dialog as Simulink
    // users write it (every sample-time form, an optional FdmVersion), which
    // mdlInitializeSizes refuses when dialogProblem finds it wrong.
    bool simulinkDialog;
    uint_T options;  // for ssSetOptions
    // The host's class checks, or null where every parameter is a real
    // double matrix (generated code, which stores text as character codes).
    bool (*isRealDouble)(const mxArray* parameter);
    bool (*isText)(const mxArray* parameter);
    // Registers the socket library's stop for the unload of the block
    // (mexAtExit), or null where the host offers no such call.
    void (*atUnload)(void (*stop)());
};

// Each answers false when it left an error status or the host is to report
// a wrong parameter count; the front door then declares nothing more.
bool mdlInitializeSizes(SimStruct* S, const Variant& variant);
void mdlInitializeSampleTimes(SimStruct* S, const Variant& variant);
void mdlStart(SimStruct* S, const Variant& variant);  // link_methods.cpp
void mdlOutputs(SimStruct* S, int_T tid);              // fdm_outputs.cpp
void mdlTerminate(SimStruct* S);                       // link_methods.cpp

// Dialog parameter `index`, or null when the host gave fewer.
const mxArray* dialogParameter(SimStruct* S, int_T index);

// The doubles of a parameter and their count; null (and 0) when it holds no
// real double, as far as `variant` can tell.
const real_T* realElements(const mxArray* parameter, const Variant& variant, std::size_t& count);

// ---- The dialog as Simulink users write it (dialog.cpp) ---------------------

// The sample time SampleTime asks for: Ts > 0 as [Ts, 0]; [Ts, offset] with
// 0 <= offset < Ts as given; 0 as continuous and -1 as inherited, both fixed
// in minor steps. False for anything else.
bool simulinkSampleTime(const real_T* values, std::size_t count, real_T& period, real_T& offset);

// The packet version FdmVersion asks for (17 without it), or 0 when it asks
// for neither 17 nor 24.
int fdmVersionOf(SimStruct* S, const Variant& variant);

// One sentence naming the first parameter that is wrong and its value, or
// null when every one is right. The text stays valid until the next call.
const char* dialogProblem(SimStruct* S, const Variant& variant);

// The sentence that refuses SampleTime's value, likewise.
const char* sampleTimeRefusal(const mxArray* sampleTime, const Variant& variant);

}  // namespace orvalink
