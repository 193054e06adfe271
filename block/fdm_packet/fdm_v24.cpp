// The version-17 packet in the version-24 layout.
#include "fdm_v24.h"

#include <cmath>

#include "fdm_packet_read.h"

namespace fdm24 {
namespace {

namespace v17 = fdm17::offset;
namespace v24 = fdm24::offset;

void copy(const std::uint8_t* from, std::size_t source, std::uint8_t* to, std::size_t target, std::size_t bytes)
{
    std::memcpy(to + target, from + source, bytes);
}

void clamped(const std::uint8_t* from, std::size_t source, std::uint8_t* to, std::size_t target, std::uint32_t most)
{
    const std::uint32_t count = fdm17::loadU32(from + source);
    fdm17::storeU32(to + target, count < most ? count : most);
}

std::size_t surface(fdm17::Surface which) { return v17::surface + 4 * static_cast<std::size_t>(which); }

}  // namespace

void translate17to24(const std::uint8_t* from, std::uint8_t* to) noexcept
{
    std::memset(to, 0, packetSize);
    fdm17::storeU32(to + v24::version, formatVersion);
    copy(from, v17::padding, to, v17::padding, v17::engineCount - v17::padding);  // identical up to the engines
    clamped(from, v17::engineCount, to, v24::engineCount, maxEngines);
    copy(from, v17::engineState, to, v24::engineState, v17::exhaustGasTemperature - v17::engineState);
    copy(from, v17::exhaustGasTemperature, to, v24::exhaustGasTemperature, 16);
    copy(from, v17::oilTemperature, to, v24::oilTemperature, 16);
    copy(from, v17::oilPressure, to, v24::oilPressure, 16);
    clamped(from, v17::tankCount, to, v24::tankCount, maxTanks);
    copy(from, v17::fuelQuantity, to, v24::fuelQuantity, 16);
    clamped(from, v17::wheelCount, to, v24::wheelCount, maxWheels);
    for (std::size_t wheel = 0; wheel < maxWheels; ++wheel) {
        fdm17::storeU32(to + v24::weightOnWheels + 4 * wheel, from[v17::weightOnWheels + wheel] != 0 ? 1u : 0u);
    }
    copy(from, v17::gearPosition, to, v24::gearPosition, 12);
    copy(from, v17::gearSteering, to, v24::gearSteering, 12);
    copy(from, v17::gearCompression, to, v24::gearCompression, 12);
    copy(from, v17::currentTime, to, v24::currentTime, 4);
    copy(from, v17::warp, to, v24::warp, 4);
    copy(from, v17::visibility, to, v24::visibility, 4);

    copy(from, surface(fdm17::ELEVATOR), to, v24::elevator, 4);
    copy(from, surface(fdm17::ELEVATOR_TRIM_TAB), to, v24::elevatorTrimTab, 4);
    copy(from, surface(fdm17::FLAPS), to, v24::leftFlap, 4);
    copy(from, surface(fdm17::FLAPS), to, v24::rightFlap, 4);
    copy(from, surface(fdm17::LEFT_AILERON), to, v24::leftAileron, 4);
    copy(from, surface(fdm17::RIGHT_AILERON), to, v24::rightAileron, 4);
    copy(from, surface(fdm17::RUDDER), to, v24::rudder, 4);
    copy(from, surface(fdm17::NOSE_WHEEL), to, v24::noseWheel, 4);
    copy(from, surface(fdm17::SPEED_BRAKE), to, v24::speedBrake, 4);
    copy(from, surface(fdm17::SPOILERS), to, v24::spoilers, 4);
}

bool forwardable(const std::uint8_t* packet) noexcept
{
    return std::isfinite(fdm17::loadF64(packet + v17::longitude)) && std::isfinite(fdm17::loadF64(packet + v17::latitude)) &&
           std::isfinite(fdm17::loadF64(packet + v17::altitude)) && std::isfinite(fdm17::loadF32(packet + v17::roll)) &&
           std::isfinite(fdm17::loadF32(packet + v17::pitch)) && std::isfinite(fdm17::loadF32(packet + v17::heading));
}

}  // namespace fdm24
