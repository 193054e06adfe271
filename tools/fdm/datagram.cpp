// Recognising, decoding and translating flight-dynamics datagrams.
#include "datagram.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fdm {

namespace {

std::uint32_t byteSwapped(std::uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

}  // namespace

Recognised recognise(std::span<const std::uint8_t> datagram)
{
    const std::size_t length = datagram.size();
    if (length < 4) {
        return {Kind::malformed, Problem::tooShort, length, 0};
    }
    const std::uint32_t version = fdm17::loadU32(datagram.data());
    if (version == fdm17::formatVersion && length == fdm17::packetSize) {
        return {Kind::version17, Problem::none, length, version};
    }
    if (version == fdm24::formatVersion && length == fdm24::packetSize) {
        return {Kind::version24, Problem::none, length, version};
    }
    const std::uint32_t swapped = byteSwapped(version);
    if (swapped == fdm17::formatVersion || swapped == fdm24::formatVersion) {
        return {Kind::malformed, Problem::byteSwapped, length, swapped};
    }
    if (version == fdm17::formatVersion || version == fdm24::formatVersion) {
        return {Kind::malformed, Problem::wrongLength, length, version};
    }
    return {Kind::malformed, Problem::unknownVersion, length, version};
}

Recognised recogniseReceived(std::span<const std::uint8_t> kept, std::size_t length)
{
    if (kept.size() < length) {
        return Recognised{Kind::malformed, Problem::tooLong, length, 0};
    }
    return recognise(kept);
}

bool forwardable(std::span<const std::uint8_t> datagram)
{
    // The same offsets in both versions: position and attitude lead both layouts.
    namespace at = fdm17::offset;
    for (const std::size_t offset : {at::longitude, at::latitude, at::altitude}) {
        if (!std::isfinite(fdm17::loadF64(datagram.data() + offset))) {
            return false;
        }
    }
    for (const std::size_t offset : {at::roll, at::pitch, at::heading}) {
        if (!std::isfinite(fdm17::loadF32(datagram.data() + offset))) {
            return false;
        }
    }
    return true;
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
               std::to_string(r.version == fdm17::formatVersion ? fdm17::packetSize : fdm24::packetSize);
    case Problem::unknownVersion: return bytes + "unknown version " + std::to_string(r.version);
    }
    return bytes + "malformed";
}

std::span<const fdm17::Field> fieldsOf(Kind kind)
{
    if (kind == Kind::version24) {
        return fdm24::fields;
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

void translate17to24(std::span<const std::uint8_t, fdm17::packetSize> in, std::span<std::uint8_t, fdm24::packetSize> out)
{
    namespace v17 = fdm17::offset;
    namespace v24 = fdm24::offset;
    const std::uint8_t* from = in.data();
    std::uint8_t* to = out.data();
    std::memset(to, 0, fdm24::packetSize);
    auto copy = [from, to](std::size_t source, std::size_t target, std::size_t bytes) {
        std::memcpy(to + target, from + source, bytes);
    };
    auto clamped = [from, to](std::size_t source, std::size_t target, std::uint32_t most) {
        fdm17::storeU32(to + target, std::min(fdm17::loadU32(from + source), most));
    };

    fdm17::storeU32(to + v24::version, fdm24::formatVersion);
    copy(v17::padding, v17::padding, v17::engineCount - v17::padding);  // identical up to the engines
    clamped(v17::engineCount, v24::engineCount, fdm24::maxEngines);
    copy(v17::engineState, v24::engineState, v17::exhaustGasTemperature - v17::engineState);
    copy(v17::exhaustGasTemperature, v24::exhaustGasTemperature, 16);
    copy(v17::oilTemperature, v24::oilTemperature, 16);
    copy(v17::oilPressure, v24::oilPressure, 16);
    clamped(v17::tankCount, v24::tankCount, fdm24::maxTanks);
    copy(v17::fuelQuantity, v24::fuelQuantity, 16);
    clamped(v17::wheelCount, v24::wheelCount, fdm24::maxWheels);
    for (std::size_t wheel = 0; wheel < fdm24::maxWheels; ++wheel) {
        fdm17::storeU32(to + v24::weightOnWheels + 4 * wheel, from[v17::weightOnWheels + wheel] != 0 ? 1u : 0u);
    }
    copy(v17::gearPosition, v24::gearPosition, 12);
    copy(v17::gearSteering, v24::gearSteering, 12);
    copy(v17::gearCompression, v24::gearCompression, 12);
    copy(v17::currentTime, v24::currentTime, 4);
    copy(v17::warp, v24::warp, 4);
    copy(v17::visibility, v24::visibility, 4);

    using S = fdm17::Surface;
    auto surface = [](S which) { return v17::surface + 4 * static_cast<std::size_t>(which); };
    copy(surface(S::ELEVATOR), v24::elevator, 4);
    copy(surface(S::ELEVATOR_TRIM_TAB), v24::elevatorTrimTab, 4);
    copy(surface(S::FLAPS), v24::leftFlap, 4);
    copy(surface(S::FLAPS), v24::rightFlap, 4);
    copy(surface(S::LEFT_AILERON), v24::leftAileron, 4);
    copy(surface(S::RIGHT_AILERON), v24::rightAileron, 4);
    copy(surface(S::RUDDER), v24::rudder, 4);
    copy(surface(S::NOSE_WHEEL), v24::noseWheel, 4);
    copy(surface(S::SPEED_BRAKE), v24::speedBrake, 4);
    copy(surface(S::SPOILERS), v24::spoilers, 4);
}

}  // namespace fdm
