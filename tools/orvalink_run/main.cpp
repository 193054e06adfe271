// orvalink-run: plays the Simulink side for the orvalink block. Loads the
// MEX file by name, registers it, and runs one mdlOutputs per step with
// inputs from the built-in demo flight or a CSV file.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "command_line.h"
#include "flight_inputs.h"
#include "host_driver.h"

namespace {

const char* const program = "orvalink-run";

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "Runs the orvalink block without Simulink: one datagram per step to HOST:PORT.\n\n"
                 "  --host NAME         receiver host name or IPv4 address (default 127.0.0.1)\n"
                 "  --port N            receiver UDP port (default 5500)\n"
                 "  --sample-time S     step period in seconds (default 0.05)\n"
                 "  --steps N           run N steps\n"
                 "  --duration S        run for S seconds of simulated time (default 60 with the demo)\n"
                 "  --fast              do not pace the steps in real time\n"
                 "  --lat DEG, --lon DEG  start of the demo flight (default 21.3187, -157.9225: Honolulu)\n"
                 "  --input FILE        inputs from FILE.csv instead of the demo ('-': standard input);\n"
                 "                      28 numbers a row in input-port order, optional header line\n"
                 "  --block PATH        the MEX file to load (default: orvalink beside this program)\n"
                 "  --quiet             no progress line\n"
                 "  --help              this text\n",
                 program);
}

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(1);
}

double number(const char* option, const char* text) { return command_line::number({program, usage}, option, text); }

volatile std::sig_atomic_t interrupted = 0;

struct Options {
    std::string host = "127.0.0.1";
    double port = 5500;
    double sampleTime = 0.05;
    long steps = -1;
    double duration = -1;
    bool fast = false;
    double latitude = 21.3187;
    double longitude = -157.9225;
    std::string input;
    std::string block;
    bool quiet = false;
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                command_line::badUsage({program, usage}, arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            std::exit(0);
        } else if (arg == "--host") {
            options.host = value();
        } else if (arg == "--port") {
            options.port = number("--port", value());
        } else if (arg == "--sample-time") {
            options.sampleTime = number("--sample-time", value());
        } else if (arg == "--steps") {
            const double steps = number("--steps", value());
            if (steps < 0 || steps != std::floor(steps)) {
                fail("--steps needs a whole number of at least 0");
            }
            options.steps = static_cast<long>(steps);
        } else if (arg == "--duration") {
            options.duration = number("--duration", value());
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--lat") {
            options.latitude = number("--lat", value());
        } else if (arg == "--lon") {
            options.longitude = number("--lon", value());
        } else if (arg == "--input") {
            options.input = value();
        } else if (arg == "--block") {
            options.block = value();
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else {
            command_line::badUsage({program, usage}, "unknown option '" + arg + "'");
        }
    }
    if (options.sampleTime <= 0) {
        fail("--sample-time must be above 0");
    }
    if (std::fabs(options.latitude) > 90 || std::fabs(options.longitude) > 180) {
        fail("--lat must lie within ±90 and --lon within ±180 degrees");
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });

    long steps = options.steps;
    if (steps < 0) {
        const double duration = options.duration >= 0 ? options.duration : (options.input.empty() ? 60.0 : -1.0);
        steps = duration >= 0 ? std::lround(duration / options.sampleTime) : -1;  // -1: until the input ends
    }

    std::FILE* inputFile = nullptr;
    if (!options.input.empty()) {
        inputFile = options.input == "-" ? stdin : std::fopen(options.input.c_str(), "r");
        if (inputFile == nullptr) {
            fail("cannot open " + options.input + ": " + std::strerror(errno));
        }
    }
    runner::CsvInput csv(inputFile, options.input == "-" ? "standard input" : options.input);
    runner::DemoFlight demo(options.latitude, options.longitude);

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
    parameters.push_back(emulated_host::doubleArray({options.port}));
    block.setDialogParameters(std::move(parameters));

    const emulated_host::MexCallResult registered = block.registerBlock();
    if (registered.failed) {
        fail("registration failed: " + registered.message);
    }
    for (const std::string& status : {block.initializeSampleTimes(), block.start()}) {
        if (!status.empty()) {
            block.terminate();
            fail(status);
        }
    }

    const bool progress = !options.quiet && isatty(STDERR_FILENO) != 0;
    const auto period = std::chrono::duration<double>(options.sampleTime);
    const auto started = std::chrono::steady_clock::now();
    long sent = 0;
    int status = 0;
    while ((steps < 0 || sent < steps) && interrupted == 0) {
        const runner::Inputs* inputs = nullptr;
        std::optional<runner::Inputs> row;
        if (inputFile != nullptr) {
            row = csv.next(error);
            if (!row) {
                if (!error.empty()) {
                    std::fprintf(stderr, "%s%s: %s\n", progress ? "\n" : "", program, error.c_str());
                    status = 1;
                }
                break;
            }
            inputs = &*row;
        } else {
            inputs = &demo.next(options.sampleTime);
        }
        std::size_t at = 0;
        for (int port = 0; port < 9; ++port) {
            for (double& element : block.input(port)) {
                element = (*inputs)[at++];
            }
        }
        if (!options.fast) {
            std::this_thread::sleep_until(started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(period * static_cast<double>(sent)));
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
            std::fprintf(stderr, "\r%s: %ld steps sent to %s:%g  %.1f/s  %.1f s elapsed ", program, sent,
                         options.host.c_str(), options.port, elapsed > 0 ? static_cast<double>(sent) / elapsed : 0.0, elapsed);
        }
    }
    const std::string terminateStatus = block.terminate();
    if (progress) {
        std::fputc('\n', stderr);
    }
    if (!terminateStatus.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, terminateStatus.c_str());
        status = 1;
    }
    if (inputFile != nullptr && inputFile != stdin) {
        std::fclose(inputFile);
    }
    return status;
}
