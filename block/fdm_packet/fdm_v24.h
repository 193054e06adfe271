// The version-24 flight-dynamics packet that every FlightGear since 0.9.10
// reads: 408 bytes, big-endian, checked like the version-17 layout, and the
// translation of a version-17 packet into it. C++11, like the rest of the
// block's core: the block built by mex sends version 24 itself.
#pragma once

#include "fdm_packet.h"

namespace fdm24 {

using fdm17::Encoding;
using fdm17::Field;

constexpr std::size_t packetSize = 408;
constexpr std::uint32_t formatVersion = 24;
constexpr int maxEngines = 4;
constexpr int maxTanks = 4;
constexpr int maxWheels = 3;

namespace offset {
constexpr std::size_t version = 0;
constexpr std::size_t engineCount = 120;
constexpr std::size_t engineState = 124;
constexpr std::size_t engineRpm = 140;
constexpr std::size_t fuelFlow = 156;
constexpr std::size_t fuelPressure = 172;
constexpr std::size_t exhaustGasTemperature = 188;
constexpr std::size_t cylinderHeadTemperature = 204;
constexpr std::size_t manifoldPressure = 220;
constexpr std::size_t turbineInletTemperature = 236;
constexpr std::size_t oilTemperature = 252;
constexpr std::size_t oilPressure = 268;
constexpr std::size_t tankCount = 284;
constexpr std::size_t fuelQuantity = 288;
constexpr std::size_t wheelCount = 304;
constexpr std::size_t weightOnWheels = 308;  // 3 x u32
constexpr std::size_t gearPosition = 320;
constexpr std::size_t gearSteering = 332;
constexpr std::size_t gearCompression = 344;
constexpr std::size_t currentTime = 356;
constexpr std::size_t warp = 360;
constexpr std::size_t visibility = 364;
constexpr std::size_t elevator = 368;
constexpr std::size_t elevatorTrimTab = 372;
constexpr std::size_t leftFlap = 376;
constexpr std::size_t rightFlap = 380;
constexpr std::size_t leftAileron = 384;
constexpr std::size_t rightAileron = 388;
constexpr std::size_t rudder = 392;
constexpr std::size_t noseWheel = 396;
constexpr std::size_t speedBrake = 400;
constexpr std::size_t spoilers = 404;
}  // namespace offset

// Offsets 0 to 119 are those of version 17, field for field.
constexpr Field fields[] = {
    Field{"version", offset::version, 1, Encoding::u32},
    Field{"padding", fdm17::offset::padding, 4, Encoding::bytes},
    Field{"longitude", fdm17::offset::longitude, 1, Encoding::f64},
    Field{"latitude", fdm17::offset::latitude, 1, Encoding::f64},
    Field{"altitude", fdm17::offset::altitude, 1, Encoding::f64},
    Field{"heightAboveGround", fdm17::offset::heightAboveGround, 1, Encoding::f32},
    Field{"roll", fdm17::offset::roll, 1, Encoding::f32},
    Field{"pitch", fdm17::offset::pitch, 1, Encoding::f32},
    Field{"heading", fdm17::offset::heading, 1, Encoding::f32},
    Field{"angleOfAttack", fdm17::offset::angleOfAttack, 1, Encoding::f32},
    Field{"sideslip", fdm17::offset::sideslip, 1, Encoding::f32},
    Field{"rollRate", fdm17::offset::rollRate, 1, Encoding::f32},
    Field{"pitchRate", fdm17::offset::pitchRate, 1, Encoding::f32},
    Field{"yawRate", fdm17::offset::yawRate, 1, Encoding::f32},
    Field{"calibratedAirspeed", fdm17::offset::calibratedAirspeed, 1, Encoding::f32},
    Field{"climbRate", fdm17::offset::climbRate, 1, Encoding::f32},
    Field{"velocityNorth", fdm17::offset::velocityNorth, 1, Encoding::f32},
    Field{"velocityEast", fdm17::offset::velocityEast, 1, Encoding::f32},
    Field{"velocityDown", fdm17::offset::velocityDown, 1, Encoding::f32},
    Field{"bodyVelocity", fdm17::offset::bodyWindVelocity, 3, Encoding::f32},
    Field{"accelX", fdm17::offset::accelX, 1, Encoding::f32},
    Field{"accelY", fdm17::offset::accelY, 1, Encoding::f32},
    Field{"accelZ", fdm17::offset::accelZ, 1, Encoding::f32},
    Field{"stallWarning", fdm17::offset::stallWarning, 1, Encoding::f32},
    Field{"slip", fdm17::offset::slip, 1, Encoding::f32},
    Field{"engineCount", offset::engineCount, 1, Encoding::u32},
    Field{"engineState", offset::engineState, maxEngines, Encoding::u32},
    Field{"engineRpm", offset::engineRpm, maxEngines, Encoding::f32},
    Field{"fuelFlow", offset::fuelFlow, maxEngines, Encoding::f32},
    Field{"fuelPressure", offset::fuelPressure, maxEngines, Encoding::f32},
    Field{"exhaustGasTemperature", offset::exhaustGasTemperature, maxEngines, Encoding::f32},
    Field{"cylinderHeadTemperature", offset::cylinderHeadTemperature, maxEngines, Encoding::f32},
    Field{"manifoldPressure", offset::manifoldPressure, maxEngines, Encoding::f32},
    Field{"turbineInletTemperature", offset::turbineInletTemperature, maxEngines, Encoding::f32},
    Field{"oilTemperature", offset::oilTemperature, maxEngines, Encoding::f32},
    Field{"oilPressure", offset::oilPressure, maxEngines, Encoding::f32},
    Field{"tankCount", offset::tankCount, 1, Encoding::u32},
    Field{"fuelQuantity", offset::fuelQuantity, maxTanks, Encoding::f32},
    Field{"wheelCount", offset::wheelCount, 1, Encoding::u32},
    Field{"weightOnWheels", offset::weightOnWheels, maxWheels, Encoding::u32},
    Field{"gearPosition", offset::gearPosition, maxWheels, Encoding::f32},
    Field{"gearSteering", offset::gearSteering, maxWheels, Encoding::f32},
    Field{"gearCompression", offset::gearCompression, maxWheels, Encoding::f32},
    Field{"currentTime", offset::currentTime, 1, Encoding::u32},
    Field{"warp", offset::warp, 1, Encoding::i32},
    Field{"visibility", offset::visibility, 1, Encoding::f32},
    Field{"elevator", offset::elevator, 1, Encoding::f32},
    Field{"elevatorTrimTab", offset::elevatorTrimTab, 1, Encoding::f32},
    Field{"leftFlap", offset::leftFlap, 1, Encoding::f32},
    Field{"rightFlap", offset::rightFlap, 1, Encoding::f32},
    Field{"leftAileron", offset::leftAileron, 1, Encoding::f32},
    Field{"rightAileron", offset::rightAileron, 1, Encoding::f32},
    Field{"rudder", offset::rudder, 1, Encoding::f32},
    Field{"noseWheel", offset::noseWheel, 1, Encoding::f32},
    Field{"speedBrake", offset::speedBrake, 1, Encoding::f32},
    Field{"spoilers", offset::spoilers, 1, Encoding::f32},
};
constexpr std::size_t numFields = sizeof fields / sizeof fields[0];
static_assert(fdm17::tilesExactly(fields, numFields, 0, packetSize), "every field offset follows from the one before");
static_assert(offset::engineCount == fdm17::offset::engineCount && offset::currentTime == 356 &&
              offset::spoilers + 4 == packetSize && packetSize == 408, "the receiver's fixed offsets");

// Writes the version-24 form of the version-17 packet at `in` (336 bytes)
// into `out` (408 bytes): fields moved to their version-24 places, the one
// flap value to both flaps, counts clamped to 4 engines, 4 tanks and 3
// wheels, each one-byte weight-on-wheels flag widened to a 32-bit 0 or 1,
// everything else zero.
void translate17to24(const std::uint8_t* in, std::uint8_t* out) noexcept;

// Whether the position and attitude of a packet of either version (they
// share those offsets) are finite: FlightGear does not recover from a NaN or
// infinite position, so nothing sends or forwards one.
bool forwardable(const std::uint8_t* packet) noexcept;

}  // namespace fdm24
