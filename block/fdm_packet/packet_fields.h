// What every packet layout here is made of: fields of big-endian words at
// fixed offsets, a check that they tile a packet, and the big-endian stores
// and loads. C++11, like the rest of the block's core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Each packet takes only some of the big-endian helpers below. The one-file
// sources for mex put them in an unnamed namespace, where a compiler would
// warn of the rest.
#if defined(__GNUC__)
#define ORVALINK_PACKET_HELPER inline __attribute__((unused))
#else
#define ORVALINK_PACKET_HELPER inline
#endif

namespace fdm17 {

enum class Encoding : std::uint8_t { u32, i32, f32, f64, bytes };

constexpr std::size_t encodingWidth(Encoding encoding)
{
    return encoding == Encoding::f64 ? 8 : encoding == Encoding::bytes ? 1 : 4;
}

struct Field {
    const char* name;
    std::size_t offset;
    std::size_t count;  // elements of the encoding
    Encoding encoding;
    constexpr std::size_t size() const { return count * encodingWidth(encoding); }
};

// True when the `count` fields from `field` follow each other without gap or
// overlap, starting at `next` and ending at `total` (one return: C++11).
constexpr bool tilesExactly(const Field* field, std::size_t count, std::size_t next, std::size_t total)
{
    return count == 0 ? next == total
                      : field->offset == next && tilesExactly(field + 1, count - 1, next + field->size(), total);
}
// ---- Big-endian access ------------------------------------------------------

ORVALINK_PACKET_HELPER void storeU32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

ORVALINK_PACKET_HELPER void storeU64(std::uint8_t* at, std::uint64_t value)
{
    storeU32(at, static_cast<std::uint32_t>(value >> 32));
    storeU32(at + 4, static_cast<std::uint32_t>(value));
}

// A float's bit pattern through memcpy, which compilers turn into a register move.
ORVALINK_PACKET_HELPER std::uint32_t bitsOfFloat(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// ---- Reading back ------------------------------------------------------------

ORVALINK_PACKET_HELPER std::uint32_t loadU32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
           static_cast<std::uint32_t>(at[2]) << 8 | static_cast<std::uint32_t>(at[3]);
}

ORVALINK_PACKET_HELPER std::uint64_t loadU64(const std::uint8_t* at)
{
    return static_cast<std::uint64_t>(loadU32(at)) << 32 | loadU32(at + 4);
}

ORVALINK_PACKET_HELPER float loadF32(const std::uint8_t* at)
{
    const std::uint32_t bits = loadU32(at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ORVALINK_PACKET_HELPER double loadF64(const std::uint8_t* at)
{
    const std::uint64_t bits = loadU64(at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace fdm17
