// The capture files against libpcap: what the writer writes, libpcap reads
// as written; what libpcap writes (Ethernet and Linux cooked frames,
// microsecond and nanosecond times), the reader reads.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_file.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> payload(std::size_t size, std::uint8_t first)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = fs::temp_directory_path() /
               ("capture-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".pcap");
    }
    void TearDown() override { fs::remove(path); }
    fs::path path;
};

TEST_F(Capture, libpcap_reads_what_the_writer_writes)
{
    capture::Writer writer;
    std::string error;
    ASSERT_TRUE(writer.open(path.string(), error)) << error;
    const capture::Address from{0x7f000001, 40000};
    const capture::Address to{0x7f000002, 5500};
    ASSERT_TRUE(writer.write(1700000000.25, from, to, payload(336, 1), 336, error)) << error;
    ASSERT_TRUE(writer.write(1700000000.5, from, to, payload(100, 7), 3000, error)) << error;  // kept in part
    ASSERT_TRUE(writer.close(error)) << error;

    char failure[PCAP_ERRBUF_SIZE];
    pcap_t* file = pcap_open_offline(path.c_str(), failure);
    ASSERT_NE(file, nullptr) << failure;
    EXPECT_STREQ(pcap_datalink_val_to_name(pcap_datalink(file)), "RAW");
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const struct Expected {
        long microseconds;
        std::uint32_t captured;
        std::uint32_t onWire;
        std::uint8_t first;
    } expected[] = {{250000, 28 + 336, 28 + 336, 1}, {500000, 28 + 100, 28 + 3000, 7}};
    for (const Expected& e : expected) {
        ASSERT_EQ(pcap_next_ex(file, &header, &data), 1) << pcap_geterr(file);
        EXPECT_EQ(header->ts.tv_sec, 1700000000);
        EXPECT_EQ(header->ts.tv_usec, e.microseconds);
        EXPECT_EQ(header->caplen, e.captured);
        EXPECT_EQ(header->len, e.onWire);
        EXPECT_EQ(data[0], 0x45);  // IPv4, 20-byte header
        EXPECT_EQ(data[9], 17);    // UDP
        EXPECT_EQ((data[16] << 24 | data[17] << 16 | data[18] << 8 | data[19]), 0x7f000002);
        EXPECT_EQ((data[22] << 8 | data[23]), 5500);
        EXPECT_EQ(data[28], e.first);
    }
    EXPECT_EQ(pcap_next_ex(file, &header, &data), PCAP_ERROR_BREAK);
    pcap_close(file);

    capture::Contents contents;
    ASSERT_TRUE(capture::read(path.string(), contents, error)) << error;
    ASSERT_EQ(contents.datagrams.size(), 2u);
    EXPECT_EQ(contents.datagrams[1].length, 3000u);
    EXPECT_EQ(contents.datagrams[1].payload, payload(100, 7));
}

