// POSIX sockets: no library start; the resolver asks for IPv4 only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "socket_platform.h"

namespace orvalink {
namespace platform {

int startLibrary() { return 0; }

int resolveIpv4(const char* name, std::uint8_t address[4])
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return -1;
    }
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(address, &ipv4->sin_addr, 4);
    freeaddrinfo(found);
    return 0;
}

SocketHandle openDatagramSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    return fd >= 0 ? fd : noSocket;
}

int connectTo(SocketHandle socket, const Ipv4Destination& destination)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(destination.port);
    std::memcpy(&peer.sin_addr, destination.address, 4);
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) < 0 ? -1 : 0;
}

int setNonBlocking(SocketHandle socket)
{
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

long send(SocketHandle socket, const void* data, std::size_t length)
{
    return static_cast<long>(::send(socket, data, length, MSG_NOSIGNAL));
}

int close(SocketHandle socket) { return ::close(socket); }

}  // namespace platform
}  // namespace orvalink
