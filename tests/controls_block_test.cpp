// The controls block's one-file source, compiled against the second host
// with both of its tails: it registers as Simulink needs it, refuses a
// wrong dialog in one sentence, listens, holds the last good datagram and
// counts the rest, and closes what it opened, also after a failed start.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "controls_encode.h"
#include "mex_host/second_host.h"
#include "udp_socket.h"

namespace second_host {
void PrintTo(Entry entry, std::ostream* out) { *out << (entry == Entry::controlsMexFile ? "simulink.c" : "cg_sfun.h"); }
}  // namespace second_host

namespace {

using second_host::Block;
using second_host::Entry;
using second_host::Parameter;

using second_host::dialog;

// A port nothing holds now: the system's pick for a socket closed at once.
std::uint16_t freePort()
{
    std::string error;
    auto probe = udp::Socket::bound(udp::Endpoint{"127.0.0.1", 0}, error);
    return probe ? probe->localPort() : 0;
}

// Every control a distinct value, `step` apart from one datagram to the next.
ctrls27::Controls controlsFor(double step)
{
    ctrls27::Controls c{};
    for (int i = 0; i < ctrls27::NUM_FLIGHT_CONTROLS; ++i) {
        c.flight[i] = -0.5 + 0.0625 * i + step;
    }
    for (int i = 0; i < ctrls27::maxEngines; ++i) {
        c.throttle[i] = 0.1 * (i + 1) + step;
        c.mixture[i] = 0.2 * (i + 1) + step;
        c.propeller[i] = 0.05 * (i + 1) + step;
    }
    c.gear[ctrls27::BRAKE_LEFT] = 0.25 + step;
    c.gear[ctrls27::BRAKE_RIGHT] = 0.5 + step;
    c.gear[ctrls27::BRAKE_PARKING] = 1.0;
    c.gear[ctrls27::GEAR_HANDLE] = 1.0;
    return c;
}

std::vector<std::uint8_t> datagramFor(double step)
{
    std::vector<std::uint8_t> bytes(ctrls27::packetSize);
    ctrls27::encode(bytes.data(), controlsFor(step));
    return bytes;
}

class ControlsBlock : public testing::TestWithParam<Entry> {
protected:
    void SetUp() override { udp::startSockets(); }

    std::unique_ptr<Block> started(std::uint16_t port)
    {
        auto block = std::make_unique<Block>(GetParam(), dialog("127.0.0.1", port));
        EXPECT_EQ(block->registerBlock().errorStatus, "");
        EXPECT_EQ(block->initializeSampleTimes(), "");
        EXPECT_EQ(block->start(), "");
        return block;
    }

