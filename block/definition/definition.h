// The block's declaration to the host: parameters, ports, sample time,
// work, and the five methods that every front door hands to its host.
#pragma once

#include "simstruc.h"

namespace orvalink {

// Dialog parameters, in the order the block's dialog passes them.
enum DialogParameter { SAMPLE_TIME_PARAM = 0, HOST_NAME_PARAM = 1, PORT_NUMBER_PARAM = 2, NUM_DIALOG_PARAMS = 3 };

constexpr int_T numInputPorts = 9;
constexpr int_T inputPortWidths[numInputPorts] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
constexpr int_T numPWork = 2;

// The block's two pointer-work slots.
enum BlockWorkSlot { SOCKET_CELL = 0, PACKET_BUFFER = 1 };

void mdlInitializeSizes(SimStruct* S);
void mdlInitializeSampleTimes(SimStruct* S);
void mdlStart(SimStruct* S);                // link_methods.cpp
void mdlOutputs(SimStruct* S, int_T tid);  // fdm_outputs.cpp
void mdlTerminate(SimStruct* S);            // link_methods.cpp

// Dialog parameter `index`, or null when the host gave fewer.
const mxArray* dialogParameter(SimStruct* S, int_T index);

// The first double of a real parameter, or null when it holds none.
const real_T* firstRealElement(const mxArray* parameter);

}  // namespace orvalink
