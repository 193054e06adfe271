// Recognising datagrams of both versions and translating version 17 to 24.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "datagram.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& packet, std::size_t offset, std::uint32_t value) { fdm17::storeU32(packet.data() + offset, value); }
void putF32(Bytes& packet, std::size_t offset, float value) { put32(packet, offset, std::bit_cast<std::uint32_t>(value)); }
std::uint32_t get32(const Bytes& packet, std::size_t offset) { return fdm17::loadU32(packet.data() + offset); }
float getF32(const Bytes& packet, std::size_t offset) { return std::bit_cast<float>(get32(packet, offset)); }

Bytes packet17()
{
    Bytes packet(336, 0);
    put32(packet, 0, 17);
    return packet;
}

TEST(Recognise, tells_both_versions_from_every_malformed_kind)
{
    Bytes v24(408, 0);
    put32(v24, 0, 24);
    EXPECT_EQ(fdm::recognise(packet17()).kind, fdm::Kind::version17);
    EXPECT_EQ(fdm::recognise(v24).kind, fdm::Kind::version24);

    struct Case {
        Bytes datagram;
        fdm::Problem problem;
        const char* text;
    };
    Bytes swapped = packet17();
    put32(swapped, 0, 0x11000000);
    Bytes short17(335, 0);
    put32(short17, 0, 17);
    Bytes long17(337, 0);
    put32(long17, 0, 17);
    Bytes v18 = packet17();
    put32(v18, 0, 18);
    const Case cases[] = {
        {Bytes{0, 0, 0}, fdm::Problem::tooShort, "3 bytes: too short for a version word"},
        {swapped, fdm::Problem::byteSwapped, "336 bytes: version word reads 17 only byte-swapped (sender in the wrong byte order)"},
        {short17, fdm::Problem::wrongLength, "335 bytes: version 17 needs 336"},
        {long17, fdm::Problem::wrongLength, "337 bytes: version 17 needs 336"},
        {v18, fdm::Problem::unknownVersion, "336 bytes: unknown version 18"},
    };
    for (const Case& c : cases) {
        const fdm::Recognised r = fdm::recognise(c.datagram);
        EXPECT_EQ(r.kind, fdm::Kind::malformed);
        EXPECT_EQ(r.problem, c.problem);
        EXPECT_EQ(fdm::describe(r), c.text);
    }
}

TEST(Translate, every_version_17_field_moves_to_its_version_24_place)
{
    Bytes in = packet17();
    // Distinct values in every 4-byte word from 4 to 335, none of their bytes zero, so
    // that a byte left out or moved shows.
    for (std::size_t offset = 4; offset < 336; offset += 4) {
        const auto word = static_cast<std::uint32_t>(offset / 4);
        put32(in, offset, 0x80000000u | (word << 16) | ((word ^ 0x5Au) << 8) | (0x80u + word));
    }
    put32(in, 120, 2);   // engines
    put32(in, 220, 3);   // tanks
    put32(in, 240, 2);   // wheels
    put32(in, 244, 0x01000700);  // weight on wheels: 1, 0, 7 and a padding byte
    Bytes out(408, 0xEE);
    fdm24::translate17to24(in.data(), out.data());

    EXPECT_EQ(get32(out, 0), 24u);
    for (std::size_t offset = 4; offset < 120; offset += 4) {
        EXPECT_EQ(get32(out, offset), get32(in, offset)) << offset;
    }
    EXPECT_EQ(get32(out, 120), 2u);
    const std::pair<std::size_t, std::size_t> moved[] = {
        {124, 124}, {140, 140}, {156, 156}, {172, 188}, {188, 252}, {204, 268}, {224, 288},
        {248, 320}, {260, 332}, {272, 344}, {284, 356}, {288, 360}, {292, 364}, {296, 368},
        {300, 372}, {304, 376}, {304, 380}, {308, 384}, {312, 388}, {316, 392}, {320, 396},
        {324, 400}, {328, 404}};
    for (const auto& [from, to] : moved) {
        const std::size_t words = (from >= 124 && from < 240 && from != 220) ? 4 : (from >= 248 && from < 284 ? 3 : 1);
        for (std::size_t i = 0; i < words; ++i) {
            EXPECT_EQ(get32(out, to + 4 * i), get32(in, from + 4 * i)) << from << " -> " << to;
        }
    }
    EXPECT_EQ(get32(out, 284), 3u);
    EXPECT_EQ(get32(out, 304), 2u);
    EXPECT_EQ(get32(out, 308), 1u);
    EXPECT_EQ(get32(out, 312), 0u);
    EXPECT_EQ(get32(out, 316), 1u);
    for (std::size_t offset : {172u, 204u, 220u, 236u}) {  // quantities version 17 lacks
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(get32(out, offset + 4 * i), 0u) << offset;
        }
    }
}

TEST(Translate, counts_are_clamped_to_what_a_receiver_can_hold)
{
    Bytes in = packet17();
    put32(in, 120, 0xFFFFFFFF);
    put32(in, 220, 5);
    put32(in, 240, 1000);
    putF32(in, 304, 0.5f);
    Bytes out(408, 0);
    fdm24::translate17to24(in.data(), out.data());
    EXPECT_EQ(get32(out, 120), 4u);
    EXPECT_EQ(get32(out, 284), 4u);
    EXPECT_EQ(get32(out, 304), 3u);
    EXPECT_EQ(getF32(out, 376), 0.5f);
    EXPECT_EQ(getF32(out, 380), 0.5f);
}

}  // namespace
