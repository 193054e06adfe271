// orvalink-fly: starts FlightGear the right way for the orvalink block. Asks
// fgfs which release it is: 0.9.4 reads the block's version-17 datagrams
// directly; every release since 0.9.10 reads version 24, so fdm-relay runs
// between the block's port and FlightGear. With --screens N, N FlightGears,
// each looking another way, are fed by the relay. It prints every command
// line it runs, watches what it started, and stops only that. With
// --controls, FlightGear sends its controls back; with --pilot, a small
// aircraft flown by them (orvalink-run --pilot) is what FlightGear shows.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "command_lines.h"
#include "console.h"
#include "flight_inputs.h"
#include "pilot_flight.h"
#include "processes.h"
#include "property_server.h"
#include "udp_socket.h"
#include "release.h"

namespace {

const char* const program = "orvalink-fly";
constexpr auto versionLimit = std::chrono::seconds(20);
constexpr auto stopGrace = std::chrono::seconds(5);
// A FlightGear that never says its scenery loaded (a release without the property) is not waited for longer.
constexpr auto readyLimit = std::chrono::seconds(600);

void usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [options] [-- FLIGHTGEAR-OPTIONS]\n"
                 "Starts FlightGear to show the orvalink block's flight (run the model or orvalink-run\n"
                 "alongside, sending to the block port). FlightGear 0.9.10 and later (every release\n"
                 "since 2006) read version-24 packets: fdm-relay translates the block's for them.\n\n"
                 "  --port N          the block's UDP port (default 5500)\n"
                 "  --fg-port N       the first FlightGear's port behind the relay (default 5501)\n"
                 "  --rate HZ         packets FlightGear reads a second, 1 to 1000 (default 30)\n"
                 "  --play FILE.csv   when FlightGear is ready, play this input table (orvalink-run's\n"
                 "                    form) through the block, FlightGear started at its first row\n"
                 "  --loop            with --play: the table round after round until stopped\n"
                 "  --controls PORT   the first FlightGear sends its controls (stick, throttle, ...) to\n"
                 "                    127.0.0.1:PORT at --rate, for the orvalink_controls block\n"
                 "  --pilot           fly it yourself: when FlightGear is ready, a small built-in aircraft\n"
                 "                    (orvalink-run --pilot) flies by FlightGear's controls, from Honolulu\n"
                 "  --airport ICAO    start airport (default PHNL; not with --play)\n"
                 "  --aircraft NAME   aircraft (default ufo)\n"
                 "  --timeofday T     real, dawn, morning, noon, afternoon, dusk, evening or midnight\n"
                 "                    (default noon)\n"
                 "  --screens N       N FlightGears, one a screen, 1 to 16 (default 1)\n"
                 "  --screen-angle D  degrees between neighbouring screens' views, 0 to 180 (default 45)\n"
                 "  --screen-size WxH each screen's window, laid side by side (default 1024x768)\n"
                 "  --screen-option N:OPTION  OPTION to FlightGear N only (--screen-option 1:--telnet=5401);\n"
                 "                    an option that opens a port may go to one FlightGear only\n"
                 "  --fgfs PATH       the FlightGear program (default: $FGFS, then fgfs on PATH,\n"
                 "                    then /usr/games/fgfs)\n"
                 "  --dry-run         print the command lines, start nothing\n"
                 "  --quiet           no notes, only warnings and errors\n"
                 "  --help, --version this text, the version\n"
                 "Options after -- go to every FlightGear (%s -- --httpd=8080).\n"
                 "It says \"FlightGear is ready\" once every FlightGear has loaded its scenery and its\n"
                 "splash screen is gone (asked through its property server, --props, on a free port):\n"
                 "then run the model. With several screens each FlightGear keeps a home folder of its\n"
                 "own in the user's cache folder, so that its navigation cache is built only once.\n"
                 "Ctrl-C stops what it started; so does the end of any of it.\n",
                 program, program);
}

const command_line::Program me{program, usage, true};

