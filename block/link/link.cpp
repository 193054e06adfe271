// Opens a connected, non-blocking UDP socket to HostName:PortNumber in
// mdlStart, sends one datagram per step and closes in mdlTerminate.
// Every platform call goes through socketCalls.
#include "link.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "definition.h"
#include "fdm_packet.h"
#include "socket_platform.h"

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

// Resolves, creates, connects and switches to non-blocking; the socket, or noSocket.
SocketHandle openLink(SimStruct* S)
{
    const mxArray* hostName = dialogParameter(S, HOST_NAME_PARAM);
    platform::Ipv4Destination destination{};
    if (hostName == nullptr || !mxIsChar(hostName) ||
        !portFromParameter(dialogParameter(S, PORT_NUMBER_PARAM), destination.port)) {
        return platform::noSocket;
    }
    char name[hostNameBufferSize];
    (void)mxGetString(hostName, name, sizeof name);
    name[hostNameBufferSize - 1] = '\0';  // whatever the host did with a longer name

    if (socketCalls.resolveIpv4(name, destination.address) != 0) {
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

    *socketCell = openLink(S);
    if (*socketCell == platform::noSocket) {
        ssSetErrorStatus(S, connectFailedMessage);
    }
}

void sendPacket(const void* socketCell, const std::uint8_t* packet)
{
    if (socketCell == nullptr) {
        return;
    }
    const SocketHandle socket = *static_cast<const SocketHandle*>(socketCell);
    if (socket != platform::noSocket) {
        // A datagram the platform cannot take at once is dropped, unreported.
        (void)socketCalls.send(socket, packet, fdm17::packetSize);
    }
}

void mdlTerminate(SimStruct* S)
{
    void** work = ssGetPWork(S);
    if (work == nullptr) {
        return;
    }
    SocketHandle* socketCell = static_cast<SocketHandle*>(work[SOCKET_CELL]);
    if (socketCell != nullptr && *socketCell != platform::noSocket) {
        (void)socketCalls.close(*socketCell);
    }
    socketCalls.release(socketCell);
    socketCalls.release(work[PACKET_BUFFER]);
    work[SOCKET_CELL] = nullptr;
    work[PACKET_BUFFER] = nullptr;
}

}  // namespace orvalink
