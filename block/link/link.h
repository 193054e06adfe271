// The datagram link: socket-library start, mdlStart, the send of each step
// and mdlTerminate.
#pragma once

#include <cstdint>

#include "simstruc.h"

namespace orvalink {

// The block's two pointer-work slots.
enum BlockWorkSlot { SOCKET_CELL = 0, PACKET_BUFFER = 1 };

constexpr const char* connectFailedMessage = "Could not connect to host !";
constexpr const char* outOfMemoryMessage = "Could not allocate the block's work memory";

// True once the platform's socket library is started; started once per load.
bool startSocketLibrary();

void mdlStart(SimStruct* S);
void mdlTerminate(SimStruct* S);

// Sends the 336-byte packet on the socket in `socketCell`, if it holds one.
void sendPacket(const void* socketCell, const std::uint8_t* packet);

}  // namespace orvalink
