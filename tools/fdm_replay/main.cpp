// fdm-replay: sends the flight-dynamics datagrams of a capture (pcap or
// pcapng, as fdm-listen --record, Wireshark, tshark or tcpdump write them)
// again, at the recorded pace or faster, to one or several destinations;
// optionally translated to version 24 for current FlightGear. The capture
// is streamed: one record in memory whatever the file's size.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
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
constexpr double unpacedRate = 30;        // datagrams a second when the capture has no usable times
constexpr std::size_t gapsForMedian = 4096;  // the frame interval is steady: the first gaps tell it

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options] FILE\n"
                 "Sends the flight-dynamics datagrams (version 17 or 24) of a pcap or pcapng capture again.\n"
                 "FILE '-' is standard input.\n\n"
                 "  --to HOST:PORT   destination (default 127.0.0.1:5500); once for each FlightGear\n"
                 "                   when several are fed (one a screen)\n"
                 "  --speed X        X times the recorded pace, 0.001 to 1000 (default 1)\n"
                 "  --fast           as fast as it goes (not with --speed)\n"
                 "  --loop           start again at the end, one frame interval after the last datagram,\n"
                 "                   until stopped (not from standard input or a pipe)\n"
                 "  --v24            translate version 17 to version 24, as fdm-relay does, and drop\n"
                 "                   datagrams whose position or attitude is not finite, as it does\n"
                 "  --port N         the datagrams sent to UDP port N (default: the port of the first;\n"
                 "                   a capture that holds several flows says which)\n"
                 "  --csv            send nothing: write the datagrams as fdm-listen --csv does, with their\n"
                 "                   capture times, to standard output\n"
                 "  --quiet          no start and summary lines\n"
                 "  --help, --version   this text, the version\n"
                 "A capture without usable times (all equal, or pcapng simple packet blocks) is sent at\n"
                 "%g datagrams a second. Options take their value as the next argument or after '='\n"
                 "(--speed=2).\n",
                 program, unpacedRate);
}

const command_line::Program me{program, usage};

struct Options {
    std::vector<fan_out::Destination> destinations;
    std::string path;
    double speed = 1.0;
    bool fast = false;
    bool loop = false;
    bool v24 = false;
    long port = -1;
    bool quiet = false;
    bool csv = false;
};

Options parseOptions(int argc, char** argv)
{
    Options options;
    bool speedGiven = false;
    command_line::Arguments args(me, argc, argv);
    while (args.next()) {
        if (args.is("--to")) {
            const std::string text = args.value();
            if (const char* problem = udp::endpointProblem(text, true)) {
                args.refuse(text, problem);
            }
            options.destinations.push_back(fan_out::Destination{*udp::parseEndpoint(text, "127.0.0.1")});
        } else if (args.is("--speed")) {
            options.speed = args.number(0.001, 1000, "a factor from 0.001 to 1000");
            speedGiven = true;
        } else if (args.is("--fast")) {
            options.fast = true;
        } else if (args.is("--loop")) {
            options.loop = true;
        } else if (args.is("--v24")) {
            options.v24 = true;
        } else if (args.is("--port")) {
            options.port = static_cast<long>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--quiet") || args.is("-q")) {
            options.quiet = true;
        } else if (args.is("--csv")) {
            options.csv = true;
        } else if (args.name() == "-" || (!args.name().empty() && args.name()[0] != '-')) {
            if (!options.path.empty()) {
                command_line::badUsage(me, "one capture file, got also " + command_line::quoted(args.name()));
            }
            options.path = args.name();
        } else {
            args.unknown();
        }
    }
    if (options.path.empty()) {
        command_line::badUsage(me, "no capture file given");
    }
    if (speedGiven && options.fast) {
        command_line::badUsage(me, "--speed and --fast: give one of them");
    }
    if (options.destinations.empty()) {
        options.destinations.push_back(fan_out::Destination{udp::Endpoint{"127.0.0.1", 5500}});
    }
    return options;
}

// What a look through the capture found: its flows and its times.
struct Survey {
    std::vector<std::pair<std::uint16_t, long long>> ports;  // FlightGear datagrams a destination port, first seen first
    long long portsBeyond = 0;                               // datagrams to ports past the first 64
    bool surveyed = false;
};

