// Where the runner's input vectors come from: the built-in demo flight or
// a CSV file with 28 numbers a row, in input-port order.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace runner {

inline constexpr int numInputs = 28;
inline constexpr int numPorts = 9;
inline constexpr int portWidths[numPorts] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
using Inputs = std::array<double, numInputs>;

// A smooth climbing turn in the units FlightGear reads: radians, metres,
// knots, feet per second. Bank rolls in over the first seconds; heading,
// turn rate, body rates, load factor and track agree with each other.
class DemoFlight {
public:
    DemoFlight(double latitudeDeg, double longitudeDeg);
    // The state after `dt` more seconds.
    const Inputs& next(double dt);

private:
    double time_ = -1.0;
    double latitude_;   // rad
    double longitude_;  // rad
    double altitude_;   // m
    double heading_;    // rad
    double pitch_;      // rad, constant in the steady climb
    double groundSpeed_;  // m/s
    double cosPitch_;
    double bank_ = 0.0;  // rad, and its sine and cosine
    double sinBank_ = 0.0;
    double cosBank_ = 1.0;
    double aileron_ = 0.0;
    double cosHeading_;  // of heading_
    double sinHeading_;
    Inputs inputs_{};
};

// Reads rows of 28 comma-separated numbers, each optionally in double
// quotes, after an optional byte-order mark. The first line is a header
// when none of its cells is a number; no other line may be one.
class CsvInput {
public:
    static constexpr std::size_t longestLine = 64 * 1024;

    explicit CsvInput(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) { line_.reserve(256); }
    // The next row, null at the end; `error` is set ("file:line: reason") on a bad row.
    // The row stays valid until the next call.
    const Inputs* next(std::string& error);
    // Back to the first row, for another round; false when the input cannot be read again (a pipe).
    bool restart();

private:
    bool readLine();  // false at the end of the file

    std::FILE* file_;
    std::string name_;
    std::string line_;
    bool tooLong_ = false;
    long lineNumber_ = 0;
    Inputs values_{};
};

// The CSV form that CsvInput reads: a header naming the 28 inputs, and rows.
void writeHeader(std::FILE* file);
void writeRow(std::FILE* file, const Inputs& values);

// What parseRow found.
enum class RowKind { values, header, bad };

// Parses one CSV row into `values`; a header has no number in any cell. On a
// bad row `error` names the 1-based column.
RowKind parseRow(std::string_view row, Inputs& values, std::string& error);

}  // namespace runner
