// mdlStart and mdlTerminate: the block's link from its dialog parameters,
// kept in the two pointer-work slots from start to terminate.
#include <cmath>
#include <cstdint>

#include "definition.h"
#include "fdm_packet.h"
#include "fdm_v24.h"
#include "link.h"

namespace orvalink {

using platform::socketCalls;
using platform::SocketHandle;

namespace {

// Room for the longest name a resolver takes and its terminator.
constexpr std::size_t hostNameBufferSize = maxHostNameLength + 1;

// The port from PortNumber: truncated toward zero, low 16 bits; false when
// the parameter holds no finite number. A build that checks its dialog has
// refused every value outside 1 to 65535 before.
bool portFromParameter(const mxArray* parameter, const Variant& variant, std::uint16_t& port)
{
    std::size_t count = 0;
    const real_T* value = realElements(parameter, variant, count);
    if (value == nullptr || !std::isfinite(*value) || std::fabs(*value) >= 9.2e18) {
        return false;
    }
    port = static_cast<std::uint16_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(*value)));
    return true;
}

// The link to HostName:PortNumber, or noSocket.
SocketHandle openLinkFromParameters(SimStruct* S, const Variant& variant)
{
    const mxArray* hostName = dialogParameter(S, HOST_NAME_PARAM);
    std::uint16_t port = 0;
    if (hostName == nullptr || (variant.isText != nullptr && !variant.isText(hostName)) ||
        !portFromParameter(dialogParameter(S, PORT_NUMBER_PARAM), variant, port)) {
        return platform::noSocket;
    }
    char name[hostNameBufferSize];
    (void)mxGetString(hostName, name, sizeof name);
    name[hostNameBufferSize - 1] = '\0';  // whatever the host did with a longer name
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
