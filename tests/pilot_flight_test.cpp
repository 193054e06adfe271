// The pilot's small aircraft: FlightGear's signs, a coordinated turn,
// speed from the throttle, and straight and level flight without controls.
// The demo flight: its angles in range and its velocity along its heading.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "flight_inputs.h"
#include "pilot_flight.h"

namespace {

constexpr double degree = std::numbers::pi / 180.0;

struct Flown {
    double bank, headingChange, altitudeChange, speed, latitude, longitude;
    runner::Inputs last;
};

// `seconds` of flight at 20 steps a second holding `controls` (null: none).
Flown fly(const ctrls27::Controls* controls, double seconds)
{
    runner::PilotFlight flight(21.3187, -157.9225);
    const runner::Inputs start = flight.next(0.05, controls);
    runner::Inputs last = start;
    for (int i = 0; i < static_cast<int>(seconds * 20); ++i) {
        last = flight.next(0.05, controls);
    }
    const double turned = std::remainder(flight.heading() - start[5], 2.0 * std::numbers::pi);
    return {flight.bank(), turned, flight.altitude() - start[2], flight.speed(), last[0] - start[0],
            last[1] - start[1], last};
}

ctrls27::Controls with(double aileron, double elevator, double throttle)
{
    ctrls27::Controls c{};
    c.flight[ctrls27::AILERON] = aileron;
    c.flight[ctrls27::ELEVATOR] = elevator;
    c.throttle[0] = throttle;
    return c;
}

TEST(PilotFlight, flies_straight_and_level_without_controls_and_keeps_its_state_consistent)
{
    const Flown none = fly(nullptr, 60.0);
    EXPECT_EQ(none.bank, 0.0);
    EXPECT_EQ(none.headingChange, 0.0);
    EXPECT_EQ(none.altitudeChange, 0.0);
    EXPECT_NEAR(none.speed, 120.0 * 1852.0 / 3600.0, 1e-9);
    // Heading 80 degrees: mostly east, a little north, about 3.7 km in a minute.
    const double north = none.latitude * 6371000.0;
    const double east = none.longitude * 6371000.0 * std::cos(21.3187 * degree);
    EXPECT_NEAR(std::atan2(east, north) / degree, 80.0, 0.01);
    EXPECT_NEAR(std::hypot(north, east), 60.0 * none.speed, 5.0);
    // The inputs agree with the state: airspeed in knots, velocities in ft/s, 1 g felt.
    EXPECT_NEAR(none.last[6], 120.0, 1e-9);
    EXPECT_NEAR(std::hypot(none.last[19], none.last[20]) * 0.3048, none.speed, 1e-9);
    EXPECT_NEAR(none.last[27], -9.80665 / 0.3048, 1e-9);
    EXPECT_EQ(none.last[15], 1.0);
}

TEST(PilotFlight, flightgears_signs_hold_for_each_control)
{
    struct Case {
        const char* what;
        ctrls27::Controls controls;
        int bank, heading, altitude;  // the sign of each change
    };
    const Case cases[] = {
        {"right aileron banks right and turns right", with(0.3, 0, 0.55), 1, 1, -1},
        {"left aileron banks left and turns left", with(-0.3, 0, 0.55), -1, -1, -1},
        {"stick back climbs", with(0, -0.5, 0.55), 0, 0, 1},
        {"stick forward descends", with(0, 0.5, 0.55), 0, 0, -1},
    };
    for (const Case& c : cases) {
        const Flown f = fly(&c.controls, 5.0);  // not so long that the heading comes round
        const auto sign = [](double v) { return std::fabs(v) < 1e-9 ? 0 : v > 0 ? 1 : -1; };
        EXPECT_EQ(sign(f.bank), c.bank) << c.what;
        EXPECT_EQ(sign(f.headingChange), c.heading) << c.what;
        if (c.bank == 0) {
            EXPECT_EQ(sign(f.altitudeChange), c.altitude) << c.what;
        }
    }
    // A steady bank turns at g tan(bank) / V, as a coordinated turn does.
    runner::PilotFlight flight(0, 0);
    const ctrls27::Controls right = with(0.3, 0, 0.55);
    for (int i = 0; i < 600; ++i) {
        flight.next(0.05, &right);
    }
    const double before = flight.heading();
    const runner::Inputs& in = flight.next(0.05, &right);
    const double rate = std::remainder(flight.heading() - before, 2 * std::numbers::pi) / 0.05;
    EXPECT_NEAR(rate, 9.80665 * std::tan(flight.bank()) / flight.speed(), 1e-3);
    EXPECT_GT(in[24], 0.0);  // yaw rate to the right
    EXPECT_LT(in[27], -9.80665 / 0.3048);  // more than 1 g in the turn
    // Wings level themselves once the aileron is back at zero.
    const ctrls27::Controls neutral = with(0, 0, 0.55);
    for (int i = 0; i < 1200; ++i) {
        flight.next(0.05, &neutral);
    }
    EXPECT_LT(std::fabs(flight.bank()), 0.1 * degree);
}

TEST(PilotFlight, speed_follows_the_throttle_and_a_descent_ends_on_the_ground)
{
    const Flown idle = fly(nullptr, 0.0);
    const ctrls27::Controls fullThrottle = with(0, 0, 1.0);
    const ctrls27::Controls closedThrottle = with(0, 0, 0.0);
    const Flown full = fly(&fullThrottle, 60.0);
    const Flown closed = fly(&closedThrottle, 60.0);
    EXPECT_GT(full.speed, idle.speed);
    EXPECT_LT(closed.speed, idle.speed);
    EXPECT_NEAR(full.speed, 160.0 * 1852.0 / 3600.0, 0.5);
    EXPECT_GT(full.last[16], closed.last[16]);  // rpm

    const ctrls27::Controls dive = with(0, 1.0, 0.55);
    const Flown down = fly(&dive, 120.0);
    EXPECT_EQ(down.last[18], 0.0);  // on the ground, not below it
    EXPECT_EQ(down.last[7], 0.0);
}

TEST(DemoFlight, keeps_its_angles_in_range_and_flies_along_its_heading_over_a_pole_and_the_date_line)
{
    constexpr double pi = std::numbers::pi;
    const double starts[][2] = {{21.3187, -157.9225}, {89.999, 179.99}, {-89.999, -179.99}, {0.0, 179.9999}};
    for (const auto& start : starts) {
        runner::DemoFlight flight(start[0], start[1]);
        for (int i = 0; i < 40000; ++i) {
            const runner::Inputs& in = flight.next(i % 3 == 0 ? 0.05 : 0.01);
            const double latitude = in[0], longitude = in[1], heading = in[5];
            ASSERT_TRUE(latitude >= -pi / 2 && latitude <= pi / 2) << start[0] << " step " << i << ": " << latitude;
            ASSERT_TRUE(longitude >= -pi && longitude < pi) << start[0] << " step " << i << ": " << longitude;
            ASSERT_TRUE(heading >= 0.0 && heading < 2 * pi) << start[0] << " step " << i << ": " << heading;
            // North and east velocity (ft/s) point along the heading, also right after a pole.
            ASSERT_NEAR(std::atan2(in[20], in[19]), std::remainder(heading, 2 * pi), 1e-12) << start[0] << " step " << i;
        }
    }
}

}  // namespace
