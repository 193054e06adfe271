// The pilot's small aircraft: the equations of pilot_flight.h, integrated
// one step at a time (explicit Euler: the steps are short and the motion slow).
#include "pilot_flight.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "flight_constants.h"

namespace runner {

namespace {

constexpr double startAltitude = pilotStartAltitude;
constexpr double startHeading = pilotStartHeadingDeg * degree;
constexpr double fullRollRate = 45.0 * degree;  // rad/s at full aileron
constexpr double bankReturnTime = 6.0;          // s
constexpr double steepestBank = 60.0 * degree;
constexpr double fullPath = 20.0 * degree;      // flight-path angle at full elevator
constexpr double pathTime = 1.5;                // s
constexpr double idleSpeed = 70.0 * knot;
constexpr double throttleSpeed = 90.0 * knot;   // added at full throttle
constexpr double slowestSpeed = 45.0 * knot;
constexpr double speedTime = 8.0;               // s
constexpr double cruiseThrottle = 50.0 / 90.0;  // 120 kt, until controls arrive

}  // namespace

PilotFlight::PilotFlight(double latitudeDeg, double longitudeDeg)
    : latitude_(latitudeDeg * degree),
      longitude_(longitudeDeg * degree),
      altitude_(startAltitude),
      heading_(startHeading),
      speed_(idleSpeed + throttleSpeed * cruiseThrottle)
{
}

const Inputs& PilotFlight::next(double dt, const ctrls27::Controls* controls)
{
    time_ = time_ < 0.0 ? 0.0 : time_ + dt;
    const double step = time_ > 0.0 ? dt : 0.0;  // the first call gives the start
    const double aileron = controls != nullptr ? std::clamp(controls->flight[ctrls27::AILERON], -1.0, 1.0) : 0.0;
    const double elevator =
        controls != nullptr
            ? std::clamp(controls->flight[ctrls27::ELEVATOR] + controls->flight[ctrls27::ELEVATOR_TRIM], -1.0, 1.0)
            : 0.0;
    double throttle = cruiseThrottle;
    if (controls != nullptr) {
        throttle = std::clamp(*std::max_element(controls->throttle, controls->throttle + ctrls27::maxEngines), 0.0, 1.0);
    }

    const double rollRate = fullRollRate * aileron - bank_ / bankReturnTime;
    const double pathRate = (-fullPath * elevator - path_) / pathTime;
    const double targetSpeed = idleSpeed + throttleSpeed * throttle;
    const double acceleration = (targetSpeed - speed_) / speedTime - gravity * std::sin(path_);
    bank_ = std::clamp(bank_ + rollRate * step, -steepestBank, steepestBank);
    path_ += pathRate * step;
    speed_ = std::max(slowestSpeed, speed_ + acceleration * step);
    const double turnRate = gravity * std::tan(bank_) / speed_;
    heading_ = std::fmod(heading_ + turnRate * step + 2.0 * std::numbers::pi, 2.0 * std::numbers::pi);
    double climb = speed_ * std::sin(path_);
    altitude_ += climb * step;
    if (altitude_ < groundElevation) {  // a descent ends on the ground, level
        altitude_ = groundElevation;
        path_ = std::max(path_, 0.0);
        climb = 0.0;
    }
    const double horizontal = speed_ * std::cos(path_);
    const double north = horizontal * std::cos(heading_);
    const double east = horizontal * std::sin(heading_);
    latitude_ = std::clamp(latitude_ + north * step / earthRadius, -89.0 * degree, 89.0 * degree);
    longitude_ += east * step / (earthRadius * std::cos(latitude_));
    longitude_ = std::remainder(longitude_, 2.0 * std::numbers::pi);

    const double sinBank = std::sin(bank_);
    const double cosBank = std::cos(bank_);
    const double cosPath = std::cos(path_);
    Inputs& in = inputs_;
    in[0] = latitude_;
    in[1] = longitude_;
    in[2] = altitude_;
    in[3] = bank_;
    in[4] = path_;
    in[5] = heading_;
    in[6] = speed_ / knot;  // calibrated as true: low and slow
    in[7] = climb * feetPerMetre;
    in[8] = controls != nullptr ? controls->flight[ctrls27::FLAPS] : 0.0;
    in[9] = controls != nullptr ? controls->flight[ctrls27::ELEVATOR] : 0.0;
    in[10] = aileron;
    in[11] = controls != nullptr ? controls->flight[ctrls27::RUDDER] : 0.0;
    in[12] = in[13] = in[14] = 0.0;
    in[15] = 1.0;                      // engine running
    in[16] = 800.0 + 1900.0 * throttle;  // rpm
    in[17] = 2.0 + 8.0 * throttle;       // gal/h
    in[18] = altitude_ - groundElevation;
    in[19] = north * feetPerMetre;
    in[20] = east * feetPerMetre;
    in[21] = -climb * feetPerMetre;
    // Body rates from the Euler rates; the pilot feels the turn's load factor.
    in[22] = rollRate;
    in[23] = cosBank * pathRate + sinBank * cosPath * turnRate;
    in[24] = -sinBank * pathRate + cosBank * cosPath * turnRate;
    in[25] = acceleration * feetPerMetre;
    in[26] = 0.0;
    in[27] = -gravity / cosBank * feetPerMetre;
    return in;
}

}  // namespace runner
