// The sending side of the link: a connected socket and one datagram a step.
#include "sender.h"

namespace orvalink {

using platform::socketCalls;
using platform::SocketHandle;

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

bool sendDatagram(SocketHandle socket, const std::uint8_t* data, std::size_t length)
{
    return socket != platform::noSocket && socketCalls.send(socket, data, length) == static_cast<long>(length);
}

}  // namespace orvalink
