// The native flight-dynamics packet, format version 17: 336 bytes, every
// field big-endian. Every offset is named here once; the field table below
// is checked at compile time to tile the packet without gap or overlap.
// Fields the block leaves zero carry the receiver's names for them.
// C++11, like the rest of the block's core: MATLAB's compilers build it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "packet_fields.h"

namespace fdm17 {

constexpr std::size_t packetSize = 336;
constexpr std::uint32_t formatVersion = 17;
constexpr int maxEngines = 4;
constexpr int maxTanks = 4;
constexpr int maxWheels = 3;
constexpr int numSurfaces = 9;

namespace offset {
constexpr std::size_t version = 0;
constexpr std::size_t padding = 4;
constexpr std::size_t longitude = 8;
constexpr std::size_t latitude = 16;
constexpr std::size_t altitude = 24;
constexpr std::size_t heightAboveGround = 32;
constexpr std::size_t roll = 36;
constexpr std::size_t pitch = 40;
constexpr std::size_t heading = 44;
constexpr std::size_t angleOfAttack = 48;  // left zero
constexpr std::size_t sideslip = 52;       // left zero
constexpr std::size_t rollRate = 56;
constexpr std::size_t pitchRate = 60;
constexpr std::size_t yawRate = 64;
constexpr std::size_t calibratedAirspeed = 68;
constexpr std::size_t climbRate = 72;
constexpr std::size_t velocityNorth = 76;
constexpr std::size_t velocityEast = 80;
constexpr std::size_t velocityDown = 84;
constexpr std::size_t bodyWindVelocity = 88;  // 3 x f32, left zero
constexpr std::size_t accelX = 100;
constexpr std::size_t accelY = 104;
constexpr std::size_t accelZ = 108;
constexpr std::size_t stallWarning = 112;  // left zero
constexpr std::size_t slip = 116;          // left zero
constexpr std::size_t engineCount = 120;
constexpr std::size_t engineState = 124;  // 4 x u32
constexpr std::size_t engineRpm = 140;    // 4 x f32
constexpr std::size_t fuelFlow = 156;     // 4 x f32
constexpr std::size_t exhaustGasTemperature = 172;  // 4 x f32, entry 0 written zero
constexpr std::size_t oilTemperature = 188;         // likewise
constexpr std::size_t oilPressure = 204;            // likewise
constexpr std::size_t tankCount = 220;
constexpr std::size_t fuelQuantity = 224;  // 4 x f32
constexpr std::size_t wheelCount = 240;    // written zero
constexpr std::size_t weightOnWheels = 244;  // 3 bytes and 1 byte padding, left zero
constexpr std::size_t gearPosition = 248;    // 3 x f32, left zero
constexpr std::size_t gearSteering = 260;    // 3 x f32, left zero
constexpr std::size_t gearCompression = 272; // 3 x f32, left zero
constexpr std::size_t currentTime = 284;
constexpr std::size_t warp = 288;  // written zero
constexpr std::size_t visibility = 292;
constexpr std::size_t surface = 296;  // 9 x f32
constexpr std::size_t trailingPadding = 332;
}  // namespace offset

// The nine control-surface words from offset::surface, by index.
enum Surface {
    ELEVATOR = 0,
    ELEVATOR_TRIM_TAB = 1,
    FLAPS = 2,
    LEFT_AILERON = 3,
    RIGHT_AILERON = 4,
    RUDDER = 5,
    NOSE_WHEEL = 6,
    SPEED_BRAKE = 7,
    SPOILERS = 8
};

constexpr Field fields[] = {
    Field{"version", offset::version, 1, Encoding::u32},
    Field{"padding", offset::padding, 4, Encoding::bytes},
    Field{"longitude", offset::longitude, 1, Encoding::f64},
    Field{"latitude", offset::latitude, 1, Encoding::f64},
    Field{"altitude", offset::altitude, 1, Encoding::f64},
    Field{"heightAboveGround", offset::heightAboveGround, 1, Encoding::f32},
    Field{"roll", offset::roll, 1, Encoding::f32},
    Field{"pitch", offset::pitch, 1, Encoding::f32},
    Field{"heading", offset::heading, 1, Encoding::f32},
    Field{"angleOfAttack", offset::angleOfAttack, 1, Encoding::f32},
    Field{"sideslip", offset::sideslip, 1, Encoding::f32},
    Field{"rollRate", offset::rollRate, 1, Encoding::f32},
    Field{"pitchRate", offset::pitchRate, 1, Encoding::f32},
    Field{"yawRate", offset::yawRate, 1, Encoding::f32},
    Field{"calibratedAirspeed", offset::calibratedAirspeed, 1, Encoding::f32},
    Field{"climbRate", offset::climbRate, 1, Encoding::f32},
    Field{"velocityNorth", offset::velocityNorth, 1, Encoding::f32},
    Field{"velocityEast", offset::velocityEast, 1, Encoding::f32},
    Field{"velocityDown", offset::velocityDown, 1, Encoding::f32},
    Field{"bodyWindVelocity", offset::bodyWindVelocity, 3, Encoding::f32},
    Field{"accelX", offset::accelX, 1, Encoding::f32},
    Field{"accelY", offset::accelY, 1, Encoding::f32},
    Field{"accelZ", offset::accelZ, 1, Encoding::f32},
    Field{"stallWarning", offset::stallWarning, 1, Encoding::f32},
    Field{"slip", offset::slip, 1, Encoding::f32},
    Field{"engineCount", offset::engineCount, 1, Encoding::u32},
    Field{"engineState", offset::engineState, maxEngines, Encoding::u32},
    Field{"engineRpm", offset::engineRpm, maxEngines, Encoding::f32},
    Field{"fuelFlow", offset::fuelFlow, maxEngines, Encoding::f32},
    Field{"exhaustGasTemperature", offset::exhaustGasTemperature, maxEngines, Encoding::f32},
    Field{"oilTemperature", offset::oilTemperature, maxEngines, Encoding::f32},
    Field{"oilPressure", offset::oilPressure, maxEngines, Encoding::f32},
    Field{"tankCount", offset::tankCount, 1, Encoding::u32},
    Field{"fuelQuantity", offset::fuelQuantity, maxTanks, Encoding::f32},
    Field{"wheelCount", offset::wheelCount, 1, Encoding::u32},
    Field{"weightOnWheels", offset::weightOnWheels, 4, Encoding::bytes},
    Field{"gearPosition", offset::gearPosition, maxWheels, Encoding::f32},
    Field{"gearSteering", offset::gearSteering, maxWheels, Encoding::f32},
    Field{"gearCompression", offset::gearCompression, maxWheels, Encoding::f32},
    Field{"currentTime", offset::currentTime, 1, Encoding::i32},
    Field{"warp", offset::warp, 1, Encoding::i32},
    Field{"visibility", offset::visibility, 1, Encoding::f32},
    Field{"surface", offset::surface, numSurfaces, Encoding::f32},
    Field{"trailingPadding", offset::trailingPadding, 4, Encoding::bytes},
};

constexpr std::size_t numFields = sizeof fields / sizeof fields[0];

static_assert(tilesExactly(fields, numFields, 0, packetSize), "every field offset follows from the one before");
static_assert(offset::version == 0 && offset::longitude == 8 && offset::currentTime == 284 &&
              offset::surface == 296 && packetSize == 336, "the receiver's fixed offsets");

// ---- Encoder ----------------------------------------------------------------

constexpr int numInputPorts = 9;
using InputPorts = std::array<const double*, numInputPorts>;

// Writes the 176 bytes a packet carries values in; every other byte of the
// packetSize bytes at `packet` is left as it is (zero in the block's buffer).
void encode(std::uint8_t* packet, const InputPorts& ports, std::uint32_t currentTime) noexcept;

// Engine state word: running (2) only for a value strictly above zero.
constexpr std::uint32_t engineRunning = 2;
constexpr std::uint32_t engineOff = 0;

}  // namespace fdm17
