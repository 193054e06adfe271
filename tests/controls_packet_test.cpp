// The controls datagram: a real one from FlightGear decoded to the values
// its properties held, encode and decode as inverses, every refusal, and
// only the bytes FlightGear writes ever read.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "controls_encode.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ctrls27::Controls sample()
{
    ctrls27::Controls c{};
    for (int i = 0; i < ctrls27::NUM_FLIGHT_CONTROLS; ++i) {
        c.flight[i] = -0.4375 + 0.1 * i;
    }
    for (int i = 0; i < ctrls27::maxEngines; ++i) {
        c.throttle[i] = 0.11 * (i + 1);
        c.mixture[i] = 0.21 * (i + 1);
        c.propeller[i] = 0.31 * (i + 1);
    }
    c.gear[ctrls27::BRAKE_LEFT] = 0.125;
    c.gear[ctrls27::BRAKE_RIGHT] = 0.625;
    c.gear[ctrls27::BRAKE_PARKING] = 1.0;
    c.gear[ctrls27::GEAR_HANDLE] = 1.0;
    return c;
}

Bytes encoded(const ctrls27::Controls& c)
{
    Bytes bytes(ctrls27::packetSize, 0xEE);
    ctrls27::encode(bytes.data(), c);
    return bytes;
}

void expectSame(const ctrls27::Controls& a, const ctrls27::Controls& b)
{
    EXPECT_EQ(0, std::memcmp(a.flight, b.flight, sizeof a.flight));
    EXPECT_EQ(0, std::memcmp(a.throttle, b.throttle, sizeof a.throttle));
    EXPECT_EQ(0, std::memcmp(a.mixture, b.mixture, sizeof a.mixture));
    EXPECT_EQ(0, std::memcmp(a.propeller, b.propeller, sizeof a.propeller));
    EXPECT_EQ(0, std::memcmp(a.gear, b.gear, sizeof a.gear));
    EXPECT_EQ(a.engineCount, b.engineCount);
    EXPECT_EQ(a.tankCount, b.tankCount);
}

void storeU32(Bytes& bytes, std::size_t at, std::uint32_t value) { fdm17::storeU32(bytes.data() + at, value); }

