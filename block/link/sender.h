// The sending side of the link: a connected non-blocking UDP socket to a
// host and port, and the send of each step.
#pragma once

#include "link.h"

namespace orvalink {

// Resolves `hostName` (its first IPv4 address), opens a UDP socket, connects
// it to that address and `port` and makes it non-blocking: the socket, or
// platform::noSocket when any step fails (nothing is left open then).
platform::SocketHandle openLink(const char* hostName, std::uint16_t port);

// Sends `length` bytes as one datagram, if `socket` is one: true when the
// platform took it whole. A datagram it cannot take at once is dropped.
bool sendDatagram(platform::SocketHandle socket, const std::uint8_t* data, std::size_t length);

}  // namespace orvalink
