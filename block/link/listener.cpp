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

int receiveDatagrams(SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count,
                     std::size_t* lengths)
{
    if (socket == platform::noSocket || count <= 0) {
        return 0;
    }
    const int taken = socketCalls.receiveBatch(socket, buffers, capacity, count, lengths);
    return taken > 0 && taken <= count ? taken : 0;
}

}  // namespace orvalink