// The FlightGear datagrams to `port` (-1: any) of a capture, one at a time, with what was skipped.
class Flow {
public:
    Flow(capture::Reader& reader, long port) : reader_(reader), port_(port) {}

    // The next datagram of the flow; false at the end (`error` set when the file is broken).
    bool next(fdm::Kind& kind, std::string& error)
    {
        while (reader_.next(datagram, error)) {
            const fdm::Recognised recognised = fdm::recogniseReceived(datagram.payload, datagram.length);
            if (recognised.kind == fdm::Kind::malformed) {
                ++notFlightGear;
                continue;
            }
            if (port_ < 0) {
                port_ = datagram.to.port;  // the first flow, unless one is picked
            }
            if (datagram.to.port != port_) {
                ++otherPort;
                continue;
            }
            kind = recognised.kind;
            return true;
        }
        return false;
    }

    std::string skipped() const
    {
        return std::to_string(reader_.notUdp()) + " not UDP, " + std::to_string(otherPort) + " to another port, " +
               std::to_string(notFlightGear) + " not FlightGear datagrams";
    }
    long port() const { return port_; }
    void restart() { otherPort = notFlightGear = 0; }

    capture::Datagram datagram;
    long long otherPort = 0;
    long long notFlightGear = 0;

private:
    capture::Reader& reader_;
    long port_;
};

Survey survey(capture::Reader& reader, std::string& error)
{
    Survey found;
    capture::Datagram datagram;
    while (reader.next(datagram, error)) {
        if (fdm::recogniseReceived(datagram.payload, datagram.length).kind == fdm::Kind::malformed) {
            continue;
        }
        auto port = std::find_if(found.ports.begin(), found.ports.end(),
                                 [&](const auto& seen) { return seen.first == datagram.to.port; });
        if (port != found.ports.end()) {
            ++port->second;
        } else if (found.ports.size() < 64) {
            found.ports.emplace_back(datagram.to.port, 1);
        } else {
            ++found.portsBeyond;
        }
    }
    found.surveyed = error.empty();
    return found;
}

std::string portList(const Survey& survey)
{
    std::string list;
    for (const auto& [port, count] : survey.ports) {
        list += (list.empty() ? "" : ", ") + std::to_string(port) + " (" + std::to_string(count) + ")";
    }
    if (survey.portsBeyond > 0) {
        list += ", more ports (" + std::to_string(survey.portsBeyond) + ")";
    }
    return list;
}

struct Tally {
    long long sent = 0;
    long long rounds = 0;  // whole rounds
    long long notFinite = 0;
    bool untimed = false;  // paced at unpacedRate
    std::chrono::steady_clock::duration elapsed{};
};

double medianOf(std::vector<double>& gaps)
{
    if (gaps.empty()) {
        return 0;
    }
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

// Seconds as a steady-clock duration, bounded so that no conversion overflows.
std::chrono::steady_clock::duration after(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::clamp(seconds, 0.0, 1e9)));
}

