// fdm-listen: receives flight-dynamics datagrams (version 17 or 24) and
// FlightGear's controls datagrams (version 27) on a UDP port and prints
// each: one compact line, a full dump, JSON lines or one CSV table.
// Reports and the summary go to standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numbers>
#include <string>

#include "capture_file.h"
#include "command_line.h"
#include "console.h"
#include "datagram.h"
#include "readable.h"
#include "udp_socket.h"

namespace {

const char* const program = "fdm-listen";
enum class Format { compact, full, json, csv };

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Prints every flight-dynamics datagram (version 17 or 24) and every controls datagram\n"
                 "(version 27, FlightGear's --native-ctrls) that arrives.\n\n"
                 "  --port N       UDP port to listen on, 0 to 65535 (default 5500; 0: any free port)\n"
                 "  --bind ADDR    address to bind (default 127.0.0.1)\n"
                 "  --full         every field with its unit, instead of one line a datagram\n"
                 "  --json         one JSON object a line, each key ending in its unit (latitude_rad,\n"
                 "                 climb_rate_ftps; angles in radians)\n"
                 "  --csv          one CSV table: a header, then a row a datagram (of the first one's kind:\n"
                 "                 flight dynamics or controls; the other kind is counted, not printed)\n"
                 "  --count N      stop after N well-formed datagrams of either kind\n"
                 "  --timeout S    stop after S seconds\n"
                 "  --every N      print only every Nth datagram (all are counted)\n"
                 "  --record FILE  also write every datagram received, malformed ones too, to FILE\n"
                 "                 (a pcap capture, for fdm-replay, fdm-plot, Wireshark or tshark)\n"
                 "  --quiet        no start and summary lines (a port the system picked is still said)\n"
                 "  --help, --version   this text, the version\n"
                 "Options take their value as the next argument or after '=' (--port=5501).\n",
                 program);
}

const command_line::Program me{program, usage};

constexpr double degreesPerRadian = 180.0 / std::numbers::pi;

using SystemClock = std::chrono::system_clock;

// "2026-12-08 23:54:30.123" (UTC) for a time point, or for whole seconds since 1970.
std::string utc(double secondsSince1970, bool withMilliseconds)
{
    const double whole = std::floor(secondsSince1970);
    const auto seconds = static_cast<std::time_t>(whole);
    std::tm parts{};
#if defined(_WIN32)
    if (gmtime_s(&parts, &seconds) != 0) {
        return "?";
    }
#else
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return "?";
    }
#endif
    char text[48];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    std::string out = text;
    if (withMilliseconds) {
        std::snprintf(text, sizeof text, ".%03d", std::min(999, static_cast<int>((secondsSince1970 - whole) * 1000.0)));
        out += text;
    }
    return out;
}

