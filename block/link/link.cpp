// The link's socket work, free of any host. Every platform call goes
// through socketCalls, so a test can make any one of them fail.
#include "link.h"

#include <cstdlib>

namespace orvalink {

namespace platform {

const SocketCalls platformSocketCalls{
    startLibrary, resolveIpv4, openDatagramSocket, connectTo, setNonBlocking, send, close,
    [](std::size_t size) { return std::calloc(1, size); },
    [](void* memory) { std::free(memory); },
};
SocketCalls socketCalls = platformSocketCalls;

}  // namespace platform

using platform::socketCalls;
using platform::SocketHandle;

namespace {
bool socketLibraryStarted = false;  // shared by every instance in the process
}  // namespace

bool startSocketLibrary()
{
    if (socketLibraryStarted) {
        return true;
    }
    if (socketCalls.startLibrary() != 0) {
        return false;  // tried again at the next definition
    }
    socketLibraryStarted = true;
    return true;
}

SocketHandle openLink(const char* hostName, std::uint16_t port)
{
    platform::Ipv4Destination destination{};
    destination.port = port;
    if (socketCalls.resolveIpv4(hostName, destination.address) != 0) {
        return platform::noSocket;
    }
    const SocketHandle socket = socketCalls.openDatagramSocket();
    if (socket == platform::noSocket) {
        return platform::noSocket;
    }
    if (socketCalls.connectTo(socket, destination) == 0 && socketCalls.setNonBlocking(socket) == 0) {
        return socket;
    }
    (void)socketCalls.close(socket);
    return platform::noSocket;
}

void sendDatagram(SocketHandle socket, const std::uint8_t* data, std::size_t length)
{
    if (socket != platform::noSocket) {
        (void)socketCalls.send(socket, data, length);
    }
}

void closeLink(SocketHandle socket)
{
    if (socket != platform::noSocket) {
        (void)socketCalls.close(socket);
    }
}

}  // namespace orvalink
