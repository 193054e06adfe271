// The readable field table.
#include "readable.h"

#include <string_view>

#include <algorithm>
#include <array>

namespace fdm {

namespace {

using E = fdm17::Encoding;
namespace v17 = fdm17::offset;
namespace v24 = fdm24::offset;
constexpr int none = -1;
constexpr int at(std::size_t offset) { return static_cast<int>(offset); }
constexpr int surface(fdm17::Surface which) { return at(v17::surface) + 4 * static_cast<int>(which); }

const std::array table{
    Column{"version", "Version", "", E::u32, 1, at(v17::version), at(v24::version)},
    Column{"longitude", "Longitude", "rad", E::f64, 1, at(v17::longitude), at(v17::longitude), Shown::angle},
    Column{"latitude", "Latitude", "rad", E::f64, 1, at(v17::latitude), at(v17::latitude), Shown::angle},
    Column{"altitude", "Altitude", "m", E::f64, 1, at(v17::altitude), at(v17::altitude)},
    Column{"height_above_ground", "Height above ground", "m", E::f32, 1, at(v17::heightAboveGround), at(v17::heightAboveGround)},
    Column{"roll", "Roll", "rad", E::f32, 1, at(v17::roll), at(v17::roll), Shown::angle},
    Column{"pitch", "Pitch", "rad", E::f32, 1, at(v17::pitch), at(v17::pitch), Shown::angle},
    Column{"heading", "Heading", "rad", E::f32, 1, at(v17::heading), at(v17::heading), Shown::angle},
    Column{"angle_of_attack", "Angle of attack", "rad", E::f32, 1, at(v17::angleOfAttack), at(v17::angleOfAttack), Shown::angle},
    Column{"sideslip", "Sideslip", "rad", E::f32, 1, at(v17::sideslip), at(v17::sideslip), Shown::angle},
    Column{"roll_rate", "Roll rate", "rad/s", E::f32, 1, at(v17::rollRate), at(v17::rollRate)},
    Column{"pitch_rate", "Pitch rate", "rad/s", E::f32, 1, at(v17::pitchRate), at(v17::pitchRate)},
    Column{"yaw_rate", "Yaw rate", "rad/s", E::f32, 1, at(v17::yawRate), at(v17::yawRate)},
    Column{"calibrated_airspeed", "Calibrated airspeed", "kt", E::f32, 1, at(v17::calibratedAirspeed), at(v17::calibratedAirspeed)},
    Column{"climb_rate", "Climb rate", "ft/s", E::f32, 1, at(v17::climbRate), at(v17::climbRate)},
    Column{"velocity_north", "Velocity north", "ft/s", E::f32, 1, at(v17::velocityNorth), at(v17::velocityNorth)},
    Column{"velocity_east", "Velocity east", "ft/s", E::f32, 1, at(v17::velocityEast), at(v17::velocityEast)},
    Column{"velocity_down", "Velocity down", "ft/s", E::f32, 1, at(v17::velocityDown), at(v17::velocityDown)},
    Column{"body_velocity", "Body velocity u, v, w", "ft/s", E::f32, 3, at(v17::bodyWindVelocity), at(v17::bodyWindVelocity)},
    Column{"accel_x", "Acceleration x", "ft/s^2", E::f32, 1, at(v17::accelX), at(v17::accelX)},
    Column{"accel_y", "Acceleration y", "ft/s^2", E::f32, 1, at(v17::accelY), at(v17::accelY)},
    Column{"accel_z", "Acceleration z", "ft/s^2", E::f32, 1, at(v17::accelZ), at(v17::accelZ)},
    Column{"stall_warning", "Stall warning", "(0 to 1)", E::f32, 1, at(v17::stallWarning), at(v17::stallWarning)},
    Column{"slip", "Slip", "deg", E::f32, 1, at(v17::slip), at(v17::slip)},
    Column{"engine_count", "Number of engines", "", E::u32, 1, at(v17::engineCount), at(v24::engineCount)},
    Column{"engine_state", "Engine state", "", E::u32, 4, at(v17::engineState), at(v24::engineState), Shown::engineState},
    Column{"engine_rpm", "Engine speed", "rpm", E::f32, 4, at(v17::engineRpm), at(v24::engineRpm)},
    Column{"fuel_flow", "Fuel flow", "gal/h", E::f32, 4, at(v17::fuelFlow), at(v24::fuelFlow)},
    Column{"fuel_pressure", "Fuel pressure", "psi", E::f32, 4, none, at(v24::fuelPressure)},
    Column{"exhaust_gas_temperature", "Exhaust gas temperature", "degF", E::f32, 4, at(v17::exhaustGasTemperature), at(v24::exhaustGasTemperature)},
    Column{"cylinder_head_temperature", "Cylinder head temperature", "degF", E::f32, 4, none, at(v24::cylinderHeadTemperature)},
    Column{"manifold_pressure", "Manifold pressure", "inHg", E::f32, 4, none, at(v24::manifoldPressure)},
    Column{"turbine_inlet_temperature", "Turbine inlet temperature", "degF", E::f32, 4, none, at(v24::turbineInletTemperature)},
    Column{"oil_temperature", "Oil temperature", "degF", E::f32, 4, at(v17::oilTemperature), at(v24::oilTemperature)},
    Column{"oil_pressure", "Oil pressure", "psi", E::f32, 4, at(v17::oilPressure), at(v24::oilPressure)},
    Column{"tank_count", "Number of tanks", "", E::u32, 1, at(v17::tankCount), at(v24::tankCount)},
    Column{"fuel_quantity", "Fuel quantity", "gal", E::f32, 4, at(v17::fuelQuantity), at(v24::fuelQuantity)},
    Column{"wheel_count", "Number of wheels", "", E::u32, 1, at(v17::wheelCount), at(v24::wheelCount)},
    Column{"weight_on_wheels", "Weight on wheels", "", E::u32, 3, at(v17::weightOnWheels), at(v24::weightOnWheels), Shown::number, 1},
    Column{"gear_position", "Gear position", "(0 to 1)", E::f32, 3, at(v17::gearPosition), at(v24::gearPosition)},
    Column{"gear_steering", "Gear steering", "normalised", E::f32, 3, at(v17::gearSteering), at(v24::gearSteering)},
    Column{"gear_compression", "Gear compression", "normalised", E::f32, 3, at(v17::gearCompression), at(v24::gearCompression)},
    Column{"current_time", "Current time", "s since 1970", E::u32, 1, at(v17::currentTime), at(v24::currentTime), Shown::time},
    Column{"warp", "Time offset", "s", E::i32, 1, at(v17::warp), at(v24::warp)},
    Column{"visibility", "Visibility", "m", E::f32, 1, at(v17::visibility), at(v24::visibility)},
    Column{"elevator", "Elevator", "normalised", E::f32, 1, surface(fdm17::ELEVATOR), at(v24::elevator)},
    Column{"elevator_trim_tab", "Elevator trim tab", "normalised", E::f32, 1, surface(fdm17::ELEVATOR_TRIM_TAB), at(v24::elevatorTrimTab)},
    Column{"flaps", "Flaps", "normalised", E::f32, 1, surface(fdm17::FLAPS), none},
    Column{"left_flap", "Left flap", "normalised", E::f32, 1, none, at(v24::leftFlap)},
    Column{"right_flap", "Right flap", "normalised", E::f32, 1, none, at(v24::rightFlap)},
    Column{"left_aileron", "Left aileron", "normalised", E::f32, 1, surface(fdm17::LEFT_AILERON), at(v24::leftAileron)},
    Column{"right_aileron", "Right aileron", "normalised", E::f32, 1, surface(fdm17::RIGHT_AILERON), at(v24::rightAileron)},
    Column{"rudder", "Rudder", "normalised", E::f32, 1, surface(fdm17::RUDDER), at(v24::rudder)},
    Column{"nose_wheel", "Nose wheel", "normalised", E::f32, 1, surface(fdm17::NOSE_WHEEL), at(v24::noseWheel)},
    Column{"speed_brake", "Speed brake", "normalised", E::f32, 1, surface(fdm17::SPEED_BRAKE), at(v24::speedBrake)},
    Column{"spoilers", "Spoilers", "normalised", E::f32, 1, surface(fdm17::SPOILERS), at(v24::spoilers)},
};

}  // namespace

std::span<const Column> columns() { return table; }

bool columnValue(std::span<const std::uint8_t> datagram, Kind kind, const Column& column, int index, double& value)
{
    const int offset = kind == Kind::version17 ? column.offset17 : column.offset24;
    if (offset < 0 || index < 0 || index >= column.count) {
        return false;
    }
    const bool narrow = kind == Kind::version17 && column.width17 != 0;
    const auto width = narrow ? static_cast<std::size_t>(column.width17) : fdm17::encodingWidth(column.encoding);
    const std::size_t position = static_cast<std::size_t>(offset) + static_cast<std::size_t>(index) * width;
    if (position + width > datagram.size()) {
        return false;
    }
    if (narrow) {
        value = datagram[position];
        return true;
    }
    value = valueOf(datagram, fdm17::Field{"", position, 1, column.encoding}, 0);
    return true;
}

std::string keyWithUnit(const Column& column)
{
    struct Suffix {
        std::string_view unit;
        const char* suffix;
    };
    static constexpr Suffix suffixes[] = {
        {"rad", "_rad"},   {"m", "_m"},       {"rad/s", "_radps"}, {"kt", "_kt"},     {"ft/s", "_ftps"},
        {"ft/s^2", "_ftps2"}, {"deg", "_deg"}, {"rpm", "_rpm"},   {"gal/h", "_galph"}, {"psi", "_psi"},
        {"degF", "_degf"}, {"inHg", "_inhg"}, {"gal", "_gal"},    {"s", "_s"},        {"s since 1970", "_s"},
    };
    const std::string_view name = column.name;
    for (const Suffix& s : suffixes) {
        const std::string_view suffix = s.suffix;
        const bool named = name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
        if (s.unit == column.unit) {
            return named ? std::string(name) : std::string(name) + s.suffix;  // engine_rpm stays
        }
    }
    return column.name;  // a count, a state, a normalised or 0-to-1 value
}

void writeCsvHeader(std::FILE* out)
{
    std::fprintf(out, "received_at");
    for (const Column& column : table) {
        for (int i = 0; i < column.count; ++i) {
            std::fprintf(out, column.count > 1 ? ",%s_%d" : ",%s", column.name, i + 1);
        }
    }
    std::fprintf(out, "\n");
}

void writeCsvRow(std::FILE* out, std::span<const std::uint8_t> datagram, Kind kind, double receivedAt)
{
    std::fprintf(out, "%.6f", receivedAt);
    for (const Column& column : table) {
        for (int i = 0; i < column.count; ++i) {
            double value = 0.0;
            if (columnValue(datagram, kind, column, i, value)) {
                std::fprintf(out, ",%.17g", value);
            } else {
                std::fprintf(out, ",");
            }
        }
    }
    std::fprintf(out, "\n");
}

namespace {

const std::array controlsTable{
    ControlsColumn{"aileron", "Aileron", 1},
    ControlsColumn{"elevator", "Elevator", 1},
    ControlsColumn{"rudder", "Rudder", 1},
    ControlsColumn{"aileron_trim", "Aileron trim", 1},
    ControlsColumn{"elevator_trim", "Elevator trim", 1},
    ControlsColumn{"rudder_trim", "Rudder trim", 1},
    ControlsColumn{"flaps", "Flaps", 1},
    ControlsColumn{"spoilers", "Spoilers", 1},
    ControlsColumn{"speedbrake", "Speedbrake", 1},
    ControlsColumn{"throttle", "Throttle", ctrls27::maxEngines},
    ControlsColumn{"mixture", "Mixture", ctrls27::maxEngines},
    ControlsColumn{"propeller", "Propeller advance", ctrls27::maxEngines},
    ControlsColumn{"brake_left", "Left brake", 1},
    ControlsColumn{"brake_right", "Right brake", 1},
    ControlsColumn{"brake_parking", "Parking brake", 1},
    ControlsColumn{"gear_handle", "Gear handle (1 down)", 1},
};

}  // namespace

std::span<const ControlsColumn> controlsColumns() { return controlsTable; }

std::array<double, numControlsValues> controlsValues(const ctrls27::Controls& controls)
{
    std::array<double, numControlsValues> values{};
    auto at = values.begin();
    for (const std::span<const double> group :
         {std::span<const double>(controls.flight), std::span<const double>(controls.throttle),
          std::span<const double>(controls.mixture), std::span<const double>(controls.propeller),
          std::span<const double>(controls.gear)}) {
        at = std::copy(group.begin(), group.end(), at);
    }
    return values;
}

void writeControlsCsvHeader(std::FILE* out)
{
    std::fprintf(out, "received_at,version");
    for (const ControlsColumn& column : controlsTable) {
        for (int i = 0; i < column.count; ++i) {
            std::fprintf(out, column.count > 1 ? ",%s_%d" : ",%s", column.name, i + 1);
        }
    }
    std::fprintf(out, "\n");
}

void writeControlsCsvRow(std::FILE* out, const ctrls27::Controls& controls, double receivedAt)
{
    std::fprintf(out, "%.6f,%u", receivedAt, static_cast<unsigned>(ctrls27::formatVersion));
    for (const double value : controlsValues(controls)) {
        std::fprintf(out, ",%.17g", value);
    }
    std::fprintf(out, "\n");
}

}  // namespace fdm
