// mdlOutputs: at every sample hit, the packet from the nine input ports,
// sent in one datagram.
#include <cstdint>
#include <ctime>

#include "definition.h"
#include "fdm_packet.h"
#include "link.h"

namespace orvalink {

void mdlOutputs(SimStruct* S, int_T tid)
{
    (void)tid;
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
    if (work[SOCKET_CELL] != nullptr) {
        sendDatagram(*static_cast<const platform::SocketHandle*>(work[SOCKET_CELL]), packet, fdm17::packetSize);
    }
}

}  // namespace orvalink
