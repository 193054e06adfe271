// The datagram link: the socket-library start, a connected non-blocking UDP
// socket to a host and port, the send of each step and the close. Free of
// any host, so that every front door of the block (its MEX entry, the
// source for mex, the FMU) opens and sends the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "socket_platform.h"

namespace orvalink {

constexpr const char* connectFailedMessage = "Could not connect to host !";
constexpr const char* outOfMemoryMessage = "Could not allocate the block's work memory";

// True once the platform's socket library is started; started once per load.
bool startSocketLibrary();

// Resolves `hostName` (its first IPv4 address), opens a UDP socket, connects
// it to that address and `port` and makes it non-blocking: the socket, or
// platform::noSocket when any step fails (nothing is left open then).
platform::SocketHandle openLink(const char* hostName, std::uint16_t port);

// Sends `length` bytes as one datagram, if `socket` is one; a datagram the
// platform cannot take at once is dropped, unreported.
void sendDatagram(platform::SocketHandle socket, const std::uint8_t* data, std::size_t length);

// Closes `socket`, if it is one.
void closeLink(platform::SocketHandle socket);

}  // namespace orvalink
