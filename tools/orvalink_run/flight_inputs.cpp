// The demo flight and the CSV reader.
#include "flight_inputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace runner {

namespace {

constexpr double degree = std::numbers::pi / 180.0;
constexpr double earthRadius = 6371000.0;    // m
constexpr double gravity = 9.80665;          // m/s^2
constexpr double feetPerMetre = 1.0 / 0.3048;
constexpr double knotsPerMetrePerSecond = 3600.0 / 1852.0;

constexpr double groundElevation = 4.0;  // m, about that of the start airfield
constexpr double startAltitude = 300.0;  // m
constexpr double trueAirspeed = 60.0;    // m/s
constexpr double climbRate = 2.5;        // m/s
constexpr double fullBank = 20.0 * degree;
constexpr double rollInTime = 8.0;        // s
constexpr double startHeading = 80.0 * degree;

}  // namespace

DemoFlight::DemoFlight(double latitudeDeg, double longitudeDeg)
    : latitude_(latitudeDeg * degree),
      longitude_(longitudeDeg * degree),
      altitude_(startAltitude),
      heading_(startHeading)
{
}

const Inputs& DemoFlight::next(double dt)
{
    time_ = time_ < 0.0 ? 0.0 : time_ + dt;
    // Bank eases in with a smooth step, then holds.
    const double s = std::clamp(time_ / rollInTime, 0.0, 1.0);
    const double bank = fullBank * s * s * (3.0 - 2.0 * s);
    const double rollRate = fullBank * 6.0 * s * (1.0 - s) / rollInTime;
    const double turnRate = gravity * std::tan(bank) / trueAirspeed;  // coordinated turn
    const double flightPath = std::asin(climbRate / trueAirspeed);
    const double pitch = flightPath + 2.0 * degree;  // a little angle of attack
    const double groundSpeed = trueAirspeed * std::cos(flightPath);

    if (time_ > 0.0) {
        heading_ = std::fmod(heading_ + turnRate * dt + 2.0 * std::numbers::pi, 2.0 * std::numbers::pi);
        latitude_ += groundSpeed * std::cos(heading_) * dt / earthRadius;
        longitude_ += groundSpeed * std::sin(heading_) * dt / (earthRadius * std::cos(latitude_));
        altitude_ += climbRate * dt;
    }
    const double loadFactor = 1.0 / std::cos(bank);

    Inputs& in = inputs_;
    // Port 0: latitude, longitude (rad), altitude (m).
    in[0] = latitude_;
    in[1] = longitude_;
    in[2] = altitude_;
    // Port 1: roll, pitch, heading (rad).
    in[3] = bank;
    in[4] = pitch;
    in[5] = heading_;
    // Port 2: calibrated airspeed (kt), climb rate (ft/s).
    in[6] = trueAirspeed * knotsPerMetrePerSecond;
    in[7] = climbRate * feetPerMetre;
    // Port 3: flaps, elevator, aileron, rudder; three spare elements.
    in[8] = 0.0;
    in[9] = -0.05 - 0.02 * s;
    in[10] = 0.03 * std::sin(std::numbers::pi * s);
    in[11] = 0.01 * s;
    in[12] = in[13] = in[14] = 0.0;
    // Port 4: engine running, rpm, fuel flow (gal/h).
    in[15] = 1.0;
    in[16] = 2450.0;
    in[17] = 9.5;
    // Port 5: height above ground (m).
    in[18] = altitude_ - groundElevation;
    // Port 6: velocity north, east, down (ft/s).
    in[19] = groundSpeed * std::cos(heading_) * feetPerMetre;
    in[20] = groundSpeed * std::sin(heading_) * feetPerMetre;
    in[21] = -climbRate * feetPerMetre;
    // Port 7: body roll, pitch, yaw rates (rad/s) of a steady coordinated turn.
    in[22] = rollRate;
    in[23] = turnRate * std::sin(bank) * std::cos(pitch);
    in[24] = turnRate * std::cos(bank) * std::cos(pitch);
    // Port 8: body accelerations felt by the pilot (ft/s^2).
    in[25] = 0.0;
    in[26] = 0.0;
    in[27] = -gravity * loadFactor * feetPerMetre;
    return in;
}

bool parseRow(const std::string& row, Inputs& values, std::string& error)
{
    std::size_t column = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = row.find(',', start);
        std::string cell = row.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        ++column;
        const auto first = cell.find_first_not_of(" \t\r");
        const auto last = cell.find_last_not_of(" \t\r");
        cell = first == std::string::npos ? std::string() : cell.substr(first, last - first + 1);
        if (column > numInputs) {
            error = "expected " + std::to_string(numInputs) + " values, found more";
            return false;
        }
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(cell.c_str(), &end);
        if (cell.empty() || end != cell.c_str() + cell.size()) {
            error = "column " + std::to_string(column) + ": not a number: '" + cell + "'";
            return false;
        }
        values[column - 1] = value;  // overflow to infinity and underflow are the values meant
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (column != numInputs) {
        error = "expected " + std::to_string(numInputs) + " values, found " + std::to_string(column);
        return false;
    }
    return true;
}

std::optional<Inputs> CsvInput::next(std::string& error)
{
    std::string row;
    while (true) {
        row.clear();
        int c = 0;
        while ((c = std::fgetc(file_)) != EOF && c != '\n') {
            row.push_back(static_cast<char>(c));
        }
        if (c == EOF && row.empty()) {
            if (std::ferror(file_)) {
                error = name_ + ": read error";
            }
            return std::nullopt;
        }
        ++line_;
        if (row.find_first_not_of(" \t\r") == std::string::npos) {
            continue;  // blank lines carry no step
        }
        Inputs values{};
        std::string problem;
        if (parseRow(row, values, problem)) {
            return values;
        }
        // A first line that does not start with a number is a header.
        if (line_ == 1) {
            char* end = nullptr;
            const std::string firstCell = row.substr(0, row.find(','));
            std::strtod(firstCell.c_str(), &end);
            if (end == firstCell.c_str()) {
                continue;
            }
        }
        error = name_ + ":" + std::to_string(line_) + ": " + problem;
        return std::nullopt;
    }
}

}  // namespace runner
