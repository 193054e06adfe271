// The datagram as a receiver on loopback gets it from a simulation run by
// the emulated host: byte for byte, big-endian, every field in its place.
#include <bit>
#include <cmath>
#include <ctime>
#include <limits>

#include "block_harness.h"

using namespace test_support;

namespace {

// Inclusive byte ranges the block never writes.
constexpr std::pair<std::size_t, std::size_t> neverWritten[] = {
    {4, 7}, {48, 55}, {88, 99}, {112, 119}, {128, 139}, {144, 155}, {160, 171},
    {176, 187}, {192, 203}, {208, 219}, {228, 239}, {244, 283}, {332, 335}};

std::uint32_t f32(float value) { return std::bit_cast<std::uint32_t>(value); }

class Packets : public ::testing::Test {
protected:
    void SetUp() override
    {
        udp::startSockets();
        block = registeredBlock(loadedEntry(), parameters("127.0.0.1", socket.localPort()));
        ASSERT_EQ(block->start(), "");
    }
    void TearDown() override { EXPECT_EQ(block->terminate(), ""); }

    // Sets every input element to `value`.
    void fill(double value)
    {
        for (int port = 0; port < 9; ++port) {
            for (double& element : block->input(port)) {
                element = value;
            }
        }
    }

    Packet step()
    {
        EXPECT_EQ(block->outputs(), "");
        Packet packet = receive(socket);
        EXPECT_EQ(packet.size(), packetSize);
        return packet;
    }

    udp::Socket socket = receiver();
    std::unique_ptr<emulated_host::HostBlock> block;
};

TEST_F(Packets, all_zero_inputs_give_the_constants_and_negative_zeros)
{
    fill(0.0);
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    Packet packet = step();
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));

    Packet expected(packetSize, 0);
    auto put = [&expected](std::size_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            expected[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    };
    put(0, 0x11);
    put(120, 1);
    put(220, 1);
    put(224, 0x3F800000);
    put(292, 0x47435000);
    put(308, 0x80000000);
    put(316, 0x80000000);
    put(320, 0x80000000);
    const std::uint32_t sentTime = be32(packet, 284);
    EXPECT_GE(sentTime, before);
    EXPECT_LE(sentTime, after);
    put(284, sentTime);
    EXPECT_EQ(packet, expected);
}

TEST_F(Packets, every_input_lands_in_its_own_field)
{
    // Element i of port k carries 10k + i + 1.5 + 2^-12 + 2^-16: exact in single
    // precision, distinct, and with bits in every field's lowest byte, so that a
    // neighbour's store that spills over shows.
    auto in = [](int port, int i) { return 10.0 * port + i + 1.5 + 0x1p-12 + 0x1p-16; };
    for (int port = 0; port < 9; ++port) {
        std::span<double> elements = block->input(port);
        for (std::size_t i = 0; i < elements.size(); ++i) {
            elements[i] = in(port, static_cast<int>(i));
        }
    }
    Packet packet = step();

    EXPECT_EQ(be32(packet, 0), 17u);
    EXPECT_EQ(be64(packet, 8), std::bit_cast<std::uint64_t>(in(0, 1)));  // longitude
    EXPECT_EQ(be64(packet, 16), std::bit_cast<std::uint64_t>(in(0, 0)));
    EXPECT_EQ(be64(packet, 24), std::bit_cast<std::uint64_t>(in(0, 2)));
    struct Single {
        std::size_t offset;
        int port;  // -1: a constant
        int index;
        float sign_or_value;
    };
    const Single singles[] = {
        {32, 5, 0, 1}, {36, 1, 0, 1}, {40, 1, 1, 1}, {44, 1, 2, 1}, {56, 7, 0, 1}, {60, 7, 1, 1},
        {64, 7, 2, 1}, {68, 2, 0, 1}, {72, 2, 1, 1}, {76, 6, 0, 1}, {80, 6, 1, 1}, {84, 6, 2, 1},
        {100, 8, 0, 1}, {104, 8, 1, 1}, {108, 8, 2, 1}, {140, 4, 1, 1}, {156, 4, 2, 1}, {172, -1, 0, 0.0f},
        {188, -1, 0, 0.0f}, {204, -1, 0, 0.0f}, {224, -1, 0, 1.0f}, {292, -1, 0, 50000.0f}, {296, 3, 1, 1},
        {300, -1, 0, 0.0f}, {304, 3, 0, 1}, {308, 3, 2, -1}, {312, 3, 2, 1}, {316, 3, 3, -1}, {320, 3, 3, -1},
        {324, -1, 0, 0.0f}, {328, -1, 0, 0.0f}};
    for (const Single& s : singles) {
        const float expected = s.port < 0 ? s.sign_or_value : s.sign_or_value * static_cast<float>(in(s.port, s.index));
        EXPECT_EQ(be32(packet, s.offset), f32(expected)) << "offset " << s.offset;
    }
    EXPECT_EQ(be32(packet, 120), 1u);
    EXPECT_EQ(be32(packet, 124), 2u);
    EXPECT_EQ(be32(packet, 220), 1u);
    EXPECT_EQ(be32(packet, 240), 0u);
    EXPECT_EQ(be32(packet, 288), 0u);
}

