// Classic pcap writer; classic pcap and pcapng reader.
#include "capture_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "quoted.h"

namespace capture {

namespace {

constexpr std::uint32_t pcapMagicMicro = 0xa1b2c3d4;
constexpr std::uint32_t pcapMagicNano = 0xa1b23c4d;
constexpr std::uint32_t ngSectionHeader = 0x0a0d0d0a;
constexpr std::uint32_t ngByteOrderMagic = 0x1a2b3c4d;
// Link types (LINKTYPE_* of the pcap formats) and protocol numbers.
constexpr std::uint32_t linkBsdLoopback = 0;
constexpr std::uint32_t linkEthernet = 1;
constexpr std::uint32_t linkRaw = 101;
constexpr std::uint32_t linkOpenBsdLoopback = 108;
constexpr std::uint32_t linkLinuxCooked = 113;
constexpr std::uint32_t linkIpv4 = 228;
constexpr std::uint32_t linkIpv6 = 229;
constexpr std::uint32_t linkLinuxCooked2 = 276;
constexpr std::uint16_t etherIpv4 = 0x0800;
constexpr std::uint16_t etherIpv6 = 0x86dd;
constexpr std::uint16_t etherVlan = 0x8100;
constexpr std::uint8_t protocolUdp = 17;
// pcapng block types, and the option that sets an interface's time unit.
constexpr std::uint32_t ngInterface = 1;
constexpr std::uint32_t ngObsoletePacket = 2;
constexpr std::uint32_t ngSimplePacket = 3;
constexpr std::uint32_t ngEnhancedPacket = 6;
constexpr std::uint16_t ngOptionEnd = 0;
constexpr std::uint16_t ngTimeResolution = 9;  // if_tsresol
// One record or block at most: a UDP datagram with any link header is far smaller.
constexpr std::size_t largestRecord = 1u << 20;
constexpr std::size_t mostInterfaces = 4096;
constexpr std::size_t ipv4HeaderSize = 20;
constexpr std::size_t udpHeaderSize = 8;
constexpr std::size_t snapLength = 65535;

void putLe32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void putBe16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

void putBe32(std::uint8_t* at, std::uint32_t value)
{
    putBe16(at, value >> 16);
    putBe16(at + 2, value & 0xffff);
}

std::uint16_t be16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }
std::uint32_t be32(const std::uint8_t* at) { return static_cast<std::uint32_t>(be16(at)) << 16 | be16(at + 2); }

std::uint16_t le16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[1] << 8 | at[0]); }
std::uint32_t le32(const std::uint8_t* at) { return static_cast<std::uint32_t>(le16(at + 2)) << 16 | le16(at); }