// Sends the flow, round after round with --loop; false when the file broke.
bool replay(Options& options, capture::Reader& reader, Flow& flow, bool untimedCapture, Tally& tally,
            std::string& error)
{
    using Clock = std::chrono::steady_clock;
    std::uint8_t translated[fdm24::packetSize];
    std::vector<double> gaps;
    gaps.reserve(gapsForMedian);
    const auto began = Clock::now();
    auto roundStart = began;
    tally.untimed = untimedCapture;
    bool stopped = false;
    while (!stopped) {
        std::int64_t first = 0;
        std::int64_t previous = 0;
        double lastOffset = 0;  // seconds after roundStart of the round's last datagram
        long long index = 0;
        fdm::Kind kind = fdm::Kind::malformed;
        while (!stopped && flow.next(kind, error)) {
            const capture::Datagram& datagram = flow.datagram;
            const bool untimed = untimedCapture || !datagram.timed;
            if (index == 0) {
                first = previous = datagram.nanoseconds;
            } else if (!untimed && gaps.size() < gapsForMedian && datagram.nanoseconds >= previous) {
                gaps.push_back(static_cast<double>(datagram.nanoseconds - previous) * 1e-9);
            }
            previous = datagram.nanoseconds;
            // A capture out of time order is replayed in file order, without waiting back.
            const double offset = untimed ? static_cast<double>(index) / unpacedRate
                                          : std::max(lastOffset, static_cast<double>(datagram.nanoseconds - first) *
                                                                     1e-9 / options.speed);
            tally.untimed = tally.untimed || untimed;
            ++index;
            if (!options.fast && !console::sleepUntil(roundStart + after(offset))) {
                stopped = true;
                break;
            }
            lastOffset = offset;
            std::span<const std::uint8_t> out = datagram.payload;
            if (options.v24) {
                if (!fdm24::forwardable(out.data())) {
                    ++tally.notFinite;
                    continue;
                }
                if (kind == fdm::Kind::version17) {
                    fdm24::translate17to24(out.data(), translated);
                    out = translated;
                }
            }
            fan_out::send(program, options.destinations, out);
            ++tally.sent;
            stopped = console::stopRequested();
        }
        if (!error.empty()) {
            return false;
        }
        if (stopped || console::stopRequested()) {
            break;
        }
        ++tally.rounds;
        if (!options.loop || index == 0 || !reader.rewind(error)) {
            break;
        }
        flow.restart();
        // The next round one frame interval after this one's last datagram.
        const double median = medianOf(gaps);
        const double interval = tally.untimed || median <= 0 ? 1.0 / unpacedRate : median / options.speed;
        roundStart = options.fast ? Clock::now() : roundStart + after(lastOffset + interval);
    }
    tally.elapsed = Clock::now() - began;
    return error.empty();
}

// Whether every datagram of the flow carries the same time (or none): such a capture is paced, not replayed.
bool withoutUsableTimes(capture::Reader& reader, long port, std::string& error)
{
    Flow flow(reader, port);
    fdm::Kind kind{};
    bool any = false;
    std::int64_t first = 0;
    while (flow.next(kind, error)) {
        if (flow.datagram.timed) {
            if (any && flow.datagram.nanoseconds != first) {
                return false;
            }
            first = flow.datagram.nanoseconds;
            any = true;
        }
    }
    return true;
}