struct Settings {
    fly::Options options;
    std::string fgfs;
    std::string play;  // the input table to play once FlightGear is ready
    bool loop = false;
    bool pilot = false;  // fly the built-in aircraft by FlightGear's controls once it is ready
    bool dryRun = false;
    bool quiet = false;
};

void checkWord(command_line::Arguments& args, std::string& into)
{
    into = args.value();
    if (into.empty() || into.size() > 64 ||
        into.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-") !=
            std::string::npos) {
        args.refuse(into, "letters, digits, '.', '_' or '-'");
    }
}

Settings parseOptions(console::Arguments& arguments)
{
    Settings settings;
    fly::Options& options = settings.options;
    bool airportGiven = false;
    command_line::Arguments args(me, arguments.count(), arguments.vector());
    while (args.next()) {
        if (args.is("--port")) {
            options.blockPort = static_cast<unsigned>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--fg-port")) {
            options.fgPort = static_cast<unsigned>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--rate")) {
            options.rate = static_cast<unsigned>(args.decimal(1, 1000, "a whole number from 1 to 1000"));
        } else if (args.is("--airport")) {
            checkWord(args, options.airport);
            airportGiven = true;
        } else if (args.is("--play")) {
            settings.play = args.value();
            if (settings.play.empty()) {
                args.refuse(settings.play, "a CSV file of the block's 28 inputs a row (orvalink-run --input)");
            }
        } else if (args.is("--loop")) {
            settings.loop = true;
        } else if (args.is("--controls")) {
            options.controlsPort = static_cast<unsigned>(args.decimal(1, 65535, "a whole number from 1 to 65535"));
        } else if (args.is("--pilot")) {
            settings.pilot = true;
        } else if (args.is("--aircraft")) {
            checkWord(args, options.aircraft);
        } else if (args.is("--timeofday")) {
            options.timeofday = args.value();
            if (!fly::isTimeOfDay(options.timeofday)) {
                args.refuse("real, dawn, morning, noon, afternoon, dusk, evening or midnight");
            }
        } else if (args.is("--screens")) {
            options.screens = static_cast<unsigned>(args.decimal(1, 16, "a whole number from 1 to 16"));
        } else if (args.is("--screen-size")) {
            const std::string text = args.value();
            unsigned width = 0;
            unsigned height = 0;
            char end = 0;
            if (std::sscanf(text.c_str(), "%5ux%5u%c", &width, &height, &end) != 2 || width < 100 || height < 100 ||
                width > 10000 || height > 10000) {
                args.refuse(text, "WIDTHxHEIGHT in pixels, each from 100 to 10000");
            }
            options.screenWidth = width;
            options.screenHeight = height;
        } else if (args.is("--screen-option")) {
            const std::string text = args.value();
            unsigned screen = 0;
            int used = 0;
            if (std::sscanf(text.c_str(), "%2u:%n", &screen, &used) != 1 || used == 0 || screen < 1 || screen > 16 ||
                text.compare(static_cast<std::size_t>(used), 2, "--") != 0) {
                args.refuse(text, "N:OPTION, a screen from 1 to 16 and a FlightGear option (1:--telnet=5401)");
            }
            options.screenOptions.emplace_back(screen - 1, text.substr(static_cast<std::size_t>(used)));
        } else if (args.is("--screen-angle")) {
            options.screenAngle = args.number(0, 180, "degrees from 0 to 180");
        } else if (args.is("--fgfs")) {
            settings.fgfs = args.value();
            if (settings.fgfs.empty()) {
                args.refuse("the path of the FlightGear program");
            }
        } else if (args.is("--dry-run")) {
            settings.dryRun = true;
        } else if (args.is("--quiet") || args.is("-q")) {
            settings.quiet = true;
        } else {
            args.unknown();
        }
    }
    options.extra = args.rest();
    if (airportGiven && !settings.play.empty()) {
        command_line::badUsage(me, "--airport and --play: the flight starts where its table does");
    }
    if (settings.pilot && !settings.play.empty()) {
        command_line::badUsage(me, "--pilot and --play exclude each other: one flight at a time");
    }
    if (settings.pilot && airportGiven) {
        command_line::badUsage(me, "--airport and --pilot: the pilot's aircraft starts over Honolulu");
    }
    if (settings.loop && settings.play.empty()) {
        command_line::badUsage(me, "--loop repeats the table of --play: it needs one");
    }
    for (const auto& [screen, option] : options.screenOptions) {
        if (screen >= options.screens) {
            command_line::badUsage(me, "--screen-option " + std::to_string(screen + 1) + ":" + option + ": there are " +
                                           std::to_string(options.screens) + " screens");
        }
    }
    if (options.screens > 1) {
        for (const std::string& option : options.extra) {
            if (fly::opensPort(option)) {
                command_line::badUsage(me, command_line::quoted(option) + " would open the same port in each of the " +
                                               std::to_string(options.screens) +
                                               " FlightGears: give it to one with --screen-option 1:" + option);
            }
        }
    }
    // The relay's ports, checked before anything runs.
    const unsigned last = options.fgPort + options.screens - 1;
    if (last > 65535) {
        command_line::badUsage(me, "--fg-port " + std::to_string(options.fgPort) + ": no room for " +
                                       std::to_string(options.screens) + " screens below 65536");
    }
    const unsigned controls = options.controlsPort;
    if (controls != 0 && (controls == options.blockPort || (controls >= options.fgPort && controls <= last))) {
        command_line::badUsage(me, "--controls " + std::to_string(controls) + " is also the block's or a FlightGear's "
                                   "port: give the controls a port of their own");
    }
    if (options.blockPort >= options.fgPort && options.blockPort <= last) {
        const std::string ports = options.screens == 1 ? std::to_string(last)
                                                       : std::to_string(options.fgPort) + " to " + std::to_string(last);
        command_line::badUsage(me, "--port " + std::to_string(options.blockPort) + " is also a FlightGear port (" +
                                       ports + "): the relay would send to itself");
    }
    return settings;
}

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(1);
}

