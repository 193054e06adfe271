// The launcher's decisions: which release reads what, and the command lines it builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "command_lines.h"
#include "property_server.h"
#include "release.h"

namespace {

fly::Route routeOf(const std::string& number)
{
    const std::string output = "FlightGear version: " + number + "\n";
    const std::optional<fly::Release> release = fly::findRelease(output);
    EXPECT_TRUE(release.has_value()) << output;
    return release ? fly::routeFor(*release).route : fly::Route::refuse;
}

TEST(Release, FoundAfterTheNameFlightGearOnly)
{
    const char* full = "OSG version: 3.6.5\nFlightGear version: 2020.3.16\nRevision: 0\nSimGear version: 2020.3.16\n";
    ASSERT_TRUE(fly::findRelease(full));
    EXPECT_EQ(fly::findRelease(full)->text, "2020.3.16");
    EXPECT_EQ(fly::findRelease("FlightGear version: 2.0.0\n")->text, "2.0.0");
    EXPECT_EQ(fly::findRelease("   0.00 [INFO]:general    FlightGear:  Version 2020.3.16\n")->text, "2020.3.16");
    EXPECT_FALSE(fly::findRelease("0.9.4"));  // no line names FlightGear
    EXPECT_FALSE(fly::findRelease("   0.00 [ALRT]:general    Unable to open display \":0\"\n"));
    EXPECT_EQ(fly::findRelease("FlightGear 2018.3\n")->major, 2018);
    EXPECT_EQ(fly::findRelease("FlightGear 2018.3\n")->minor, 3);
    EXPECT_FALSE(fly::findRelease("FlightGear version: unknown\n"));
    EXPECT_FALSE(fly::findRelease("cannot open display: :0\n"));
    EXPECT_FALSE(fly::findRelease("build 7 of 9999999.1"));  // numbers too long to be a release
}

TEST(Release, OnlyTheOneReleaseThatReadsVersion17GoesDirect)
{
    EXPECT_EQ(routeOf("0.9.4"), fly::Route::direct);
    for (const char* reads24 : {"0.9.10", "1.0.0", "2.0.0", "3.4.0", "2016.1.1", "2018.3.6", "2019.1.2", "2020.2.1",
                                "2020.3.16", "2024.1.1"}) {
        EXPECT_EQ(routeOf(reads24), fly::Route::relay) << reads24;
    }
    for (const char* refused : {"0.9.5", "0.9.9", "0.9.3", "0.8.0"}) {
        EXPECT_EQ(routeOf(refused), fly::Route::refuse) << refused;
    }
    EXPECT_EQ(fly::routeFor(*fly::findRelease("FlightGear 0.9.7")).reason, "reads a packet version from 18 to 23");
}

TEST(CommandLines, FailedBindsAreFoundInFlightGearsLog)
{
    EXPECT_EQ(fly::failedBindPort("   0.31 [ALRT]:io    bind(127.0.0.1:5611) failed"), 5611u);
    EXPECT_EQ(fly::failedBindPort("bind(5501) failed: Address already in use"), 5501u);
    for (const char* line : {"bind(127.0.0.1:5611) succeeded", "   0.31 [INFO]:io    opening socket", "bind(x:) failed",
                             "bind(127.0.0.1:99999) failed", "bind(127.0.0.1:56a1) failed", "failed bind(1"}) {
        EXPECT_EQ(fly::failedBindPort(line), 0u) << line;
    }
}

TEST(CommandLines, OptionsThatOpenAPortAreKnown)
{
    for (const char* option : {"--telnet=5401", "--httpd=8080", "--props=5400", "--generic=socket,out,10,,5555,udp,x",
                               "--native-ctrls=socket,in,10,,5600,udp", "--native-fdm=socket,in,30,,5501,udp",
                               "--multiplay=out,10,host,5000", "--telnet"}) {
        EXPECT_TRUE(fly::opensPort(option)) << option;
    }
    for (const char* option : {"--enable-fullscreen", "--timeofday=noon", "--telnetx", "--prop:/sim/x=1"}) {
        EXPECT_FALSE(fly::opensPort(option)) << option;
    }
}

TEST(CommandLines, ScreensSpreadAroundAheadWithoutRounding)
{
    EXPECT_DOUBLE_EQ(fly::headingOffset(2, 0, 45), 22.5);
    EXPECT_DOUBLE_EQ(fly::headingOffset(2, 1, 45), -22.5);
    EXPECT_DOUBLE_EQ(fly::headingOffset(3, 0, 45), 45);
    EXPECT_DOUBLE_EQ(fly::headingOffset(3, 2, 45), -45);
    EXPECT_FALSE(std::signbit(fly::headingOffset(3, 1, 45)));
    fly::Options options;
    options.screens = 2;
    options.screenWidth = 800;
    options.extra = {"--enable-fullscreen"};
    options.screenOptions = {{1, "--httpd=8080"}, {0, "--telnet=5401"}};
    options.propsPorts = {5400, 5401};
    options.controlsPort = 5600;
    const std::vector<std::string> command = fly::flightGearCommand("fgfs", options, 5502, 1);
    EXPECT_EQ(command[2], "--native-fdm=socket,in,30,127.0.0.1,5502,udp");
    const std::vector<std::string> tail(command.end() - 10, command.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"--props=5401",
                                              "--prop:/sim/view[0]/config/heading-offset-deg=-22.5",
                                              "--prop:/sim/view[0]/config/default-heading-offset-deg=-22.5",
                                              "--geometry=800x768",
                                              "--prop:/sim/rendering/camera-group/camera/window/name=orvalink-screen-2",
                                              "--prop:/sim/rendering/camera-group/camera/window/x=800",
                                              "--prop:/sim/rendering/camera-group/camera/window/y=0",
                                              "--prop:/sim/rendering/camera-group/gui/window/name=orvalink-screen-2",
                                              "--enable-fullscreen", "--httpd=8080"}));
    // The controls go out from the first FlightGear only.
    const std::vector<std::string> first = fly::flightGearCommand("fgfs", options, 5501, 0);
    EXPECT_EQ(std::count(first.begin(), first.end(), "--native-ctrls=socket,out,30,127.0.0.1,5600,udp"), 1);
    EXPECT_EQ(std::count_if(command.begin(), command.end(),
                            [](const std::string& a) { return a.rfind("--native-ctrls", 0) == 0; }),
              0);
    options.screens = 1;
    for (const std::string& argument : fly::flightGearCommand("fgfs", options, 5501, 0)) {
        EXPECT_EQ(argument.find("heading-offset"), std::string::npos);
        EXPECT_EQ(argument.find("--geometry"), std::string::npos);
    }
    options.screens = 3;
    options.fgPort = 6000;
    EXPECT_EQ(fly::relayCommand("fdm-relay", options),
              (std::vector<std::string>{"fdm-relay", "--listen", "127.0.0.1:5500", "--quiet", "--to", "127.0.0.1:6000",
                                        "--to", "127.0.0.1:6001", "--to", "127.0.0.1:6002"}));
}

