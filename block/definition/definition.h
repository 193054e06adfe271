// The blocks' declarations to the host: the flight-state block's
// parameters, ports, sample time and work (definition.cpp), and the dialog
// that both blocks read and check the same way (dialog.cpp). The methods
// that run a simulation live above, one folder a block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link.h"
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

constexpr std::size_t maxHostNameLength = 255;  // the longest name a resolver takes
constexpr std::size_t hostNameBufferSize = maxHostNameLength + 1;

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

// SampleTime's period and offset, as both blocks set them.
void mdlInitializeSampleTimes(SimStruct* S, const Variant& variant);  // dialog.cpp

// Dialog parameter `index`, or null when the host gave fewer.
const mxArray* dialogParameter(SimStruct* S, int_T index);

// The doubles of a parameter and their count; null (and 0) when it holds no
// real double, as far as `variant` can tell.
const real_T* realElements(const mxArray* parameter, const Variant& variant, std::size_t& count);

// What both blocks declare alike after their ports: one sample time, no
// real or integer work, `pointerWork` pointer-work slots, no modes or zero
// crossings, the build's options. Then it starts the socket library, if it
// is not yet, and registers its stop for the unload where the host has a
// call for it; a failed start shows later, when mdlStart cannot open the link.
void declareWorkAndStart(SimStruct* S, const Variant& variant, int_T pointerWork);

// ---- The dialog as Simulink users write it (dialog.cpp) ---------------------

// The sample time SampleTime asks for: Ts > 0 as [Ts, 0]; [Ts, offset] with
// 0 <= offset < Ts as given; 0 as continuous and -1 as inherited, both fixed
// in minor steps. False for anything else.
bool simulinkSampleTime(const real_T* values, std::size_t count, real_T& period, real_T& offset);

// The sentence that refuses SampleTime's value, likewise.
const char* sampleTimeRefusal(const mxArray* sampleTime, const Variant& variant);

// "`rule`, not `value`", the value as a MATLAB user would write it back.
const char* refusal(const char* rule, const mxArray* parameter, const Variant& variant);

// "`block` takes `what`, not `given`".
const char* parameterCountRefusal(const char* block, const char* what, int_T given);

// The first of SampleTime, HostName and PortNumber that is wrong, in one
// sentence, or null when all three are right.
const char* commonDialogProblem(SimStruct* S, const Variant& variant);

// The port PortNumber gives: truncated toward zero, low 16 bits; false when
// the parameter holds no finite number. A build that checks its dialog has
// refused every value outside 1 to 65535 before.
bool portNumber(SimStruct* S, const Variant& variant, std::uint16_t& port);

// HostName's text into `name`, cut to fit; false when it is not text.
bool hostNameText(SimStruct* S, const Variant& variant, char (&name)[hostNameBufferSize]);

}  // namespace orvalink
