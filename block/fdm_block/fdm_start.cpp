// mdlStart and mdlTerminate: the block's link from its dialog parameters,
// kept in the two pointer-work slots from start to terminate.
#include <cstdint>

#include "fdm_block.h"
#include "fdm_packet.h"
#include "fdm_v24.h"
#include "rules.h"

namespace orvalink {

using platform::socketCalls;
using platform::SocketHandle;

namespace {

// The link to HostName:PortNumber, or noSocket.
SocketHandle openLinkFromParameters(SimStruct* S, const Variant& variant)
{
    char name[hostNameBufferSize];
    std::uint16_t port = 0;
    if (!hostNameText(S, variant, name) || !portNumber(S, variant, port)) {
        return platform::noSocket;
    }
    return openLink(name, port);
}

}  // namespace

void mdlStart(SimStruct* S, const Variant& variant)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    // A start without a terminate since the last one: close and free what that start left.
    // The host zeroes the vector before the first start, so empty slots hold null.
    mdlTerminate(S);
    const bool version24 = variant.simulinkDialog && fdmVersionOf(S, variant) == 24;
    // Version 24 goes out from behind the version-17 packet it is translated from.
    const std::size_t bufferSize = fdm17::packetSize + (version24 ? fdm24::packetSize : 0);
    SocketCell* socketCell = static_cast<SocketCell*>(socketCalls.allocate(sizeof(SocketCell)));
    void* packet = socketCalls.allocate(bufferSize);
    if (socketCell == nullptr || packet == nullptr) {
        socketCalls.release(socketCell);
        socketCalls.release(packet);
        work[SOCKET_CELL] = nullptr;
        work[PACKET_BUFFER] = nullptr;
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    socketCell->socket = platform::noSocket;
    socketCell->version24 = version24;
    work[SOCKET_CELL] = socketCell;
    work[PACKET_BUFFER] = packet;

    socketCell->socket = openLinkFromParameters(S, variant);
    if (socketCell->socket == platform::noSocket) {
        ssSetErrorStatus(S, connectFailedMessage);
    }
}

void mdlTerminate(SimStruct* S)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        return;
    }
    SocketCell* socketCell = static_cast<SocketCell*>(work[SOCKET_CELL]);
    if (socketCell != nullptr) {
        closeLink(socketCell->socket);
    }
    socketCalls.release(socketCell);
    socketCalls.release(work[PACKET_BUFFER]);
    work[SOCKET_CELL] = nullptr;
    work[PACKET_BUFFER] = nullptr;
}

}  // namespace orvalink
