// Encoding the controls datagram: for the tools and the tests that play
// FlightGear's part.
#include "controls_encode.h"

#include <cstring>

namespace ctrls27 {

namespace {
void storeF64(std::uint8_t* at, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    fdm17::storeU64(at, bits);
}
}  // namespace

void encode(std::uint8_t* datagram, const Controls& controls) noexcept
{
    std::memset(datagram, 0, packetSize);
    fdm17::storeU32(datagram + offset::version, formatVersion);
    for (int i = 0; i < NUM_FLIGHT_CONTROLS; ++i) {
        storeF64(datagram + flightOffsets[i], controls.flight[i]);
    }
    fdm17::storeU32(datagram + offset::engineCount, maxEngines);
    for (int i = 0; i < maxEngines; ++i) {
        storeF64(datagram + offset::throttle + 8 * i, controls.throttle[i]);
        storeF64(datagram + offset::mixture + 8 * i, controls.mixture[i]);
        storeF64(datagram + offset::propellerAdvance + 8 * i, controls.propeller[i]);
    }
    for (int i = 0; i < 3; ++i) {
        storeF64(datagram + brakeOffsets[i], controls.gear[BRAKE_LEFT + i]);
    }
    fdm17::storeU32(datagram + offset::gearHandle, controls.gear[GEAR_HANDLE] != 0.0 ? 1u : 0u);
    storeF64(datagram + offset::temperature, standardTemperatureC);
    storeF64(datagram + offset::pressure, standardPressureInHg);
    fdm17::storeU32(datagram + offset::speedUp, 1);
}

}  // namespace ctrls27