// The FlightGear program: --fgfs, else $FGFS, else fgfs on PATH, else
// /usr/games (Debian's place, often off PATH): a choice wins over a guess.
std::string findFlightGear(const std::string& given)
{
    if (!given.empty()) {
        if (!processes::isProgram(given)) {
            fail("cannot run " + command_line::quoted(given) + ": no such program");
        }
        return given;
    }
    const char* environment = std::getenv("FGFS");
    if (environment != nullptr && *environment != '\0') {
        if (!processes::isProgram(environment)) {
            fail("cannot run " + command_line::quoted(environment) + " (from FGFS): no such program");
        }
        return environment;
    }
    std::string found = processes::findOnPath("fgfs");
#if !defined(_WIN32)
    if (found.empty() && processes::isProgram("/usr/games/fgfs")) {
        found = "/usr/games/fgfs";
    }
#endif
    if (found.empty()) {
        fail("FlightGear (fgfs) not found in FGFS, on PATH or in /usr/games: install it "
             "(Debian: apt-get install flightgear) or give --fgfs PATH");
    }
    return found;
}

// The last non-empty line of a program's output, for a message.
std::string lastLine(const std::string& output)
{
    std::size_t end = output.find_last_not_of("\r\n \t");
    if (end == std::string::npos) {
        return {};
    }
    const std::size_t start = output.find_last_of('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
}

// How to feed this FlightGear: what `fgfs --version` says decides.
fly::Route chooseRoute(const Settings& settings)
{
    const processes::Captured answer = processes::capture({settings.fgfs, "--version"}, versionLimit);
    if (console::stopRequested()) {
        std::exit(0);
    }
    if (!answer.started) {
        fail("cannot run " + command_line::quoted(settings.fgfs) + ": " + answer.error);
    }
    const std::optional<fly::Release> release = fly::findRelease(answer.output);
    if (release && answer.finished) {
        const fly::Choice choice = fly::routeFor(*release);
        if (choice.route == fly::Route::refuse) {
            fail("FlightGear " + release->text + " " + choice.reason +
                 ", which neither the block (17) nor fdm-relay (24) writes");
        }
        if (!settings.quiet) {
            std::fprintf(stderr, "%s: FlightGear %s reads version-%s packets%s\n", program, release->text.c_str(),
                         choice.route == fly::Route::direct ? "17" : "24",
                         choice.route == fly::Route::direct ? ", the block's own" : ": fdm-relay translates");
        }
        return choice.route;
    }
    std::string cause;
    if (!answer.finished) {
        cause = "did not answer within " + std::to_string(versionLimit.count()) + " s";
    } else {
        cause = answer.ending.clean ? "names no release" : answer.ending.how;
        const std::string line = lastLine(answer.output);
        if (!line.empty()) {
            cause += ": " + command_line::quoted(line);
        }
    }
    std::fprintf(stderr, "%s: warning: %s --version %s; going through fdm-relay, as every release since 0.9.10 "
                 "needs\n", program, command_line::quoted(settings.fgfs).c_str(), cause.c_str());
    return fly::Route::relay;
}

// FlightGear starts at the table's first row: its position, altitude and
// heading. The whole table is read first, so that a bad row is refused now,
// not once the scenery has loaded.
void startAtTable(Settings& settings)
{
    std::FILE* file = std::fopen(settings.play.c_str(), "rb");
    if (file == nullptr) {
        fail("cannot open " + command_line::quoted(settings.play) + ": " + std::strerror(errno));
    }
    runner::CsvInput table(file, command_line::quoted(settings.play));
    std::string error;
    const runner::Inputs* next = table.next(error);
    if (next == nullptr) {
        std::fclose(file);
        fail(error.empty() ? command_line::quoted(settings.play) + " holds no data row" : error);
    }
    const runner::Inputs row = *next;
    while (next != nullptr && !console::stopRequested()) {
        next = table.next(error);
    }
    std::fclose(file);
    if (!error.empty()) {
        fail(error);
    }
    if (!std::isfinite(row[0]) || !std::isfinite(row[1]) || !std::isfinite(row[2]) || !std::isfinite(row[5])) {
        fail(command_line::quoted(settings.play) + ": the first row's position or heading is not a number");
    }
    fly::startAt(settings.options, row[0], row[1], row[2], row[5]);
}

std::string findProgram(const char* tool)
{
    const std::string name = std::string(tool) + processes::executableSuffix;
#if defined(_WIN32)
    const std::string beside = processes::ownFolder() + "\\" + name;
#else
    const std::string beside = processes::ownFolder() + "/" + name;
#endif
    if (processes::isProgram(beside)) {
        return beside;
    }
    const std::string found = processes::findOnPath(tool);
    if (found.empty()) {
        fail(std::string(tool) + " not found beside " + std::string(program) + " or on PATH");
    }
    return found;
}

struct Planned {
    std::string name;
    std::vector<std::string> command;
    bool flightGear;
    unsigned port;                         // the UDP port it reads
    std::vector<std::string> environment;  // "NAME=value" for it alone
};

// The folder that keeps the screens' FlightGear homes: the user's cache
// folder ($XDG_CACHE_HOME or ~/.cache; %LOCALAPPDATA% on Windows), else the
// temporary one.
std::filesystem::path homesFolder()
{
#if defined(_WIN32)
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && *local != '\0') {
        return std::filesystem::path(local) / "orvalink-fly";
    }
#else
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && *cache == '/') {
        return std::filesystem::path(cache) / "orvalink-fly";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return std::filesystem::path(home) / ".cache" / "orvalink-fly";
    }
