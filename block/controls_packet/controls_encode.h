// Writing a controls datagram, as FlightGear does: for the tools and the
// tests that play FlightGear's part (the block only reads them).
#pragma once

#include "controls_packet.h"

namespace ctrls27 {

// Writes a whole datagram (packetSize bytes) from `controls`: the engine
// count 4 and the tank count 0 (so that a FlightGear reading it leaves its
// fuel selectors alone), speed-up 1, pressure 29.92 inHg and temperature
// 15 deg C, which FlightGear applies, and zeros everywhere else: magnetos
// and starters too, so a FlightGear reading it stops its piston engines.
void encode(std::uint8_t* datagram, const Controls& controls) noexcept;

constexpr double standardPressureInHg = 29.92;
constexpr double standardTemperatureC = 15.0;

}  // namespace ctrls27
