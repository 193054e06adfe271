// POSIX sockets: no library start; the resolver asks for IPv4 only. A send
// on a datagram socket raises no SIGPIPE, and MSG_NOSIGNAL (missing from
// the macOS 10 SDKs) is asked for only where it exists.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "socket_platform.h"

namespace orvalink {
namespace platform {

namespace {
#if defined(MSG_NOSIGNAL)
constexpr int sendFlags = MSG_NOSIGNAL;
#else
constexpr int sendFlags = 0;
#endif
}  // namespace

const SystemCalls platformSystemCalls{
    [](int fd) { return ::fcntl(fd, F_GETFL); },
    [](int fd, int flags) { return ::fcntl(fd, F_SETFL, flags); },
};
SystemCalls systemCalls = platformSystemCalls;

int startLibrary() { return 0; }

void stopLibrary() {}

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
    const int flags = systemCalls.getFlags(socket);
    return flags >= 0 && systemCalls.setFlags(socket, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

long send(SocketHandle socket, const void* data, std::size_t length)
{
    return static_cast<long>(::send(socket, data, length, sendFlags));
}

int close(SocketHandle socket) { return ::close(socket); }

int bindTo(SocketHandle socket, const Ipv4Destination& local)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(local.port);
    std::memcpy(&address.sin_addr, local.address, 4);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    return errno == EADDRINUSE ? addressInUse : -1;
}

// A datagram longer than its buffer gives the buffer's length, its rest dropped.
int receiveBatch(SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count, std::size_t* lengths)
{
    // One recv a datagram: with one or two queued, as a step mostly finds,
    // that is cheaper than recvmmsg, whose own cost is more than a recv's.
    count = count < largestBatch ? count : largestBatch;
    int taken = 0;
    while (taken < count) {
        const ssize_t length = ::recv(socket, buffers + static_cast<std::size_t>(taken) * capacity, capacity, 0);
        if (length < 0) {
            break;
        }
        lengths[taken++] = static_cast<std::size_t>(length);
    }
    return taken;
}

}  // namespace platform
}  // namespace orvalink
