// Decoding the controls datagram: what the block does at each step.
#include "controls_packet.h"

namespace ctrls27 {

Refusal decode(const std::uint8_t* datagram, std::size_t length, Controls& controls) noexcept
{
    const Refusal refusal = check(datagram, length);
    if (refusal != Refusal::none) {
        return refusal;
    }
    for (int i = 0; i < NUM_FLIGHT_CONTROLS; ++i) {
        controls.flight[i] = fdm17::loadF64(datagram + flightOffsets[i]);
    }
    // FlightGear writes 4 whatever the aircraft has; a larger count is not trusted.
    const std::uint32_t engines = fdm17::loadU32(datagram + offset::engineCount);
    controls.engineCount = engines < maxEngines ? engines : maxEngines;
    for (std::uint32_t i = 0; i < maxEngines; ++i) {
        const bool sent = i < controls.engineCount;
        controls.throttle[i] = sent ? fdm17::loadF64(datagram + offset::throttle + 8 * i) : 0.0;
        controls.mixture[i] = sent ? fdm17::loadF64(datagram + offset::mixture + 8 * i) : 0.0;
        controls.propeller[i] = sent ? fdm17::loadF64(datagram + offset::propellerAdvance + 8 * i) : 0.0;
    }
    const std::uint32_t tanks = fdm17::loadU32(datagram + offset::tankCount);
    controls.tankCount = tanks < maxTanks ? tanks : maxTanks;
    for (int i = 0; i < 3; ++i) {
        controls.gear[BRAKE_LEFT + i] = fdm17::loadF64(datagram + brakeOffsets[i]);
    }
    controls.gear[GEAR_HANDLE] = fdm17::loadU32(datagram + offset::gearHandle) != 0 ? 1.0 : 0.0;
    return Refusal::none;
}

}  // namespace ctrls27
