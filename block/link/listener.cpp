// The receiving side of the link: a bound socket, read without waiting.
#include "listener.h"

namespace orvalink {

using platform::socketCalls;
using platform::SocketHandle;

SocketHandle openListener(const char* hostName, std::uint16_t port, ListenFailure& failure)
{
    platform::Ipv4Destination local{};
    local.port = port;
    if (socketCalls.resolveIpv4(hostName, local.address) != 0) {
        failure = ListenFailure::badAddress;
        return platform::noSocket;
    }
    const SocketHandle socket = socketCalls.openDatagramSocket();
    if (socket == platform::noSocket) {
        failure = ListenFailure::noSocket;
        return platform::noSocket;
    }
    const int bound = socketCalls.bindTo(socket, local);
    if (bound == 0 && socketCalls.setNonBlocking(socket) == 0) {
        failure = ListenFailure::none;
        return socket;
    }
    failure = bound == platform::addressInUse ? ListenFailure::portTaken : ListenFailure::notBound;
    (void)socketCalls.close(socket);
    return platform::noSocket;
}

long receiveDatagram(SocketHandle socket, std::uint8_t* buffer, std::size_t capacity)
{
    if (socket == platform::noSocket) {
        return -1;
    }
    const long received = socketCalls.receive(socket, buffer, capacity);
    return received >= 0 && static_cast<std::size_t>(received) <= capacity ? received : -1;
}

}  // namespace orvalink