    // Steps until `taken` datagrams are counted (loopback delivery is quick
    // but not promised to be instant), at most two seconds.
    static void stepUntil(Block& block, double takenAndRefused)
    {
        for (int i = 0; i < 400; ++i) {
            EXPECT_EQ(block.outputs(), "");
            const auto& status = block.output(3);
            if (status[0] + status[1] >= takenAndRefused) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

INSTANTIATE_TEST_SUITE_P(BothTails, ControlsBlock, testing::Values(Entry::controlsMexFile, Entry::controlsGeneratedCode),
                         [](const testing::TestParamInfo<Entry>& tail) {
                             return tail.param == Entry::controlsMexFile ? "mex_file" : "generated_code";
                         });

TEST_P(ControlsBlock, registers_four_output_ports_and_no_inputs)
{
    Block block(GetParam(), dialog("127.0.0.1", 5501));
    const second_host::Registration r = block.registerBlock();
    EXPECT_EQ(r.name, "orvalink_controls");
    EXPECT_EQ(r.level, 2);
    EXPECT_TRUE(r.startRegistered);
    EXPECT_EQ(r.errorStatus, "");
    EXPECT_EQ(r.numSFcnParams, 3);
    EXPECT_EQ(r.numInputPorts, 0);
    EXPECT_EQ(r.outputWidths, (std::vector<int>{9, 12, 4, 3}));
    EXPECT_EQ(r.numSampleTimes, 1);
    EXPECT_EQ(r.numPWork, 1);
    EXPECT_EQ(r.numContStates + r.numDiscStates + r.numRWork + r.numIWork + r.numModes + r.numNonsampledZCs, 0);
    EXPECT_EQ(r.options, second_host::option::exceptionFreeCode | second_host::option::callTerminateOnExit |
                             second_host::option::disallowConstantSampleTime);
    EXPECT_EQ(r.tunable, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(r.operatingPoint, second_host::emptyOperatingPoint);
    EXPECT_EQ(r.checkParametersRegistered, GetParam() == Entry::controlsMexFile);
    EXPECT_EQ(block.initializeSampleTimes(), "");
    EXPECT_EQ(block.sampleTime(), 0.05);
}

TEST_P(ControlsBlock, refuses_a_wrong_dialog_in_one_sentence)
{
    struct Case {
        std::vector<double> sampleTime;
        std::string host;
        double port;
        const char* status;
    };
    const Case cases[] = {
        {{-2}, "127.0.0.1", 5501,
         "SampleTime must be a period above 0, [period offset] with 0 <= offset < period, 0 (continuous) or -1 "
         "(inherited), not -2"},
        {{0.05}, "127.0.0.1", 0, "PortNumber must be a whole number from 1 to 65535, not 0"},
        {{0.05}, "127.0.0.1", 65536, "PortNumber must be a whole number from 1 to 65535, not 65536"},
        {{0.05}, "127.0.0.1", 5501.5, "PortNumber must be a whole number from 1 to 65535, not 5501.5"},
    };
    for (const Case& c : cases) {
        Block block(GetParam(), dialog(c.host, c.port, c.sampleTime));
        EXPECT_EQ(block.registerBlock().errorStatus, c.status);
    }
    // Generated code stores text as character codes: an empty name is [] there.
    Block empty(GetParam(), dialog("", 5501));
    EXPECT_EQ(empty.registerBlock().errorStatus, std::string("HostName must be a host name or IPv4 address, not ") +
                                                     (GetParam() == Entry::controlsMexFile ? "''" : "[]"));
    if (GetParam() == Entry::controlsMexFile) {
        std::vector<Parameter> four = dialog("127.0.0.1", 5501);
        four.push_back(Parameter::doubles({24}));
        Block block(GetParam(), std::move(four));
        EXPECT_EQ(block.checkParameters(),
                  "orvalink_controls takes 3 parameters (SampleTime, HostName, PortNumber), not 4");
        std::vector<Parameter> numbers;
        numbers.push_back(Parameter::doubles({0.05}));
        numbers.push_back(Parameter::doubles({1}));
        numbers.push_back(Parameter::doubles({5501}));
        Block text(GetParam(), std::move(numbers));
        EXPECT_EQ(text.checkParameters(), "HostName must be the text of a host name or IPv4 address, not 1");
    }
}

TEST_P(ControlsBlock, holds_the_last_good_datagram_and_counts_the_rest)
{
    const std::uint16_t port = freePort();
    auto block = started(port);

    EXPECT_EQ(block->outputs(), "");  // nothing yet: zeros, and no age
    EXPECT_EQ(block->output(0), std::vector<double>(9, 0.0));
    EXPECT_EQ(block->output(1), std::vector<double>(12, 0.0));
    EXPECT_EQ(block->output(2), std::vector<double>(4, 0.0));
    EXPECT_EQ(block->output(3), (std::vector<double>{0, 0, -1}));

    std::string error;
    auto sender = udp::Socket::connected(udp::Endpoint{"127.0.0.1", port}, error);
    ASSERT_TRUE(sender) << error;
    for (double step : {0.0, 0.25}) {
        sender->send(datagramFor(step));
    }
    // Refused, each after the last good one: cut short, one byte long, the
    // 4-byte-aligned size, another version, and none may change the values.
    std::vector<std::uint8_t> good = datagramFor(0.5);
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    std::vector<std::uint8_t> wrongVersion = good;
    wrongVersion[3] = 26;
    const std::vector<std::vector<std::uint8_t>> refused{
        std::vector<std::uint8_t>(good.begin(), good.end() - 1), longer, std::vector<std::uint8_t>(732, 0), wrongVersion,
        std::vector<std::uint8_t>(2000, 0)};
    for (const auto& datagram : refused) {
        sender->send(datagram);
    }
    const double refusedCount = static_cast<double>(refused.size());
    stepUntil(*block, 2 + refusedCount);

    const ctrls27::Controls last = controlsFor(0.25);
    EXPECT_EQ(block->output(0), std::vector<double>(last.flight, last.flight + 9));
    std::vector<double> engines(last.throttle, last.throttle + 4);
    engines.insert(engines.end(), last.mixture, last.mixture + 4);
    engines.insert(engines.end(), last.propeller, last.propeller + 4);
    EXPECT_EQ(block->output(1), engines);
    EXPECT_EQ(block->output(2), (std::vector<double>{0.5, 0.75, 1.0, 1.0}));
    EXPECT_EQ(block->output(3)[0], 2.0);
    EXPECT_EQ(block->output(3)[1], refusedCount);
    EXPECT_GE(block->output(3)[2], 0.0);
    EXPECT_LT(block->output(3)[2], 5.0);

    // Minor steps take nothing; the next major step does, and the age restarts.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(block->outputs(), "");
    const double age = block->output(3)[2];
    EXPECT_GE(age, 0.025);
    sender->send(good);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    block->setMinorStep(true);
    EXPECT_EQ(block->outputs(), "");
    EXPECT_EQ(block->output(3)[0], 2.0);
    block->setMinorStep(false);
    stepUntil(*block, 3 + refusedCount);
    EXPECT_EQ(block->output(3)[0], 3.0);
    EXPECT_LT(block->output(3)[2], age);
    EXPECT_EQ(block->output(0)[0], controlsFor(0.5).flight[0]);
    EXPECT_EQ(block->terminate(), "");
}

TEST_P(ControlsBlock, a_burst_is_taken_in_one_step_and_the_last_datagram_wins)
{
    const std::uint16_t port = freePort();
    auto block = started(port);
    std::string error;
    auto sender = udp::Socket::connected(udp::Endpoint{"127.0.0.1", port}, error);
    ASSERT_TRUE(sender) << error;
    // More than one receive takes at a time, with refused ones among them.
    constexpr int burst = 40;
    for (int i = 0; i < burst; ++i) {
        sender->send(i % 10 == 9 ? std::vector<std::uint8_t>(100, 0) : datagramFor(0.01 * i));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // loopback delivers them all meanwhile
    EXPECT_EQ(block->outputs(), "");  // one step
    EXPECT_EQ(block->output(3)[0], 36.0);
    EXPECT_EQ(block->output(3)[1], 4.0);
    EXPECT_EQ(block->output(0)[0], controlsFor(0.01 * 38).flight[0]);
    EXPECT_EQ(block->terminate(), "");
}

TEST_P(ControlsBlock, a_start_that_cannot_listen_names_the_port_and_terminate_cleans_up)
{
    const std::uint16_t port = freePort();
    std::string error;
    auto holder = udp::Socket::bound(udp::Endpoint{"127.0.0.1", port}, error);
    ASSERT_TRUE(holder) << error;
    const std::string at = "127.0.0.1 port " + std::to_string(port);
    {
        Block block(GetParam(), dialog("127.0.0.1", port));
        ASSERT_EQ(block.registerBlock().errorStatus, "");
        EXPECT_EQ(block.start(), "Could not listen on " + at + ": the port is taken by another program");
        EXPECT_EQ(block.outputs(), "");  // no socket: nothing taken, zeros
        EXPECT_EQ(block.output(3), (std::vector<double>{0, 0, -1}));
        EXPECT_NE(block.workSlot(0), nullptr);
        EXPECT_EQ(block.terminate(), "");
        EXPECT_EQ(block.workSlot(0), nullptr);
    }
    const std::string longName(40, 'x');
    Block unknown(GetParam(), dialog(longName + ".invalid", port));
    ASSERT_EQ(unknown.registerBlock().errorStatus, "");
    EXPECT_EQ(unknown.start(), "Could not listen on " + std::string(32, 'x') + "... port " + std::to_string(port) +
                                   ": the address is not known");
#if !defined(_WIN32)
    // A documentation address, no one's here. (Wine binds any address, where
    // Windows refuses one not its own with WSAEADDRNOTAVAIL: POSIX only.)
    const std::uint16_t other = freePort();
    Block foreign(GetParam(), dialog("192.0.2.1", other));
    ASSERT_EQ(foreign.registerBlock().errorStatus, "");
    EXPECT_EQ(foreign.start(), "Could not listen on 192.0.2.1 port " + std::to_string(other) +
                                   ": the address is not one of this computer's");
#endif

    // Once the holder lets go, a new start takes the port; a second start
    // without a terminate closes the first socket rather than failing on it.
    holder.reset();
    auto block = started(port);
    EXPECT_EQ(block->start(), "");
    EXPECT_EQ(block->terminate(), "");
}

}  // namespace
