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
    std::int64_t nanoseconds = 0;  // capture time, since 1970
    bool timed = true;             // false: the record carries no time (pcapng simple packet block)
    Address from;
    Address to;
    std::vector<std::uint8_t> payload;  // what the capture holds of it
    std::size_t length = 0;             // its length on the wire
};

// Reads the UDP datagrams of a classic pcap or pcapng file one at a time,
// holding one record in memory whatever the file's size.
class Reader {
public:
    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader();

    // Opens `path` ("-": standard input) and reads its header; false with `error` set.
    bool open(const std::string& path, std::string& error);
    // The same over bytes already in memory (`name` for messages).
    bool open(std::span<const std::uint8_t> bytes, const std::string& name, std::string& error);

    // The next UDP datagram; false at the end of the file, with `error` set
    // when the file is broken there. A file cut short inside its last record
    // ends without error: truncation() says so.
    bool next(Datagram& datagram, std::string& error);
    // Back to the first record: false when the input cannot be read again (a pipe).
    bool rewind(std::string& error);
    bool canRewind() const;

    std::size_t records() const { return records_; }  // packet records read so far
    std::size_t notUdp() const { return notUdp_; }    // of them, those with no IPv4 UDP datagram
    const std::string& truncation() const { return truncation_; }

private:
    struct Interface {
        std::uint32_t linkType;
        std::uint32_t snapLength;
        std::uint64_t tickNumerator;    // a tick is numerator / denominator nanoseconds
        std::uint64_t tickDenominator;
    };
    void reset();
    bool start(std::string& error);
    bool take(std::size_t count, std::size_t& got, std::string& error);  // `count` bytes into record_
    bool nextClassic(Datagram& datagram, std::string& error);
    bool nextNg(Datagram& datagram, std::string& error);
    bool readInterface(std::span<const std::uint8_t> body, std::string& error);

    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::span<const std::uint8_t> bytes_;  // when reading from memory
    std::size_t at_ = 0;                   // read position in bytes_
    std::string name_;
    std::vector<std::uint8_t> record_;
    std::size_t carried_ = 0;  // bytes of the next block already in record_
    bool ng_ = false;
    bool bigEndian_ = false;  // the file's integers
    bool nanosecondStamps_ = false;
    std::uint32_t linkType_ = 0;
    std::vector<Interface> interfaces_;
    std::size_t records_ = 0;
    std::size_t notUdp_ = 0;
    std::string truncation_;
};

struct Contents {
    std::vector<Datagram> datagrams;
    std::size_t records = 0;     // packet records read
    std::size_t notUdp = 0;      // records that hold no IPv4 UDP datagram
    std::string truncation;      // set when the file ends inside a record
};

// Every UDP datagram of a file or of bytes in memory at once, for small
// captures and tests; false with `error` set as Reader does.
bool read(const std::string& path, Contents& contents, std::string& error);
bool parse(std::span<const std::uint8_t> bytes, const std::string& name, Contents& contents, std::string& error);

}  // namespace capture
