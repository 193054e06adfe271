// fdm-replay: sends the flight-dynamics datagrams of a capture (pcap or
// pcapng, as fdm-listen --record, Wireshark, tshark or tcpdump write them)
// again, at the recorded pace or faster, to one or several destinations;
// optionally translated to version 24 for current FlightGear.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "capture_file.h"
#include "command_line.h"
#include "console.h"
#include "datagram.h"
#include "fan_out.h"
#include "readable.h"
#include "udp_socket.h"

namespace {

const char* const program = "fdm-replay";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options] FILE\n"
                 "Sends the flight-dynamics datagrams (version 17 or 24) of a pcap or pcapng capture again.\n\n"
                 "  --to HOST:PORT   destination (default 127.0.0.1:5500); give it once a FlightGear to feed\n"
                 "                   several (one a screen)\n"
                 "  --speed X        X times the recorded pace, above 0 (default 1)\n"
                 "  --fast           as fast as it goes\n"
                 "  --loop           start again at the end, until stopped\n"
                 "  --v24            translate version 17 to version 24, as fdm-relay does\n"
                 "  --port N         only datagrams sent to UDP port N (default: every well-formed one)\n"
                 "  --csv            send nothing: write the datagrams as fdm-listen --csv does, with their\n"
                 "                   capture times, to standard output\n"
                 "  --quiet          no start and summary lines\n"
                 "  --help, --version   this text, the version\n"
                 "Options take their value as the next argument or after '=' (--speed=2).\n",
                 program);
}

const command_line::Program me{program, usage};

struct Frame {
    double seconds;
    std::vector<std::uint8_t> bytes;
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<fan_out::Destination> destinations;
    std::string path;
    double speed = 1.0;
    bool fast = false;
    bool loop = false;
    bool v24 = false;
    long port = -1;
    bool quiet = false;
    bool csv = false;
    command_line::Arguments args(me, argc, argv);
    while (args.next()) {
        if (args.is("--to")) {
            const std::string text = args.value();
            std::optional<udp::Endpoint> endpoint = udp::parseEndpoint(text, "127.0.0.1");
            if (!endpoint || endpoint->port == 0 || text.find(':') == std::string::npos) {
                args.refuse(text, "HOST:PORT with a port from 1 to 65535");
            }
            destinations.push_back(fan_out::Destination{*endpoint});
        } else if (args.is("--speed")) {
            speed = args.positive(1e6, "a factor above 0");
        } else if (args.is("--fast")) {
            fast = true;
        } else if (args.is("--loop")) {
            loop = true;
        } else if (args.is("--v24")) {
            v24 = true;
        } else if (args.is("--port")) {
            port = static_cast<long>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--quiet") || args.is("-q")) {
            quiet = true;
        } else if (args.is("--csv")) {
            csv = true;
        } else if (args.name().empty() || args.name()[0] != '-') {
            if (!path.empty() || args.name().empty()) {
                command_line::badUsage(me, "one capture file, got also " + command_line::quoted(args.name()));
            }
            path = args.name();
        } else {
            args.unknown();
        }
    }
    if (path.empty()) {
        command_line::badUsage(me, "no capture file given");
    }
    if (destinations.empty()) {
        destinations.push_back(fan_out::Destination{udp::Endpoint{"127.0.0.1", 5500}});
    }

    std::string error;
    capture::Contents contents;
    if (!capture::read(path, contents, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    const std::string shownPath = command_line::quoted(path);
    if (!contents.truncation.empty() && contents.records == 0) {
        std::fprintf(stderr, "%s: %s: %s, with nothing before it\n", program, shownPath.c_str(),
                     contents.truncation.c_str());
        return 1;
    }
    if (!contents.truncation.empty()) {
        std::fprintf(stderr, "%s: %s: %s; the records before it are replayed\n", program, shownPath.c_str(),
                     contents.truncation.c_str());
    }
    if (contents.datagrams.empty()) {
        std::fprintf(stderr, "%s: %s holds no UDP datagram (%zu records)\n", program, shownPath.c_str(),
                     contents.records);
        return 1;
    }

    // The FlightGear datagrams, each as it will go out.
    std::vector<Frame> frames;
    std::size_t otherPort = 0;
    std::size_t notFlightGear = 0;
    for (const capture::Datagram& datagram : contents.datagrams) {
        if (port >= 0 && datagram.to.port != port) {
            ++otherPort;
            continue;
        }
        const fdm::Recognised recognised =
            datagram.payload.size() == datagram.length ? fdm::recognise(datagram.payload)
                                                       : fdm::Recognised{fdm::Kind::malformed, fdm::Problem::tooLong, 0, 0};
        if (recognised.kind == fdm::Kind::malformed) {
            ++notFlightGear;
            continue;
        }
        if (csv) {
            if (frames.empty()) {
                fdm::writeCsvHeader(stdout);
            }
            fdm::writeCsvRow(stdout, datagram.payload, recognised.kind, datagram.seconds);
        }
        Frame frame{datagram.seconds, datagram.payload};
        if (v24 && recognised.kind == fdm::Kind::version17) {
            frame.bytes.resize(fdm24::packetSize);
            fdm::translate17to24(std::span<const std::uint8_t, fdm17::packetSize>(datagram.payload.data(),
                                                                                   fdm17::packetSize),
                                 std::span<std::uint8_t, fdm24::packetSize>(frame.bytes.data(), fdm24::packetSize));
        }
        frames.push_back(std::move(frame));
    }
    const std::string skipped = std::to_string(contents.notUdp) + " not UDP, " + std::to_string(otherPort) +
                                " to another port, " + std::to_string(notFlightGear) + " not FlightGear datagrams";
    if (frames.empty()) {
        std::fprintf(stderr, "%s: %s holds no FlightGear datagram to replay (skipped: %s)\n", program,
                     shownPath.c_str(), skipped.c_str());
        return 1;
    }

    if (csv) {
        return std::fflush(stdout) == 0 && contents.truncation.empty() ? 0 : 1;
    }
    console::catchStopRequests();
    std::string targets;
    if (!fan_out::open(destinations, targets, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    const double span = frames.back().seconds - frames.front().seconds;
    if (!quiet) {
        std::fprintf(stderr, "%s: replaying %zu datagrams (%.1f s recorded) to %s%s; skipped: %s\n", program,
                     frames.size(), span, targets.c_str(), v24 ? " as version 24" : "", skipped.c_str());
    }

    long long sent = 0;
    long long rounds = 0;
    const auto began = std::chrono::steady_clock::now();
    do {
        const auto started = std::chrono::steady_clock::now();
        for (const Frame& frame : frames) {
            if (!fast) {
                // A capture out of time order is replayed in file order, without waiting back.
                const double offset = std::max(0.0, frame.seconds - frames.front().seconds) / speed;
                if (!console::sleepUntil(started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                       std::chrono::duration<double>(offset)))) {
                    break;
                }
            } else if (console::stopRequested()) {
                break;
            }
            fan_out::send(program, destinations, frame.bytes);
            ++sent;
        }
        ++rounds;
    } while (loop && !console::stopRequested());
    if (!quiet) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        std::fprintf(stderr, "%s: %lld datagrams sent in %.1f s (%lld round%s), %lld refused%s\n", program, sent,
                     elapsed, rounds, rounds == 1 ? "" : "s", fan_out::refusals(destinations),
                     console::stopRequested() ? " (stopped)" : "");
    }
    return contents.truncation.empty() ? 0 : 1;
}