double secondsSince1970(SystemClock::time_point at)
{
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

double field(std::span<const std::uint8_t> datagram, fdm::Kind kind, const char* name)
{
    for (const fdm::Column& column : fdm::columns()) {
        double value = 0.0;
        if (std::string_view(column.name) == name && fdm::columnValue(datagram, kind, column, 0, value)) {
            return value;
        }
    }
    return std::nan("");
}

void printCompact(std::span<const std::uint8_t> datagram, fdm::Kind kind, double received)
{
    const std::string time = utc(received, true);
    auto deg = [&](const char* name) { return field(datagram, kind, name) * degreesPerRadian; };
    std::printf("%s  v%u  lat %10.6f  lon %11.6f  alt %8.1f m  hdg %6.1f  roll %6.1f  pitch %5.1f  cas %6.1f kt  "
                "climb %6.1f ft/s\n",
                time.c_str() + 11, fdm17::loadU32(datagram.data()), deg("latitude"), deg("longitude"),
                field(datagram, kind, "altitude"), deg("heading"), deg("roll"), deg("pitch"),
                field(datagram, kind, "calibrated_airspeed"), field(datagram, kind, "climb_rate"));
}

void printFull(std::span<const std::uint8_t> datagram, fdm::Kind kind, long long number, double received)
{
    std::printf("datagram %lld, received %s UTC: version %u, %zu bytes\n", number, utc(received, true).c_str(),
                fdm17::loadU32(datagram.data()), datagram.size());
    for (const fdm::Column& column : fdm::columns()) {
        for (int i = 0; i < column.count; ++i) {
            double value = 0.0;
            if (std::string_view(column.name) == "version" || !fdm::columnValue(datagram, kind, column, i, value)) {
                continue;
            }
            char label[64];
            if (column.count > 1) {
                std::snprintf(label, sizeof label, "%s %d", column.label, i + 1);
            } else {
                std::snprintf(label, sizeof label, "%s", column.label);
            }
            std::printf("  %-28s %.10g%s%s", label, value, *column.unit != '\0' ? " " : "", column.unit);
            switch (column.shown) {
            case fdm::Shown::angle: std::printf(" (%.6f deg)", value * degreesPerRadian); break;
            case fdm::Shown::engineState:
                std::printf(" (%s)", fdm::engineStateName(static_cast<std::uint32_t>(value)));
                break;
            case fdm::Shown::time: std::printf(" (%s UTC)", utc(value, false).c_str()); break;
            case fdm::Shown::number: break;
            }
            std::printf("\n");
        }
    }
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

// Keys carry their units, as the line output's values do (radians, not degrees).
void printJson(std::span<const std::uint8_t> datagram, fdm::Kind kind, double received)
{
    std::printf("{\"received_at_s\":%.6f", received);
    for (const fdm::Column& column : fdm::columns()) {
        double value = 0.0;
        if (!fdm::columnValue(datagram, kind, column, 0, value)) {
            continue;  // not in this version
        }
        std::printf(",\"%s\":", fdm::keyWithUnit(column).c_str());
        if (column.count > 1) {
            std::printf("[");
        }
        for (int i = 0; i < column.count; ++i) {
            std::printf("%s", i > 0 ? "," : "");
            (void)fdm::columnValue(datagram, kind, column, i, value);
            printJsonNumber(value);
        }
        if (column.count > 1) {
            std::printf("]");
        }
    }
    std::printf("}\n");
}

// ---- Controls datagrams ---------------------------------------------------

void printControlsCompact(const ctrls27::Controls& c, double received)
{
    const std::string time = utc(received, true);
    std::printf("%s  v27  ail %6.3f  elev %6.3f  rud %6.3f  flaps %5.3f  thr %5.3f  mix %5.3f  brakes %5.3f %5.3f  "
                "park %5.3f  gear %s\n",
                time.c_str() + 11, c.flight[ctrls27::AILERON], c.flight[ctrls27::ELEVATOR], c.flight[ctrls27::RUDDER],
                c.flight[ctrls27::FLAPS], c.throttle[0], c.mixture[0], c.gear[ctrls27::BRAKE_LEFT],
                c.gear[ctrls27::BRAKE_RIGHT], c.gear[ctrls27::BRAKE_PARKING],
                c.gear[ctrls27::GEAR_HANDLE] != 0.0 ? "down" : "up");
}

void printControlsFull(const ctrls27::Controls& c, long long number, double received)
{
    std::printf("datagram %lld, received %s UTC: controls version 27, %zu bytes\n", number, utc(received, true).c_str(),
                ctrls27::packetSize);
    const auto values = fdm::controlsValues(c);
    std::size_t at = 0;
    for (const fdm::ControlsColumn& column : fdm::controlsColumns()) {
        for (int i = 0; i < column.count; ++i) {
            char label[64];
            if (column.count > 1) {
                std::snprintf(label, sizeof label, "%s %d", column.label, i + 1);
            } else {
                std::snprintf(label, sizeof label, "%s", column.label);
            }
            std::printf("  %-28s %.10g\n", label, values[at++]);
        }
    }
    std::printf("  %-28s %u\n  %-28s %u\n", "Number of engines", static_cast<unsigned>(c.engineCount),
                "Number of tanks", static_cast<unsigned>(c.tankCount));
}

void printJsonNumber(double value);

void printControlsJson(const ctrls27::Controls& c, double received)
{
    std::printf("{\"version\":27");
    const auto values = fdm::controlsValues(c);
    std::size_t at = 0;
    for (const fdm::ControlsColumn& column : fdm::controlsColumns()) {
        std::printf(",\"%s\":%s", column.name, column.count > 1 ? "[" : "");
        for (int i = 0; i < column.count; ++i) {
            std::printf("%s", i > 0 ? "," : "");
            printJsonNumber(values[at++]);
        }
        std::printf("%s", column.count > 1 ? "]" : "");
    }
    std::printf(",\"received_at_s\":%.6f}\n", received);
}

// A dotted IPv4 address in host order; 0 for anything else (a name, a wildcard).
std::uint32_t dottedQuad(const std::string& text)
{
    unsigned parts[4];
    char end = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4) {
        return 0;
    }
    std::uint32_t address = 0;
    for (unsigned part : parts) {
        if (part > 255) {
            return 0;
        }
        address = address << 8 | part;
    }
    return address;
}

// Reports malformed datagrams, at most `perSecond` in any second; the rest are counted.
class MalformedReports {
public:
    void report(const std::string& problem)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= std::chrono::seconds(1)) {
            flush();
            windowStart_ = now;
            inWindow_ = 0;
        }
        if (inWindow_ < perSecond) {
            ++inWindow_;
            std::fprintf(stderr, "%s: skipped malformed datagram: %s\n", program, problem.c_str());
        } else {
            ++unreported_;
        }
    }
    void flush()
    {
        if (unreported_ > 0) {
            std::fprintf(stderr, "%s: %lld more malformed datagrams not reported\n", program, unreported_);
            unreported_ = 0;
        }
    }

