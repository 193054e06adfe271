// Reading a packet back: big-endian words and floating point from the
// packet's bytes, for the tools and tests that take datagrams apart.
#pragma once

#include <cstdint>
#include <cstring>

#include "fdm_packet.h"

namespace fdm17 {

inline std::uint32_t loadU32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
           static_cast<std::uint32_t>(at[2]) << 8 | static_cast<std::uint32_t>(at[3]);
}

inline std::uint64_t loadU64(const std::uint8_t* at)
{
    return static_cast<std::uint64_t>(loadU32(at)) << 32 | loadU32(at + 4);
}

inline float loadF32(const std::uint8_t* at)
{
    const std::uint32_t bits = loadU32(at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline double loadF64(const std::uint8_t* at)
{
    const std::uint64_t bits = loadU64(at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace fdm17
