// The step path allocates nothing. This program replaces the C allocator
// for the whole process (glibc), so every allocation the loaded block
// makes is counted, wherever it comes from.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "block_harness.h"
#include "controls_encode.h"
#include "mex_host/second_host.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);

std::atomic<long> allocations{0};

void* malloc(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

namespace {

using namespace test_support;

TEST(NoAllocation, steps_allocate_nothing_while_start_visibly_does)
{
    udp::Socket socket = receiver();
    auto block = registeredBlock(loadedEntry(), parameters("127.0.0.1", socket.localPort()));

    const long beforeStart = allocations.load();
    ASSERT_EQ(block->start(), "");
    EXPECT_GE(allocations.load() - beforeStart, 2) << "the counting allocator is not in use";

    const long beforeSteps = allocations.load();
    for (int i = 0; i < 1000; ++i) {
        block->input(0)[0] = i;
        block->simStruct().methods.mdlOutputs(&block->simStruct(), 0);
    }
    EXPECT_EQ(allocations.load() - beforeSteps, 0);
    EXPECT_EQ(receive(socket).size(), packetSize);
    EXPECT_EQ(block->terminate(), "");
}

TEST(NoAllocation, controls_steps_allocate_nothing_while_start_visibly_does)
{
    std::uint16_t port = 0;
    {
        udp::Socket probe = receiver();
        port = probe.localPort();
    }
    second_host::Block block(second_host::Entry::controlsMexFile, second_host::dialog("127.0.0.1", port));
    ASSERT_EQ(block.registerBlock().errorStatus, "");
    const long beforeStart = allocations.load();
    ASSERT_EQ(block.start(), "");
    EXPECT_GE(allocations.load() - beforeStart, 1) << "the counting allocator is not in use";

    std::string error;
    auto sender = udp::Socket::connected(udp::Endpoint{"127.0.0.1", port}, error);
    ASSERT_TRUE(sender) << error;
    Packet datagram(ctrls27::packetSize);
    ctrls27::Controls controls{};
    ctrls27::encode(datagram.data(), controls);
    const long beforeSteps = allocations.load();
    for (int i = 0; i < 1000; ++i) {
        if (i % 3 == 0) {
            (void)sender->send(datagram);  // no allocation of its own: a system call
        }
        block.outputsOnly();
    }
    EXPECT_EQ(allocations.load() - beforeSteps, 0);
    EXPECT_GT(block.output(3)[0], 0.0);  // it took what came
    EXPECT_EQ(block.terminate(), "");
}

}  // namespace
