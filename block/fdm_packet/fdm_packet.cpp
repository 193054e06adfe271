// Fills the packet from the nine input ports, big-endian.
#include "fdm_packet.h"

namespace fdm17 {
namespace {

constexpr std::uint32_t signBit = 0x80000000u;

// Round to nearest, ties to even; overflow gives a signed infinity, NaN keeps its sign.
std::uint32_t narrowed(double value) { return bitsOfFloat(static_cast<float>(value)); }

// Flips the sign bit of every value, zeros and NaNs included.
std::uint32_t negatedNarrowed(double value) { return narrowed(value) ^ signBit; }

// Position values pass bit for bit, NaN payloads included, so no FPU load.
std::uint64_t doubleBits(const double* value)
{
    std::uint64_t bits;
    std::memcpy(&bits, value, sizeof bits);
    return bits;
}

}  // namespace

void encode(std::uint8_t* packet, const InputPorts& ports, std::uint32_t currentTime) noexcept
{
    const double* position = ports[0];
    const double* attitude = ports[1];
    const double* airData = ports[2];
    const double* surfaces = ports[3];
    const double* engine = ports[4];
    const double* heightAboveGround = ports[5];
    const double* velocity = ports[6];
    const double* rates = ports[7];
    const double* accelerations = ports[8];
    std::uint8_t* p = packet;

    storeU32(p + offset::version, formatVersion);
    storeU64(p + offset::longitude, doubleBits(&position[1]));
    storeU64(p + offset::latitude, doubleBits(&position[0]));
    storeU64(p + offset::altitude, doubleBits(&position[2]));
    storeU32(p + offset::heightAboveGround, narrowed(heightAboveGround[0]));
    storeU32(p + offset::roll, narrowed(attitude[0]));
    storeU32(p + offset::pitch, narrowed(attitude[1]));
    storeU32(p + offset::heading, narrowed(attitude[2]));
    storeU32(p + offset::rollRate, narrowed(rates[0]));
    storeU32(p + offset::pitchRate, narrowed(rates[1]));
    storeU32(p + offset::yawRate, narrowed(rates[2]));
    storeU32(p + offset::calibratedAirspeed, narrowed(airData[0]));
    storeU32(p + offset::climbRate, narrowed(airData[1]));
    storeU32(p + offset::velocityNorth, narrowed(velocity[0]));
    storeU32(p + offset::velocityEast, narrowed(velocity[1]));
    storeU32(p + offset::velocityDown, narrowed(velocity[2]));
    storeU32(p + offset::accelX, narrowed(accelerations[0]));
    storeU32(p + offset::accelY, narrowed(accelerations[1]));
    storeU32(p + offset::accelZ, narrowed(accelerations[2]));

    storeU32(p + offset::engineCount, 1);
    storeU32(p + offset::engineState, engine[0] > 0.0 ? engineRunning : engineOff);
    storeU32(p + offset::engineRpm, narrowed(engine[1]));
    storeU32(p + offset::fuelFlow, narrowed(engine[2]));
    storeU32(p + offset::exhaustGasTemperature, 0);
    storeU32(p + offset::oilTemperature, 0);
    storeU32(p + offset::oilPressure, 0);
    storeU32(p + offset::tankCount, 1);
    storeU32(p + offset::fuelQuantity, bitsOfFloat(1.0f));
    storeU32(p + offset::wheelCount, 0);
    storeU32(p + offset::currentTime, currentTime);
    storeU32(p + offset::warp, 0);
    storeU32(p + offset::visibility, bitsOfFloat(50000.0f));

    std::uint8_t* surface = p + offset::surface;
    storeU32(surface + 4 * ELEVATOR, narrowed(surfaces[1]));
    storeU32(surface + 4 * ELEVATOR_TRIM_TAB, 0);
    storeU32(surface + 4 * FLAPS, narrowed(surfaces[0]));
    storeU32(surface + 4 * LEFT_AILERON, negatedNarrowed(surfaces[2]));
    storeU32(surface + 4 * RIGHT_AILERON, narrowed(surfaces[2]));
    storeU32(surface + 4 * RUDDER, negatedNarrowed(surfaces[3]));
    storeU32(surface + 4 * NOSE_WHEEL, negatedNarrowed(surfaces[3]));
    storeU32(surface + 4 * SPEED_BRAKE, 0);
    storeU32(surface + 4 * SPOILERS, 0);
}

}  // namespace fdm17