TEST(PropertyServer, ReadyOnceTheSceneryLoadedAndTheSplashIsGone)
{
    const std::string loaded = "/sim/sceneryloaded = 'true' (bool)\r\n/> ";
    const std::string loading = "/sim/sceneryloaded = 'false' (bool)\r\n/> ";
    struct Case {
        std::string reply;
        bool ready;
    };
    const Case cases[] = {
        {loaded + "/sim/startup/splash-alpha = '0' (double)\r\n/> ", true},
        {loaded + "/sim/startup/splash-alpha = '-0.02' (double)\r\n/> ", true},
        {loaded + "/sim/startup/splash-alpha = '' (none)\r\n/> ", true},  // a release without a splash
        {loaded + "/sim/startup/splash-alpha = '0.35' (double)\r\n/> ", false},
        {loaded + "/sim/startup/splash-alpha = '1' (double)\r\n/> ", false},
        {loaded + "/sim/startup/splash-alpha = '0x' (double)\r\n/> ", false},
        {loaded, false},  // the second answer not yet here
        {loaded + "/sim/startup/splash-alpha = '0", false},
        {loading + "/sim/startup/splash-alpha = '0' (double)\r\n/> ", false},
        {"/sim/startup/splash-alpha = '0' (double)\r\n/> ", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(props::readyInReply(c.reply), c.ready) << c.reply;
    }
}

TEST(CommandLines, TimeOfDayIsOneOfFlightGearsValues)
{
    for (const char* known : {"real", "dawn", "morning", "noon", "afternoon", "dusk", "evening", "midnight"}) {
        EXPECT_TRUE(fly::isTimeOfDay(known));
    }
    for (const char* unknown : {"", "Noon", "night", "noon "}) {
        EXPECT_FALSE(fly::isTimeOfDay(unknown));
    }
}

// As the C runtime splits a command line again (CommandLineToArgvW's rules).
TEST(CommandLines, WindowsQuotingSurvivesBlanksQuotesAndBackslashes)
{
    EXPECT_EQ(fly::windowsCommandLine({"C:\\Program Files (x86)\\FlightGear\\bin\\fgfs.exe", "--fdm=null"}),
              "\"C:\\Program Files (x86)\\FlightGear\\bin\\fgfs.exe\" --fdm=null");
    EXPECT_EQ(fly::windowsCommandLine({"a\\b", ""}), "a\\b \"\"");
    EXPECT_EQ(fly::windowsCommandLine({"say \"hi\""}), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(fly::windowsCommandLine({"C:\\my folder\\"}), "\"C:\\my folder\\\\\"");
    EXPECT_EQ(fly::windowsCommandLine({"a\\\\\"b"}), "\"a\\\\\\\\\\\"b\"");
}

}  // namespace
