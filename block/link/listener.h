// The receiving side of the link: a non-blocking UDP socket bound to an
// address and port, and the receive of each step.
#pragma once

#include "link.h"

namespace orvalink {

// Why openListener found no socket.
enum class ListenFailure { none, badAddress, noSocket, portTaken, notBound };

// Resolves `hostName` (its first IPv4 address; 0.0.0.0 for every
// interface), opens a UDP socket, binds it to that address and `port` and
// makes it non-blocking: the socket, or platform::noSocket with the reason
// in `failure` (nothing is left open then).
platform::SocketHandle openListener(const char* hostName, std::uint16_t port, ListenFailure& failure);

// Takes one queued datagram into `buffer` without waiting: its length, at
// most `capacity` (a datagram longer than `capacity` gives `capacity`, its
// rest dropped), or -1 when nothing is queued or the socket failed.
long receiveDatagram(platform::SocketHandle socket, std::uint8_t* buffer, std::size_t capacity);

}  // namespace orvalink