#endif
    std::error_code ignored;
    return std::filesystem::temp_directory_path(ignored) / "orvalink-fly";
}

// With several screens each FlightGear has its own home folder: one that
// another FlightGear holds is read-only to the next. They last, so that
// each builds its navigation cache (minutes, hundreds of MB) only once.
std::string flightGearHome(unsigned screen)
{
    return (homesFolder() / ("fg-home-" + std::to_string(screen + 1))).string();
}

// A UDP port on the loopback that nothing holds now and that none of the
// block's or FlightGear's ports is.
unsigned freeUdpPort(const fly::Options& options)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::string error;
        const auto probe = udp::Socket::bound(udp::Endpoint{fly::loopback, 0}, error);
        const unsigned port = probe ? probe->localPort() : 0;
        if (port != 0 && port != options.blockPort &&
            (port < options.fgPort || port >= options.fgPort + options.screens)) {
            return port;
        }
    }
    fail("no free UDP port for the controls");
}

std::vector<Planned> plan(const Settings& settings, fly::Route route)
{
    const fly::Options& options = settings.options;
    std::vector<Planned> planned;
    if (route == fly::Route::direct) {
        if (options.screens > 1) {
            fail("several screens need fdm-relay's fan-out, which FlightGear 0.9.4 cannot read (version 24)");
        }
        planned.push_back({"FlightGear", fly::flightGearCommand(settings.fgfs, options, options.blockPort, 0), true,
                           options.blockPort, {}});
        return planned;
    }
    planned.push_back({"fdm-relay", fly::relayCommand(findProgram("fdm-relay"), options), false, options.blockPort, {}});
    for (unsigned screen = 0; screen < options.screens; ++screen) {
        const std::string name =
            options.screens > 1 ? "FlightGear (screen " + std::to_string(screen + 1) + ")" : "FlightGear";
        std::vector<std::string> environment;
        if (options.screens > 1) {
            environment.push_back("FG_HOME=" + flightGearHome(screen));
        }
        planned.push_back({name, fly::flightGearCommand(settings.fgfs, options, options.fgPort + screen, screen), true,
                           options.fgPort + screen, environment});
    }
    return planned;
}

