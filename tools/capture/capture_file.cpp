// Classic pcap writer; classic pcap and pcapng reader.
#include "capture_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "command_line.h"

namespace capture {

namespace {

constexpr std::uint32_t pcapMagicMicro = 0xa1b2c3d4;
constexpr std::uint32_t pcapMagicNano = 0xa1b23c4d;
constexpr std::uint32_t ngSectionHeader = 0x0a0d0d0a;
constexpr std::uint32_t ngByteOrderMagic = 0x1a2b3c4d;
constexpr std::uint32_t linkRaw = 101;
constexpr std::size_t ipv4HeaderSize = 20;
constexpr std::size_t udpHeaderSize = 8;
constexpr std::size_t snapLength = 65535;
constexpr std::uint64_t largestFile = 1ull << 30;  // 1 GiB: an hour at 60 Hz is under 100 MB

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

// Reads integers of a file in its own byte order.
struct Order {
    bool swapped = false;  // the file's order is not little-endian
    std::uint16_t u16(const std::uint8_t* at) const
    {
        return swapped ? be16(at) : static_cast<std::uint16_t>(at[1] << 8 | at[0]);
    }
    std::uint32_t u32(const std::uint8_t* at) const
    {
        return swapped ? be32(at) : static_cast<std::uint32_t>(u16(at + 2)) << 16 | u16(at);
    }
};

// The IPv4 or IPv6 UDP datagram in a link-layer frame; false when there is none.
bool udpIn(std::uint32_t linkType, std::span<const std::uint8_t> frame, Datagram& out)
{
    std::size_t at = 0;
    std::uint16_t ethertype = 0;  // 0: the frame starts with the IP header
    switch (linkType) {
    case 0:    // BSD loopback: a 4-byte address family in the writer's order
    case 108:  // OpenBSD loopback, the same in network order
        at = 4;
        break;
    case 1:  // Ethernet, with one optional VLAN tag
        if (frame.size() < 14) {
            return false;
        }
        ethertype = be16(frame.data() + 12);
        at = 14;
        if (ethertype == 0x8100 && frame.size() >= 18) {
            ethertype = be16(frame.data() + 16);
            at = 18;
        }
        break;
    case 101:  // raw IP
    case 228:  // IPv4
    case 229:  // IPv6
        break;
    case 113:  // Linux cooked capture
        if (frame.size() < 16) {
            return false;
        }
        ethertype = be16(frame.data() + 14);
        at = 16;
        break;
    case 276:  // Linux cooked capture, version 2
        if (frame.size() < 20) {
            return false;
        }
        ethertype = be16(frame.data());
        at = 20;
        break;
    default: return false;
    }
    if (ethertype != 0 && ethertype != 0x0800 && ethertype != 0x86dd) {
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
        if (header < ipv4HeaderSize || left < header + udpHeaderSize || ip[9] != 17 || (be16(ip + 6) & 0x3fff) != 0) {
            return false;
        }
        out.from.ip = be32(ip + 12);
        out.to.ip = be32(ip + 16);
    } else if ((ip[0] >> 4) == 6) {
        header = 40;
        if (left < header + udpHeaderSize || ip[6] != 17) {
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

void addRecord(std::uint32_t linkType, double seconds, std::span<const std::uint8_t> frame, Contents& contents)
{
    ++contents.records;
    Datagram datagram;
    datagram.seconds = seconds;
    if (udpIn(linkType, frame, datagram)) {
        contents.datagrams.push_back(std::move(datagram));
    } else {
        ++contents.notUdp;
    }
}

bool parseClassic(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error)
{
    if (bytes.size() < 24) {
        error = name + ": cut short inside the file header";
        return false;
    }
    Order order;
    const std::uint32_t magic = order.u32(bytes.data());
    order.swapped = magic != pcapMagicMicro && magic != pcapMagicNano;
    const bool nano = order.u32(bytes.data()) == pcapMagicNano;
    const std::uint32_t linkType = order.u32(bytes.data() + 20) & 0xffff;
    std::size_t at = 24;
    while (at < bytes.size()) {
        if (bytes.size() - at < 16) {
            contents.truncation = "the file ends inside the header of record " + std::to_string(contents.records + 1);
            return true;
        }
        const std::uint8_t* record = bytes.data() + at;
        const std::uint32_t captured = order.u32(record + 8);
        if (captured > bytes.size() - at - 16) {
            contents.truncation = "the file ends inside record " + std::to_string(contents.records + 1);
            return true;
        }
        const double seconds = order.u32(record) + order.u32(record + 4) * (nano ? 1e-9 : 1e-6);
        addRecord(linkType, seconds, bytes.subspan(at + 16, captured), contents);
        at += 16 + captured;
    }
    return true;
}

bool parseNg(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error)
{
    struct Interface {
        std::uint32_t linkType;
        std::uint32_t snapLength;
        double unit;  // seconds per timestamp tick
    };
    std::vector<Interface> interfaces;
    Order order;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 12) {
            contents.truncation = "the file ends inside the header of a block";
            return true;
        }
        const std::uint8_t* block = bytes.data() + at;
        if (be32(block) == ngSectionHeader) {
            const std::uint32_t magic = Order{false}.u32(block + 8);
            if (magic != ngByteOrderMagic && Order{true}.u32(block + 8) != ngByteOrderMagic) {
                error = name + ": a pcapng section with an unknown byte-order mark";
                return false;
            }
            order.swapped = magic != ngByteOrderMagic;
            interfaces.clear();
        } else if (at == 0) {
            error = name + ": not a capture file";
            return false;
        }
        const std::uint32_t type = order.u32(block);
        const std::uint32_t length = order.u32(block + 4);
        if (length < 12 || length % 4 != 0) {
            error = name + ": a pcapng block of impossible length " + std::to_string(length);
            return false;
        }
        if (length > bytes.size() - at) {
            contents.truncation = "the file ends inside block " + std::to_string(contents.records + 1);
            return true;
        }
        const std::span<const std::uint8_t> body = bytes.subspan(at + 8, length - 12);
        if (type == 1 && body.size() >= 8) {  // interface description
            Interface interface{order.u16(body.data()), order.u32(body.data() + 4), 1e-6};
            for (std::size_t option = 8; option + 4 <= body.size();) {
                const std::uint16_t code = order.u16(body.data() + option);
                const std::uint16_t size = order.u16(body.data() + option + 2);
                if (code == 0 || option + 4 + size > body.size()) {
                    break;
                }
                if (code == 9 && size >= 1) {  // if_tsresol
                    const std::uint8_t resolution = body[option + 4];
                    const double base = (resolution & 0x80) != 0 ? 2.0 : 10.0;
                    interface.unit = std::pow(base, -static_cast<double>(resolution & 0x7f));
                }
                option += 4 + ((size + 3u) & ~3u);
            }
            interfaces.push_back(interface);
        } else if ((type == 6 || type == 2) && body.size() >= 20) {  // enhanced, or the old packet block
            const std::uint32_t id = type == 6 ? order.u32(body.data()) : order.u16(body.data());
            const std::uint32_t captured = order.u32(body.data() + 12);
            if (id >= interfaces.size() || captured > body.size() - 20) {
                error = name + ": a packet block that names no interface or overruns itself";
                return false;
            }
            const std::uint64_t ticks = static_cast<std::uint64_t>(order.u32(body.data() + 4)) << 32 |
                                        order.u32(body.data() + 8);
            addRecord(interfaces[id].linkType, static_cast<double>(ticks) * interfaces[id].unit,
                      body.subspan(20, captured), contents);
        } else if (type == 3 && body.size() >= 4) {  // simple packet block: interface 0
            if (interfaces.empty()) {
                error = name + ": a packet block before any interface";
                return false;
            }
            const std::uint32_t wire = order.u32(body.data());
            std::size_t captured = std::min<std::size_t>(wire, body.size() - 4);
            if (interfaces[0].snapLength != 0) {
                captured = std::min<std::size_t>(captured, interfaces[0].snapLength);
            }
            addRecord(interfaces[0].linkType, 0.0, body.subspan(4, captured), contents);
        }
        at += length;
    }
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
        error = "cannot write " + command_line::quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    std::array<std::uint8_t, 24> header{};
    putLe32(header.data(), pcapMagicMicro);
    header[4] = 2;  // version 2.4
    header[6] = 4;
    putLe32(header.data() + 16, snapLength);
    putLe32(header.data() + 20, linkRaw);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size() || std::fflush(file_) != 0) {
        error = "cannot write " + command_line::quoted(path) + ": " + std::strerror(errno);
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
    ip[9] = 17;
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
        error = "writing " + command_line::quoted(path_) + " failed: " + std::strerror(errno);
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
        error = "writing " + command_line::quoted(path_) + " failed: " + std::strerror(errno);
    }
    return closed;
}

bool parse(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error)
{
    contents = Contents{};
    if (bytes.size() < 4) {
        error = name + (bytes.empty() ? ": empty, not a capture file" : ": not a capture file");
        return false;
    }
    const std::uint32_t magic = Order{false}.u32(bytes.data());
    const std::uint32_t swapped = Order{true}.u32(bytes.data());
    if (magic == pcapMagicMicro || magic == pcapMagicNano || swapped == pcapMagicMicro || swapped == pcapMagicNano) {
        return parseClassic(bytes, name, contents, error);
    }
    if (be32(bytes.data()) == ngSectionHeader) {
        return parseNg(bytes, name, contents, error);
    }
    error = name + ": not a capture file (neither pcap nor pcapng)";
    return false;
}

bool read(const std::string& path, Contents& contents, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + command_line::quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    bool ok = true;
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        if (bytes.size() + got > largestFile) {
            error = command_line::quoted(path) + ": larger than 1 GiB; split it first (editcap -c)";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (ok && std::ferror(file) != 0) {
        error = "cannot read " + command_line::quoted(path) + ": " + std::strerror(errno);
        ok = false;
    }
    std::fclose(file);
    return ok && parse(bytes, command_line::quoted(path), contents, error);
}

}  // namespace capture
