// fdm-listen: receives flight-dynamics datagrams (version 17 or 24) on a
// UDP port and prints each, readable, as JSON lines or as CSV. Reports and
// the summary go to standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "command_line.h"
#include "datagram.h"
#include "udp_socket.h"

namespace {

const char* const program = "fdm-listen";
enum class Format { readable, json, csv };

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Prints every flight-dynamics datagram (version 17 or 24) that arrives.\n\n"
                 "  --port N       UDP port to listen on (default 5500; 0: any free port)\n"
                 "  --bind ADDR    address to bind (default 127.0.0.1)\n"
                 "  --json         one JSON object a line\n"
                 "  --csv          one CSV row a packet, after a header\n"
                 "  --count N      stop after N well-formed packets\n"
                 "  --timeout S    stop after S seconds\n"
                 "  --every N      print only every Nth packet (all are counted)\n"
                 "  --help         this text\n",
                 program);
}

const command_line::Program me{program, usage};

[[noreturn]] void badUsage(const std::string& message) { command_line::badUsage(me, message); }

double number(const std::string& option, const char* text) { return command_line::number(me, option, text, 0.0); }

volatile std::sig_atomic_t interrupted = 0;

bool isAngle(std::string_view name)
{
    return name == "longitude" || name == "latitude" || name == "roll" || name == "pitch" || name == "heading";
}

// JSON has no NaN or infinity.
void printJsonNumber(double value)
{
    if (std::isfinite(value)) {
        std::printf("%.17g", value);
    } else {
        std::printf("null");
    }
}

void printJson(std::span<const std::uint8_t> datagram, fdm::Kind kind)
{
    std::printf("{");
    bool first = true;
    for (const fdm17::Field& field : fdm::fieldsOf(kind)) {
        if (field.encoding == fdm17::Encoding::bytes && field.name.find("padding") != std::string_view::npos) {
            continue;
        }
        std::printf("%s\"%.*s\":", first ? "" : ",", static_cast<int>(field.name.size()), field.name.data());
        first = false;
        if (field.count > 1) {
            std::printf("[");
        }
        for (std::size_t i = 0; i < field.count; ++i) {
            std::printf("%s", i > 0 ? "," : "");
            printJsonNumber(fdm::valueOf(datagram, field, i));
        }
        if (field.count > 1) {
            std::printf("]");
        }
    }
    std::printf("}\n");
}

void printCsv(std::span<const std::uint8_t> datagram, fdm::Kind kind, fdm::Kind& headerKind)
{
    const auto fields = fdm::fieldsOf(kind);
    if (headerKind != kind) {
        headerKind = kind;
        bool first = true;
        for (const fdm17::Field& field : fields) {
            for (std::size_t i = 0; i < field.count; ++i) {
                std::printf("%s%.*s", first ? "" : ",", static_cast<int>(field.name.size()), field.name.data());
                if (field.count > 1) {
                    std::printf("[%zu]", i);
                }
                first = false;
            }
        }
        std::printf("\n");
    }
    bool first = true;
    for (const fdm17::Field& field : fields) {
        for (std::size_t i = 0; i < field.count; ++i) {
            std::printf("%s%.17g", first ? "" : ",", fdm::valueOf(datagram, field, i));
            first = false;
        }
    }
    std::printf("\n");
}

void printReadable(std::span<const std::uint8_t> datagram, fdm::Kind kind, long number)
{
    std::printf("packet %ld: version %u, %zu bytes\n", number, fdm17::loadU32(datagram.data()), datagram.size());
    for (const fdm17::Field& field : fdm::fieldsOf(kind)) {
        if (field.name == "version" || field.encoding == fdm17::Encoding::bytes) {
            continue;
        }
        for (std::size_t i = 0; i < field.count; ++i) {
            // Formatted in place: building it with std::string trips GCC 12's -Wrestrict at -O3.
            char name[64];
            if (field.count > 1) {
                std::snprintf(name, sizeof name, "%.*s[%zu]", static_cast<int>(field.name.size()), field.name.data(), i);
            } else {
                std::snprintf(name, sizeof name, "%.*s", static_cast<int>(field.name.size()), field.name.data());
            }
            const double value = fdm::valueOf(datagram, field, i);
            std::printf("  %-28s %.10g", name, value);
            if (isAngle(field.name)) {
                std::printf(" rad (%.6f deg)", value * 180.0 / std::numbers::pi);
            } else if (field.name == "engineState") {
                std::printf(" (%s)", fdm::engineStateName(static_cast<std::uint32_t>(value)));
            }
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    udp::Endpoint local{"127.0.0.1", 5500};
    Format format = Format::readable;
    long count = -1;
    double timeout = -1;
    long every = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                badUsage(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--port") {
            const double port = number(arg, value());
            if (port > 65535 || port != std::floor(port)) {
                badUsage("--port needs a whole number from 0 to 65535");
            }
            local.port = static_cast<std::uint16_t>(port);
        } else if (arg == "--bind") {
            local.host = value();
        } else if (arg == "--json") {
            format = Format::json;
        } else if (arg == "--csv") {
            format = Format::csv;
        } else if (arg == "--count") {
            count = std::lround(number(arg, value()));
        } else if (arg == "--timeout") {
            timeout = number(arg, value());
        } else if (arg == "--every") {
            every = std::max(1L, std::lround(number(arg, value())));
        } else {
            badUsage("unknown option '" + arg + "'");
        }
    }

    std::string error;
    std::optional<udp::Socket> socket = udp::Socket::bound(local, error);
    if (!socket) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: listening on %s:%u\n", program, local.host.c_str(), socket->localPort());
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });

    const auto started = std::chrono::steady_clock::now();
    auto firstPacket = started;
    auto lastPacket = started;
    long good = 0;
    long malformed = 0;
    fdm::Kind csvHeader = fdm::Kind::malformed;
    std::uint8_t buffer[2048];
    while (interrupted == 0 && (count < 0 || good < count)) {
        const int waitMs = command_line::receiveWait(started, timeout);
        if (waitMs < 0) {
            break;
        }
        const long length = socket->receive(buffer, waitMs);
        if (length == udp::Socket::timedOut) {
            continue;
        }
        if (length < 0) {
            std::fprintf(stderr, "%s: receive failed\n", program);
            return 1;
        }
        const auto size = static_cast<std::size_t>(length);
        const std::span<const std::uint8_t> datagram(buffer, std::min(size, sizeof buffer));
        const fdm::Recognised recognised =
            size > sizeof buffer ? fdm::Recognised{fdm::Kind::malformed, fdm::Problem::tooLong, size, 0}
                                 : fdm::recognise(datagram);
        if (recognised.kind == fdm::Kind::malformed) {
            ++malformed;
            std::fprintf(stderr, "%s: skipped malformed datagram: %s\n", program, fdm::describe(recognised).c_str());
            continue;
        }
        lastPacket = std::chrono::steady_clock::now();
        if (good == 0) {
            firstPacket = lastPacket;
        }
        ++good;
        if ((good - 1) % every != 0) {
            continue;
        }
        switch (format) {
        case Format::readable: printReadable(datagram, recognised.kind, good); break;
        case Format::json: printJson(datagram, recognised.kind); break;
        case Format::csv: printCsv(datagram, recognised.kind, csvHeader); break;
        }
        std::fflush(stdout);
    }
    const double span = std::chrono::duration<double>(lastPacket - firstPacket).count();
    std::fprintf(stderr, "%s: %ld packets, %.1f/s, %ld malformed\n", program, good,
                 good > 1 && span > 0 ? static_cast<double>(good - 1) / span : 0.0, malformed);
    return 0;
}
