// The units and the Earth both built-in flights (the demo and the pilot's
// aircraft) reckon with.
#pragma once

#include <numbers>

namespace runner {

inline constexpr double degree = std::numbers::pi / 180.0;  // rad
inline constexpr double earthRadius = 6371000.0;            // m, a sphere
inline constexpr double gravity = 9.80665;                  // m/s^2
inline constexpr double feetPerMetre = 1.0 / 0.3048;
inline constexpr double knot = 1852.0 / 3600.0;             // m/s
inline constexpr double groundElevation = 4.0;              // m, about that of the start airfield

}  // namespace runner
