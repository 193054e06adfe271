// Windows Sockets: version 1.1 is requested and checked; the resolver is
// gethostbyname, which yields IPv4 host entries.
#include <winsock2.h>

// MSVC links Windows Sockets into generated code from here; other
// toolchains take it from orvalink_makecfg.m.
#if defined(_MSC_VER)
#pragma comment(lib, "ws2_32.lib")
#endif

#include <cstring>

#include "socket_platform.h"

namespace orvalink {
namespace platform {

int startLibrary()
{
    WSADATA reply;
    if (WSAStartup(MAKEWORD(1, 1), &reply) != 0) {
        return -1;
    }
    if (LOBYTE(reply.wVersion) != 1 || HIBYTE(reply.wVersion) != 1) {
        WSACleanup();
        return -1;
    }
    return 0;
}

void stopLibrary() { WSACleanup(); }

int resolveIpv4(const char* name, std::uint8_t address[4])
{
    const hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == nullptr) {
        return -1;
    }
    std::memcpy(address, entry->h_addr_list[0], 4);
    return 0;
}

SocketHandle openDatagramSocket()
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    return s != INVALID_SOCKET ? static_cast<SocketHandle>(s) : noSocket;
}

int connectTo(SocketHandle socket, const Ipv4Destination& destination)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(destination.port);
    std::memcpy(&peer.sin_addr, destination.address, 4);
    return ::connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) < 0 ? -1 : 0;
}

int setNonBlocking(SocketHandle socket)
{
    u_long nonBlocking = 1;
    return ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &nonBlocking) == 0 ? 0 : -1;
}

long send(SocketHandle socket, const void* data, std::size_t length)
{
    return ::send(static_cast<SOCKET>(socket), static_cast<const char*>(data), static_cast<int>(length), 0);
}

int close(SocketHandle socket) { return ::closesocket(static_cast<SOCKET>(socket)); }

int bindTo(SocketHandle socket, const Ipv4Destination& local)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(local.port);
    std::memcpy(&address.sin_addr, local.address, 4);
    if (::bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    return WSAGetLastError() == WSAEADDRINUSE ? addressInUse : -1;
}

// One receive a datagram: Windows Sockets has no call that takes several.
// It fails a datagram longer than the buffer (WSAEMSGSIZE) after filling
// the buffer; that counts as one cut to fit, as on POSIX.
int receiveBatch(SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count, std::size_t* lengths)
{
    count = count < largestBatch ? count : largestBatch;
    int taken = 0;
    while (taken < count) {
        char* buffer = reinterpret_cast<char*>(buffers + static_cast<std::size_t>(taken) * capacity);
        const int received = ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(capacity), 0);
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) {
            lengths[taken++] = capacity;
            continue;
        }
        if (received < 0) {
            break;
        }
        lengths[taken++] = static_cast<std::size_t>(received);
    }
    return taken;
}

}  // namespace platform
}  // namespace orvalink
