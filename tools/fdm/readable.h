// The fields of both packet versions as a person reads them: one table of
// named, unit-carrying columns (the names the Wireshark dissector uses), each
// with its offset in version 17 and in version 24, or none where a version
// lacks it. The listener's full dump and its CSV table come from it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "datagram.h"

namespace fdm {

enum class Shown { number, angle, engineState, time };

struct Column {
    const char* name;   // snake_case, as the dissector's filter names
    const char* label;  // for people
    const char* unit;   // "" when the value has none
    fdm17::Encoding encoding;
    int count;          // elements
    int offset17;       // -1: not in version 17
    int offset24;       // -1: not in version 24
    Shown shown = Shown::number;
    int width17 = 0;    // element width in version 17 when it differs (one byte per wheel)
};

std::span<const Column> columns();

// The column's name with its unit as a key ends in it ("latitude_rad",
// "climb_rate_ftps"); the name alone for a value without a unit.
std::string keyWithUnit(const Column& column);

// Element `index` of `column` in a well-formed datagram; false when its version has no such field.
bool columnValue(std::span<const std::uint8_t> datagram, Kind kind, const Column& column, int index, double& value);

// One CSV table for both versions: a header, then one row a datagram with
// its receive time; a fixed set of columns, empty where a version has no such field.
void writeCsvHeader(std::FILE* out);
void writeCsvRow(std::FILE* out, std::span<const std::uint8_t> datagram, Kind kind, double receivedAt);

// ---- The controls datagram, as the controls block's ports give it ---------

struct ControlsColumn {
    const char* name;   // snake_case, as the JSON keys and CSV columns name it
    const char* label;  // for people
    int count;          // elements
};

// The 16 columns (25 values) in the block's port order: the flight
// controls, throttle, mixture and propeller (4 each), brakes, gear handle.
std::span<const ControlsColumn> controlsColumns();
constexpr int numControlsValues = 25;

// The decoded values in that order.
std::array<double, numControlsValues> controlsValues(const ctrls27::Controls& controls);

// The controls datagrams' own CSV table: a header, then a row a datagram.
void writeControlsCsvHeader(std::FILE* out);
void writeControlsCsvRow(std::FILE* out, const ctrls27::Controls& controls, double receivedAt);

}  // namespace fdm
