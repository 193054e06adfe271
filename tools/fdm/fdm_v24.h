// The version-24 flight-dynamics packet that current FlightGear releases
// read: 408 bytes, big-endian, checked like the version-17 layout.
#pragma once

#include "fdm_packet.h"

namespace fdm24 {

using fdm17::Encoding;
using fdm17::Field;

inline constexpr std::size_t packetSize = 408;
inline constexpr std::uint32_t formatVersion = 24;
inline constexpr int maxEngines = 4;
inline constexpr int maxTanks = 4;
inline constexpr int maxWheels = 3;

namespace offset {
inline constexpr std::size_t version = 0;
inline constexpr std::size_t engineCount = 120;
inline constexpr std::size_t engineState = 124;
inline constexpr std::size_t engineRpm = 140;
inline constexpr std::size_t fuelFlow = 156;
inline constexpr std::size_t fuelPressure = 172;
inline constexpr std::size_t exhaustGasTemperature = 188;
inline constexpr std::size_t cylinderHeadTemperature = 204;
inline constexpr std::size_t manifoldPressure = 220;
inline constexpr std::size_t turbineInletTemperature = 236;
inline constexpr std::size_t oilTemperature = 252;
inline constexpr std::size_t oilPressure = 268;
inline constexpr std::size_t tankCount = 284;
inline constexpr std::size_t fuelQuantity = 288;
inline constexpr std::size_t wheelCount = 304;
inline constexpr std::size_t weightOnWheels = 308;  // 3 x u32
inline constexpr std::size_t gearPosition = 320;
inline constexpr std::size_t gearSteering = 332;
inline constexpr std::size_t gearCompression = 344;
inline constexpr std::size_t currentTime = 356;
inline constexpr std::size_t warp = 360;
inline constexpr std::size_t visibility = 364;
inline constexpr std::size_t elevator = 368;
inline constexpr std::size_t elevatorTrimTab = 372;
inline constexpr std::size_t leftFlap = 376;
inline constexpr std::size_t rightFlap = 380;
inline constexpr std::size_t leftAileron = 384;
inline constexpr std::size_t rightAileron = 388;
inline constexpr std::size_t rudder = 392;
inline constexpr std::size_t noseWheel = 396;
inline constexpr std::size_t speedBrake = 400;
inline constexpr std::size_t spoilers = 404;
}  // namespace offset

// Offsets 0 to 119 are those of version 17, field for field.
inline constexpr std::array fields{
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
static_assert(fdm17::tilesExactly(fields.data(), fields.size(), 0, packetSize), "every field offset follows from the one before");

}  // namespace fdm24
