// Where the runner's input vectors come from: the built-in demo flight or
// a CSV file with 28 numbers a row, in input-port order.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace runner {

inline constexpr int numInputs = 28;
inline constexpr int portWidths[9] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
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
    Inputs inputs_{};
};

// Reads rows of 28 comma-separated numbers; the first line may be a header.
class CsvInput {
public:
    explicit CsvInput(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
    // The next row, nullopt at the end; `error` is set (naming line and column) on a bad row.
    std::optional<Inputs> next(std::string& error);

private:
    std::FILE* file_;
    std::string name_;
    long line_ = 0;
};

// Parses one CSV row; on failure names the 1-based column in `error`.
bool parseRow(const std::string& row, Inputs& values, std::string& error);

}  // namespace runner
