// orvalink-run: plays the Simulink side for the orvalink block. Loads the
// MEX file by name, registers it, and runs one mdlOutputs per step with
// inputs from the built-in demo flight, a CSV file, or a small aircraft
// flown by FlightGear's controls (--pilot).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "command_line.h"
#include "console.h"
#include "fdm_block.h"
#include "flight_inputs.h"
#include "pilot_flight.h"
#include "host_driver.h"
#include "link.h"
#include "socket_platform.h"
#include "udp_socket.h"

namespace {

const char* const program = "orvalink-run";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Runs the orvalink block without Simulink: one datagram per step to HOST:PORT.\n\n"
                 "  --host NAME         receiver host name or IPv4 address (default 127.0.0.1)\n"
                 "  --port N            receiver UDP port, 1 to 65535 (default 5500)\n"
                 "  --sample-time S     step period in seconds, above 0 (default 0.05)\n"
                 "  --steps N           run N steps\n"
                 "  --duration S        run for S seconds of simulated time (default 60 with the demo)\n"
                 "  --fast              do not pace the steps in real time\n"
                 "  --lat DEG, --lon DEG  start of the demo flight (default 21.3187, -157.9225: Honolulu)\n"
                 "  --input FILE        inputs from FILE.csv instead of the demo ('-': standard input);\n"
                 "                      28 numbers a row in input-port order, optional header line\n"
                 "  --loop              with --input FILE: start the table again at its end, until stopped\n"
                 "  --pilot PORT        fly a small built-in aircraft with FlightGear's controls datagrams\n"
                 "                      arriving on 127.0.0.1:PORT (--native-ctrls=socket,out,...), from\n"
                 "                      --lat/--lon in the air, until stopped\n"
                 "  --save-inputs FILE  also write each step's 28 inputs to FILE.csv, in the form --input reads\n"
                 "  --block PATH        the MEX file to load (default: orvalink beside this program, in\n"
                 "                      the folder above it (Windows package) or in ../lib/orvalink)\n"
                 "  --quiet             no start and summary lines\n"
                 "  --help, --version   this text, the version\n"
                 "Options take their value as the next argument or after '=' (--port=5501).\n"
                 "The summary counts the datagrams the receiver's system refused, as ours was told\n"
                 "(nothing listening there); with --fast it asks every 64 steps, so at least that many.\n",
                 program);
}

const command_line::Program me{program, usage};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(1);
}

constexpr long long mostSteps = 1'000'000'000'000;  // about 1600 years at 20 steps a second
// Asking the socket for a refusal is a system call: paced steps wait anyway, --fast ones ask every so often.
constexpr long long refusalCheckEvery = 64;
constexpr double longestSampleTime = 86400.0;

struct Options {
    std::string host = "127.0.0.1";
    long port = 5500;
    double sampleTime = 0.05;
    long long steps = -1;   // -1: from --duration, or until the input ends
    double duration = -1;
    bool fast = false;
    bool loop = false;
    double latitude = runner::defaultLatitudeDeg;
    double longitude = runner::defaultLongitudeDeg;
    std::string input;
    long pilot = 0;  // the controls port, 0 for none
    std::string saveInputs;
    std::string block;
    bool quiet = false;
};

