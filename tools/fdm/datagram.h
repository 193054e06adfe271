// Recognising, describing and decoding flight-dynamics datagrams of
// version 17 (336 bytes) and version 24 (408 bytes), and where a tool asks
// for them FlightGear's controls datagrams (version 27, 744 bytes), for the
// tools; the translation between them is the block's own (fdm_v24.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "controls_packet.h"
#include "fdm_packet_read.h"
#include "fdm_v24.h"

namespace fdm {

enum class Kind { version17, version24, controls27, malformed };

enum class Problem { none, tooShort, tooLong, byteSwapped, wrongLength, unknownVersion };

struct Recognised {
    Kind kind;
    Problem problem;
    std::size_t length;
    std::uint32_t version;  // as read, or byte-swapped for Problem::byteSwapped
};

// Whether a controls datagram is one of the kinds recognised: only for a
// tool that shows them; to the others version 27 is an unknown version.
enum class Accept { flightDynamics, controlsToo };

// Tells a well-formed datagram of either version from anything else:
// another length, another version, or a version word in the wrong byte
// order. Allocates nothing.
Recognised recognise(std::span<const std::uint8_t> datagram, Accept accept = Accept::flightDynamics);

// As recognise(), for a datagram of `length` bytes of which `kept` holds
// what a buffer or a capture kept: one cut short is too long to read.
Recognised recogniseReceived(std::span<const std::uint8_t> kept, std::size_t length,
                             Accept accept = Accept::flightDynamics);

// One line saying what is wrong with a malformed datagram.
std::string describe(const Recognised& recognised);

// The field table of a well-formed datagram's version.
std::span<const fdm17::Field> fieldsOf(Kind kind);

// Element `index` of `field`, as a double (integers exactly).
double valueOf(std::span<const std::uint8_t> datagram, const fdm17::Field& field, std::size_t index);

// "off", "cranking", "running", or "unknown".
const char* engineStateName(std::uint32_t state);

}  // namespace fdm
