// The flight-state block's own methods (orvalink): mdlStart opens the link,
// mdlOutputs sends one packet a major step, mdlTerminate closes the link.
#pragma once

#include "fdm_definition.h"
#include "sender.h"

namespace orvalink {

// The block's two pointer-work slots.
enum BlockWorkSlot { SOCKET_CELL = 0, PACKET_BUFFER = 1 };
static_assert(numPWork == 2, "the two slots");

// What the socket cell of the block's work holds: the link, and whether each
// step sends version 24 (from the build that takes FdmVersion) or 17.
struct SocketCell {
    platform::SocketHandle socket;
    bool version24;
};

void mdlStart(SimStruct* S, const Variant& variant);  // fdm_start.cpp
void mdlOutputs(SimStruct* S, int_T tid);              // fdm_outputs.cpp
void mdlTerminate(SimStruct* S);                       // fdm_start.cpp

}  // namespace orvalink
