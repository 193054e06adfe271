// Recognising, describing and decoding flight-dynamics datagrams.
#include "datagram.h"


namespace fdm {

namespace {

std::uint32_t byteSwapped(std::uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

}  // namespace

Recognised recognise(std::span<const std::uint8_t> datagram, Accept accept)
{
    const std::size_t length = datagram.size();
    if (length < 4) {
        return {Kind::malformed, Problem::tooShort, length, 0};
    }
    const std::uint32_t version = fdm17::loadU32(datagram.data());
    const bool controls = accept == Accept::controlsToo;
    const auto known = [controls](std::uint32_t v) {
        return v == fdm17::formatVersion || v == fdm24::formatVersion || (controls && v == ctrls27::formatVersion);
    };
    if (version == fdm17::formatVersion && length == fdm17::packetSize) {
        return {Kind::version17, Problem::none, length, version};
    }
    if (version == fdm24::formatVersion && length == fdm24::packetSize) {
        return {Kind::version24, Problem::none, length, version};
    }
    if (controls && version == ctrls27::formatVersion && length == ctrls27::packetSize) {
        return {Kind::controls27, Problem::none, length, version};
    }
    const std::uint32_t swapped = byteSwapped(version);
    if (known(swapped)) {
        return {Kind::malformed, Problem::byteSwapped, length, swapped};
    }
    if (known(version)) {
        return {Kind::malformed, Problem::wrongLength, length, version};
    }
    return {Kind::malformed, Problem::unknownVersion, length, version};
}

Recognised recogniseReceived(std::span<const std::uint8_t> kept, std::size_t length, Accept accept)
{
    if (kept.size() < length) {
        return Recognised{Kind::malformed, Problem::tooLong, length, 0};
    }
    return recognise(kept, accept);
}

std::string describe(const Recognised& r)
{
    const std::string bytes = std::to_string(r.length) + " bytes: ";
    switch (r.problem) {
    case Problem::none: return bytes + "well-formed version " + std::to_string(r.version);
    case Problem::tooShort: return bytes + "too short for a version word";
    case Problem::tooLong: return bytes + "too long for any version";
    case Problem::byteSwapped:
        return bytes + "version word reads " + std::to_string(r.version) + " only byte-swapped (sender in the wrong byte order)";
    case Problem::wrongLength:
        return bytes + "version " + std::to_string(r.version) + " needs " +
               std::to_string(r.version == fdm17::formatVersion   ? fdm17::packetSize
                              : r.version == fdm24::formatVersion ? fdm24::packetSize
                                                                  : ctrls27::packetSize);
    case Problem::unknownVersion: return bytes + "unknown version " + std::to_string(r.version);
    }
    return bytes + "malformed";
}

std::span<const fdm17::Field> fieldsOf(Kind kind)
{
    if (kind == Kind::version24) {
        return fdm24::fields;
    }
    if (kind == Kind::controls27) {
        return ctrls27::fields;
    }
    return fdm17::fields;
}

double valueOf(std::span<const std::uint8_t> datagram, const fdm17::Field& field, std::size_t index)
{
    const std::uint8_t* at = datagram.data() + field.offset + index * fdm17::encodingWidth(field.encoding);
    switch (field.encoding) {
    case fdm17::Encoding::u32: return fdm17::loadU32(at);
    case fdm17::Encoding::i32: return static_cast<std::int32_t>(fdm17::loadU32(at));
    case fdm17::Encoding::f32: return fdm17::loadF32(at);
    case fdm17::Encoding::f64: return fdm17::loadF64(at);
    case fdm17::Encoding::bytes: return *at;
    }
    return 0.0;
}

const char* engineStateName(std::uint32_t state)
{
    switch (state) {
    case 0: return "off";
    case 1: return "cranking";
    case 2: return "running";
    default: return "unknown";
    }
}

}  // namespace fdm