// The IPv4 or IPv6 UDP datagram in a link-layer frame; false when there is none.
bool udpIn(std::uint32_t linkType, std::span<const std::uint8_t> frame, Datagram& out)
{
    std::size_t at = 0;
    std::uint16_t ethertype = 0;  // 0: the frame starts with the IP header
    switch (linkType) {
    case linkBsdLoopback:      // a 4-byte address family in the writer's order
    case linkOpenBsdLoopback:  // the same in network order
        at = 4;
        break;
    case linkEthernet:  // with one optional VLAN tag
        if (frame.size() < 14) {
            return false;
        }
        ethertype = be16(frame.data() + 12);
        at = 14;
        if (ethertype == etherVlan && frame.size() >= 18) {
            ethertype = be16(frame.data() + 16);
            at = 18;
        }
        break;
    case linkRaw:
    case linkIpv4:
    case linkIpv6:
        break;
    case linkLinuxCooked:
        if (frame.size() < 16) {
            return false;
        }
        ethertype = be16(frame.data() + 14);
        at = 16;
        break;
    case linkLinuxCooked2:
        if (frame.size() < 20) {
            return false;
        }
        ethertype = be16(frame.data());
        at = 20;
        break;
    default: return false;
    }
    if (ethertype != 0 && ethertype != etherIpv4 && ethertype != etherIpv6) {
        return false;
    }
    if (frame.size() < at + 1) {
        return false;
    }
    const std::uint8_t* ip = frame.data() + at;
    const std::size_t left = frame.size() - at;
    std::size_t header = 0;
    if ((ip[0] >> 4) == 4) {
        header = static_cast<std::size_t>(ip[0] & 0x0f) * 4;
        // Not UDP, too short, or a fragment (which holds no whole datagram).
        if (header < ipv4HeaderSize || left < header + udpHeaderSize || ip[9] != protocolUdp || (be16(ip + 6) & 0x3fff) != 0) {
            return false;
        }
        out.from.ip = be32(ip + 12);
        out.to.ip = be32(ip + 16);
    } else if ((ip[0] >> 4) == 6) {
        header = 40;
        if (left < header + udpHeaderSize || ip[6] != protocolUdp) {
            return false;
        }
        out.from.ip = out.to.ip = 0;
    } else {
        return false;
    }
    const std::uint8_t* udp = ip + header;
    out.from.port = be16(udp);
    out.to.port = be16(udp + 2);
    const std::size_t udpLength = be16(udp + 4);
    if (udpLength < udpHeaderSize) {
        return false;
    }
    out.length = udpLength - udpHeaderSize;
    const std::size_t kept = std::min(out.length, left - header - udpHeaderSize);
    out.payload.assign(udp + udpHeaderSize, udp + udpHeaderSize + kept);
    return true;
}

}  // namespace

Writer::~Writer()
{
    std::string ignored;
    close(ignored);
}

