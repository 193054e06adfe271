#include "command_lines.h"

#include <cmath>
#include <cstdio>

namespace fly {

bool isTimeOfDay(std::string_view value)
{
    for (const char* known : {"real", "dawn", "morning", "noon", "afternoon", "dusk", "evening", "midnight"}) {
        if (value == known) {
            return true;
        }
    }
    return false;
}

double headingOffset(unsigned screens, unsigned screen, double angle)
{
    const double steps = static_cast<double>(screens - 1) / 2.0 - static_cast<double>(screen);
    return steps * angle + 0.0;  // + 0.0: no "-0"
}

std::vector<std::string> relayCommand(const std::string& relay, const Options& options)
{
    const std::string host = loopback;
    std::vector<std::string> command{relay, "--listen", host + ":" + std::to_string(options.blockPort), "--quiet"};
    for (unsigned screen = 0; screen < options.screens; ++screen) {
        command.push_back("--to");
        command.push_back(host + ":" + std::to_string(options.fgPort + screen));
    }
    return command;
}

std::vector<std::string> flightGearCommand(const std::string& fgfs, const Options& options, unsigned port,
                                           unsigned screen)
{
    std::vector<std::string> command{fgfs,
                                     "--fdm=null",
                                     "--native-fdm=socket,in," + std::to_string(options.rate) + "," + loopback + "," +
                                         std::to_string(port) + ",udp",
                                     "--disable-terrasync",
                                     "--disable-real-weather-fetch",
                                     "--disable-ai-traffic",
                                     "--aircraft=" + options.aircraft,
                                     "--timeofday=" + options.timeofday};
    if (options.startAtFlight) {
        char place[4][48];
        std::snprintf(place[0], sizeof place[0], "--lat=%.8f", options.latitudeDeg);
        std::snprintf(place[1], sizeof place[1], "--lon=%.8f", options.longitudeDeg);
        std::snprintf(place[2], sizeof place[2], "--altitude=%.1f", options.altitudeFt);
        std::snprintf(place[3], sizeof place[3], "--heading=%.3f", options.headingDeg);
        command.insert(command.end(), std::begin(place), std::end(place));
    } else {
        command.push_back("--airport=" + options.airport);
    }
    if (screen < options.propsPorts.size() && options.propsPorts[screen] != 0) {
        command.push_back("--props=" + std::to_string(options.propsPorts[screen]));
    }
    if (options.controlsPort != 0 && screen == 0) {
        command.push_back("--native-ctrls=socket,out," + std::to_string(options.rate) + "," + loopback + "," +
                          std::to_string(options.controlsPort) + ",udp");
    }
    if (options.screens > 1) {
        // The view's own offset: the current view's is overwritten when the view manager starts,
        // and the default one is what a view reset goes back to.
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.10g", headingOffset(options.screens, screen, options.screenAngle));
        command.push_back(std::string("--prop:/sim/view[0]/config/heading-offset-deg=") + offset);
        command.push_back(std::string("--prop:/sim/view[0]/config/default-heading-offset-deg=") + offset);
        // Side by side, left to right as the views turn from left to right: a named
        // window goes where its camera group says (no window manager needed).
        const std::string window = "--prop:/sim/rendering/camera-group/camera/window/";
        command.push_back("--geometry=" + std::to_string(options.screenWidth) + "x" + std::to_string(options.screenHeight));
        command.push_back(window + "name=" + windowName(screen));
        command.push_back(window + "x=" + std::to_string(screen * options.screenWidth));
        command.push_back(window + "y=0");
        command.push_back("--prop:/sim/rendering/camera-group/gui/window/name=" + windowName(screen));
    }
    command.insert(command.end(), options.extra.begin(), options.extra.end());
    for (const auto& [forScreen, option] : options.screenOptions) {
        if (forScreen == screen) {
            command.push_back(option);
        }
    }
    return command;
}

std::string windowName(unsigned screen)
{
    return "orvalink-screen-" + std::to_string(screen + 1);  // never "FlightGear", which FlightGear places itself
}

void startAt(Options& options, double latitudeRad, double longitudeRad, double altitudeM, double headingRad)
{
    constexpr double degreesPerRadian = 57.29577951308232;
    options.startAtFlight = true;
    options.latitudeDeg = latitudeRad * degreesPerRadian;
    options.longitudeDeg = longitudeRad * degreesPerRadian;
    options.altitudeFt = altitudeM / 0.3048;
    // FlightGear takes a heading from 0 to 360.
    const double heading = std::fmod(headingRad * degreesPerRadian, 360.0);
    options.headingDeg = heading < 0 ? heading + 360.0 : heading;
}

unsigned failedBindPort(std::string_view line)
{
    const std::size_t open = line.find("bind(");
    const std::size_t close = open == std::string_view::npos ? open : line.find(')', open);
    if (close == std::string_view::npos || line.substr(close + 1).find("failed") == std::string_view::npos) {
        return 0;
    }
    const std::string_view inside = line.substr(open + 5, close - open - 5);
    const std::string_view digits = inside.substr(inside.rfind(':') + 1);  // the whole of it without a host
    unsigned port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || port > 65535) {
            return 0;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    return digits.empty() || port > 65535 ? 0 : port;
}

bool opensPort(std::string_view option)
{
    static constexpr std::string_view portOptions[] = {
        "--telnet", "--httpd", "--props", "--generic", "--native", "--opengc", "--garmin", "--atlas", "--nmea",
        "--jsclient", "--joyclient", "--multiplay", "--pve", "--ray", "--rul", "--AV400", "--flarm", "--igc"};
    for (const std::string_view known : portOptions) {
        if (option.substr(0, known.size()) == known &&
            (option.size() == known.size() || option[known.size()] == '=' || option[known.size()] == '-')) {
            return true;
        }
    }
    return false;
}

std::string windowsCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        // Backslashes double only before a quote (and before the closing one).
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

std::string shownCommand(const std::vector<std::string>& arguments)
{
#if defined(_WIN32)
    return windowsCommandLine(arguments);
#else
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (!argument.empty() && argument.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                            "0123456789_./:=,+-@%") == std::string::npos) {
            line += argument;
            continue;
        }
        line += '\'';
        for (const char c : argument) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += '\'';
    }
    return line;
#endif
}

}  // namespace fly