int writeCsv(Flow& flow, const std::string& shownPath)
{
    std::string error;
    fdm::Kind kind{};
    bool any = false;
    while (flow.next(kind, error)) {
        if (!any) {
            fdm::writeCsvHeader(stdout);
            any = true;
        }
        fdm::writeCsvRow(stdout, flow.datagram.payload, kind, static_cast<double>(flow.datagram.nanoseconds) * 1e-9);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    if (!any) {
        std::fprintf(stderr, "%s: %s holds no FlightGear datagram (skipped: %s)\n", program, shownPath.c_str(),
                     flow.skipped().c_str());
        return 1;
    }
    if (flow.otherPort > 0) {  // a pipe, looked through only now
        std::fprintf(stderr, "%s: wrote the datagrams to port %ld; skipped %lld to other ports (pick one with --port)\n",
                     program, flow.port(), flow.otherPort);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int run(Options& options)
{
    std::string error;
    capture::Reader reader;
    console::catchStopRequests();  // also while a pipe keeps the reader waiting
    if (!reader.open(options.path, error)) {
        if (console::stopRequested()) {  // Ctrl-C while a pipe kept the reader waiting
            if (!options.quiet) {
                std::fprintf(stderr, "%s: 0 datagrams sent (stopped)\n", program);
            }
            return 0;
        }
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    const std::string shownPath = command_line::quoted(options.path);
    const bool rewinds = reader.canRewind();
    if (options.loop && !rewinds) {
        std::fprintf(stderr, "%s: --loop reads the capture again, which %s cannot be: give a file\n", program,
                     shownPath.c_str());
        return 1;
    }
    // A file is looked through first: its flows and times are known before anything is sent.
    Survey found;
    bool untimed = false;
    if (rewinds) {
        found = survey(reader, error);
        if (!found.surveyed || !reader.rewind(error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return 1;
        }
        const bool known = std::any_of(found.ports.begin(), found.ports.end(),
                                       [&](const auto& seen) { return seen.first == options.port; });
        if (options.port >= 0 && !known && found.portsBeyond == 0) {
            std::fprintf(stderr, "%s: %s holds no FlightGear datagram to port %ld; it holds %s\n", program,
                         shownPath.c_str(), options.port,
                         found.ports.empty() ? "none to any port" : ("datagrams to " + portList(found)).c_str());
            return 1;
        }
        if (options.port < 0 && found.ports.size() + (found.portsBeyond > 0 ? 1 : 0) > 1) {
            std::fprintf(stderr, "%s: %s holds datagrams to several ports: %s; %s %u (pick one with --port)\n",
                         program, shownPath.c_str(), portList(found).c_str(), options.csv ? "writing" : "replaying",
                         found.ports.front().first);
            options.port = found.ports.front().first;
        }
    }
    if (rewinds && !options.csv) {
        untimed = !options.fast && withoutUsableTimes(reader, options.port, error);
        if (!error.empty() || !reader.rewind(error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return 1;
        }
    }
    Flow flow(reader, options.port);
    if (options.csv) {
        const int status = writeCsv(flow, shownPath);
        if (!reader.truncation().empty()) {
            std::fprintf(stderr, "%s: %s: %s\n", program, shownPath.c_str(), reader.truncation().c_str());
            return 1;
        }
        return status;
    }
    std::string targets;
    if (!fan_out::open(options.destinations, targets, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    if (!options.quiet) {
        long long count = 0;
        for (const auto& [port, datagrams] : found.ports) {
            count += port == options.port || options.port < 0 ? datagrams : 0;
        }
        const std::string what = found.surveyed ? std::to_string(count) + (count == 1 ? " datagram" : " datagrams")
                                                : "the datagrams";
        char pace[96];
        if (options.fast) {
            std::snprintf(pace, sizeof pace, "as fast as it goes");
        } else if (untimed) {
            std::snprintf(pace, sizeof pace, "at %g a second (the capture holds no usable times)", unpacedRate);
        } else if (options.speed == 1) {
            std::snprintf(pace, sizeof pace, "at the recorded pace");
        } else {
            std::snprintf(pace, sizeof pace, "at %g times the recorded pace", options.speed);
        }
        std::fprintf(stderr, "%s: replaying %s of %s to %s%s, %s%s\n", program, what.c_str(), shownPath.c_str(),
                     targets.c_str(), options.v24 ? " as version 24" : "", pace,
                     options.loop ? ", round after round" : "");
    }
    Tally tally;
    bool whole = replay(options, reader, flow, untimed, tally, error);
    if (!whole && console::stopRequested()) {
        whole = true;  // a read interrupted by the stop request
    }
    if (!whole) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    }
    if (!options.quiet) {
        const double elapsed = std::chrono::duration<double>(tally.elapsed).count();
        std::fprintf(stderr, "%s: %lld datagram%s sent in %.1f s (%lld whole round%s), %lld refused, %lld not finite "
                     "dropped; skipped: %s%s\n",
                     program, tally.sent, tally.sent == 1 ? "" : "s", elapsed, tally.rounds,
                     tally.rounds == 1 ? "" : "s", fan_out::refusals(options.destinations), tally.notFinite,
                     flow.skipped().c_str(), console::stopRequested() ? " (stopped)" : "");
    }
    if (!reader.truncation().empty()) {
        std::fprintf(stderr, "%s: %s: %s%s\n", program, shownPath.c_str(), reader.truncation().c_str(),
                     tally.sent + tally.notFinite == 0 ? ", with nothing before it"
                                                       : "; the records before it were replayed");
        return 1;
    }
    if (whole && tally.sent == 0 && !console::stopRequested()) {
        std::fprintf(stderr, "%s: %s holds no FlightGear datagram to replay (skipped: %s)\n", program,
                     shownPath.c_str(), flow.skipped().c_str());
        return 1;
    }
    return whole ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        console::Arguments arguments(argc, argv);
        Options options = parseOptions(arguments.count(), arguments.vector());
        return run(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", program);
        return 1;
    }
}
