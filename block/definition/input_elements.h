// The block's 28 input elements in port order, one vocabulary for every
// place that names them: the runner's CSV columns and the FMU's inputs
// (its model description is generated from this table, so keep one entry a
// line in this form).
#pragma once

namespace orvalink {

struct InputElement {
    const char* name;         // CSV column and FMU variable name
    const char* description;  // with the unit FlightGear expects
};

constexpr InputElement inputElements[] = {
    {"latitude_rad", "Latitude, geodetic (rad)"},
    {"longitude_rad", "Longitude (rad)"},
    {"altitude_m", "Altitude above sea level (m)"},
    {"roll_rad", "Roll angle (rad)"},
    {"pitch_rad", "Pitch angle (rad)"},
    {"heading_rad", "True heading (rad)"},
    {"calibrated_airspeed_kt", "Calibrated airspeed (kt)"},
    {"climb_rate_ftps", "Climb rate (ft/s)"},
    {"flaps", "Flaps, normalised 0 to 1"},
    {"elevator", "Elevator, normalised -1 to 1"},
    {"aileron", "Aileron, normalised -1 to 1 (sent negated for the left aileron)"},
    {"rudder", "Rudder, normalised -1 to 1 (sent negated for rudder and nose wheel)"},
    {"spare_1", "Unused"},
    {"spare_2", "Unused"},
    {"spare_3", "Unused"},
    {"engine_running", "Engine running when above 0"},
    {"engine_rpm", "Engine speed (rpm)"},
    {"fuel_flow_galph", "Fuel flow (gal/h)"},
    {"height_above_ground_m", "Height above ground (m)"},
    {"velocity_north_ftps", "Velocity north (ft/s)"},
    {"velocity_east_ftps", "Velocity east (ft/s)"},
    {"velocity_down_ftps", "Velocity down (ft/s)"},
    {"roll_rate_radps", "Roll rate (rad/s)"},
    {"pitch_rate_radps", "Pitch rate (rad/s)"},
    {"yaw_rate_radps", "Yaw rate (rad/s)"},
    {"accel_x_ftps2", "Body acceleration x at the pilot (ft/s2)"},
    {"accel_y_ftps2", "Body acceleration y at the pilot (ft/s2)"},
    {"accel_z_ftps2", "Body acceleration z at the pilot (ft/s2)"},
};

constexpr int numInputElements = sizeof inputElements / sizeof inputElements[0];
static_assert(numInputElements == 28, "the widths of the nine ports add up to 28");

}  // namespace orvalink
