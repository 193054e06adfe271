// mdlOutputs: at every major step, the packet from the nine input ports,
// sent in one datagram of the version the start chose.
#include <cstdint>
#include <ctime>

#include "fdm_block.h"
#include "fdm_packet.h"
#include "fdm_v24.h"

namespace orvalink {

void mdlOutputs(SimStruct* S, int_T tid)
{
    (void)tid;
    // A solver's minor steps carry half-integrated states: one packet a step.
    if (!ssIsMajorTimeStep(S)) {
        return;
    }
    void** work = ssGetPWork(S);
    if (work == nullptr || work[PACKET_BUFFER] == nullptr) {
        return;  // no mdlStart: nothing of ours to fill
    }
    fdm17::InputPorts ports;
    for (int_T port = 0; port < fdm17::numInputPorts; ++port) {
        const real_T* signal = ssGetInputPortRealSignal(S, port);
        if (signal == nullptr) {
            return;  // the host connected no signal
        }
        ports[static_cast<std::size_t>(port)] = signal;
    }
    std::uint8_t* packet = static_cast<std::uint8_t*>(work[PACKET_BUFFER]);
    // After 2038 the packet carries the low 32 bits of the time value.
    const std::uint32_t now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    fdm17::encode(packet, ports, now);
    const SocketCell* socketCell = static_cast<const SocketCell*>(work[SOCKET_CELL]);
    if (socketCell == nullptr) {
        return;
    }
    if (!socketCell->version24) {
        (void)sendDatagram(socketCell->socket, packet, fdm17::packetSize);
        return;
    }
    // FlightGear does not recover from a position or attitude that is not finite.
    if (fdm24::forwardable(packet)) {
        std::uint8_t* packet24 = packet + fdm17::packetSize;
        fdm24::translate17to24(packet, packet24);
        (void)sendDatagram(socketCell->socket, packet24, fdm24::packetSize);
    }
}

}  // namespace orvalink
