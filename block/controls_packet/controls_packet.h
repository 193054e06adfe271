// FlightGear's native controls datagram, format version 27: 744 bytes,
// every field big-endian, doubles on 8-byte boundaries. FlightGear sends it
// with --native-ctrls=socket,out,... and reads it with socket,in,...
// Every offset is named here once; the field table below is checked at
// compile time to tile the datagram without gap or overlap, and every
// field the decoder reads to lie in a range FlightGear fills.
// C++11, like the rest of the block's core: MATLAB's compilers build it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packet_fields.h"

namespace ctrls27 {

using fdm17::Encoding;
using fdm17::Field;

constexpr std::size_t packetSize = 744;
constexpr std::uint32_t formatVersion = 27;
constexpr int maxEngines = 4;
constexpr int maxTanks = 8;
constexpr int numTransferPumps = 5;
constexpr int numReserved = 25;

namespace offset {
constexpr std::size_t version = 0;
constexpr std::size_t padding = 4;
constexpr std::size_t aileron = 8;
constexpr std::size_t elevator = 16;
constexpr std::size_t rudder = 24;
constexpr std::size_t aileronTrim = 32;
constexpr std::size_t elevatorTrim = 40;
constexpr std::size_t rudderTrim = 48;
constexpr std::size_t flaps = 56;
constexpr std::size_t spoilers = 64;
constexpr std::size_t speedbrake = 72;
constexpr std::size_t flapsPower = 80;
constexpr std::size_t flapMotorOk = 84;
constexpr std::size_t engineCount = 88;
constexpr std::size_t masterBattery = 92;     // 4 x u32
constexpr std::size_t masterAlternator = 108; // 4 x u32
constexpr std::size_t magnetos = 124;         // 4 x u32
constexpr std::size_t starterPower = 140;     // 4 x u32
constexpr std::size_t enginePadding = 156;    // FlightGear leaves it unwritten
constexpr std::size_t throttle = 160;         // 4 x f64
constexpr std::size_t mixture = 192;          // 4 x f64
constexpr std::size_t condition = 224;        // 4 x f64
constexpr std::size_t fuelPumpPower = 256;    // 4 x u32
constexpr std::size_t propellerAdvance = 272; // 4 x f64
constexpr std::size_t feedTankTo = 304;       // 4 x u32, unwritten
constexpr std::size_t reverse = 320;          // 4 x u32, unwritten
constexpr std::size_t engineOk = 336;         // 4 x u32
constexpr std::size_t leftMagnetoOk = 352;
constexpr std::size_t rightMagnetoOk = 368;
constexpr std::size_t sparkPlugsOk = 384;
constexpr std::size_t oilPressureStatus = 400;
constexpr std::size_t fuelPumpOk = 416;
constexpr std::size_t tankCount = 432;
constexpr std::size_t fuelSelector = 436;     // 8 x u32
constexpr std::size_t transferPump = 468;     // 5 x u32, unwritten
constexpr std::size_t crossFeed = 488;        // unwritten
constexpr std::size_t gearPadding = 492;      // unwritten
constexpr std::size_t brakeLeft = 496;
constexpr std::size_t brakeRight = 504;
constexpr std::size_t copilotBrakeLeft = 512;
constexpr std::size_t copilotBrakeRight = 520;
constexpr std::size_t brakeParking = 528;
constexpr std::size_t gearHandle = 536;       // u32, 1 down
constexpr std::size_t masterAvionics = 540;
constexpr std::size_t radios = 544;           // comm 1, comm 2, nav 1, nav 2: 4 x f64, unwritten
constexpr std::size_t windSpeed = 576;        // kt
constexpr std::size_t windDirection = 584;    // deg
constexpr std::size_t turbulence = 592;
constexpr std::size_t temperature = 600;      // deg C
constexpr std::size_t pressure = 608;         // inHg
constexpr std::size_t groundElevation = 616;  // m
constexpr std::size_t magneticVariation = 624;
constexpr std::size_t icing = 632;
constexpr std::size_t speedUp = 636;
constexpr std::size_t freeze = 640;
constexpr std::size_t reserved = 644;         // 25 x u32, unwritten
}  // namespace offset

constexpr Field fields[] = {
    Field{"version", offset::version, 1, Encoding::u32},
    Field{"padding", offset::padding, 4, Encoding::bytes},
    Field{"aileron", offset::aileron, 1, Encoding::f64},
    Field{"elevator", offset::elevator, 1, Encoding::f64},
    Field{"rudder", offset::rudder, 1, Encoding::f64},
    Field{"aileronTrim", offset::aileronTrim, 1, Encoding::f64},
    Field{"elevatorTrim", offset::elevatorTrim, 1, Encoding::f64},
    Field{"rudderTrim", offset::rudderTrim, 1, Encoding::f64},
    Field{"flaps", offset::flaps, 1, Encoding::f64},
    Field{"spoilers", offset::spoilers, 1, Encoding::f64},
    Field{"speedbrake", offset::speedbrake, 1, Encoding::f64},
    Field{"flapsPower", offset::flapsPower, 1, Encoding::u32},
    Field{"flapMotorOk", offset::flapMotorOk, 1, Encoding::u32},
    Field{"engineCount", offset::engineCount, 1, Encoding::u32},
    Field{"masterBattery", offset::masterBattery, maxEngines, Encoding::u32},
    Field{"masterAlternator", offset::masterAlternator, maxEngines, Encoding::u32},
    Field{"magnetos", offset::magnetos, maxEngines, Encoding::u32},
    Field{"starterPower", offset::starterPower, maxEngines, Encoding::u32},
    Field{"enginePadding", offset::enginePadding, 4, Encoding::bytes},
    Field{"throttle", offset::throttle, maxEngines, Encoding::f64},
    Field{"mixture", offset::mixture, maxEngines, Encoding::f64},
    Field{"condition", offset::condition, maxEngines, Encoding::f64},
    Field{"fuelPumpPower", offset::fuelPumpPower, maxEngines, Encoding::u32},
    Field{"propellerAdvance", offset::propellerAdvance, maxEngines, Encoding::f64},
    Field{"feedTankTo", offset::feedTankTo, maxEngines, Encoding::u32},
    Field{"reverse", offset::reverse, maxEngines, Encoding::u32},
    Field{"engineOk", offset::engineOk, maxEngines, Encoding::u32},
    Field{"leftMagnetoOk", offset::leftMagnetoOk, maxEngines, Encoding::u32},
    Field{"rightMagnetoOk", offset::rightMagnetoOk, maxEngines, Encoding::u32},
    Field{"sparkPlugsOk", offset::sparkPlugsOk, maxEngines, Encoding::u32},
    Field{"oilPressureStatus", offset::oilPressureStatus, maxEngines, Encoding::u32},
    Field{"fuelPumpOk", offset::fuelPumpOk, maxEngines, Encoding::u32},
    Field{"tankCount", offset::tankCount, 1, Encoding::u32},
    Field{"fuelSelector", offset::fuelSelector, maxTanks, Encoding::u32},
    Field{"transferPump", offset::transferPump, numTransferPumps, Encoding::u32},
    Field{"crossFeed", offset::crossFeed, 1, Encoding::u32},
    Field{"gearPadding", offset::gearPadding, 4, Encoding::bytes},
    Field{"brakeLeft", offset::brakeLeft, 1, Encoding::f64},
    Field{"brakeRight", offset::brakeRight, 1, Encoding::f64},
    Field{"copilotBrakeLeft", offset::copilotBrakeLeft, 1, Encoding::f64},
    Field{"copilotBrakeRight", offset::copilotBrakeRight, 1, Encoding::f64},
    Field{"brakeParking", offset::brakeParking, 1, Encoding::f64},
    Field{"gearHandle", offset::gearHandle, 1, Encoding::u32},
    Field{"masterAvionics", offset::masterAvionics, 1, Encoding::u32},
    Field{"radios", offset::radios, 4, Encoding::f64},
    Field{"windSpeed", offset::windSpeed, 1, Encoding::f64},
    Field{"windDirection", offset::windDirection, 1, Encoding::f64},
    Field{"turbulence", offset::turbulence, 1, Encoding::f64},
    Field{"temperature", offset::temperature, 1, Encoding::f64},
    Field{"pressure", offset::pressure, 1, Encoding::f64},
    Field{"groundElevation", offset::groundElevation, 1, Encoding::f64},
    Field{"magneticVariation", offset::magneticVariation, 1, Encoding::f64},
    Field{"icing", offset::icing, 1, Encoding::u32},
    Field{"speedUp", offset::speedUp, 1, Encoding::u32},
    Field{"freeze", offset::freeze, 1, Encoding::u32},
    Field{"reserved", offset::reserved, numReserved, Encoding::u32},
};
constexpr std::size_t numFields = sizeof fields / sizeof fields[0];
static_assert(fdm17::tilesExactly(fields, numFields, 0, packetSize), "every field offset follows from the one before");
static_assert(offset::throttle == 160 && offset::brakeLeft == 496 && offset::speedUp == 636 && packetSize == 744,
              "the offsets of the 8-byte-aligned structure FlightGear sends");

// The byte ranges FlightGear 2020.3 writes; the rest of what it sends is
// whatever its memory held, so nothing here reads it.
struct ByteRange {
    std::size_t begin, end;  // [begin, end)
};
constexpr ByteRange filledRanges[] = {{0, 4}, {8, 156}, {160, 304}, {336, 468}, {496, 544}, {576, 644}};
constexpr std::size_t numFilledRanges = sizeof filledRanges / sizeof filledRanges[0];

constexpr bool filled(std::size_t begin, std::size_t end, std::size_t range = 0)
{
    return range < numFilledRanges &&
           ((filledRanges[range].begin <= begin && end <= filledRanges[range].end) || filled(begin, end, range + 1));
}

// ---- What the block takes from it ------------------------------------------

// The flight controls in the order of the block's first output port.
enum FlightControl {
    AILERON = 0,
    ELEVATOR = 1,
    RUDDER = 2,
    AILERON_TRIM = 3,
    ELEVATOR_TRIM = 4,
    RUDDER_TRIM = 5,
    FLAPS = 6,
    SPOILERS = 7,
    SPEEDBRAKE = 8,
    NUM_FLIGHT_CONTROLS = 9
};

// The gear controls in the order of the block's third output port.
enum GearControl { BRAKE_LEFT = 0, BRAKE_RIGHT = 1, BRAKE_PARKING = 2, GEAR_HANDLE = 3, NUM_GEAR_CONTROLS = 4 };

// Where each flight and gear control sits; the decoder reads these and the
// engine arrays, and nothing else but the version and the two counts.
constexpr std::size_t flightOffsets[NUM_FLIGHT_CONTROLS] = {
    offset::aileron,     offset::elevator, offset::rudder,   offset::aileronTrim, offset::elevatorTrim,
    offset::rudderTrim,  offset::flaps,    offset::spoilers, offset::speedbrake};
constexpr std::size_t brakeOffsets[3] = {offset::brakeLeft, offset::brakeRight, offset::brakeParking};

static_assert(filled(offset::version, offset::version + 4) && filled(offset::aileron, offset::speedbrake + 8) &&
                  filled(offset::engineCount, offset::engineCount + 4) &&
                  filled(offset::throttle, offset::mixture + 8 * maxEngines) &&
                  filled(offset::propellerAdvance, offset::propellerAdvance + 8 * maxEngines) &&
                  filled(offset::tankCount, offset::tankCount + 4) &&
                  filled(offset::brakeLeft, offset::brakeParking + 8) &&
                  filled(offset::gearHandle, offset::gearHandle + 4),
              "the decoder reads only bytes FlightGear writes");
static_assert(!filled(offset::enginePadding, offset::enginePadding + 1) &&
                  !filled(offset::feedTankTo, offset::feedTankTo + 1) && !filled(offset::reverse + 15, offset::reverse + 16) &&
                  !filled(offset::reserved, offset::reserved + 1),
              "the unwritten ranges are not taken for written");

struct Controls {
    double flight[NUM_FLIGHT_CONTROLS];
    double throttle[maxEngines];  // engines beyond engineCount are 0
    double mixture[maxEngines];
    double propeller[maxEngines];
    double gear[NUM_GEAR_CONTROLS];  // the gear handle 1 (down) or 0 (up)
    std::uint32_t engineCount;       // as sent, at most maxEngines
    std::uint32_t tankCount;         // as sent, at most maxTanks
};

// Why a datagram was not taken.
enum class Refusal { none, wrongSize, wrongVersion };

// Whether a datagram of `length` bytes is one to take: exactly packetSize
// bytes whose version word is 27.
inline Refusal check(const std::uint8_t* datagram, std::size_t length) noexcept
{
    return length != packetSize                                        ? Refusal::wrongSize
           : fdm17::loadU32(datagram + offset::version) != formatVersion ? Refusal::wrongVersion
                                                                       : Refusal::none;
}

// Decodes a datagram of `length` bytes into `controls`: only one that
// check() takes; anything else is refused and leaves `controls` as it was.
Refusal decode(const std::uint8_t* datagram, std::size_t length, Controls& controls) noexcept;

}  // namespace ctrls27