// One UDP datagram in a link-layer frame of libpcap's type `link`.
std::vector<std::uint8_t> frame(int link, const std::vector<std::uint8_t>& data, std::uint16_t port)
{
    std::vector<std::uint8_t> bytes;
    if (link == DLT_EN10MB) {
        bytes.assign(12, 0);
        bytes.insert(bytes.end(), {0x08, 0x00});
    } else {  // DLT_LINUX_SLL: protocol at the end of 16 bytes
        bytes.assign(14, 0);
        bytes.insert(bytes.end(), {0x08, 0x00});
    }
    const auto udpLength = static_cast<std::uint16_t>(8 + data.size());
    const auto total = static_cast<std::uint16_t>(20 + udpLength);
    const std::array<std::uint8_t, 28> headers{0x45, 0, std::uint8_t(total >> 8), std::uint8_t(total), 0, 0, 0, 0, 64, 17,
                                               0, 0, 127, 0, 0, 1, 127, 0, 0, 1, 0x9c, 0x40, std::uint8_t(port >> 8),
                                               std::uint8_t(port), std::uint8_t(udpLength >> 8),
                                               std::uint8_t(udpLength), 0, 0};
    bytes.insert(bytes.end(), headers.begin(), headers.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

TEST_F(Capture, the_reader_reads_what_libpcap_writes)
{
    for (const int link : {DLT_EN10MB, DLT_LINUX_SLL}) {
        for (const auto precision : {static_cast<u_int>(PCAP_TSTAMP_PRECISION_MICRO), static_cast<u_int>(PCAP_TSTAMP_PRECISION_NANO)}) {
            pcap_t* dead = pcap_open_dead_with_tstamp_precision(link, 65535, precision);
            ASSERT_NE(dead, nullptr);
            pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
            ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
            const long fraction = precision == static_cast<u_int>(PCAP_TSTAMP_PRECISION_NANO) ? 123456789 : 123456;
            for (int i = 0; i < 3; ++i) {
                const std::vector<std::uint8_t> bytes = frame(link, payload(336, static_cast<std::uint8_t>(i)), 5500);
                pcap_pkthdr header{};
                header.ts.tv_sec = 1700000000 + i;
                header.ts.tv_usec = fraction;  // nanoseconds in a nanosecond file
                header.caplen = header.len = static_cast<bpf_u_int32>(bytes.size());
                pcap_dump(reinterpret_cast<u_char*>(dumper), &header, bytes.data());
            }
            pcap_dump_close(dumper);
            pcap_close(dead);

            capture::Contents contents;
            std::string error;
            ASSERT_TRUE(capture::read(path.string(), contents, error)) << error;
            ASSERT_EQ(contents.datagrams.size(), 3u) << link;
            EXPECT_EQ(contents.notUdp, 0u);
            for (int i = 0; i < 3; ++i) {
                const capture::Datagram& d = contents.datagrams[static_cast<std::size_t>(i)];
                EXPECT_EQ(d.payload, payload(336, static_cast<std::uint8_t>(i)));
                EXPECT_EQ(d.to.port, 5500);
                EXPECT_EQ(d.from.port, 40000);
                // Exact to the nanosecond: a double of seconds since 1970 is not.
                EXPECT_EQ(d.nanoseconds, (1700000000 + i) * 1'000'000'000LL + (fraction == 123456 ? 123456000 : 123456789))
                    << link << " " << precision;
            }
        }
    }
}

TEST_F(Capture, a_full_disk_is_reported_not_ignored)
{
    capture::Writer writer;
    std::string error;
    EXPECT_FALSE(writer.open("/dev/full", error));
    EXPECT_NE(error.find("No space left"), std::string::npos) << error;
}

}  // namespace

namespace {

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A pcapng file: section header, one raw-IP interface with nanosecond times,
// then the given blocks (each type, body).
std::vector<std::uint8_t> pcapng(const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>>& blocks)
{
    std::vector<std::uint8_t> out;
    const auto block = [&](std::uint32_t type, const std::vector<std::uint8_t>& body) {
        const auto length = static_cast<std::uint32_t>(12 + body.size());
        putLe32(out, type);
        putLe32(out, length);
        out.insert(out.end(), body.begin(), body.end());
        putLe32(out, length);
    };
    std::vector<std::uint8_t> section;
    putLe32(section, 0x1a2b3c4d);
    putLe32(section, 1);  // version 1.0
    putLe32(section, 0xffffffff);
    putLe32(section, 0xffffffff);  // section length unknown
    block(0x0a0d0d0a, section);
    std::vector<std::uint8_t> interface{101, 0, 0, 0, 0, 0, 0, 0, 9, 0, 1, 0, 9, 0, 0, 0, 0, 0, 0, 0};  // if_tsresol 9
    block(1, interface);
    for (const auto& [type, body] : blocks) {
        block(type, body);
    }
    return out;
}

std::vector<std::uint8_t> rawUdp(const std::vector<std::uint8_t>& data)
{
    const auto udpLength = static_cast<std::uint8_t>(8 + data.size());
    std::vector<std::uint8_t> frame{0x45, 0, 0, static_cast<std::uint8_t>(20 + udpLength), 0, 0, 0x40, 0, 64, 17, 0, 0,
                                    127, 0, 0, 1, 127, 0, 0, 1, 0x9c, 0x40, 0x15, 0x7c, 0, udpLength, 0, 0};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

}  // namespace

// The reader streams: the same records again after a rewind, nanosecond
// times exact at today's epoch, a simple packet block untimed, and a record
// larger than any capture holds refused instead of allocated.
TEST_F(Capture, the_reader_streams_rewinds_and_bounds_each_record)
{
    std::vector<std::uint8_t> enhanced{0, 0, 0, 0};
    const std::uint64_t ticks = 1'765'000'000'123'456'789ULL;  // nanoseconds: beyond a double's precision
    putLe32(enhanced, static_cast<std::uint32_t>(ticks >> 32));
    putLe32(enhanced, static_cast<std::uint32_t>(ticks));
    const std::vector<std::uint8_t> frame = rawUdp(payload(16, 3));
    putLe32(enhanced, static_cast<std::uint32_t>(frame.size()));
    putLe32(enhanced, static_cast<std::uint32_t>(frame.size()));
    enhanced.insert(enhanced.end(), frame.begin(), frame.end());
    std::vector<std::uint8_t> simple;
    putLe32(simple, static_cast<std::uint32_t>(frame.size()));
    simple.insert(simple.end(), frame.begin(), frame.end());
    const std::vector<std::uint8_t> bytes = pcapng({{6, enhanced}, {3, simple}});

    capture::Reader reader;
    std::string error;
    ASSERT_TRUE(reader.open(bytes, "memory", error)) << error;
    for (int round = 0; round < 2; ++round) {
        capture::Datagram datagram;
        ASSERT_TRUE(reader.next(datagram, error)) << error;
        EXPECT_EQ(datagram.nanoseconds, static_cast<std::int64_t>(ticks));
        EXPECT_TRUE(datagram.timed);
        EXPECT_EQ(datagram.payload, payload(16, 3));
        ASSERT_TRUE(reader.next(datagram, error)) << error;
        EXPECT_FALSE(datagram.timed);
        EXPECT_EQ(datagram.to.port, 5500);
        EXPECT_FALSE(reader.next(datagram, error));
        EXPECT_EQ(error, "");
        EXPECT_EQ(reader.records(), 2u);
        ASSERT_TRUE(reader.rewind(error)) << error;
    }

    std::vector<std::uint8_t> classic;
    for (const std::uint32_t word : {0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 101u, 1u, 0u, 2u << 20, 2u << 20}) {
        putLe32(classic, word);
    }
    ASSERT_TRUE(reader.open(classic, "huge", error)) << error;
    capture::Datagram datagram;
    EXPECT_FALSE(reader.next(datagram, error));
    EXPECT_EQ(error, "huge: record 1 claims 2097152 bytes, more than a capture record holds");
}
