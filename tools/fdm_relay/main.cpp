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
                 "  --to HOST:PORT        where FlightGear listens (default 127.0.0.1:5501); give it once\n"
                 "                        a FlightGear to feed several (one a screen)\n"
                 "  --count N             stop after forwarding N datagrams\n"
                 "  --timeout S           stop after S seconds\n"
                 "  --quiet               no status line\n"
                 "  --help, --version     this text, the version\n"
                 "Options take their value as the next argument or after '=' (--to=127.0.0.1:5502).\n",
                 program);
}

const command_line::Program me{program, usage};

bool finitePositionAndAttitude(std::span<const std::uint8_t> datagram)
{
    namespace at = fdm17::offset;
    for (const std::size_t offset : {at::longitude, at::latitude, at::altitude}) {
        if (!std::isfinite(fdm17::loadF64(datagram.data() + offset))) {
            return false;
        }
    }
    for (const std::size_t offset : {at::roll, at::pitch, at::heading}) {
        if (!std::isfinite(fdm17::loadF32(datagram.data() + offset))) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    udp::Endpoint listen{"127.0.0.1", 5500};
    std::vector<fan_out::Destination> destinations;
    long long count = -1;
    double timeout = -1;
    bool quiet = false;
    command_line::Arguments args(me, argc, argv);
    while (args.next()) {
        if (args.is("--listen")) {
            const std::string text = args.value();
            std::optional<udp::Endpoint> endpoint = udp::parseEndpoint(text, "127.0.0.1");
            if (!endpoint) {
                args.refuse(text, "[HOST:]PORT with a port from 0 to 65535");
            }
            listen = *endpoint;
        } else if (args.is("--to")) {
            const std::string text = args.value();
            std::optional<udp::Endpoint> endpoint = udp::parseEndpoint(text, "127.0.0.1");
            if (!endpoint || endpoint->port == 0 || text.find(':') == std::string::npos) {
                args.refuse(text, "HOST:PORT with a port from 1 to 65535");
            }
            destinations.push_back(fan_out::Destination{*endpoint});
        } else if (args.is("--count")) {
            count = args.whole(1, 1'000'000'000'000'000, "a whole number of at least 1");
        } else if (args.is("--timeout")) {
            timeout = args.positive(1e9, "seconds, above 0");
        } else if (args.is("--quiet") || args.is("-q")) {
            quiet = true;
        } else {
            args.unknown();
        }
    }
    if (destinations.empty()) {
        destinations.push_back(fan_out::Destination{udp::Endpoint{"127.0.0.1", 5501}});
    }

    console::catchStopRequests();  // before the start line, which tells a caller it may signal
    std::string error;
    std::optional<udp::Socket> in = udp::Socket::bound(listen, error);
    if (!in) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::string targets;
    if (!fan_out::open(destinations, targets, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: relaying %s:%u (version 17) to %s (version 24)\n", program, listen.host.c_str(),
                 in->localPort(), targets.c_str());

    const bool status = !quiet && console::isTerminal(stderr);
    const auto started = std::chrono::steady_clock::now();
    auto lastStatus = started;
    long long forwarded = 0;
    long long malformed = 0;
    long long notFinite = 0;
    std::uint8_t received[2048];
    std::uint8_t translated[fdm24::packetSize];
    int exitStatus = 0;
    while (!console::stopRequested() && (count < 0 || forwarded < count)) {
        const int waitMs = command_line::receiveWait(started, timeout);
        if (waitMs < 0) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (status && now - lastStatus >= std::chrono::seconds(1)) {
            lastStatus = now;
            std::fprintf(stderr, "\r%s: %lld forwarded, %lld malformed, %lld not finite ", program, forwarded,
                         malformed, notFinite);
        }
        const long length = in->receive(received, waitMs);
        if (length == udp::Socket::timedOut) {
            continue;
        }
        if (length < 0) {
            std::fprintf(stderr, "%s%s: receive failed\n", status ? "\n" : "", program);
            exitStatus = 1;
            break;
        }
        const auto size = static_cast<std::size_t>(length);
        const std::span<const std::uint8_t> datagram(received, std::min(size, sizeof received));
        const fdm::Recognised recognised =
            size > sizeof received ? fdm::Recognised{fdm::Kind::malformed, fdm::Problem::tooLong, size, 0}
                                   : fdm::recognise(datagram);
        if (recognised.kind == fdm::Kind::malformed) {
            // Never forward it: a receiver uses the counts before it checks the version.
            ++malformed;
            if (!status) {
                std::fprintf(stderr, "%s: dropped datagram: %s\n", program, fdm::describe(recognised).c_str());
            }
            continue;
        }
        if (!finitePositionAndAttitude(datagram)) {
            ++notFinite;  // FlightGear does not recover from a NaN or infinite position
            continue;
        }
        std::span<const std::uint8_t> out = datagram;
        if (recognised.kind == fdm::Kind::version17) {
            fdm::translate17to24(std::span<const std::uint8_t, fdm17::packetSize>(received, fdm17::packetSize),
                                 translated);
            out = translated;
        }
        fan_out::send(program, destinations, out);
        ++forwarded;
    }
    const long long refusals = fan_out::refusals(destinations);
    std::fprintf(stderr, "%s%s: %lld forwarded, %lld malformed dropped, %lld not finite dropped, %lld refused%s\n",
                 status ? "\n" : "", program, forwarded, malformed, notFinite, refusals,
                 console::stopRequested() ? " (stopped)" : "");
    return exitStatus;
}