// Every UDP port what is planned reads must be free now: FlightGear itself
// would only log a failed bind deep in its output and run without input.
void checkPortsFree(const std::vector<Planned>& planned, unsigned controlsPort)
{
    for (const Planned& each : planned) {
        std::string error;
        if (!udp::Socket::bound(udp::Endpoint{fly::loopback, static_cast<std::uint16_t>(each.port)}, error)) {
            fail("UDP port " + std::to_string(each.port) + " (" + each.name + "'s) is not free: " + error);
        }
    }
    std::string error;
    if (controlsPort != 0 &&
        !udp::Socket::bound(udp::Endpoint{fly::loopback, static_cast<std::uint16_t>(controlsPort)}, error)) {
        fail("UDP port " + std::to_string(controlsPort) + " (the controls') is not free: " + error);
    }
}

// What a child printed, passed on a whole line at a time, so that the lines
// of FlightGear and of the player never run into each other: `pending` keeps
// the part after the last line's end. A line longer than `longest` goes out in pieces.
void passOnWholeLines(std::string& pending, const std::string& printed, bool all)
{
    constexpr std::size_t longest = 4096;
    pending += printed;
    std::size_t end = pending.rfind('\n');
    if (all && !pending.empty()) {
        if (pending.back() != '\n') {
            pending += '\n';
        }
        end = pending.size() - 1;
    } else if (end == std::string::npos && pending.size() > longest) {
        pending += '\n';
        end = pending.size() - 1;
    }
    if (end != std::string::npos) {
        std::fwrite(pending.data(), 1, end + 1, stderr);
        std::fflush(stderr);
        pending.erase(0, end + 1);
    }
}

