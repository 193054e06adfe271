// The link as a receiver on loopback sees it: one connected datagram per
// step to HostName:PortNumber, and a simulation the link never interrupts.
#include <cmath>

#if !defined(_WIN32)
#  include <fcntl.h>
#endif

#include "block_harness.h"

using namespace test_support;

namespace {

class Link : public ::testing::Test {
protected:
    void SetUp() override { udp::startSockets(); }
};

// Runs start, `steps` outputs and terminate; returns the datagrams `socket` got.
std::vector<Packet> simulate(emulated_host::HostBlock& block, udp::Socket& socket, int steps)
{
    EXPECT_EQ(block.start(), "");
    std::vector<Packet> packets;
    for (int i = 0; i < steps; ++i) {
        EXPECT_EQ(block.outputs(), "");
        Packet packet = receive(socket);
        if (!packet.empty()) {
            packets.push_back(std::move(packet));
        }
    }
    EXPECT_EQ(block.terminate(), "");
    return packets;
}

TEST_F(Link, port_number_is_truncated_and_keeps_its_low_16_bits)
{
    udp::Socket socket = receiver();
    const double port = socket.localPort();
    for (double given : {port + 0.9, port + 65536.0, port - 65536.0}) {
        auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", given));
        EXPECT_EQ(simulate(*block, socket, 2).size(), 2u) << given;
    }
}

TEST_F(Link, host_names_resolve_and_dotted_addresses_are_used_as_given)
{
    udp::Socket socket = receiver();
    for (const char* host : {"127.0.0.1", "localhost"}) {
        auto block = registeredBlock(loadedEntry(), parameters(host, socket.localPort()));
        const std::vector<Packet> packets = simulate(*block, socket, 3);
        ASSERT_EQ(packets.size(), 3u) << host;
        EXPECT_EQ(packets[0].size(), packetSize);
    }
}

TEST_F(Link, unusable_parameters_fail_the_start_and_leave_the_cells_for_terminate)
{
    udp::Socket socket = receiver();
    std::vector<std::vector<emulated_host::Array>> cases;
    // A label over 63 characters is refused by every resolver before any query.
    cases.push_back(parameters(std::string(70, 'x'), socket.localPort()));
    cases.push_back(parameters("127.0.0.1", socket.localPort()));
    cases.back()[1] = emulated_host::doubleArray({127.0});                    // not text
    cases.push_back(parameters("127.0.0.1", 0));
    cases.back()[2] = emulated_host::emptyArray();                            // no port
    cases.push_back(parameters("127.0.0.1", 0));
    cases.back()[2] = emulated_host::doubleArray({std::nan("")});             // no usable port
    cases.push_back(parameters("127.0.0.1", 9.2e18));                         // beyond the truncation's range
    cases.push_back(parameters("255.255.255.255", socket.localPort()));      // connect refused: broadcast
    for (mxClassID other : {mxUINT16_CLASS, mxINT32_CLASS, mxSINGLE_CLASS}) {  // the right port, not a double
        cases.push_back(parameters("127.0.0.1", 0));
        cases.back()[2] = emulated_host::numericScalar(other, socket.localPort());
    }
    cases.push_back(parameters("127.0.0.1", 0));
    cases.back()[2] = emulated_host::Array(mxCreateLogicalScalar(true));
    for (auto& params : cases) {
        auto block = registeredBlock(loadedEntry(), std::move(params));
        EXPECT_EQ(block->start(), "Could not connect to host !");
        EXPECT_NE(block->pwork()[0], nullptr);
        EXPECT_NE(block->pwork()[1], nullptr);
        EXPECT_EQ(block->outputs(), "");  // built, not sent
        EXPECT_EQ(block->terminate(), "");
        EXPECT_EQ(block->pwork()[0], nullptr);
        EXPECT_EQ(block->pwork()[1], nullptr);
    }
    EXPECT_TRUE(receive(socket, 200).empty());
}

TEST_F(Link, the_socket_is_connected_to_the_resolved_address_and_does_not_block)
{
    // A second loopback address: a zeroed address would reach 127.0.0.1, not this.
    std::string error;
    std::optional<udp::Socket> socket = udp::Socket::bound(udp::Endpoint{"127.0.0.2", 0}, error);
    ASSERT_TRUE(socket.has_value()) << error;
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.2", socket->localPort()));
    ASSERT_EQ(block->start(), "");
#if !defined(_WIN32)
    const int fd = *static_cast<const int*>(block->pwork()[0]);
    EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
#endif
    EXPECT_EQ(block->outputs(), "");
    EXPECT_EQ(receive(*socket).size(), packetSize);
    EXPECT_EQ(block->terminate(), "");
}

TEST_F(Link, a_start_without_a_work_vector_is_an_error)
{
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", 5500));
    void** work = block->simStruct().pwork;
    block->simStruct().pwork = nullptr;
    EXPECT_EQ(block->start(), "Could not allocate the block's work memory");
    EXPECT_EQ(block->outputs(), "");
    EXPECT_EQ(block->terminate(), "");
    block->simStruct().pwork = work;
}

TEST_F(Link, fewer_input_ports_than_nine_or_no_port_records_send_nothing)
{
    udp::Socket socket = receiver();
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", socket.localPort()));
    ASSERT_EQ(block->start(), "");
    block->simStruct().sizes[3] = 8;
    EXPECT_EQ(block->outputs(), "");
    EXPECT_TRUE(receive(socket, 200).empty());
    block->simStruct().sizes[3] = 9;
    InputPortRecord* records = block->simStruct().inputPorts;
    block->simStruct().inputPorts = nullptr;  // nine ports counted, no records
    EXPECT_EQ(block->outputs(), "");
    EXPECT_TRUE(receive(socket, 200).empty());
    block->simStruct().inputPorts = records;
    EXPECT_EQ(block->outputs(), "");
    EXPECT_EQ(receive(socket).size(), packetSize);
    EXPECT_EQ(block->terminate(), "");
}

TEST_F(Link, a_name_longer_than_255_characters_is_cut_and_fails_cleanly)
{
    auto block = registeredBlock(loadedEntry(), parameters(std::string(300, 'a'), 5500));
    EXPECT_EQ(block->start(), "Could not connect to host !");
    EXPECT_EQ(block->terminate(), "");
}

TEST_F(Link, two_instances_send_to_their_own_receivers)
{
    udp::Socket first = receiver();
    udp::Socket second = receiver();
    auto a = registeredBlock(loadedEntry(), parameters("127.0.0.1", first.localPort()));
    auto b = registeredBlock(loadedEntry(), parameters("127.0.0.1", second.localPort()));
    ASSERT_EQ(a->start(), "");
    ASSERT_EQ(b->start(), "");
    a->input(0)[0] = 1.0;
    b->input(0)[0] = 2.0;
    EXPECT_EQ(a->outputs(), "");
    EXPECT_EQ(b->outputs(), "");
    EXPECT_EQ(be64(receive(first), 16), std::bit_cast<std::uint64_t>(1.0));
    EXPECT_EQ(be64(receive(second), 16), std::bit_cast<std::uint64_t>(2.0));
    EXPECT_TRUE(receive(first, 100).empty());
    EXPECT_EQ(a->terminate(), "");
    EXPECT_EQ(b->terminate(), "");
}

TEST_F(Link, a_second_simulation_opens_a_new_socket)
{
    udp::Socket socket = receiver();
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", socket.localPort()));
    EXPECT_EQ(simulate(*block, socket, 2).size(), 2u);
    EXPECT_EQ(simulate(*block, socket, 2).size(), 2u);
}

TEST_F(Link, no_receiver_listening_interrupts_nothing)
{
    std::uint16_t freePort = 0;
    {
        udp::Socket probe = receiver();
        freePort = probe.localPort();
    }
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", freePort));
    ASSERT_EQ(block->start(), "");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(block->outputs(), "");
    }
    EXPECT_EQ(block->terminate(), "");
}

TEST_F(Link, outputs_and_terminate_without_start_touch_nothing)
{
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", 5500));
    EXPECT_EQ(block->outputs(), "");
    EXPECT_EQ(block->flagCall(104), "");
    EXPECT_EQ(block->terminate(), "");
    EXPECT_EQ(block->terminate(), "");
    EXPECT_EQ(block->pwork()[0], nullptr);
}

TEST_F(Link, flag_104_sends_whatever_the_call_argument_word_holds)
{
    udp::Socket socket = receiver();
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", socket.localPort()));
    ASSERT_EQ(block->start(), "");
    for (int callArgument : {-2, 0, 5}) {
        block->simStruct().sizes[4] = callArgument;
        EXPECT_EQ(block->flagCall(104), "");
        EXPECT_EQ(receive(socket).size(), packetSize) << callArgument;
    }
    EXPECT_EQ(block->flagCall(107), "");
}

}  // namespace