TEST(ControlsPacket, a_datagram_from_flightgear_decodes_to_the_values_its_properties_held)
{
    // FlightGear 2020.3.16 (Debian), c172p, --native-ctrls=socket,out,10,...:
    // the flight controls and brakes set over its property server, this
    // datagram taken, the properties read back there. The c172p holds its
    // throttle, mixture and gear as it likes (fixed gear, engine off); the
    // other engines carry FlightGear's defaults. Its unwritten bytes hold
    // what its memory held (text).
    std::ifstream file(ORVALINK_TEST_DATA "/flightgear-2020.3-controls.bin", std::ios::binary);
    ASSERT_TRUE(file) << "test data missing";
    const Bytes datagram{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ctrls27::Controls c{};
    ASSERT_EQ(ctrls27::decode(datagram.data(), datagram.size(), c), ctrls27::Refusal::none);
    const double flight[] = {0.25, -0.125, 0.375, 0.0625, -0.03125, 0.015625, 0.5, 0.75, 0.875};
    EXPECT_EQ(std::vector<double>(c.flight, c.flight + 9), std::vector<double>(flight, flight + 9));
    EXPECT_EQ(c.engineCount, 4u);
    EXPECT_EQ(c.tankCount, 8u);
    EXPECT_EQ(std::vector<double>(c.throttle, c.throttle + 4), std::vector<double>(4, 0.0));
    EXPECT_EQ(std::vector<double>(c.mixture, c.mixture + 4), (std::vector<double>{0, 0, 1, 1}));
    EXPECT_EQ(std::vector<double>(c.propeller, c.propeller + 4), (std::vector<double>{0.9375, 1, 1, 1}));
    EXPECT_EQ(std::vector<double>(c.gear, c.gear + 4), (std::vector<double>{0.4375, 0.5625, 1.0, 0.0}));
    // Bytes FlightGear leaves unwritten hold something here, which is why they are never read.
    EXPECT_NE(std::vector<std::uint8_t>(datagram.begin() + 644, datagram.end()), std::vector<std::uint8_t>(100, 0));
}

TEST(ControlsPacket, encode_writes_the_fields_set_and_the_weather_flightgear_applies_and_decode_reads_them_back)
{
    const ctrls27::Controls c = sample();
    const Bytes bytes = encoded(c);
    ctrls27::Controls back{};
    ASSERT_EQ(ctrls27::decode(bytes.data(), bytes.size(), back), ctrls27::Refusal::none);
    ctrls27::Controls expected = c;
    expected.engineCount = 4;
    expected.tankCount = 0;
    expectSame(back, expected);

    // Every byte of a field not set is zero, padding included.
    Bytes others = bytes;
    auto clear = [&others](std::size_t at, std::size_t size) { std::memset(others.data() + at, 0, size); };
    clear(ctrls27::offset::version, 4);
    clear(ctrls27::offset::aileron, 9 * 8);
    clear(ctrls27::offset::engineCount, 4);
    clear(ctrls27::offset::throttle, 2 * 32);
    clear(ctrls27::offset::propellerAdvance, 32);
    clear(ctrls27::offset::brakeLeft, 16);
    clear(ctrls27::offset::brakeParking, 8);
    clear(ctrls27::offset::gearHandle, 4);
    clear(ctrls27::offset::temperature, 16);
    clear(ctrls27::offset::speedUp, 4);
    EXPECT_EQ(others, Bytes(ctrls27::packetSize, 0));
    EXPECT_EQ(fdm17::loadU32(bytes.data() + ctrls27::offset::version), 27u);
    EXPECT_EQ(fdm17::loadU32(bytes.data() + ctrls27::offset::speedUp), 1u);
    EXPECT_EQ(fdm17::loadF64(bytes.data() + ctrls27::offset::pressure), 29.92);
    EXPECT_EQ(fdm17::loadF64(bytes.data() + ctrls27::offset::temperature), 15.0);
    EXPECT_EQ(fdm17::loadU32(bytes.data() + ctrls27::offset::gearHandle), 1u);

    ctrls27::Controls up = c;
    up.gear[ctrls27::GEAR_HANDLE] = 0.0;
    EXPECT_EQ(fdm17::loadU32(encoded(up).data() + ctrls27::offset::gearHandle), 0u);
}

TEST(ControlsPacket, refuses_every_other_size_and_version_and_leaves_the_values_as_they_were)
{
    const Bytes good = encoded(sample());
    struct Case {
        std::size_t length;
        std::uint32_t version;
        ctrls27::Refusal refusal;
    };
    const Case cases[] = {
        {0, 27, ctrls27::Refusal::wrongSize},     {4, 27, ctrls27::Refusal::wrongSize},
        {536, 27, ctrls27::Refusal::wrongSize},   {732, 27, ctrls27::Refusal::wrongSize},
        {743, 27, ctrls27::Refusal::wrongSize},   {745, 27, ctrls27::Refusal::wrongSize},
        {744, 26, ctrls27::Refusal::wrongVersion}, {744, 0, ctrls27::Refusal::wrongVersion},
        {744, 0x1B000000, ctrls27::Refusal::wrongVersion},  // byte-swapped
    };
    for (const Case& c : cases) {
        Bytes datagram = good;
        datagram.resize(std::max<std::size_t>(c.length, 4), 0);
        storeU32(datagram, 0, c.version);
        ctrls27::Controls held{};
        held.flight[0] = 7.0;
        EXPECT_EQ(ctrls27::decode(datagram.data(), c.length, held), c.refusal) << c.length << " " << c.version;
        EXPECT_EQ(held.flight[0], 7.0);
        EXPECT_EQ(held.engineCount, 0u);
    }
}

TEST(ControlsPacket, reads_only_the_bytes_flightgear_writes_and_trusts_no_count)
{
    const Bytes good = encoded(sample());
    ctrls27::Controls clean{};
    ASSERT_EQ(ctrls27::decode(good.data(), good.size(), clean), ctrls27::Refusal::none);

    // What FlightGear leaves unwritten may hold anything.
    Bytes dirty = good;
    std::size_t filledBytes = 0;
    for (std::size_t at = 0; at < dirty.size(); ++at) {
        if (ctrls27::filled(at, at + 1)) {
            ++filledBytes;
        } else {
            dirty[at] = static_cast<std::uint8_t>(0xA5 ^ at);
        }
    }
    EXPECT_EQ(filledBytes, 544u);
    ctrls27::Controls fromDirty{};
    ASSERT_EQ(ctrls27::decode(dirty.data(), dirty.size(), fromDirty), ctrls27::Refusal::none);
    expectSame(fromDirty, clean);

    // Engines beyond the count are zero; counts above the arrays are clamped.
    struct Case {
        std::uint32_t engines, tanks, engineCount, tankCount;
    };
    for (const Case& c : {Case{2, 3, 2, 3}, Case{0, 0, 0, 0}, Case{5, 9, 4, 8}, Case{0xFFFFFFFF, 0xFFFFFFFF, 4, 8}}) {
        Bytes datagram = good;
        storeU32(datagram, ctrls27::offset::engineCount, c.engines);
        storeU32(datagram, ctrls27::offset::tankCount, c.tanks);
        ctrls27::Controls d{};
        ASSERT_EQ(ctrls27::decode(datagram.data(), datagram.size(), d), ctrls27::Refusal::none);
        EXPECT_EQ(d.engineCount, c.engineCount);
        EXPECT_EQ(d.tankCount, c.tankCount);
        for (std::uint32_t i = 0; i < 4; ++i) {
            const bool sent = i < c.engineCount;
            EXPECT_EQ(d.throttle[i], sent ? clean.throttle[i] : 0.0);
            EXPECT_EQ(d.mixture[i], sent ? clean.mixture[i] : 0.0);
            EXPECT_EQ(d.propeller[i], sent ? clean.propeller[i] : 0.0);
        }
    }
    // Any gear word but 0 is the handle down.
    Bytes datagram = good;
    storeU32(datagram, ctrls27::offset::gearHandle, 0x100);
    ctrls27::Controls d{};
    ASSERT_EQ(ctrls27::decode(datagram.data(), datagram.size(), d), ctrls27::Refusal::none);
    EXPECT_EQ(d.gear[ctrls27::GEAR_HANDLE], 1.0);
}

}  // namespace
