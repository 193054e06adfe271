// The platform seam under the tools' UDP endpoint: only the primitives,
// POSIX sockets in udp_socket_posix.cpp and Windows Sockets in
// udp_socket_win32.cpp. The flow (resolve, create, bind or connect, report)
// is written once, in udp_socket.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "udp_socket.h"

namespace udp::calls {

using Handle = std::intptr_t;
constexpr Handle invalid = -1;

bool start();
// The first IPv4 address of `host`, in host order; false with `error` saying why.
bool resolve(const std::string& host, std::uint32_t& address, std::string& error);
Handle open();  // a UDP socket, or invalid
bool bind(Handle socket, std::uint32_t address, std::uint16_t port);
bool connect(Handle socket, std::uint32_t address, std::uint16_t port);
void setReceiveBuffer(Handle socket, int bytes);
std::string lastError();  // of the call that just failed
bool name(Handle socket, bool peer, Sender& out);
// As Socket::receive: the full length of the next datagram, Socket::timedOut or Socket::failed.
long receive(Handle socket, std::span<std::uint8_t> buffer, int timeoutMs, Sender* from);
long send(Handle socket, std::span<const std::uint8_t> data);  // < 0 when refused or failed
int takePendingError(Handle socket);
void close(Handle socket);

}  // namespace udp::calls
