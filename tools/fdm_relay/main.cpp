// fdm-relay: receives the block's version-17 datagrams and sends each on,
// translated to version 24, so that a current FlightGear reads them; to
// one destination or to several (one FlightGear a screen). Version-24
// datagrams pass unchanged. Malformed datagrams, and those whose position
// or attitude is not a finite number, are not forwarded. Nothing is
// allocated per datagram.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console.h"
#include "datagram.h"
#include "fan_out.h"
#include "udp_socket.h"

namespace {

const char* const program = "fdm-relay";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Forwards version-17 flight-dynamics datagrams as version 24, for current FlightGear.\n\n"
                 "  --listen [HOST:]PORT  where the block sends (default 127.0.0.1:5500; port 0: any free port)\n"
                 "  --to HOST:PORT        where FlightGear listens (default 127.0.0.1:5501); once for each\n"
                 "                        FlightGear when several are fed (one a screen)\n"
                 "  --count N             stop after forwarding N datagrams\n"
                 "  --timeout S           stop after S seconds\n"
                 "  --quiet               no start, status and summary lines (a port the system picked\n"
                 "                        is still said)\n"
                 "  --help, --version     this text, the version\n"
                 "Options take their value as the next argument or after '=' (--to=127.0.0.1:5502).\n",
                 program);
}

const command_line::Program me{program, usage};

struct Options {
    udp::Endpoint listen{"127.0.0.1", 5500};
    std::vector<fan_out::Destination> destinations;
    long long count = -1;
    double timeout = -1;
    bool quiet = false;
};

Options parseOptions(int argc, char** argv)
{
    Options options;
    command_line::Arguments args(me, argc, argv);
    while (args.next()) {
        if (args.is("--listen")) {
            const std::string text = args.value();
            if (const char* problem = udp::endpointProblem(text, false)) {
                args.refuse(text, problem);
            }
            options.listen = *udp::parseEndpoint(text, "127.0.0.1");
        } else if (args.is("--to")) {
            const std::string text = args.value();
            if (const char* problem = udp::endpointProblem(text, true)) {
                args.refuse(text, problem);
            }
            options.destinations.push_back(fan_out::Destination{*udp::parseEndpoint(text, "127.0.0.1")});
        } else if (args.is("--count")) {
            options.count = args.decimal(1, 1'000'000'000'000'000, "a whole number from 1 to 10^18");
        } else if (args.is("--timeout")) {
            options.timeout = args.positive(1e9, "seconds, above 0 and at most 10^9");
        } else if (args.is("--quiet") || args.is("-q")) {
            options.quiet = true;
        } else {
            args.unknown();
        }
    }
    if (options.destinations.empty()) {
        options.destinations.push_back(fan_out::Destination{udp::Endpoint{"127.0.0.1", 5501}});
    }
    return options;
}

// A destination that is the relay's own address (a version-24 datagram
// would go round forever), or one given twice; empty when there is none.
std::string loopOrRepeat(const udp::Socket& in, const std::vector<fan_out::Destination>& destinations)
{
    const udp::Sender self = in.address(udp::Socket::Side::local);
    const bool anyAddress = self.ip == 0;
    for (std::size_t i = 0; i < destinations.size(); ++i) {
        const udp::Sender peer = destinations[i].socket->address(udp::Socket::Side::peer);
        const bool loopback = (peer.ip >> 24) == 127;
        if (peer.port == self.port && (peer.ip == self.ip || (anyAddress && loopback))) {
            return "--to " + destinations[i].shown + " is where the relay listens: it would send to itself";
        }
        for (std::size_t j = 0; j < i; ++j) {
            const udp::Sender earlier = destinations[j].socket->address(udp::Socket::Side::peer);
            if (earlier.ip == peer.ip && earlier.port == peer.port) {
                return "--to " + destinations[i].shown + " is given twice (as " + destinations[j].shown + ")";
            }
        }
    }
    return {};
}

struct Tally {
    long long forwarded = 0;
    long long malformed = 0;
    long long notFinite = 0;
    bool failed = false;
};

// Forwards until the count, the timeout or a stop request.
void run(const Options& options, udp::Socket& in, std::vector<fan_out::Destination>& destinations, bool status,
         Tally& tally)
{
    const auto started = std::chrono::steady_clock::now();
    auto lastStatus = started;
    std::uint8_t received[2048];
    std::uint8_t translated[fdm24::packetSize];
    while (!console::stopRequested() && (options.count < 0 || tally.forwarded < options.count)) {
        const int waitMs = command_line::receiveWait(started, options.timeout);
        if (waitMs < 0) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (status && now - lastStatus >= std::chrono::seconds(1)) {
            lastStatus = now;
            std::fprintf(stderr, "\r%s: %lld forwarded, %lld malformed, %lld not finite ", program, tally.forwarded,
                         tally.malformed, tally.notFinite);
        }
        const long length = in.receive(received, waitMs);
        if (length == udp::Socket::timedOut) {
            continue;
        }
        if (length < 0) {
            std::fprintf(stderr, "%s%s: receive failed\n", status ? "\n" : "", program);
            tally.failed = true;
            return;
        }
        const auto size = static_cast<std::size_t>(length);
        const std::span<const std::uint8_t> datagram(received, std::min(size, sizeof received));
        const fdm::Recognised recognised = fdm::recogniseReceived(datagram, size);
        if (recognised.kind == fdm::Kind::malformed) {
            // Never forward it: a receiver uses the counts before it checks the version.
            ++tally.malformed;
            if (!status) {
                std::fprintf(stderr, "%s: dropped datagram: %s\n", program, fdm::describe(recognised).c_str());
            }
            continue;
        }
        if (!fdm24::forwardable(datagram.data())) {
            ++tally.notFinite;
            continue;
        }
        std::span<const std::uint8_t> out = datagram;
        if (recognised.kind == fdm::Kind::version17) {
            fdm24::translate17to24(received, translated);
            out = translated;
        }
        fan_out::send(program, destinations, out);
        ++tally.forwarded;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    console::Arguments arguments(argc, argv);
    Options options = parseOptions(arguments.count(), arguments.vector());
    console::catchStopRequests();  // before the start line, which tells a caller it may signal
    std::string error;
    std::optional<udp::Socket> in = udp::Socket::bound(options.listen, error);
    if (!in) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::string targets;
    if (!fan_out::open(options.destinations, targets, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    if (const std::string problem = loopOrRepeat(*in, options.destinations); !problem.empty()) {
        command_line::badUsage(me, problem);
    }
    if (!options.quiet || options.listen.port == 0) {
        std::fprintf(stderr, "%s: relaying %s:%u (version 17) to %s (version 24)\n", program,
                     options.listen.host.c_str(), in->localPort(), targets.c_str());
    }

    const bool status = !options.quiet && console::isTerminal(stderr);
    Tally tally;
    run(options, *in, options.destinations, status, tally);
    if (!options.quiet || tally.failed) {
        std::fprintf(stderr, "%s%s: %lld forwarded, %lld malformed dropped, %lld not finite dropped, %lld refused%s\n",
                     status ? "\n" : "", program, tally.forwarded, tally.malformed, tally.notFinite,
                     fan_out::refusals(options.destinations), console::stopRequested() ? " (stopped)" : "");
    }
    return tally.failed ? 1 : 0;
}