bool Writer::open(const std::string& path, std::string& error)
{
    file_ = std::fopen(path.c_str(), "wb");
    path_ = path;
    if (file_ == nullptr) {
        error = "cannot write " + text::quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    std::array<std::uint8_t, 24> header{};
    putLe32(header.data(), pcapMagicMicro);
    header[4] = 2;  // version 2.4
    header[6] = 4;
    putLe32(header.data() + 16, snapLength);
    putLe32(header.data() + 20, linkRaw);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size() || std::fflush(file_) != 0) {
        error = "cannot write " + text::quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Writer::write(double seconds, const Address& from, const Address& to, std::span<const std::uint8_t> payload,
                   std::size_t length, std::string& error)
{
    if (file_ == nullptr) {
        error = "no capture file open";
        return false;
    }
    const std::size_t kept = std::min(payload.size(), snapLength - ipv4HeaderSize - udpHeaderSize);
    const std::size_t onWire = std::min<std::size_t>(length, 65535 - ipv4HeaderSize - udpHeaderSize);
    std::array<std::uint8_t, 16 + ipv4HeaderSize + udpHeaderSize> head{};
    const double whole = std::floor(seconds);
    putLe32(head.data(), static_cast<std::uint32_t>(whole));
    putLe32(head.data() + 4, std::min(999999u, static_cast<std::uint32_t>((seconds - whole) * 1e6)));
    putLe32(head.data() + 8, static_cast<std::uint32_t>(ipv4HeaderSize + udpHeaderSize + kept));
    putLe32(head.data() + 12, static_cast<std::uint32_t>(ipv4HeaderSize + udpHeaderSize + onWire));
    std::uint8_t* ip = head.data() + 16;
    ip[0] = 0x45;
    putBe16(ip + 2, static_cast<std::uint32_t>(ipv4HeaderSize + udpHeaderSize + onWire));
    putBe16(ip + 6, 0x4000);  // don't fragment
    ip[8] = 64;
    ip[9] = protocolUdp;
    putBe32(ip + 12, from.ip);
    putBe32(ip + 16, to.ip);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ipv4HeaderSize; i += 2) {
        sum += be16(ip + i);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    sum = (sum & 0xffff) + (sum >> 16);
    putBe16(ip + 10, ~sum & 0xffff);
    std::uint8_t* udp = ip + ipv4HeaderSize;
    putBe16(udp, from.port);
    putBe16(udp + 2, to.port);
    putBe16(udp + 4, static_cast<std::uint32_t>(udpHeaderSize + onWire));  // checksum 0: none, as IPv4 allows
    if (std::fwrite(head.data(), 1, head.size(), file_) != head.size() ||
        std::fwrite(payload.data(), 1, kept, file_) != kept || std::fflush(file_) != 0) {
        error = "writing " + text::quoted(path_) + " failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Writer::close(std::string& error)
{
    if (file_ == nullptr) {
        return true;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        error = "writing " + text::quoted(path_) + " failed: " + std::strerror(errno);
    }
    return closed;
}

Reader::~Reader()
{
    if (ownsFile_ && file_ != nullptr) {
        std::fclose(file_);
    }
}

void Reader::reset()
{
    if (ownsFile_ && file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = nullptr;
    ownsFile_ = false;
    bytes_ = {};
    at_ = 0;
    carried_ = 0;
    records_ = notUdp_ = 0;
    truncation_.clear();
    interfaces_.clear();
}

bool Reader::open(const std::string& path, std::string& error)
{
    reset();
    name_ = text::quoted(path);
    if (path == "-") {
        file_ = stdin;
    } else {
        file_ = std::fopen(path.c_str(), "rb");
        ownsFile_ = file_ != nullptr;
    }
    if (file_ == nullptr) {
        error = "cannot open " + name_ + ": " + std::strerror(errno);
        return false;
    }
    return start(error);
}

bool Reader::open(std::span<const std::uint8_t> bytes, const std::string& name, std::string& error)
{
    reset();
    bytes_ = bytes;
    name_ = name;
    return start(error);
}

bool Reader::canRewind() const
{
    return file_ == nullptr || (file_ != stdin && std::fseek(file_, 0, SEEK_CUR) == 0);
}

bool Reader::rewind(std::string& error)
{
    if (!canRewind() || (file_ != nullptr && std::fseek(file_, 0, SEEK_SET) != 0)) {
        error = name_ + " cannot be read again";
        return false;
    }
    at_ = 0;
    carried_ = 0;
    records_ = notUdp_ = 0;
    truncation_.clear();
    interfaces_.clear();
    return start(error);
}

// Reads `count` more bytes to the end of record_; `got` says how many came
// (fewer at the end of the input). False only on a read error.
bool Reader::take(std::size_t count, std::size_t& got, std::string& error)
{
    const std::size_t before = record_.size();
    record_.resize(before + count);
    if (file_ == nullptr) {
        got = std::min(count, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, got, record_.data() + before);
        at_ += got;
    } else {
        got = std::fread(record_.data() + before, 1, count, file_);
        if (got < count && std::ferror(file_) != 0) {
            error = "cannot read " + name_ + ": " + std::strerror(errno);
            return false;
        }
    }
    record_.resize(before + got);
    return true;
}

bool Reader::start(std::string& error)
{
    record_.clear();
    std::size_t got = 0;
    if (!take(4, got, error)) {
        return false;
    }
    if (got < 4) {
        error = name_ + (got == 0 ? ": empty, not a capture file" : ": not a capture file");
        return false;
    }
    const std::uint32_t little = le32(record_.data());
    const std::uint32_t big = be32(record_.data());
    if (little == pcapMagicMicro || little == pcapMagicNano || big == pcapMagicMicro || big == pcapMagicNano) {
        ng_ = false;
        bigEndian_ = big == pcapMagicMicro || big == pcapMagicNano;
        nanosecondStamps_ = little == pcapMagicNano || big == pcapMagicNano;
        if (!take(20, got, error)) {
            return false;
        }
        if (got < 20) {
            error = name_ + ": cut short inside the file header";
            return false;
        }
        linkType_ = (bigEndian_ ? be32(record_.data() + 20) : le32(record_.data() + 20)) & 0xffff;
        record_.clear();
        return true;
    }
    if (big == ngSectionHeader) {
        ng_ = true;
        carried_ = 4;  // the section header is read as the first block
        return true;
    }
    error = name_ + ": not a capture file (neither pcap nor pcapng)";
    return false;
}

bool Reader::next(Datagram& datagram, std::string& error)
{
    error.clear();
    while (truncation_.empty()) {
        const bool found = ng_ ? nextNg(datagram, error) : nextClassic(datagram, error);
        if (found || !error.empty()) {
            return found;
        }
        if (record_.empty() && truncation_.empty()) {
            return false;  // the clean end of the file
        }
        record_.clear();
    }
    return false;
}

// One record of a classic file: true with a datagram; false with `record_`
// empty at the end, or holding the record when it held no UDP datagram.
bool Reader::nextClassic(Datagram& datagram, std::string& error)
{
    record_.clear();
    std::size_t got = 0;
    if (!take(16, got, error) || got == 0) {
        return false;
    }
    if (got < 16) {
        truncation_ = "the file ends inside the header of record " + std::to_string(records_ + 1);
        return false;
    }
    const auto u32 = [this](std::size_t at) {
        return bigEndian_ ? be32(record_.data() + at) : le32(record_.data() + at);
    };
    const std::uint32_t captured = u32(8);
    if (captured > largestRecord) {
        error = name_ + ": record " + std::to_string(records_ + 1) + " claims " + std::to_string(captured) +
                " bytes, more than a capture record holds";
        return false;
    }
    const std::uint64_t stamp = static_cast<std::uint64_t>(u32(0)) * 1'000'000'000u +
                                static_cast<std::uint64_t>(u32(4)) * (nanosecondStamps_ ? 1u : 1000u);
    if (!take(captured, got, error)) {
        return false;
    }
    if (got < captured) {
        truncation_ = "the file ends inside record " + std::to_string(records_ + 1);
        return false;
    }
    ++records_;
    datagram.nanoseconds = static_cast<std::int64_t>(stamp);
    datagram.timed = true;
    if (udpIn(linkType_, std::span<const std::uint8_t>(record_).subspan(16), datagram)) {
        return true;
    }
    ++notUdp_;
    return false;
}

bool Reader::readInterface(std::span<const std::uint8_t> body, std::string& error)
{
    const auto u16 = [this](const std::uint8_t* at) { return bigEndian_ ? be16(at) : le16(at); };
    const auto u32 = [this](const std::uint8_t* at) { return bigEndian_ ? be32(at) : le32(at); };
    if (interfaces_.size() == mostInterfaces) {
        error = name_ + ": more than " + std::to_string(mostInterfaces) + " interfaces";
        return false;
    }
    Interface interface{u16(body.data()), u32(body.data() + 4), 1000, 1};  // microseconds unless said
    for (std::size_t option = 8; option + 4 <= body.size();) {
        const std::uint16_t code = u16(body.data() + option);
        const std::uint16_t size = u16(body.data() + option + 2);
        if (code == ngOptionEnd || option + 4 + size > body.size()) {
            break;
        }
        if (code == ngTimeResolution && size >= 1) {
            const unsigned exponent = body[option + 4] & 0x7fu;
            if ((body[option + 4] & 0x80) != 0) {  // 2^-exponent seconds
                interface.tickNumerator = 1'000'000'000u;
                interface.tickDenominator = std::uint64_t{1} << std::min(exponent, 63u);
            } else {  // 10^-exponent seconds
                interface.tickNumerator = interface.tickDenominator = 1;
                for (unsigned i = 9; i > exponent; --i) {
                    interface.tickNumerator *= 10;
                }
                for (unsigned i = 9; i < std::min(exponent, 27u); ++i) {
                    interface.tickDenominator *= 10;  // 10^18 at most: later digits are below a nanosecond
                }
            }
        }
        option += 4 + ((size + 3u) & ~3u);
    }
    interfaces_.push_back(interface);
    return true;
}

// One block of a pcapng file, as nextClassic does for a record.
bool Reader::nextNg(Datagram& datagram, std::string& error)
{
    record_.resize(carried_);
    std::size_t got = 0;
    if (!take(12 - carried_, got, error) || got + carried_ == 0) {
        return false;
    }
    got += carried_;
    carried_ = 0;
    if (got < 12) {
        truncation_ = "the file ends inside the header of a block";
        return false;
    }
    if (be32(record_.data()) == ngSectionHeader) {
        const std::uint32_t magic = le32(record_.data() + 8);
        if (magic != ngByteOrderMagic && be32(record_.data() + 8) != ngByteOrderMagic) {
            error = name_ + ": a pcapng section with an unknown byte-order mark";
            return false;
        }
        bigEndian_ = magic != ngByteOrderMagic;
        interfaces_.clear();
    }
    const auto u32 = [this](const std::uint8_t* at) { return bigEndian_ ? be32(at) : le32(at); };
    const std::uint32_t type = u32(record_.data());
    const std::uint32_t length = u32(record_.data() + 4);
    if (length < 12 || length % 4 != 0 || length > largestRecord) {
        error = name_ + ": a pcapng block of impossible length " + std::to_string(length);
        return false;
    }
    if (!take(length - 12, got, error)) {
        return false;
    }
    if (got < length - 12) {
        truncation_ = "the file ends inside block " + std::to_string(records_ + 1);
        return false;
    }
    const std::span<const std::uint8_t> body = std::span<const std::uint8_t>(record_).subspan(8, length - 12);
    if (type == ngInterface && body.size() >= 8) {
        readInterface(body, error);
        return false;
    }
    if ((type == ngEnhancedPacket || type == ngObsoletePacket) && body.size() >= 20) {
        const std::uint32_t id = type == ngEnhancedPacket ? u32(body.data())
                                                           : (bigEndian_ ? be16(body.data()) : le16(body.data()));
        const std::uint32_t captured = u32(body.data() + 12);
        if (id >= interfaces_.size() || captured > body.size() - 20) {
            error = name_ + ": a packet block that names no interface or overruns itself";
            return false;
        }
        const Interface& interface = interfaces_[id];
        const std::uint64_t ticks = static_cast<std::uint64_t>(u32(body.data() + 4)) << 32 | u32(body.data() + 8);
        // Whole ticks and the rest apart: no overflow for any stamp of this or the next centuries.
        const std::uint64_t nanoseconds = ticks / interface.tickDenominator * interface.tickNumerator +
                                          ticks % interface.tickDenominator * interface.tickNumerator /
                                              interface.tickDenominator;
        ++records_;
        datagram.nanoseconds = static_cast<std::int64_t>(nanoseconds);
        datagram.timed = true;
        if (udpIn(interface.linkType, body.subspan(20, captured), datagram)) {
            return true;
        }
        ++notUdp_;
        return false;
    }
    if (type == ngSimplePacket && body.size() >= 4) {  // interface 0, no time
        if (interfaces_.empty()) {
            error = name_ + ": a packet block before any interface";
            return false;
        }
        std::size_t captured = std::min<std::size_t>(u32(body.data()), body.size() - 4);
        if (interfaces_[0].snapLength != 0) {
            captured = std::min<std::size_t>(captured, interfaces_[0].snapLength);
        }
        ++records_;
        datagram.nanoseconds = 0;
        datagram.timed = false;
        if (udpIn(interfaces_[0].linkType, body.subspan(4, captured), datagram)) {
            return true;
        }
        ++notUdp_;
    }
    return false;
}

namespace {

bool readAll(Reader& reader, Contents& contents, std::string& error)
{
    contents = Contents{};
    Datagram datagram;
    while (reader.next(datagram, error)) {
        contents.datagrams.push_back(datagram);
    }
    contents.records = reader.records();
    contents.notUdp = reader.notUdp();
    contents.truncation = reader.truncation();
    return error.empty();
}

}  // namespace

bool read(const std::string& path, Contents& contents, std::string& error)
{
    Reader reader;
    return reader.open(path, error) && readAll(reader, contents, error);
}

bool parse(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error)
{
    Reader reader;
    contents = Contents{};
    return reader.open(bytes, name, error) && readAll(reader, contents, error);
}

}  // namespace capture
