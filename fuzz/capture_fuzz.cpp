// The capture reader on arbitrary files: pcap or pcapng, any link type, cut
// anywhere. Every datagram it gives back lies within the file's bytes and
// is no longer than the length it claims on the wire.
#include <cstdint>
#include <span>
#include <string>

#include "capture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    capture::Contents contents;
    std::string error;
    const bool read = capture::parse(std::span<const std::uint8_t>(bytes, size), "input", contents, error);
    if (!read && error.empty()) {
        __builtin_trap();  // a refusal always says why
    }
    std::size_t total = 0;
    for (const capture::Datagram& datagram : contents.datagrams) {
        total += datagram.payload.size();
        if (datagram.payload.size() > datagram.length || datagram.payload.size() > size) {
            __builtin_trap();
        }
    }
    if (contents.datagrams.size() + contents.notUdp != contents.records || total > size) {
        __builtin_trap();
    }
    return 0;
}
