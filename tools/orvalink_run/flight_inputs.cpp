// The demo flight and the CSV reader.
#include "flight_inputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "command_line.h"
#include "flight_constants.h"
#include "input_elements.h"

namespace runner {

namespace {

constexpr double knotsPerMetrePerSecond = 1.0 / knot;

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
      heading_(startHeading),
      pitch_(std::asin(climbRate / trueAirspeed) + 2.0 * degree),  // flight path and a little angle of attack
      groundSpeed_(std::sqrt(trueAirspeed * trueAirspeed - climbRate * climbRate)),
      cosPitch_(std::cos(pitch_)),
      cosHeading_(std::cos(heading_)),
      sinHeading_(std::sin(heading_))
{
}

const Inputs& DemoFlight::next(double dt)
{
    time_ = time_ < 0.0 ? 0.0 : time_ + dt;
    // Bank eases in with a smooth step, then holds.
    const double s = std::clamp(time_ / rollInTime, 0.0, 1.0);
    const double bank = fullBank * s * s * (3.0 - 2.0 * s);
    const double rollRate = fullBank * 6.0 * s * (1.0 - s) / rollInTime;
    // Once the bank holds, so do its sine and cosine and the aileron: computed again only while it rolls in.
    if (bank != bank_) {
        bank_ = bank;
        sinBank_ = std::sin(bank);
        cosBank_ = std::cos(bank);
        aileron_ = 0.03 * std::sin(std::numbers::pi * s);
    }
    const double turnRate = gravity * sinBank_ / cosBank_ / trueAirspeed;  // coordinated turn
    const double pitch = pitch_;
    const double groundSpeed = groundSpeed_;

    if (time_ > 0.0) {
        // fmod and remainder cost as much as the rest of the step, and most steps need neither:
        // the heading plus a turn lies between one and two turns, where taking a turn away is
        // exact (what fmod gives, to the bit), and the longitude stays within a turn.
        constexpr double turn = 2.0 * std::numbers::pi;
        const double turned = heading_ + turnRate * dt + turn;
        heading_ = turned >= turn && turned < 2.0 * turn ? turned - turn : std::fmod(turned, turn);
        cosHeading_ = std::cos(heading_);
        sinHeading_ = std::sin(heading_);
        latitude_ += groundSpeed * cosHeading_ * dt / earthRadius;
        longitude_ += groundSpeed * sinHeading_ * dt / (earthRadius * std::max(std::cos(latitude_), 1e-9));
        if (std::fabs(latitude_) > std::numbers::pi / 2) {
            // Over the pole: down the other side, on the opposite meridian, heading the other way.
            latitude_ = std::copysign(std::numbers::pi, latitude_) - latitude_;
            longitude_ += std::numbers::pi;
            heading_ = std::fmod(heading_ + std::numbers::pi, turn);
            cosHeading_ = std::cos(heading_);
            sinHeading_ = std::sin(heading_);
        }
        // Longitude within [-180, 180) degrees.
        if (longitude_ < -std::numbers::pi || longitude_ >= std::numbers::pi) {
            longitude_ = std::remainder(longitude_, turn);
            if (longitude_ >= std::numbers::pi) {
                longitude_ -= turn;
            }
        }
        altitude_ += climbRate * dt;
    }
    const double loadFactor = 1.0 / cosBank_;

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
    in[10] = aileron_;
    in[11] = 0.01 * s;
    in[12] = in[13] = in[14] = 0.0;
    // Port 4: engine running, rpm, fuel flow (gal/h).
    in[15] = 1.0;
    in[16] = 2450.0;
    in[17] = 9.5;
    // Port 5: height above ground (m).
    in[18] = altitude_ - groundElevation;
    // Port 6: velocity north, east, down (ft/s).
    in[19] = groundSpeed * cosHeading_ * feetPerMetre;
    in[20] = groundSpeed * sinHeading_ * feetPerMetre;
    in[21] = -climbRate * feetPerMetre;
    // Port 7: body roll, pitch, yaw rates (rad/s) of a steady coordinated turn.
    in[22] = rollRate;
    in[23] = turnRate * sinBank_ * cosPitch_;
    in[24] = turnRate * cosBank_ * cosPitch_;
    // Port 8: body accelerations felt by the pilot (ft/s^2).
    in[25] = 0.0;
    in[26] = 0.0;
    in[27] = -gravity * loadFactor * feetPerMetre;
    return in;
}

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The cell without blanks around it and without one pair of enclosing double quotes.
std::string_view cellText(std::string_view cell)
{
    cell = trimmed(cell);
    if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
        cell = trimmed(cell.substr(1, cell.size() - 2));
    }
    return cell;
}

// The whole cell as a number (nan and inf included).
bool toNumber(std::string_view cell, double& value)
{
    char text[64];
    if (cell.empty() || cell.size() >= sizeof text) {
        return false;
    }
    cell.copy(text, cell.size());
    text[cell.size()] = '\0';
    char* end = nullptr;
    value = std::strtod(text, &end);  // overflow to infinity and underflow are the values meant
    return end == text + cell.size();
}

}  // namespace

