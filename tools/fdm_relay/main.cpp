// fdm-relay: receives the block's version-17 datagrams and sends each on,
// translated to version 24, so that a current FlightGear reads them.
// Only well-formed version-17 datagrams are forwarded; nothing is
// allocated per datagram.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command_line.h"
#include "datagram.h"
#include "udp_socket.h"

namespace {

const char* const program = "fdm-relay";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Forwards version-17 flight-dynamics datagrams as version 24, for current FlightGear.\n\n"
                 "  --listen [HOST:]PORT  where the block sends (default 127.0.0.1:5500; port 0: any free port)\n"
                 "  --to HOST:PORT        where FlightGear listens (default 127.0.0.1:5501)\n"
                 "  --count N             stop after forwarding N datagrams\n"
                 "  --timeout S           stop after S seconds\n"
                 "  --quiet               no status line\n"
                 "  --help                this text\n",
                 program);
}

const command_line::Program me{program, usage};

[[noreturn]] void badUsage(const std::string& message) { command_line::badUsage(me, message); }

double number(const std::string& option, const char* text) { return command_line::number(me, option, text, 0.0); }

volatile std::sig_atomic_t interrupted = 0;

}  // namespace

int main(int argc, char** argv)
{
    udp::Endpoint listen{"127.0.0.1", 5500};
    udp::Endpoint to{"127.0.0.1", 5501};
    long count = -1;
    double timeout = -1;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                badUsage(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--listen") {
            const std::string text = value();
            std::optional<udp::Endpoint> endpoint = udp::parseEndpoint(text, "127.0.0.1");
            if (!endpoint) {
                badUsage("--listen needs [HOST:]PORT, got '" + text + "'");
            }
            listen = *endpoint;
        } else if (arg == "--to") {
            const std::string text = value();
            std::optional<udp::Endpoint> endpoint = udp::parseEndpoint(text, "127.0.0.1");
            if (!endpoint || endpoint->port == 0) {
                badUsage("--to needs HOST:PORT with a port from 1 to 65535, got '" + text + "'");
            }
            to = *endpoint;
        } else if (arg == "--count") {
            count = std::lround(number(arg, value().c_str()));
        } else if (arg == "--timeout") {
            timeout = number(arg, value().c_str());
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else {
            badUsage("unknown option '" + arg + "'");
        }
    }

    std::string error;
    std::optional<udp::Socket> in = udp::Socket::bound(listen, error);
    std::optional<udp::Socket> out = in ? udp::Socket::connected(to, error) : std::nullopt;
    if (!in || !out) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: relaying %s:%u (version 17) to %s:%u (version 24)\n", program, listen.host.c_str(),
                 in->localPort(), to.host.c_str(), to.port);
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });

    const bool status = !quiet && isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    auto lastStatus = started;
    long forwarded = 0;
    long malformed = 0;
    long refused = 0;
    std::uint8_t received[2048];
    std::uint8_t translated[fdm24::packetSize];
    while (interrupted == 0 && (count < 0 || forwarded < count)) {
        const int waitMs = command_line::receiveWait(started, timeout);
        if (waitMs < 0) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (status && now - lastStatus >= std::chrono::seconds(1)) {
            lastStatus = now;
            std::fprintf(stderr, "\r%s: %ld forwarded, %ld malformed dropped, %ld refused by the receiver ", program,
                         forwarded, malformed, refused);
        }
        const long length = in->receive(received, waitMs);
        if (length == udp::Socket::timedOut) {
            continue;
        }
        if (length < 0) {
            std::fprintf(stderr, "%s: receive failed\n", program);
            return 1;
        }
        const auto size = static_cast<std::size_t>(length);
        const fdm::Recognised recognised =
            size > sizeof received ? fdm::Recognised{fdm::Kind::malformed, fdm::Problem::tooLong, size, 0}
                                   : fdm::recognise(std::span<const std::uint8_t>(received, size));
        if (recognised.kind != fdm::Kind::version17) {
            // Never forward it: a receiver uses the counts before it checks the version.
            ++malformed;
            if (!status) {
                std::fprintf(stderr, "%s: dropped datagram: %s\n", program,
                             recognised.kind == fdm::Kind::version24 ? "already version 24"
                                                                     : fdm::describe(recognised).c_str());
            }
            continue;
        }
        fdm::translate17to24(std::span<const std::uint8_t, fdm17::packetSize>(received, fdm17::packetSize), translated);
        if (out->send(translated) < 0) {
            ++refused;  // nobody listening yet; the next datagram tries again
        }
        ++forwarded;
    }
    std::fprintf(stderr, "%s%s: %ld forwarded, %ld malformed dropped, %ld refused by the receiver\n",
                 status ? "\n" : "", program, forwarded, malformed, refused);
    return 0;
}
