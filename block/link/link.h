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
// The rules every front door that checks its parameters states, in one wording.
constexpr const char* portRule = "PortNumber must be a whole number from 1 to 65535";
constexpr const char* fdmVersionRule = "FdmVersion must be 17 (FlightGear 0.9.4) or 24 (FlightGear 0.9.10 and later)";

// What the socket cell of the block's work holds: the link, and whether each
// step sends version 24 (from the build that takes FdmVersion) or 17.
struct SocketCell {
    platform::SocketHandle socket;
    bool version24;
};

// True once the platform's socket library is started; started once per load
// (or after a stop), whichever thread asks first.
bool startSocketLibrary();

// Pairs the start, once, for a host that unloads the block (mexAtExit).
void stopSocketLibrary();

// Resolves `hostName` (its first IPv4 address), opens a UDP socket, connects
// it to that address and `port` and makes it non-blocking: the socket, or
// platform::noSocket when any step fails (nothing is left open then).
platform::SocketHandle openLink(const char* hostName, std::uint16_t port);

// Sends `length` bytes as one datagram, if `socket` is one: true when the
// platform took it whole. A datagram it cannot take at once is dropped.
bool sendDatagram(platform::SocketHandle socket, const std::uint8_t* data, std::size_t length);

// Closes `socket`, if it is one.
void closeLink(platform::SocketHandle socket);

}  // namespace orvalink