void writeHeader(std::FILE* file)
{
    static_assert(orvalink::numInputElements == numInputs, "one name for each input");
    for (int i = 0; i < numInputs; ++i) {
        std::fprintf(file, "%s%s", i > 0 ? "," : "", orvalink::inputElements[i].name);
    }
    std::fputc('\n', file);
}

void writeRow(std::FILE* file, const Inputs& values)
{
    for (int i = 0; i < numInputs; ++i) {
        std::fprintf(file, i > 0 ? ",%.10g" : "%.10g", values[static_cast<std::size_t>(i)]);
    }
    std::fputc('\n', file);
}

RowKind parseRow(std::string_view row, Inputs& values, std::string& error)
{
    std::size_t columns = 0;
    std::size_t numbers = 0;
    std::size_t firstBad = 0;
    std::string_view badCell;
    for (std::size_t start = 0;;) {
        const std::size_t comma = row.find(',', start);
        const std::string_view cell = cellText(row.substr(start, comma == std::string_view::npos ? row.npos : comma - start));
        ++columns;
        double value = 0.0;
        if (toNumber(cell, value)) {
            if (columns <= numInputs) {
                values[columns - 1] = value;
            }
            ++numbers;
        } else if (firstBad == 0) {
            firstBad = columns;
            badCell = cell;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (numbers == 0) {
        return RowKind::header;
    }
    // Formatted in place: string concatenation trips GCC 12's -Wrestrict at -O3 (a false positive).
    char text[96];
    if (firstBad != 0) {
        std::snprintf(text, sizeof text, "column %zu: not a number: ", firstBad);
        error = text + command_line::quoted(badCell);
        return RowKind::bad;
    }
    if (columns != numInputs) {
        std::snprintf(text, sizeof text, "expected %d values, found %zu", numInputs, columns);
        error = text;
        return RowKind::bad;
    }
    return RowKind::values;
}

bool CsvInput::readLine()
{
    line_.clear();
    tooLong_ = false;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(file_)) != EOF && c != '\n') {
        any = true;
        if (line_.size() < longestLine) {
            line_.push_back(static_cast<char>(c));
        } else {
            tooLong_ = true;  // read on to the line's end, keep nothing more
        }
    }
    return any || c == '\n';
}

bool CsvInput::restart()
{
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        return false;
    }
    std::clearerr(file_);
    lineNumber_ = 0;
    return true;
}

const Inputs* CsvInput::next(std::string& error)
{
    error.clear();
    while (readLine()) {
        ++lineNumber_;
        std::string_view row = line_;
        if (lineNumber_ == 1 && row.substr(0, 3) == "\xEF\xBB\xBF") {
            row.remove_prefix(3);  // a UTF-8 byte-order mark, as Windows editors write
        }
        const auto where = [this] { return name_ + ":" + std::to_string(lineNumber_) + ": "; };
        if (tooLong_) {
            error = where() + "line longer than " + std::to_string(longestLine) + " bytes";
            return nullptr;
        }
        if (trimmed(row).empty()) {
            continue;  // blank lines carry no step
        }
        std::string problem;
        switch (parseRow(row, values_, problem)) {
        case RowKind::values: return &values_;
        case RowKind::header:
            if (lineNumber_ == 1) {
                continue;
            }
            error = where() + "no number in any column (a header is allowed on the first line only)";
            return nullptr;
        case RowKind::bad: error = where() + problem; return nullptr;
        }
    }
    if (std::ferror(file_)) {
        error = name_ + ": read error";
    }
    return nullptr;
}

}  // namespace runner
