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

// Takes up to `count` (at most platform::largestBatch) queued datagrams
// without waiting, in one system call where the platform has one:
// datagram i into the `capacity` bytes at buffers + i * capacity, its
// length into lengths[i] (a datagram longer than `capacity` gives
// `capacity`, its rest dropped). How many were taken; 0 when nothing is
// queued, the socket failed or `socket` is none.
int receiveDatagrams(platform::SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count,
                     std::size_t* lengths);

}  // namespace orvalink