Options parse(int argc, char** argv)
{
    Options options;
    command_line::Arguments args(me, argc, argv);
    bool stepsGiven = false;
    bool demoStartGiven = false;
    bool durationGiven = false;
    std::string durationText;  // as given, for messages
    while (args.next()) {
        if (args.is("--host")) {
            options.host = args.value();
            if (const char* problem = udp::hostProblem(options.host)) {
                args.refuse(options.host, problem);
            }
        } else if (args.is("--port")) {
            options.port = static_cast<long>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--sample-time")) {
            options.sampleTime = args.positive(longestSampleTime, "seconds, above 0 and at most 86400");
        } else if (args.is("--steps")) {
            options.steps = args.whole(1, mostSteps, "a whole number from 1 to 10^12");
            stepsGiven = true;
        } else if (args.is("--duration")) {
            options.duration = args.positive(1e12, "seconds, above 0 and at most 10^12");
            durationText = args.lastValue();
            durationGiven = true;
        } else if (args.is("--fast")) {
            options.fast = true;
        } else if (args.is("--lat")) {
            demoStartGiven = true;
            options.latitude = args.number(-90, 90, "degrees, above -90 and below 90");
            if (std::fabs(options.latitude) == 90) {
                args.refuse("degrees, above -90 and below 90");
            }
        } else if (args.is("--lon")) {
            demoStartGiven = true;
            options.longitude = args.number(-180, 180, "degrees, from -180 to 180");
        } else if (args.is("--input")) {
            options.input = args.value();
            if (options.input.empty()) {
                args.refuse(options.input, "a file name, or '-' for standard input");
            }
        } else if (args.is("--loop")) {
            options.loop = true;
        } else if (args.is("--pilot")) {
            options.pilot = static_cast<long>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--save-inputs")) {
            options.saveInputs = args.value();
            if (options.saveInputs.empty()) {
                args.refuse("a file name");
            }
        } else if (args.is("--block")) {
            options.block = args.value();
            if (options.block.empty()) {
                args.refuse(options.block, "the path of the MEX file");
            }
        } else if (args.is("--quiet") || args.is("-q")) {
            options.quiet = true;
        } else {
            args.unknown();
        }
    }
    if (stepsGiven && durationGiven) {
        command_line::badUsage(me, "--steps and --duration exclude each other");
    }
    if (options.loop && (options.input.empty() || options.input == "-")) {
        command_line::badUsage(me, "--loop plays a --input file again: it needs one (not '-')");
    }
    if (options.loop && (stepsGiven || durationGiven)) {
        command_line::badUsage(me, "--loop runs until stopped: not with --steps or --duration");
    }
    if (options.pilot != 0 && !options.input.empty()) {
        command_line::badUsage(me, "--pilot and --input exclude each other");
    }
    if (options.pilot != 0 && options.pilot == options.port && (options.host == "127.0.0.1" || options.host == "localhost")) {
        command_line::badUsage(me, "--pilot and --port name the same port: the block would fly on its own datagrams");
    }
    if (demoStartGiven && !options.input.empty()) {
        command_line::badUsage(me, "--lat and --lon place the demo flight: they do nothing with --input");
    }
    if (durationGiven) {
        const double steps = std::round(options.duration / options.sampleTime);
        if (steps < 1 || steps > static_cast<double>(mostSteps)) {
            char range[96];
            std::snprintf(range, sizeof range, "seconds from %g to %g (1 to 10^12 steps of %g s)", options.sampleTime,
                          options.sampleTime * static_cast<double>(mostSteps), options.sampleTime);
            command_line::badUsage(me, "--duration " + command_line::quoted(durationText) + ": " + range);
        }
        options.steps = static_cast<long long>(steps);
    } else if (!stepsGiven && options.input.empty() && options.pilot == 0) {
        options.steps = std::max(1LL, std::llround(60.0 / options.sampleTime));
    }
    return options;
}

// The block's socket, from its work vector: the runner hosts the block and may look.
std::intptr_t blockSocket(emulated_host::HostBlock& block)
{
    const void* cell = block.pwork()[orvalink::SOCKET_CELL];
    return cell == nullptr ? -1 : static_cast<std::intptr_t>(static_cast<const orvalink::SocketCell*>(cell)->socket);
}

// FlightGear's controls as they arrive: every queued datagram taken at each
// step without waiting, the last good one kept.
struct PilotControls {
    std::optional<udp::Socket> socket;
    ctrls27::Controls last{};
    long long taken = 0;
    long long refused = 0;

    void take()
    {
        std::uint8_t buffer[ctrls27::packetSize + 1];
        for (int i = 0; i < 256; ++i) {  // a sender faster than the steps cannot hold them
            const long length = socket->receive(buffer, 0);
            if (length < 0) {
                return;
            }
            const auto size = std::min(static_cast<std::size_t>(length), sizeof buffer);
            if (ctrls27::decode(buffer, size, last) == ctrls27::Refusal::none) {
                ++taken;
            } else {
                ++refused;
            }
        }
    }
};

// Why the block could not start, from a look-up of our own.
std::string startFailureCause(const Options& options)
{
    udp::startSockets();
    std::string error;
    udp::Failure failure = udp::Failure::none;
    const auto socket = udp::Socket::connected(
        udp::Endpoint{options.host, static_cast<std::uint16_t>(options.port)}, error, &failure);
    switch (failure) {
    case udp::Failure::resolve: return "the host name " + command_line::quoted(options.host) + " did not resolve";
    case udp::Failure::create: return "the socket could not be made (" + error + ")";
    case udp::Failure::connect:
        return "port " + std::to_string(options.port) + " of " + command_line::quoted(options.host) + " is not usable";
    case udp::Failure::none: break;
    }
    return "the link opens now; it may have been a passing failure";
}

}  // namespace