private:
    static constexpr int perSecond = 5;
    std::chrono::steady_clock::time_point windowStart_{};
    int inWindow_ = 0;
    long long unreported_ = 0;
};

struct Options {
    udp::Endpoint local{"127.0.0.1", 5500};
    Format format = Format::compact;
    long long count = -1;
    double timeout = -1;
    std::string timeoutText;  // as given, for messages
    bool quiet = false;
    long long every = 1;
    std::string record;
};

Options parseOptions(int argc, char** argv)
{
    Options options;
    std::string formatOption;
    command_line::Arguments args(me, argc, argv);
    while (args.next()) {
        const auto choose = [&](Format chosen) {
            if (!formatOption.empty() && formatOption != args.name()) {
                command_line::badUsage(me, formatOption + " and " + args.name() + " exclude each other");
            }
            formatOption = args.name();
            options.format = chosen;
        };
        if (args.is("--port")) {
            options.local.port = static_cast<std::uint16_t>(args.decimal(0, 65535, "a whole number from 0 to 65535"));
        } else if (args.is("--bind")) {
            options.local.host = args.value();
            if (const char* problem = udp::hostProblem(options.local.host)) {
                args.refuse(options.local.host, problem);
            }
        } else if (args.is("--full")) {
            choose(Format::full);
        } else if (args.is("--json")) {
            choose(Format::json);
        } else if (args.is("--csv")) {
            choose(Format::csv);
        } else if (args.is("--count")) {
            options.count = args.decimal(1, 1'000'000'000'000'000, "a whole number from 1 to 10^18");
        } else if (args.is("--timeout")) {
            options.timeout = args.positive(1e9, "seconds, above 0 and at most 10^9");
            options.timeoutText = args.lastValue();
        } else if (args.is("--quiet") || args.is("-q")) {
            options.quiet = true;
        } else if (args.is("--every")) {
            options.every = args.decimal(1, 1'000'000'000'000'000, "a whole number from 1 to 10^18");
        } else if (args.is("--record")) {
            options.record = args.value();
            if (options.record.empty()) {
                args.refuse("a file name");
            }
        } else {
            args.unknown();
        }
    }
    return options;
}

struct Tally {
    std::chrono::steady_clock::time_point firstPacket{};
    std::chrono::steady_clock::time_point lastPacket{};
    double largestGap = 0.0;
    long long good = 0;
    long long malformed = 0;
    bool failed = false;
};

// Shows each datagram as it comes, until the count, the timeout or a stop request.
void run(const Options& options, udp::Socket& socket, capture::Writer& recording, Tally& tally)
{
    const capture::Address here{dottedQuad(options.local.host), socket.localPort()};
    const auto started = std::chrono::steady_clock::now();
    tally.firstPacket = tally.lastPacket = started;
    // The CSV table's kind, from the first datagram printed: the other kind has other columns.
    enum class Table { none, flightDynamics, controls } csvTable = Table::none;
    bool otherKindSaid = false;
    MalformedReports reports;
    std::uint8_t buffer[2048];
    std::string error;
    while (!console::stopRequested() && (options.count < 0 || tally.good < options.count)) {
        const int waitMs = command_line::receiveWait(started, options.timeout);
        if (waitMs < 0) {
            break;
        }
        udp::Sender sender;
        const long length = socket.receive(buffer, waitMs, &sender);
        if (length == udp::Socket::timedOut) {
            continue;
        }
        if (length < 0) {
            std::fprintf(stderr, "%s: receive failed\n", program);
            tally.failed = true;
            break;
        }
        const double received = secondsSince1970(SystemClock::now());
        const auto size = static_cast<std::size_t>(length);
        const std::span<const std::uint8_t> datagram(buffer, std::min(size, sizeof buffer));
        if (!options.record.empty() &&
            !recording.write(received, capture::Address{sender.ip, sender.port}, here, datagram, size, error)) {
            std::fprintf(stderr, "%s: %s; stopped\n", program, error.c_str());
            tally.failed = true;
            break;
        }
        const fdm::Recognised recognised = fdm::recogniseReceived(datagram, size, fdm::Accept::controlsToo);
        if (recognised.kind == fdm::Kind::malformed) {
            ++tally.malformed;
            reports.report(fdm::describe(recognised));
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (tally.good == 0) {
            tally.firstPacket = now;
        } else {
            tally.largestGap = std::max(tally.largestGap, std::chrono::duration<double>(now - tally.lastPacket).count());
        }
        tally.lastPacket = now;
        ++tally.good;
        if ((tally.good - 1) % options.every != 0) {
            continue;
        }
        const bool controls = recognised.kind == fdm::Kind::controls27;
        ctrls27::Controls decoded{};
        if (controls) {
            (void)ctrls27::decode(datagram.data(), datagram.size(), decoded);  // recognised: it decodes
        }
        switch (options.format) {
        case Format::compact:
            controls ? printControlsCompact(decoded, received) : printCompact(datagram, recognised.kind, received);
            break;
        case Format::full:
            controls ? printControlsFull(decoded, tally.good, received)
                     : printFull(datagram, recognised.kind, tally.good, received);
            break;
        case Format::json:
            controls ? printControlsJson(decoded, received) : printJson(datagram, recognised.kind, received);
            break;
        case Format::csv: {
            const Table table = controls ? Table::controls : Table::flightDynamics;
            if (csvTable == Table::none) {
                csvTable = table;
                controls ? fdm::writeControlsCsvHeader(stdout) : fdm::writeCsvHeader(stdout);
            }
            if (table != csvTable) {
                if (!otherKindSaid) {
                    otherKindSaid = true;
                    std::fprintf(stderr, "%s: %s datagrams arrive too; the CSV table holds only %s ones\n", program,
                                 controls ? "controls" : "flight-dynamics", controls ? "flight-dynamics" : "controls");
                }
                continue;
            }
            controls ? fdm::writeControlsCsvRow(stdout, decoded, received)
                     : fdm::writeCsvRow(stdout, datagram, recognised.kind, received);
            break;
        }
        }
        std::fflush(stdout);
    }
    reports.flush();
}

// The summary line; the exit status.
int report(const Options& options, const Tally& tally)
{
    const double span = std::chrono::duration<double>(tally.lastPacket - tally.firstPacket).count();
    if (!options.quiet) {
        std::fprintf(stderr, "%s: %lld packet%s, %.1f/s, largest gap %.3f s, %lld malformed%s\n", program, tally.good,
                     tally.good == 1 ? "" : "s", tally.good > 1 && span > 0 ? static_cast<double>(tally.good - 1) / span : 0.0,
                     tally.largestGap, tally.malformed, console::stopRequested() ? " (stopped)" : "");
    }
    if (tally.failed) {
        return 1;
    }
    if (tally.good == 0 && options.timeout >= 0 && !console::stopRequested()) {
        std::fprintf(stderr, "%s: nothing arrived within the %s s timeout\n", program, options.timeoutText.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    console::Arguments arguments(argc, argv);  // UTF-8, converted once
    const Options options = parseOptions(arguments.count(), arguments.vector());
    console::catchStopRequests();  // before the start line, which tells a caller it may signal
    std::string error;
    std::optional<udp::Socket> socket = udp::Socket::bound(options.local, error);
    if (!socket) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    capture::Writer recording;
    if (!options.record.empty() && !recording.open(options.record, error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    if (!options.quiet || options.local.port == 0) {
        std::fprintf(stderr, "%s: listening on %s:%u\n", program, options.local.host.c_str(), socket->localPort());
    }
    Tally tally;
    run(options, *socket, recording, tally);
    if (!recording.close(error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        tally.failed = true;
    }
    return report(options, tally);
}