// Runs what is planned until Ctrl-C or until one of it ends; the exit status.
// Once FlightGear has loaded its scenery it says so, and with --play starts
// the table's player, whose end (without --loop) leaves FlightGear running.
int run(const Settings& settings, std::vector<Planned> planned)
{
    std::vector<processes::Child> children;
    for (const Planned& each : planned) {
        processes::Child child;
        child.name = each.name;
        std::string error;
        for (const std::string& variable : each.environment) {
            std::error_code ignored;  // a folder that cannot be made shows in FlightGear's own message
            std::filesystem::create_directories(variable.substr(variable.find('=') + 1), ignored);
        }
        if (!processes::start(child, each.command, error, each.environment, each.flightGear)) {
            processes::stopAll(children, stopGrace);
            fail("cannot start " + each.name + " (" + command_line::quoted(each.command[0]) + "): " + error);
        }
        children.push_back(child);
    }
    if (!settings.quiet) {
        std::fprintf(stderr, "%s: send the block's datagrams to %s:%u; Ctrl-C stops what it started\n", program,
                     fly::loopback, settings.options.blockPort);
    }
    const auto started = std::chrono::steady_clock::now();
    const std::vector<unsigned>& propsPorts = settings.options.propsPorts;
    std::vector<bool> flightGearReady(propsPorts.size(), false);
    bool ready = propsPorts.empty();
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t player = none;
    std::vector<std::string> pending;    // each child's output since its last whole line, for bind reports
    std::vector<std::string> unprinted;  // each child's output not yet passed on, short of a whole line
    unsigned badPort = 0;
    std::string badName;
    processes::Ending ending;
    std::size_t ended = none;
    const bool playing = !settings.play.empty() || settings.pilot;
    // The controls port is held until the pilot's aircraft takes it: FlightGear logs
    // every datagram that finds no one there ("Error writing data").
    std::optional<udp::Socket> controlsHolder;
    if (settings.pilot) {
        std::string ignored;
        controlsHolder =
            udp::Socket::bound(udp::Endpoint{fly::loopback, static_cast<std::uint16_t>(settings.options.controlsPort)}, ignored);
    }
    while (!console::stopRequested()) {
        if (!ready) {
            // Every FlightGear, not only the first: each window shows its scenery once its splash is gone.
            bool loaded = true;
            for (std::size_t i = 0; i < propsPorts.size(); ++i) {
                if (!flightGearReady[i]) {
                    flightGearReady[i] = props::flightGearReady(static_cast<std::uint16_t>(propsPorts[i]), 2000) ==
                                         props::Answer::ready;
                }
                loaded = loaded && flightGearReady[i];
            }
            const bool late = std::chrono::steady_clock::now() - started > readyLimit;
            if (loaded || late) {
                ready = true;
                const std::string what = !settings.play.empty() ? "playing " + command_line::quoted(settings.play)
                                         : settings.pilot ? "fly it with FlightGear's controls (stick, keyboard)"
                                                          : "";
                // Not "ready" unless FlightGear said so: a slow machine may still be loading.
                if (loaded) {
                    std::fprintf(stderr, "%s: FlightGear is ready%s\n", program,
                                 playing ? ("; " + what).c_str() : ": run the model now");
                } else {
                    std::fprintf(stderr, "%s: warning: FlightGear has not said its scenery loaded after %lld s; %s\n",
                                 program, static_cast<long long>(readyLimit.count()),
                                 playing ? (what + " all the same").c_str()
                                         : "run the model once its window shows the scenery");
                }
                std::fflush(stderr);
            }
            if (ready && playing) {
                std::vector<std::string> command{findProgram("orvalink-run")};
                if (settings.pilot) {
                    command.insert(command.end(), {"--pilot", std::to_string(settings.options.controlsPort)});
                } else {
                    command.insert(command.end(), {"--input", settings.play});
                }
                command.insert(command.end(), {"--port", std::to_string(settings.options.blockPort)});
                if (settings.loop) {
                    command.push_back("--loop");
                }
                if (settings.quiet) {
                    command.push_back("--quiet");
                }
                controlsHolder.reset();
                processes::Child child;
                child.name = settings.pilot ? "the pilot's aircraft (orvalink-run)" : "the flight's player (orvalink-run)";
                std::string error;
                // Its output passes through here, whole lines at a time, between FlightGear's.
                if (!processes::start(child, command, error, {}, true)) {
                    processes::stopAll(children, stopGrace);
                    fail("cannot start orvalink-run (" + command_line::quoted(command[0]) + "): " + error);
                }
                children.push_back(child);
                planned.push_back({child.name, command, false, 0, {}});
                player = children.size() - 1;
            }
        }
        ended = processes::waitAny(children, ending, std::chrono::milliseconds(ready ? 200 : 100)).value_or(none);
        // FlightGear's own words, passed on; a failed bind it reports leaves it without input.
        pending.resize(children.size());
        unprinted.resize(children.size());
        for (std::size_t i = 0; i < children.size() && badPort == 0; ++i) {
            const std::string printed = processes::takeOutput(children[i]);
            passOnWholeLines(unprinted[i], printed, false);
            pending[i] += printed;
            for (std::size_t end = pending[i].find('\n'); end != std::string::npos; end = pending[i].find('\n')) {
                badPort = badPort != 0 ? badPort : fly::failedBindPort(std::string_view(pending[i]).substr(0, end));
                pending[i].erase(0, end + 1);
            }
            if (pending[i].size() > 4096) {
                pending[i].erase(0, pending[i].size() - 4096);  // a line that long is no bind report
            }
            if (badPort != 0) {
                badName = planned[i].name;
            }
        }
        if (badPort != 0) {
            break;
        }
        if (ended == none) {
            continue;
        }
        if (ended == player && ending.clean && !settings.pilot) {
            if (!settings.quiet) {
                std::fprintf(stderr, "%s: the flight in %s is over; FlightGear stays until it is closed or Ctrl-C\n",
                             program, command_line::quoted(settings.play).c_str());
            }
            player = none;
            ended = none;
            continue;
        }
        break;
    }
    processes::stopAll(children, stopGrace);
    unprinted.resize(children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        // Its last words, then the pipe's end.
        passOnWholeLines(unprinted[i], processes::takeOutput(children[i]), true);
    }
    if (badPort != 0) {
        std::fprintf(stderr, "%s: %s could not bind UDP port %u (another program holds it?); stopped %s\n", program,
                     badName.c_str(), badPort, children.size() > 1 ? "everything" : "it");
        return 1;
    }
    if (ended == none) {
        if (!settings.quiet) {
            std::fprintf(stderr, "%s: stopped\n", program);
        }
        return 0;
    }
    // A FlightGear that exits with status 0 was closed by its user: the end of the flight.
    const bool closed = ending.clean && planned[ended].flightGear;
    std::fprintf(stderr, "%s: %s %s%s\n", program, planned[ended].name.c_str(),
                 closed ? "was closed" : ending.how.c_str(),
                 children.size() > 1 ? "; stopped the rest" : "");
    return closed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    console::Arguments arguments(argc, argv);
    Settings settings = parseOptions(arguments);
    console::catchStopRequests();
    settings.fgfs = findFlightGear(settings.fgfs);
    if (!settings.play.empty()) {
        startAtTable(settings);
    }
    fly::Options& options = settings.options;
    if (settings.pilot) {
        constexpr double radiansPerDegree = 0.017453292519943295;
        fly::startAt(options, runner::defaultLatitudeDeg * radiansPerDegree,
                     runner::defaultLongitudeDeg * radiansPerDegree, runner::pilotStartAltitude,
                     runner::pilotStartHeadingDeg * radiansPerDegree);
        if (options.controlsPort == 0) {
            options.controlsPort = freeUdpPort(options);
        }
    }
    // A property server for each FlightGear, on ports distinct from each other.
    for (unsigned screen = 0; screen < options.screens; ++screen) {
        unsigned port = 0;
        for (int attempt = 0; attempt < 20 && (port == 0 || std::find(options.propsPorts.begin(), options.propsPorts.end(),
                                                                       port) != options.propsPorts.end());
             ++attempt) {
            port = props::freePort();
        }
        options.propsPorts.push_back(port);
    }
    const fly::Route route = chooseRoute(settings);
    const std::vector<Planned> planned = plan(settings, route);
    checkPortsFree(planned, options.controlsPort);
    if (options.screens > 1 && !settings.quiet) {
        std::fprintf(stderr, "%s: the screens' FlightGear homes are kept in %s (the first start of each builds its "
                     "navigation cache)\n", program, homesFolder().string().c_str());
    }
    for (const Planned& each : planned) {
        std::string shown;
        for (const std::string& variable : each.environment) {
            shown += fly::shownCommand({variable}) + " ";
        }
        std::printf("+ %s%s\n", shown.c_str(), fly::shownCommand(each.command).c_str());
    }
    std::fflush(stdout);
    if (settings.dryRun) {
        return 0;
    }
    return run(settings, planned);
}
