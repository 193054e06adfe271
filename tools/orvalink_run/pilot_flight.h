// A small aircraft for a pilot in FlightGear: flown by FlightGear's
// controls, its state in the runner's 28 inputs. A few equations, not a
// flight-dynamics model:
//
//   bank      dphi/dt   = 45 deg/s * aileron - phi / 6 s      (wings level themselves slowly; at most 60 deg)
//   path      dgamma/dt = (-20 deg * (elevator + trim) - gamma) / 1.5 s   (stick back, elevator < 0, climbs)
//   speed     dV/dt     = (V* - V) / 8 s - g sin(gamma),  V* = 70 kt + 90 kt * throttle   (at least 45 kt)
//   heading   dpsi/dt   = g tan(phi) / V                  (a coordinated turn: right bank, heading grows)
//   position  north V cos(gamma) cos(psi), east V cos(gamma) sin(psi), up V sin(gamma); never below the start
//             elevation, where a descent ends
//
// FlightGear's signs hold: aileron > 0 banks right, elevator < 0 (stick
// back) climbs. Before the first controls arrive it cruises straight and
// level at 120 kt (a throttle of 0.56), at 300 m.
#pragma once

#include "controls_packet.h"
#include "flight_inputs.h"

namespace runner {

// Where the aircraft starts unless told (Honolulu), its altitude and heading.
inline constexpr double defaultLatitudeDeg = 21.3187;
inline constexpr double defaultLongitudeDeg = -157.9225;
inline constexpr double pilotStartAltitude = 300.0;  // m
inline constexpr double pilotStartHeadingDeg = 80.0;

class PilotFlight {
public:
    PilotFlight(double latitudeDeg, double longitudeDeg);

    // The state after `dt` more seconds flown with `controls` (null: none
    // arrived yet).
    const Inputs& next(double dt, const ctrls27::Controls* controls);

    double bank() const { return bank_; }        // rad
    double heading() const { return heading_; }  // rad, 0 to 2 pi
    double altitude() const { return altitude_; }  // m
    double speed() const { return speed_; }      // m/s

private:
    double time_ = -1.0;
    double latitude_;   // rad
    double longitude_;  // rad
    double altitude_;   // m
    double heading_;    // rad
    double bank_ = 0.0;   // rad
    double path_ = 0.0;   // rad, flight-path angle
    double speed_;        // m/s, true airspeed
    Inputs inputs_{};
};

}  // namespace runner
