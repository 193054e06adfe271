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
#include "mex_host/second_host.h"

namespace second_host {
void PrintTo(Entry entry, std::ostream* out) { *out << (entry == Entry::mexFile ? "simulink.c" : "cg_sfun.h"); }
}  // namespace second_host

namespace {

using second_host::Block;
using second_host::Class;
using second_host::Entry;
using second_host::Parameter;
using test_support::Packet;

constexpr std::size_t timeOffset = 284;  // the packet's current-time word

std::vector<Parameter> parameters(const std::string& host, double port, double sampleTime = 0.05)
{
    std::vector<Parameter> list;
    list.push_back(Parameter::doubles({sampleTime}));
    list.push_back(Parameter::text(host));
    list.push_back(Parameter::doubles({port}));
    return list;
}

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

TEST_P(MexSource, registers_the_block_as_defined)
{
    Block block(GetParam(), parameters("127.0.0.1", 5500));
    const second_host::Registration r = block.registerBlock();
    EXPECT_EQ(r.name, "orvalink");
    EXPECT_EQ(r.level, 2);
    EXPECT_TRUE(r.startRegistered);
    EXPECT_EQ(r.errorStatus, "");
    EXPECT_EQ(r.numSFcnParams, 3);
    EXPECT_EQ(r.numContStates, 0);
    EXPECT_EQ(r.numDiscStates, 0);
    EXPECT_EQ(r.numInputPorts, 9);
    EXPECT_EQ(r.widths, (std::vector<int>{3, 3, 2, 7, 3, 1, 3, 3, 3}));
    EXPECT_EQ(r.directFeedThrough, std::vector<int>(9, 1));
    EXPECT_EQ(r.requiredContiguous, std::vector<int>(9, 1));
    EXPECT_EQ(r.numOutputPorts, 0);
    EXPECT_EQ(r.numSampleTimes, 1);
    EXPECT_EQ(r.numPWork, 2);
    EXPECT_EQ(r.numRWork, 0);
    EXPECT_EQ(r.numIWork, 0);
    EXPECT_EQ(r.numModes, 0);
    EXPECT_EQ(r.numNonsampledZCs, 0);
    EXPECT_EQ(r.options, 0u);

    EXPECT_EQ(block.initializeSampleTimes(), "");
    EXPECT_EQ(block.sampleTime(), 0.05);
    EXPECT_EQ(block.offsetTime(), 0.0);
}

TEST_P(MexSource, leaves_a_wrong_parameter_count_to_the_host)
{
    std::vector<Parameter> two = parameters("127.0.0.1", 5500);
    two.pop_back();
    Block block(GetParam(), std::move(two));
    const second_host::Registration r = block.registerBlock();
    EXPECT_EQ(r.numSFcnParams, 3);
    EXPECT_EQ(r.numInputPorts, -1);  // returned before declaring anything else
    EXPECT_EQ(r.errorStatus, "");
}

// Each class stores only its own bytes: reading a double from them would run
// past the data (the sanitizer build sees it).
TEST_P(MexSource, refuses_parameters_of_the_wrong_class)
{
    for (Class wrong : {Class::int8, Class::single, Class::logical}) {
        std::vector<Parameter> list = parameters("127.0.0.1", 5500);
        list[0] = Parameter::numbers(wrong, {1});
        Block block(GetParam(), std::move(list));
        block.registerBlock();
        EXPECT_EQ(block.initializeSampleTimes(), "SampleTime must hold at least one real number");
    }
    {
        std::vector<Parameter> list = parameters("127.0.0.1", 5500);
        list[0] = Parameter::text("0.05");
        Block block(GetParam(), std::move(list));
        block.registerBlock();
        EXPECT_EQ(block.initializeSampleTimes(), "SampleTime must hold at least one real number");
    }
    for (Class wrong : {Class::int32, Class::uint16, Class::single, Class::int8}) {
        std::vector<Parameter> list = parameters("127.0.0.1", 5500);
        list[2] = Parameter::numbers(wrong, {wrong == Class::int8 ? 100.0 : 5500.0});
        Block block(GetParam(), std::move(list));
        block.registerBlock();
        EXPECT_EQ(block.start(), "Could not connect to host !");
        EXPECT_EQ(block.outputs(), "");
        EXPECT_EQ(block.terminate(), "");
    }
    {
        std::vector<Parameter> list = parameters("127.0.0.1", 5500);
        list[1] = Parameter::doubles({127, 0, 0, 1});
        Block block(GetParam(), std::move(list));
        block.registerBlock();
        EXPECT_EQ(block.start(), "Could not connect to host !");
    }
    {
        std::vector<Parameter> list = parameters("127.0.0.1", 5500);
        list[2] = Parameter::doubles({});
        Block block(GetParam(), std::move(list));
        block.registerBlock();
        EXPECT_EQ(block.start(), "Could not connect to host !");
    }
}

TEST_P(MexSource, reports_a_host_that_does_not_resolve_and_sends_nothing)
{
    udp::Socket receiver = test_support::receiver();
    Block block(GetParam(), parameters("no-such-host.invalid", receiver.localPort()));
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
    Block block(GetParam(), parameters("127.0.0.1", receiver.localPort()));
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
    Block mex(GetParam(), parameters("127.0.0.1", mexReceiver.localPort()));
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

}  // namespace
