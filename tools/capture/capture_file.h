// Capture files: a writer of classic pcap files that hold each received
// UDP datagram in a synthesized IPv4 and UDP header, and a reader of
// classic pcap and pcapng files that gives back the UDP datagrams in them.
// Our own, not libpcap's: one implementation for every build, Windows
// included, where there is no libpcap to link.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace capture {

// An IPv4 UDP endpoint as it appears in a header: address in host order.
struct Address {
    std::uint32_t ip = 0x7f000001;  // 127.0.0.1
    std::uint16_t port = 0;
};

// Writes a classic pcap file (microsecond timestamps, link type "raw IP").
// Every record is written through at once, so that a stop at any moment
// leaves a whole file; a failed write is reported, never ignored.
class Writer {
public:
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer();

    // Creates (or empties) `path` and writes the file header; false with `error` set on failure.
    bool open(const std::string& path, std::string& error);
    // One datagram received at `seconds` since 1970. `length` is its full
    // length, of which `payload` holds what was kept.
    bool write(double seconds, const Address& from, const Address& to, std::span<const std::uint8_t> payload,
               std::size_t length, std::string& error);
    bool close(std::string& error);

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

// One UDP datagram found in a capture.
struct Datagram {
    double seconds = 0;  // capture time, since 1970
    Address from;
    Address to;
    std::vector<std::uint8_t> payload;  // what the capture holds of it
    std::size_t length = 0;             // its length on the wire
};

struct Contents {
    std::vector<Datagram> datagrams;
    std::size_t records = 0;     // packet records read
    std::size_t notUdp = 0;      // records that hold no IPv4 UDP datagram
    std::string truncation;      // set when the file ends inside a record
};

// Reads every UDP datagram of a classic pcap or pcapng file; false with
// `error` set when the file cannot be read or is not a capture. A file cut
// short in its last record keeps the records before it and says so in
// `truncation`.
bool read(const std::string& path, Contents& contents, std::string& error);

// The same from bytes already in memory (`name` for messages).
bool parse(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error);

}  // namespace capture
