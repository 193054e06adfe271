// mdlStart and mdlTerminate: the block's link from its dialog parameters,
// kept in the two pointer-work slots from start to terminate.
#include <cmath>
#include <cstdint>

#include "definition.h"
#include "fdm_packet.h"
#include "link.h"

namespace orvalink {

using platform::socketCalls;
using platform::SocketHandle;

namespace {

constexpr std::size_t hostNameBufferSize = 256;

// The port from PortNumber: truncated toward zero, low 16 bits; false when
// the parameter holds no finite number.
bool portFromParameter(const mxArray* parameter, std::uint16_t& port)
{
    const real_T* value = firstRealElement(parameter);
    if (value == nullptr || !std::isfinite(*value) || std::fabs(*value) >= 9.2e18) {
        return false;
    }
    port = static_cast<std::uint16_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*value)));
    return true;
}

// The link to HostName:PortNumber, or noSocket.
SocketHandle openLinkFromParameters(SimStruct* S)
{
    const mxArray* hostName = dialogParameter(S, HOST_NAME_PARAM);
    std::uint16_t port = 0;
    if (hostName == nullptr || !mxIsChar(hostName) || !portFromParameter(dialogParameter(S, PORT_NUMBER_PARAM), port)) {
        return platform::noSocket;
    }
    char name[hostNameBufferSize];
    (void)mxGetString(hostName, name, sizeof name);
    name[hostNameBufferSize - 1] = '\0';  // whatever the host did with a longer name
    return openLink(name, port);
}

}  // namespace

void mdlStart(SimStruct* S)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    // A start without a terminate since the last one: close and free what that start left.
    // The host zeroes the vector before the first start, so empty slots hold null.
    mdlTerminate(S);
    SocketHandle* socketCell = static_cast<SocketHandle*>(socketCalls.allocate(sizeof(SocketHandle)));
    void* packet = socketCalls.allocate(fdm17::packetSize);
    if (socketCell == nullptr || packet == nullptr) {
        socketCalls.release(socketCell);
        socketCalls.release(packet);
        work[SOCKET_CELL] = nullptr;
        work[PACKET_BUFFER] = nullptr;
        ssSetErrorStatus(S, outOfMemoryMessage);
        return;
    }
    *socketCell = platform::noSocket;
    work[SOCKET_CELL] = socketCell;
    work[PACKET_BUFFER] = packet;

    *socketCell = openLinkFromParameters(S);
    if (*socketCell == platform::noSocket) {
        ssSetErrorStatus(S, connectFailedMessage);
    }
}

void mdlTerminate(SimStruct* S)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        return;
    }
    SocketHandle* socketCell = static_cast<SocketHandle*>(work[SOCKET_CELL]);
    if (socketCell != nullptr) {
        closeLink(*socketCell);
    }
    socketCalls.release(socketCell);
    socketCalls.release(work[PACKET_BUFFER]);
    work[SOCKET_CELL] = nullptr;
    work[PACKET_BUFFER] = nullptr;
}

}  // namespace orvalink
