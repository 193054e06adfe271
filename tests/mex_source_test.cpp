// The one-file source that users build with mex, compiled against a second
// host laid out unlike ours, with both of its tails: it registers, samples,
// starts, steps and stops as the block does, and sends what the block's own
// build sends for the same inputs, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "block_harness.h"
#include "fdm_v24.h"
#include "mex_host/second_host.h"

namespace second_host {
void PrintTo(Entry entry, std::ostream* out)
{
    *out << (entry == Entry::generatedCode ? "cg_sfun.h" : entry == Entry::mexFile ? "simulink.c" : "simulink.c, older");
}
}  // namespace second_host

namespace {

using second_host::Block;
using second_host::Class;
using second_host::Entry;
using second_host::Parameter;
using test_support::Packet;

constexpr std::size_t timeOffset = 284;  // the packet's current-time word

using second_host::dialog;

// Every input element a distinct value with a full mantissa, so a swapped,
// shifted or truncated field shows.
double inputValue(int port, std::size_t element, int step)
{
    return std::ldexp(1.0 + 1.0 / 3.0, port - 4) * (1.0 + 0.01 * static_cast<double>(element)) + 0.125 * step;
}

std::uint32_t floatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

class MexSource : public testing::TestWithParam<Entry> {};

INSTANTIATE_TEST_SUITE_P(BothTails, MexSource, testing::Values(Entry::mexFile, Entry::generatedCode),
                         [](const testing::TestParamInfo<Entry>& tail) {
                             return tail.param == Entry::mexFile ? "mex_file" : "generated_code";
                         });

TEST_P(MexSource, registers_the_block_as_simulink_needs_it)
{
    const bool mexFile = GetParam() == Entry::mexFile;
    for (const bool withVersion : {false, true}) {
        second_host::clearExitFunction();
        std::vector<Parameter> list = dialog("127.0.0.1", 5500);
        if (withVersion) {
            list.push_back(Parameter::doubles({24}));
        }
        Block block(GetParam(), std::move(list));
        const second_host::Registration r = block.registerBlock();
        EXPECT_EQ(r.name, "orvalink");
        EXPECT_EQ(r.level, 2);
        EXPECT_TRUE(r.startRegistered);
        EXPECT_EQ(r.errorStatus, "");
        EXPECT_EQ(r.numSFcnParams, -1);  // three or four, counted by the block
        EXPECT_EQ(r.numContStates, 0);
        EXPECT_EQ(r.numDiscStates, 0);
        EXPECT_EQ(r.numInputPorts, 9);
        EXPECT_EQ(r.widths, (std::vector<int>{3, 3, 2, 7, 3, 1, 3, 3, 3}));
        EXPECT_EQ(r.directFeedThrough, std::vector<int>(9, 1));
        EXPECT_EQ(r.requiredContiguous, std::vector<int>(9, 1));
        EXPECT_EQ(r.numOutputPorts, 0);
        EXPECT_EQ(r.numSampleTimes, 1);
        EXPECT_EQ(r.numPWork, 2);
        EXPECT_EQ(r.numRWork + r.numIWork + r.numModes + r.numNonsampledZCs, 0);
        EXPECT_EQ(r.options, second_host::option::exceptionFreeCode | second_host::option::callTerminateOnExit |
                                 second_host::option::disallowConstantSampleTime);
        EXPECT_EQ(r.tunable, std::vector<int>(withVersion ? 4 : 3, 0)) << "no parameter is tunable";
        EXPECT_FALSE(r.tunableOutOfRange);
        EXPECT_EQ(r.operatingPoint, second_host::emptyOperatingPoint);
        EXPECT_EQ(r.runtimeThreadSafety, second_host::runtimeThreadSafe);
        // Only a MEX file checks its dialog and pairs the socket library's start at unload.
        EXPECT_EQ(r.checkParametersRegistered, mexFile);
        EXPECT_EQ(second_host::exitFunction() != nullptr, mexFile);

        EXPECT_EQ(block.initializeSampleTimes(), "");
        EXPECT_EQ(block.sampleTime(), 0.05);
        EXPECT_EQ(block.offsetTime(), 0.0);
    }
    if (mexFile) {
        second_host::exitFunction()();  // MATLAB clears the MEX file: the library stops
        second_host::clearExitFunction();
        udp::Socket receiver = test_support::receiver();
        Block again(GetParam(), dialog("127.0.0.1", receiver.localPort()));
        ASSERT_EQ(again.registerBlock().errorStatus, "");  // loaded again: started again
        ASSERT_EQ(again.start(), "");
        EXPECT_EQ(again.outputs(), "");
        EXPECT_EQ(test_support::receive(receiver).size(), 336u);
        EXPECT_NE(second_host::exitFunction(), nullptr);
    }
}

// Every form of SampleTime a Simulink user writes, in both tails; what is
// none of them is refused, naming the parameter and the value, when the
// block is defined (generated code checks again what MATLAB checked).
TEST_P(MexSource, takes_every_sample_time_form_and_refuses_the_rest)
{
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    struct Form {
        std::vector<double> given;
        double period, offset;
    };
    for (const Form& form : {Form{{0.05}, 0.05, 0.0}, Form{{0.1, 0.05}, 0.1, 0.05}, Form{{0.1, 0.0}, 0.1, 0.0},
                             Form{{0}, 0.0, 1.0}, Form{{-1}, -1.0, 1.0}}) {
        Block block(GetParam(), dialog("127.0.0.1", 5500, form.given));
        ASSERT_EQ(block.registerBlock().errorStatus, "");
        EXPECT_EQ(block.initializeSampleTimes(), "");
        EXPECT_EQ(block.sampleTime(), form.period) << testing::PrintToString(form.given);
        EXPECT_EQ(block.offsetTime(), form.offset) << testing::PrintToString(form.given);
    }
    const std::string rule = "SampleTime must be a period above 0, [period offset] with 0 <= offset < period, "
                             "0 (continuous) or -1 (inherited), not ";
    const std::pair<std::vector<double>, std::string> refused[] = {
        {{-2}, "-2"},           {{nan}, "NaN"},          {{inf}, "Inf"},          {{-inf}, "-Inf"},
        {{0.1, 0.1}, "[0.1 0.1]"}, {{0.1, -0.01}, "[0.1 -0.01]"}, {{0.1, nan}, "[0.1 NaN]"}, {{0, 0}, "[0 0]"},
        {{-1, 1}, "[-1 1]"},    {{0.1, 0, 0}, "[0.1 0 0]"}, {{1, 2, 3, 4, 5}, "[1 2 3 4 ...] (5 numbers)"},
        {{}, "[]"},
    };
    for (const auto& [given, shown] : refused) {
        Block block(GetParam(), dialog("127.0.0.1", 5500, given));
        EXPECT_EQ(block.registerBlock().errorStatus, rule + shown);
        if (!given.empty()) {
            EXPECT_EQ(block.initializeSampleTimes(), rule + shown);  // should a host ask all the same
        }
    }
}

// A MEX file refuses, before anything is declared, every parameter that
// generated code could not send with; the same sentence after an edit.
TEST(MexSourceDialog, refuses_each_wrong_parameter_with_one_sentence)
{
    auto with = [](int index, Parameter value) {
        std::vector<Parameter> list = dialog("127.0.0.1", 5500);
        if (index == 3) {
            list.push_back(std::move(value));
        } else {
            list[static_cast<std::size_t>(index)] = std::move(value);
        }
        return list;
    };
    const std::string port = "PortNumber must be a whole number from 1 to 65535, not ";
    const std::string version = "FdmVersion must be 17 (FlightGear 0.9.4) or 24 (FlightGear 0.9.10 and later), not ";
    const std::string host = "HostName must be ";
    struct Case {
        std::vector<Parameter> list;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back({with(2, Parameter::doubles({70000})), port + "70000"});
    cases.push_back({with(2, Parameter::doubles({0})), port + "0"});
    cases.push_back({with(2, Parameter::doubles({65536})), port + "65536"});
    cases.push_back({with(2, Parameter::doubles({5500.5})), port + "5500.5"});
    cases.push_back({with(2, Parameter::doubles({5500, 5501})), port + "[5500 5501]"});
    cases.push_back({with(2, Parameter::text("5500")), port + "'5500'"});
    cases.push_back({with(2, Parameter::text(std::string(32, '5'))), port + "'" + std::string(32, '5') + "'"});
    cases.push_back({with(2, Parameter::text(std::string(33, '5'))), port + "'" + std::string(32, '5') + "...'"});
    cases.push_back({with(2, Parameter::numbers(Class::int32, {5500})), port + "a value that is not real double"});
    cases.push_back({with(2, Parameter::numbers(Class::doubles, {5500}, true)), port + "a value that is not real double"});
    cases.push_back({with(1, Parameter::text("")), host + "a host name or IPv4 address, not ''"});
    cases.push_back({with(1, Parameter::doubles({127, 0, 0, 1})),
                     host + "the text of a host name or IPv4 address, not [127 0 0 1]"});
    cases.push_back({with(1, Parameter::text(std::string(256, 'a'))),
                     host + "at most 255 characters long, not 256 ('" + std::string(32, 'a') + "...')"});
    cases.push_back({with(3, Parameter::doubles({20})), version + "20"});
    cases.push_back({with(3, Parameter::doubles({})), version + "[]"});
    cases.push_back({with(3, Parameter::text("24")), version + "'24'"});
    cases.push_back({with(0, Parameter::numbers(Class::single, {0.05})),
                     "SampleTime must be a period above 0, [period offset] with 0 <= offset < period, "
                     "0 (continuous) or -1 (inherited), not a value that is not real double"});
    std::vector<Parameter> two = dialog("127.0.0.1", 5500);
    two.pop_back();
    cases.push_back({std::move(two), "orvalink takes 3 or 4 parameters (SampleTime, HostName, PortNumber and "
                                     "optionally FdmVersion), not 2"});
    std::vector<Parameter> five = with(3, Parameter::doubles({24}));
    five.push_back(Parameter::doubles({1}));
    cases.push_back({std::move(five), "orvalink takes 3 or 4 parameters (SampleTime, HostName, PortNumber and "
                                      "optionally FdmVersion), not 5"});

    for (Case& c : cases) {
        Block block(Entry::mexFile, std::move(c.list));
        const second_host::Registration r = block.registerBlock();
        EXPECT_EQ(r.errorStatus, c.message);
        EXPECT_EQ(r.numInputPorts, -1) << c.message;  // refused before declaring anything
        EXPECT_EQ(r.operatingPoint, 0) << c.message;
        EXPECT_EQ(std::count(r.tunable.begin(), r.tunable.end(), 0), 0) << c.message;
        EXPECT_EQ(block.checkParameters(), c.message);
    }  // the host terminates each: a block that declared nothing has nothing to free

    // The longest name a resolver takes is accepted whole.
    Block longest(Entry::mexFile, with(1, Parameter::text(std::string(255, 'a'))));
    EXPECT_EQ(longest.registerBlock().errorStatus, "");
    EXPECT_EQ(longest.checkParameters(), "");
    for (double accepted : {1.0, 65535.0}) {
        Block block(Entry::mexFile, with(2, Parameter::doubles({accepted})));
        EXPECT_EQ(block.registerBlock().errorStatus, "") << accepted;
    }
}

// As an older release compiles it: operating points by their SimState name,
// no thread-safety declaration; it runs as the current one does.
TEST(MexSourceOlderRelease, declares_its_operating_point_by_the_older_name)
{
    udp::Socket receiver = test_support::receiver();
    Block block(Entry::olderRelease, dialog("127.0.0.1", receiver.localPort()));
    const second_host::Registration r = block.registerBlock();
    EXPECT_EQ(r.errorStatus, "");
    EXPECT_EQ(r.operatingPoint, second_host::emptyOperatingPoint);
    EXPECT_EQ(r.runtimeThreadSafety, 0);
    EXPECT_EQ(r.tunable, std::vector<int>(3, 0));
    ASSERT_EQ(block.initializeSampleTimes(), "");
    ASSERT_EQ(block.start(), "");
    EXPECT_EQ(block.outputs(), "");
    EXPECT_EQ(test_support::receive(receiver).size(), 336u);
    EXPECT_EQ(block.terminate(), "");
}

// A host that refuses the port counts gets no more declarations.
TEST_P(MexSource, declares_nothing_more_once_the_host_refuses_a_port_count)
{
    for (const bool inputs : {true, false}) {
        second_host::clearExitFunction();
        Block block(GetParam(), dialog("127.0.0.1", 5500));
        block.refusePortCounts(inputs, !inputs);
        const second_host::Registration r = block.registerBlock();
        EXPECT_EQ(r.numPWork, 0);
        EXPECT_EQ(r.options, 0u);
        EXPECT_EQ(r.operatingPoint, 0);
        EXPECT_EQ(r.runtimeThreadSafety, 0);
        EXPECT_EQ(r.tunable, std::vector<int>(3, 1));
        EXPECT_EQ(second_host::exitFunction(), nullptr);
    }
}

// A solver's minor steps carry half-integrated states: a continuous block
// sends once per major step only.
TEST_P(MexSource, sends_in_major_steps_only)
{
    udp::Socket receiver = test_support::receiver();
    Block block(GetParam(), dialog("127.0.0.1", receiver.localPort(), {0}));
    block.registerBlock();
    ASSERT_EQ(block.initializeSampleTimes(), "");
    ASSERT_EQ(block.start(), "");
    for (int step = 0; step < 2; ++step) {
        block.input(5)[0] = step;
        EXPECT_EQ(block.outputs(), "");
        block.setMinorStep(true);
        for (int minor = 0; minor < 3; ++minor) {
            block.input(5)[0] = step + 0.25 * (minor + 1);
            EXPECT_EQ(block.outputs(), "");
        }
        block.setMinorStep(false);
    }
    for (int step = 0; step < 2; ++step) {
        const Packet packet = test_support::receive(receiver);
        ASSERT_EQ(packet.size(), 336u);
        EXPECT_EQ(test_support::be32(packet, 32), floatBits(static_cast<float>(step)));
    }
    EXPECT_TRUE(test_support::receive(receiver, 100).empty());
}

// A failed start leaves the cells for terminate, and a refused dialog leaves
// none; the host calls terminate for both (the sanitizer build sees a leak).
TEST_P(MexSource, terminate_frees_what_a_failed_start_left)
{
    Block failed(GetParam(), dialog("no-such-host.invalid", 5500));
    ASSERT_EQ(failed.registerBlock().errorStatus, "");
    EXPECT_EQ(failed.start(), "Could not connect to host !");
    EXPECT_NE(failed.workSlot(1), nullptr);
    EXPECT_EQ(failed.terminate(), "");
    EXPECT_EQ(failed.workSlot(0), nullptr);
    EXPECT_EQ(failed.workSlot(1), nullptr);

    Block unstarted(GetParam(), dialog("no-such-host.invalid", 5500));
    ASSERT_EQ(unstarted.registerBlock().errorStatus, "");
    EXPECT_EQ(unstarted.terminate(), "");  // slots never filled
    EXPECT_EQ(unstarted.workSlot(0), nullptr);
}

TEST_P(MexSource, reports_a_host_that_does_not_resolve_and_sends_nothing)
{
    udp::Socket receiver = test_support::receiver();
    Block block(GetParam(), dialog("no-such-host.invalid", receiver.localPort()));
    block.registerBlock();
    EXPECT_EQ(block.start(), "Could not connect to host !");
    ASSERT_NE(block.workSlot(1), nullptr);  // the packet buffer is there, the socket is not
    EXPECT_EQ(block.outputs(), "");
    EXPECT_TRUE(test_support::receive(receiver, 200).empty());
    EXPECT_EQ(block.terminate(), "");
    EXPECT_EQ(block.workSlot(0), nullptr);
    EXPECT_EQ(block.workSlot(1), nullptr);
}

TEST_P(MexSource, steps_stops_and_starts_again)
{
    udp::Socket receiver = test_support::receiver();
    Block block(GetParam(), dialog("127.0.0.1", receiver.localPort()));
    block.registerBlock();
    ASSERT_EQ(block.initializeSampleTimes(), "");
    EXPECT_EQ(block.outputs(), "");  // before mdlStart: nothing of the block's to send
    EXPECT_TRUE(test_support::receive(receiver, 100).empty());

    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(block.start(), "") << "run " << run;
        for (int step = 0; step < 3; ++step) {
            block.input(5)[0] = 100.0 * run + step;
            EXPECT_EQ(block.outputs(), "");
            const Packet packet = test_support::receive(receiver);
            ASSERT_EQ(packet.size(), 336u);
            EXPECT_EQ(test_support::be32(packet, 0), 17u);
            EXPECT_EQ(test_support::be32(packet, 32), floatBits(static_cast<float>(100.0 * run + step)));
        }
        EXPECT_EQ(block.terminate(), "");
        EXPECT_EQ(block.workSlot(0), nullptr);
        EXPECT_EQ(block.workSlot(1), nullptr);
        EXPECT_EQ(block.outputs(), "");  // after mdlTerminate: nothing is sent
        EXPECT_TRUE(test_support::receive(receiver, 100).empty());
    }
}

// The same inputs through the block's own build (loaded by the emulated
// host) and through the one-file source: the same datagrams, but for the
// clock word, which each reads itself.
TEST_P(MexSource, sends_what_the_blocks_own_build_sends)
{
    udp::Socket ownReceiver = test_support::receiver();
    udp::Socket mexReceiver = test_support::receiver();
    MexFunctionPtr entry = test_support::loadedEntry();
    ASSERT_NE(entry, nullptr);
    auto own = test_support::registeredBlock(entry, test_support::parameters("127.0.0.1", ownReceiver.localPort()));
    Block mex(GetParam(), dialog("127.0.0.1", mexReceiver.localPort()));
    mex.registerBlock();
    ASSERT_EQ(mex.initializeSampleTimes(), "");
    ASSERT_EQ(own->start(), "");
    ASSERT_EQ(mex.start(), "");

    for (int step = 0; step < 4; ++step) {
        for (int port = 0; port < 9; ++port) {
            std::span<double> ownInput = own->input(port);
            std::vector<double>& mexInput = mex.input(port);
            ASSERT_EQ(ownInput.size(), mexInput.size());
            for (std::size_t element = 0; element < mexInput.size(); ++element) {
                ownInput[element] = mexInput[element] = inputValue(port, element, step);
            }
        }
        own->input(4)[0] = mex.input(4)[0] = step % 2 == 0 ? 1.0 : -1.0;  // the engine on, then off
        const auto before = static_cast<std::uint32_t>(std::time(nullptr));
        ASSERT_EQ(own->outputs(), "");
        ASSERT_EQ(mex.outputs(), "");
        const auto after = static_cast<std::uint32_t>(std::time(nullptr));
        Packet ownPacket = test_support::receive(ownReceiver);
        Packet mexPacket = test_support::receive(mexReceiver);
        ASSERT_EQ(mexPacket.size(), 336u);
        for (const Packet* packet : {&ownPacket, &mexPacket}) {
            EXPECT_GE(test_support::be32(*packet, timeOffset), before);
            EXPECT_LE(test_support::be32(*packet, timeOffset), after);
        }
        std::fill_n(ownPacket.begin() + timeOffset, 4, 0);
        std::fill_n(mexPacket.begin() + timeOffset, 4, 0);
        EXPECT_EQ(mexPacket, ownPacket) << "step " << step;
    }
    EXPECT_EQ(own->terminate(), "");
    EXPECT_EQ(mex.terminate(), "");
}

// FdmVersion 24: each step sends what the relay makes of the version-17
// packet of the same inputs; 17, or no fourth parameter, the block's own.
// A position or attitude that is not finite is not sent in version 24.
TEST_P(MexSource, sends_the_version_its_fourth_parameter_names)
{
    udp::Socket ownReceiver = test_support::receiver();
    MexFunctionPtr entry = test_support::loadedEntry();
    ASSERT_NE(entry, nullptr);
    auto own = test_support::registeredBlock(entry, test_support::parameters("127.0.0.1", ownReceiver.localPort()));
    ASSERT_EQ(own->start(), "");
    for (const double version : {17.0, 24.0}) {
        udp::Socket receiver = test_support::receiver();
        std::vector<Parameter> list = dialog("127.0.0.1", receiver.localPort());
        list.push_back(Parameter::doubles({version}));
        Block mex(GetParam(), std::move(list));
        ASSERT_EQ(mex.registerBlock().errorStatus, "");
        ASSERT_EQ(mex.initializeSampleTimes(), "");
        ASSERT_EQ(mex.start(), "");
        const std::size_t size = version == 24 ? 408 : 336;
        for (int step = 0; step < 3; ++step) {
            for (int port = 0; port < 9; ++port) {
                for (std::size_t element = 0; element < mex.input(port).size(); ++element) {
                    own->input(port)[element] = mex.input(port)[element] = inputValue(port, element, step);
                }
            }
            ASSERT_EQ(own->outputs(), "");
            ASSERT_EQ(mex.outputs(), "");
            Packet expected = test_support::receive(ownReceiver);
            ASSERT_EQ(expected.size(), 336u);
            if (version == 24) {
                Packet translated(408);
                fdm24::translate17to24(expected.data(), translated.data());
                expected = translated;
            }
            Packet sent = test_support::receive(receiver);
            ASSERT_EQ(sent.size(), size);
            const std::size_t clock = version == 24 ? fdm24::offset::currentTime : timeOffset;
            EXPECT_LE(test_support::be32(expected, clock) - test_support::be32(sent, clock) + 1, 2u);
            std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(clock), 4, 0);
            std::fill_n(sent.begin() + static_cast<std::ptrdiff_t>(clock), 4, 0);
            EXPECT_EQ(sent, expected) << "version " << version << ", step " << step;
        }
        // Each non-finite position and attitude element in turn: version 24 sends nothing.
        const std::pair<int, std::size_t> elements[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}};
        for (const auto& [port, element] : elements) {
            const double kept = mex.input(port)[element];
            mex.input(port)[element] = element % 2 == 0 ? std::nan("") : -HUGE_VAL;
            EXPECT_EQ(mex.outputs(), "");
            EXPECT_EQ(test_support::receive(receiver, version == 24 ? 100 : 2000).size(), version == 24 ? 0u : 336u)
                << "port " << port << " element " << element;
            mex.input(port)[element] = kept;
        }
        EXPECT_EQ(mex.outputs(), "");
        EXPECT_EQ(test_support::receive(receiver).size(), size);
        EXPECT_EQ(mex.terminate(), "");
    }
    EXPECT_EQ(own->terminate(), "");
}

}  // namespace
