// The command lines orvalink-fly runs: fdm-relay, and one FlightGear a screen.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fly {

struct Options {
    unsigned blockPort = 5500;
    unsigned fgPort = 5501;  // the first FlightGear's, when the relay runs
    unsigned rate = 30;
    unsigned screens = 1;
    double screenAngle = 45;
    std::string airport = "PHNL";
    std::string aircraft = "ufo";
    std::string timeofday = "noon";
    unsigned screenWidth = 1024;  // each window's size with several screens, laid side by side
    unsigned screenHeight = 768;
    std::vector<std::string> extra;  // FlightGear options given after --, for every FlightGear
    std::vector<std::pair<unsigned, std::string>> screenOptions;  // (screen from 0, option) for one FlightGear
    bool startAtFlight = false;  // at the place below instead of the airport
    double latitudeDeg = 0, longitudeDeg = 0, altitudeFt = 0, headingDeg = 0;
    std::vector<unsigned> propsPorts;  // each FlightGear's property server, by screen; none where missing
    unsigned controlsPort = 0;  // where the first FlightGear sends its controls (--native-ctrls), 0 for nowhere
};

// Screen `screen`'s window name: FlightGear places a named window where it is told.
std::string windowName(unsigned screen);

// Where a flight table's first row puts the aircraft, from its radians and metres.
void startAt(Options& options, double latitudeRad, double longitudeRad, double altitudeM, double headingRad);

// Whether a FlightGear option opens a port of its own (--telnet=5401,
// --httpd, --props, --generic=socket,..., --native-ctrls, ...): given to
// several FlightGears on one machine, they would clash.
bool opensPort(std::string_view option);

// The port of a failed bind that a FlightGear log line reports
// ("bind(127.0.0.1:5611) failed"), or 0 when the line reports none.
unsigned failedBindPort(std::string_view line);

constexpr const char* loopback = "127.0.0.1";

// FlightGear's --timeofday values.
bool isTimeOfDay(std::string_view value);

// The view of screen `screen` of `screens`, spread around straight ahead:
// with 3 screens and 45 degrees, 45, 0 and -45 (left, ahead, right).
double headingOffset(unsigned screens, unsigned screen, double angle);

std::vector<std::string> relayCommand(const std::string& relay, const Options& options);
// FlightGear reading `port`; with several screens, screen `screen`'s view.
std::vector<std::string> flightGearCommand(const std::string& fgfs, const Options& options, unsigned port,
                                           unsigned screen);

// Windows' command line for `arguments`, quoted as the C runtime splits it again.
std::string windowsCommandLine(const std::vector<std::string>& arguments);
// A command line for people to read (and paste): the platform's quoting where needed.
std::string shownCommand(const std::vector<std::string>& arguments);

}  // namespace fly