TEST_F(Packets, position_goes_out_bit_for_bit_in_longitude_latitude_order)
{
    fill(0.0);
    block->input(0)[0] = 0.5;
    block->input(0)[1] = 1.0;
    block->input(0)[2] = 100.0;
    Packet packet = step();
    const Packet bytes(packet.begin() + 8, packet.begin() + 32);
    EXPECT_EQ(bytes, (Packet{0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x3F, 0xE0, 0, 0, 0, 0, 0, 0, 0x40, 0x59, 0, 0, 0, 0, 0, 0}));

    // A signalling NaN with a payload and a negative quiet NaN keep every bit.
    const std::uint64_t signalling = 0x7FF0000000000001u;
    const std::uint64_t negativeQuiet = 0xFFF8000000C0FFEEu;
    block->input(0)[0] = std::bit_cast<double>(signalling);
    block->input(0)[1] = std::bit_cast<double>(negativeQuiet);
    packet = step();
    EXPECT_EQ(be64(packet, 16), signalling);
    EXPECT_EQ(be64(packet, 8), negativeQuiet);
}

TEST_F(Packets, engine_runs_only_for_a_value_above_zero)
{
    fill(0.0);
    const std::pair<double, std::uint32_t> cases[] = {
        {0.0, 0}, {-0.0, 0}, {-1.0, 0}, {std::numeric_limits<double>::quiet_NaN(), 0},
        {-std::numeric_limits<double>::infinity(), 0}, {1e-300, 2}, {4.9e-324, 2},
        {std::numeric_limits<double>::infinity(), 2}};
    for (const auto& [value, state] : cases) {
        block->input(4)[0] = value;
        EXPECT_EQ(be32(step(), 124), state) << value;
    }
}

TEST_F(Packets, surfaces_are_negated_by_their_sign_bit)
{
    fill(0.0);
    block->input(3)[2] = 0.25;
    block->input(3)[3] = 0.25;
    Packet packet = step();
    EXPECT_EQ(be32(packet, 308), 0xBE800000u);
    EXPECT_EQ(be32(packet, 312), 0x3E800000u);
    EXPECT_EQ(be32(packet, 316), 0xBE800000u);
    EXPECT_EQ(be32(packet, 320), 0xBE800000u);

    block->input(3)[2] = -std::numeric_limits<double>::quiet_NaN();
    block->input(3)[3] = -0.0;
    packet = step();
    EXPECT_EQ(be32(packet, 308) & 0xFFC00000u, 0x7FC00000u);  // a positive NaN
    EXPECT_EQ(be32(packet, 312) & 0xFFC00000u, 0xFFC00000u);
    EXPECT_EQ(be32(packet, 316), 0u);
    EXPECT_EQ(be32(packet, 320), 0u);
}

TEST_F(Packets, narrowing_rounds_to_nearest_even_and_saturates_to_infinity)
{
    fill(0.0);
    std::span<double> attitude = block->input(1);
    std::span<double> rates = block->input(7);
    attitude[0] = 1e39;
    attitude[1] = -1e39;
    attitude[2] = 5e-324;
    rates[0] = 1.0 + std::ldexp(1.0, -24);      // half way: to the even 1.0
    rates[1] = 1.0 + 3 * std::ldexp(1.0, -24);  // half way: to the even 1 + 2^-22
    rates[2] = 0.1;
    block->input(6)[0] = -5e-324;
    block->input(6)[1] = std::numeric_limits<double>::quiet_NaN();
    block->input(6)[2] = -std::numeric_limits<double>::infinity();
    Packet packet = step();
    EXPECT_EQ(be32(packet, 36), 0x7F800000u);
    EXPECT_EQ(be32(packet, 40), 0xFF800000u);
    EXPECT_EQ(be32(packet, 44), 0x00000000u);
    EXPECT_EQ(be32(packet, 56), 0x3F800000u);
    EXPECT_EQ(be32(packet, 60), 0x3F800002u);
    EXPECT_EQ(be32(packet, 64), 0x3DCCCCCDu);
    EXPECT_EQ(be32(packet, 76), 0x80000000u);
    EXPECT_EQ(be32(packet, 80) & 0x7FC00000u, 0x7FC00000u);
    EXPECT_EQ(be32(packet, 84), 0xFF800000u);
}

TEST_F(Packets, unread_surface_elements_and_never_written_bytes_change_nothing)
{
    fill(3.0);
    Packet first = step();
    block->input(3)[4] = 99.0;
    block->input(3)[5] = -99.0;
    block->input(3)[6] = std::numeric_limits<double>::quiet_NaN();
    Packet second = step();
    // Only the clock may differ between the two.
    for (std::size_t offset = 284; offset < 288; ++offset) {
        second[offset] = first[offset];
    }
    EXPECT_EQ(first, second);

    fill(-7.25);
    for (const Packet& packet : {first, second, step()}) {
        for (const auto& [from, to] : neverWritten) {
            for (std::size_t offset = from; offset <= to; ++offset) {
                EXPECT_EQ(packet[offset], 0) << "offset " << offset;
            }
        }
    }
}

}  // namespace