int main(int argc, char** argv)
{
    console::Arguments arguments(argc, argv);  // UTF-8, converted once
    argc = arguments.count();
    argv = arguments.vector();
    const Options options = parse(argc, argv);
    console::catchStopRequests();

    std::FILE* inputFile = nullptr;
    const std::string inputName = options.input == "-" ? "standard input" : options.input;
    if (!options.input.empty()) {
        inputFile = options.input == "-" ? stdin : std::fopen(options.input.c_str(), "rb");
        if (inputFile == nullptr) {
            fail("cannot open " + command_line::quoted(options.input) + ": " + std::strerror(errno));
        }
    }
    runner::CsvInput csv(inputFile, inputName);
    std::FILE* saveFile = nullptr;
    if (!options.saveInputs.empty() && !options.input.empty() && options.input != "-" &&
        udp::sameFile(options.input, options.saveInputs)) {
        // Opening it for writing would empty the input before it is read.
        fail("--save-inputs " + command_line::quoted(options.saveInputs) + " is the --input file itself");
    }
    if (!options.saveInputs.empty()) {
        saveFile = std::fopen(options.saveInputs.c_str(), "w");
        if (saveFile == nullptr) {
            fail("cannot write " + command_line::quoted(options.saveInputs) + ": " + std::strerror(errno));
        }
        runner::writeHeader(saveFile);
    }
    runner::DemoFlight demo(options.latitude, options.longitude);
    runner::PilotFlight pilotFlight(options.latitude, options.longitude);
    PilotControls pilot;
    if (options.pilot != 0) {
        std::string bindError;
        pilot.socket = udp::Socket::bound(udp::Endpoint{"127.0.0.1", static_cast<std::uint16_t>(options.pilot)}, bindError);
        if (!pilot.socket) {
            fail("--pilot " + std::to_string(options.pilot) + ": " + bindError);
        }
    }

    std::string error;
    const std::string blockName = options.block.empty() ? emulated_host::mexFileName("orvalink") : options.block;
    std::optional<emulated_host::MexFile> mex = emulated_host::loadMexFile(blockName, error);
    if (!mex) {
        fail(error);
    }
    emulated_host::HostBlock block(mex->entry);
    std::vector<emulated_host::Array> parameters;
    parameters.push_back(emulated_host::doubleArray({options.sampleTime}));
    parameters.push_back(emulated_host::charArray(options.host));
    parameters.push_back(emulated_host::doubleArray({static_cast<double>(options.port)}));
    block.setDialogParameters(std::move(parameters));

    const emulated_host::MexCallResult registered = block.registerBlock();
    if (registered.failed) {
        fail("registration failed: " + registered.message);
    }
    if (const std::string status = block.initializeSampleTimes(); !status.empty()) {
        fail(status);
    }
    if (const std::string status = block.start(); !status.empty()) {
        block.terminate();
        std::fprintf(stderr, "%s: %s\n", program, status.c_str());
        fail("cause: " + startFailureCause(options));
    }

    const std::string destination = command_line::quoted(options.host + ":" + std::to_string(options.port));
    if (!options.quiet) {
        const std::string from = inputFile != nullptr ? command_line::quoted(inputName)
                                 : options.pilot != 0
                                     ? "the pilot's aircraft, flown by the controls on 127.0.0.1:" + std::to_string(options.pilot)
                                     : "the demo flight";
        std::fprintf(stderr, "%s: sending to %s every %g s from %s\n", program, destination.c_str(), options.sampleTime,
                     from.c_str());
    }
    const bool progress = !options.quiet && console::isTerminal(stderr);
    const auto period = std::chrono::duration<double>(options.sampleTime);
    const auto started = std::chrono::steady_clock::now();
    const long long steps = options.steps;
    long long sent = 0;
    long long rounds = 0;   // whole rounds of a looped table
    long long refused = 0;  // datagrams the destination refused, as its system told ours
    bool refusing = false;
    int status = 0;
    while ((steps < 0 || sent < steps) && !console::stopRequested()) {
        const runner::Inputs* inputs = nullptr;
        if (inputFile != nullptr) {
            inputs = csv.next(error);
            if (inputs == nullptr && error.empty() && options.loop && sent > 0 && csv.restart()) {
                ++rounds;
                inputs = csv.next(error);
            }
            if (inputs == nullptr) {
                if (!error.empty() && !console::stopRequested()) {  // Ctrl-C while waiting for a row is a stop
                    std::fprintf(stderr, "%s%s: %s\n", progress ? "\n" : "", program, error.c_str());
                    status = 1;
                }
                break;
            }
        } else if (options.pilot != 0) {
            pilot.take();
            inputs = &pilotFlight.next(options.sampleTime, pilot.taken > 0 ? &pilot.last : nullptr);
        } else {
            inputs = &demo.next(options.sampleTime);
        }
        if (saveFile != nullptr) {
            runner::writeRow(saveFile, *inputs);
        }
        std::size_t at = 0;
        for (int port = 0; port < runner::numPorts; ++port) {
            for (double& element : block.input(port)) {
                element = (*inputs)[at++];
            }
        }
        if (!options.fast &&
            !console::sleepUntil(started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               period * static_cast<double>(sent)))) {
            break;
        }
        // A refusal of an earlier datagram, taken before the step so that the
        // block's send, which ignores its result, goes out instead of failing.
        const bool askForRefusal = !options.fast || sent % refusalCheckEvery == 0;
        if (const int pending = askForRefusal ? udp::takePendingError(blockSocket(block)) : 0; pending != 0) {
            ++refused;
            if (!refusing) {
                std::fprintf(stderr, "%s%s: %s refuses the datagrams (is anything listening there?)\n",
                             progress ? "\n" : "", program, destination.c_str());
            }
            refusing = true;
        }
        const std::string outputStatus = block.outputs();
        if (!outputStatus.empty()) {
            std::fprintf(stderr, "%s%s: %s\n", progress ? "\n" : "", program, outputStatus.c_str());
            status = 1;
            break;
        }
        ++sent;
        if (progress && (sent % 20 == 0 || sent == steps)) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::fprintf(stderr, "\r%s: %lld steps sent  %.1f/s  %.1f s elapsed ", program, sent,
                         elapsed > 0 ? static_cast<double>(sent) / elapsed : 0.0, elapsed);
        }
    }
    if (refusing || options.fast) {  // the last datagram's refusal, if it came back already
        refused += udp::takePendingError(blockSocket(block)) != 0 ? 1 : 0;
    }
    const std::string terminateStatus = block.terminate();
    if (progress) {
        std::fputc('\n', stderr);
    }
    if (inputFile != nullptr && inputFile != stdin) {
        std::fclose(inputFile);
    }
    if (!terminateStatus.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, terminateStatus.c_str());
        status = 1;
    }
    if (saveFile != nullptr && (std::ferror(saveFile) != 0 || std::fclose(saveFile) != 0)) {
        std::fprintf(stderr, "%s: writing %s failed\n", program, command_line::quoted(options.saveInputs).c_str());
        status = 1;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet) {
        std::fprintf(stderr, "%s: %lld step%s sent to %s in %.1f s%s%s%s\n", program, sent, sent == 1 ? "" : "s",
                     destination.c_str(), elapsed,
                     options.loop ? (" (" + std::to_string(rounds) + " whole round" + (rounds == 1 ? ")" : "s)")).c_str()
                                  : "",
                     refused > 0 ? (", " + std::to_string(refused) + " refused there").c_str() : "",
                     console::stopRequested() ? " (stopped)" : "");
        if (options.pilot != 0) {
            std::fprintf(stderr, "%s: %lld controls datagram%s taken on 127.0.0.1:%ld, %lld refused\n", program,
                         pilot.taken, pilot.taken == 1 ? "" : "s", options.pilot, pilot.refused);
        }
    }
    if (inputFile != nullptr && status == 0 && !console::stopRequested() && steps > 0 && sent < steps) {
        std::fprintf(stderr, "%s: %s ended after %lld row%s, before the %lld steps asked for\n", program,
                     command_line::quoted(inputName).c_str(), sent, sent == 1 ? "" : "s", steps);
    }
    if (sent == 0 && status == 0 && !console::stopRequested()) {
        std::fprintf(stderr, "%s: no datagram sent%s\n", program,
                     inputFile != nullptr ? (": " + command_line::quoted(inputName) + " holds no data row").c_str() : "");
        status = 1;
    }
    return status;
}
