// The datagram link: the socket-library start and the close here; the
// sending side in sender.h, the receiving side in listener.h. Free of any host, so that every
// front door of the blocks (their MEX entries, the sources for mex, the
// FMU) opens, sends and receives the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "socket_platform.h"

namespace orvalink {

// True once the platform's socket library is started; started once per load
// (or after a stop), whichever thread asks first.
bool startSocketLibrary();

// Pairs the start, once, for a host that unloads the block (mexAtExit).
void stopSocketLibrary();

// Closes `socket`, if it is one.
void closeLink(platform::SocketHandle socket);

}  // namespace orvalink
