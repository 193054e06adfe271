// Recognising, describing and decoding flight-dynamics datagrams of
// version 17 (336 bytes) and version 24 (408 bytes), for the tools; the
// translation between them is the block's own (fdm_v24.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "fdm_packet_read.h"
#include "fdm_v24.h"

namespace fdm {

enum class Kind { version17, version24, malformed };

enum class Problem { none, tooShort, tooLong, byteSwapped, wrongLength, unknownVersion };

struct Recognised {
    Kind kind;
    Problem problem;
    std::size_t length;
    std::uint32_t version;  // as read, or byte-swapped for Problem::byteSwapped
};

// Tells a well-formed datagram of either version from anything else:
// another length, another version, or a version word in the wrong byte
// order. Allocates nothing.
Recognised recognise(std::span<const std::uint8_t> datagram);

// As recognise(), for a datagram of `length` bytes of which `kept` holds
// what a buffer or a capture kept: one cut short is too long to read.
Recognised recogniseReceived(std::span<const std::uint8_t> kept, std::size_t length);

// One line saying what is wrong with a malformed datagram.
std::string describe(const Recognised& recognised);

// The field table of a well-formed datagram's version.
std::span<const fdm17::Field> fieldsOf(Kind kind);

// Element `index` of `field`, as a double (integers exactly).
double valueOf(std::span<const std::uint8_t> datagram, const fdm17::Field& field, std::size_t index);

// "off", "cranking", "running", or "unknown".
const char* engineStateName(std::uint32_t state);

}  // namespace fdm
