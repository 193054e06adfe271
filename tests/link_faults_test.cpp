// Every platform call of the link made to fail, one at a time, through the
// block linked into this program: each failure gives its documented
// outcome, and the counts prove the fault fired and nothing leaked.
#include <gtest/gtest.h>

#include "fault_counter.h"

#include <cstdlib>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <unistd.h>
#endif
#include <string>

#include "host_driver.h"
#include "link.h"
#include "listener.h"
#include "socket_platform.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

namespace {

using orvalink::platform::SocketCalls;
using orvalink::platform::SocketHandle;

enum class Call {
    startLibrary, stopLibrary, resolve, open, connect, nonBlocking, send, close, allocate, release, bind, receive, count
};

// Wraps the real platform calls, counts each, and fails the chosen one.
struct FaultyPlatform : FaultCounter<Call> {
    long liveAllocations = 0;
    std::string lastName;  // the name the resolver was last asked for
};

FaultyPlatform* platform = nullptr;
const SocketCalls& real = orvalink::platform::platformSocketCalls;

const SocketCalls faultyCalls{
    [] { return platform->fails(Call::startLibrary) ? -1 : real.startLibrary(); },
    [] {
        platform->fails(Call::stopLibrary);
        real.stopLibrary();
    },
    [](const char* name, std::uint8_t address[4]) {
        platform->lastName = name;
        return platform->fails(Call::resolve) ? -1 : real.resolveIpv4(name, address);
    },
    [] { return platform->fails(Call::open) ? orvalink::platform::noSocket : real.openDatagramSocket(); },
    [](SocketHandle s, const orvalink::platform::Ipv4Destination& d) { return platform->fails(Call::connect) ? -1 : real.connectTo(s, d); },
    [](SocketHandle s) { return platform->fails(Call::nonBlocking) ? -1 : real.setNonBlocking(s); },
    [](SocketHandle s, const void* data, std::size_t length) { return platform->fails(Call::send) ? -1L : real.send(s, data, length); },
    [](SocketHandle s) { return platform->fails(Call::close) ? -1 : real.close(s); },
    [](std::size_t size) -> void* {
        if (platform->fails(Call::allocate)) {
            return nullptr;
        }
        ++platform->liveAllocations;
        return real.allocate(size);
    },
    [](void* memory) {
        platform->fails(Call::release);
        platform->liveAllocations -= memory != nullptr ? 1 : 0;
        real.release(memory);
    },
    [](SocketHandle s, const orvalink::platform::Ipv4Destination& d) { return platform->fails(Call::bind) ? -1 : real.bindTo(s, d); },
    [](SocketHandle s, std::uint8_t* buffers, std::size_t capacity, int count, std::size_t* lengths) {
        return platform->fails(Call::receive) ? 0 : real.receiveBatch(s, buffers, capacity, count, lengths);
    },
};

class LinkFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform = &fake;
        orvalink::platform::socketCalls = faultyCalls;
    }
    void TearDown() override
    {
        orvalink::platform::socketCalls = real;
        platform = nullptr;
        EXPECT_EQ(fake.liveAllocations, 0) << "cells leaked";
    }

    std::unique_ptr<emulated_host::HostBlock> block(const std::string& host = "127.0.0.1")
    {
        auto b = std::make_unique<emulated_host::HostBlock>(mexFunction);
        std::vector<emulated_host::Array> params;
        params.push_back(emulated_host::doubleArray({0.01}));
        params.push_back(emulated_host::charArray(host));
        params.push_back(emulated_host::doubleArray({9.0}));  // discard port; nothing listens
        b->setDialogParameters(std::move(params));
        EXPECT_FALSE(b->registerBlock().failed);
        return b;
    }

    FaultyPlatform fake;
};

// First in this file: it needs a process in which nothing started the library yet.
TEST_F(LinkFaults, socket_library_start_is_retried_after_a_failure_then_made_once)
{
    fake.failing = Call::startLibrary;
    auto first = block();  // the definition asks for the start, which fails
    EXPECT_EQ(fake.faultsFired, 1);
    EXPECT_EQ(fake.count(Call::startLibrary), 1);
    fake.failOnCall = 2;
    EXPECT_FALSE(orvalink::startSocketLibrary());  // tried again, fails again, says so
    EXPECT_TRUE(orvalink::startSocketLibrary());   // tried again, succeeds, says so
    EXPECT_EQ(fake.count(Call::startLibrary), 3);
    auto second = block();  // a second simulation: not started again
    ASSERT_EQ(second->start(), "");
    EXPECT_EQ(second->terminate(), "");
    EXPECT_TRUE(orvalink::startSocketLibrary());
    EXPECT_EQ(fake.count(Call::startLibrary), 3);
}

TEST_F(LinkFaults, each_failing_step_of_the_start_gives_the_one_message_and_leaves_no_socket_open)
{
    struct Case {
        Call failing;
        int opened;  // sockets created
        int closed;  // sockets closed by the start itself
    };
    for (const Case& c : {Case{Call::resolve, 0, 0}, Case{Call::open, 1, 0}, Case{Call::connect, 1, 1},
                          Case{Call::nonBlocking, 1, 1}}) {
        fake = FaultyPlatform{};
        fake.failing = c.failing;
        auto b = block();
        EXPECT_EQ(b->start(), "Could not connect to host !");
        EXPECT_EQ(fake.faultsFired, 1);
        EXPECT_EQ(fake.count(Call::open), c.opened);
        EXPECT_EQ(fake.count(Call::close), c.closed);
        if (c.failing == Call::open) {
            EXPECT_EQ(fake.count(Call::connect), 0);  // nothing to connect
        }
        EXPECT_EQ(b->outputs(), "");
        EXPECT_EQ(fake.count(Call::send), 0);  // never on the no-socket value
        EXPECT_EQ(b->terminate(), "");
        EXPECT_EQ(fake.count(Call::close), c.closed);
        EXPECT_EQ(fake.liveAllocations, 0);
    }
}

TEST_F(LinkFaults, a_cell_that_cannot_be_allocated_is_an_orderly_error_without_leak)
{
    for (int which : {1, 2}) {
        fake = FaultyPlatform{};
        fake.failing = Call::allocate;
        fake.failOnCall = which;
        auto b = block();
        EXPECT_EQ(b->start(), "Could not allocate the block's work memory");
        EXPECT_EQ(fake.faultsFired, 1);
        EXPECT_EQ(fake.liveAllocations, 0);
        EXPECT_EQ(fake.count(Call::resolve), 0);
        EXPECT_EQ(b->pwork()[0], nullptr);
        EXPECT_EQ(b->pwork()[1], nullptr);
        EXPECT_EQ(b->outputs(), "");
        EXPECT_EQ(b->terminate(), "");
    }
}

TEST_F(LinkFaults, unusable_host_name_is_never_looked_up)
{
    auto b = std::make_unique<emulated_host::HostBlock>(mexFunction);
    std::vector<emulated_host::Array> params;
    params.push_back(emulated_host::doubleArray({0.01}));
    params.push_back(emulated_host::Array(mxCreateLogicalScalar(true)));
    params.push_back(emulated_host::doubleArray({9.0}));
    b->setDialogParameters(std::move(params));
    ASSERT_FALSE(b->registerBlock().failed);
    EXPECT_EQ(b->start(), "Could not connect to host !");
    EXPECT_EQ(fake.count(Call::resolve), 0);
    EXPECT_EQ(b->terminate(), "");
}

TEST_F(LinkFaults, refused_sends_and_closes_go_unnoticed)
{
    fake.failing = Call::send;
    auto b = block();
    ASSERT_EQ(b->start(), "");
    EXPECT_EQ(b->outputs(), "");
    EXPECT_EQ(b->outputs(), "");
    EXPECT_EQ(fake.faultsFired, 1);
    EXPECT_EQ(fake.count(Call::send), 2);  // one send per step, no retry
    fake.failing = Call::close;
    fake.failOnCall = fake.count(Call::close) + 1;
    EXPECT_EQ(b->terminate(), "");
    EXPECT_EQ(fake.faultsFired, 2);
}

TEST_F(LinkFaults, a_second_start_without_terminate_releases_the_first_link)
{
    auto b = block();
    ASSERT_EQ(b->start(), "");
    ASSERT_EQ(b->start(), "");
    EXPECT_EQ(fake.count(Call::open), 2);
    EXPECT_EQ(fake.count(Call::close), 1);
    EXPECT_EQ(fake.liveAllocations, 2);
    EXPECT_EQ(b->terminate(), "");
    EXPECT_EQ(fake.count(Call::close), 2);
}

// A resolver takes names of up to 255 characters: those arrive whole; this
// build cuts a longer one there (the mex build refuses it beforehand).
TEST_F(LinkFaults, host_names_reach_the_resolver_whole_up_to_255_characters)
{
    for (const std::size_t length : {254u, 255u, 256u, 300u}) {
        fake = FaultyPlatform{};
        fake.failing = Call::resolve;  // no real lookup of a made-up name
        auto b = block(std::string(length, 'h'));
        EXPECT_EQ(b->start(), "Could not connect to host !");
        EXPECT_EQ(fake.lastName, std::string(length < 255 ? length : 255, 'h')) << length;
        EXPECT_EQ(b->terminate(), "");
    }
}

// The socket library's stop pairs its start once; a later definition starts it again.
TEST_F(LinkFaults, the_socket_library_stops_once_and_starts_again)
{
    ASSERT_TRUE(orvalink::startSocketLibrary());
    const int started = fake.count(Call::startLibrary);
    orvalink::stopSocketLibrary();
    orvalink::stopSocketLibrary();
    EXPECT_EQ(fake.count(Call::stopLibrary), 1);
    auto b = block();  // the definition starts it again
    EXPECT_EQ(fake.count(Call::startLibrary), started + 1);
    ASSERT_EQ(b->start(), "");
    EXPECT_EQ(b->terminate(), "");
}

// Two definitions on two threads starting the library at once: the start
// made while the other was under way is undone, so one start is kept.
TEST_F(LinkFaults, a_second_start_made_meanwhile_is_undone)
{
    orvalink::stopSocketLibrary();  // as after an unload
    fake = FaultyPlatform{};
    static bool inBetween = false;
    inBetween = false;
    orvalink::platform::socketCalls.startLibrary = [] {
        platform->fails(Call::startLibrary);
        if (!inBetween) {
            inBetween = true;  // the other thread's whole start, while this one's is under way
            EXPECT_TRUE(orvalink::startSocketLibrary());
        }
        return real.startLibrary();
    };
    EXPECT_TRUE(orvalink::startSocketLibrary());
    EXPECT_EQ(fake.count(Call::startLibrary), 2);
    EXPECT_EQ(fake.count(Call::stopLibrary), 1);
    EXPECT_TRUE(orvalink::startSocketLibrary());  // started: not again
    EXPECT_EQ(fake.count(Call::startLibrary), 2);
}

#if !defined(_WIN32)
// The fcntl calls under the POSIX primitive that makes a socket non-blocking.
TEST(PosixPrimitives, a_failing_fcntl_fails_the_non_blocking_switch)
{
    namespace platform = orvalink::platform;
    const platform::SystemCalls& system = platform::platformSystemCalls;
    const platform::SocketHandle socket = platform::openDatagramSocket();
    ASSERT_NE(socket, platform::noSocket);
    platform::systemCalls.getFlags = [](int) { return -1; };
    EXPECT_EQ(platform::setNonBlocking(socket), -1);
    platform::systemCalls = system;
    platform::systemCalls.setFlags = [](int, int) { return -1; };
    EXPECT_EQ(platform::setNonBlocking(socket), -1);
    platform::systemCalls = system;
    EXPECT_EQ(system.getFlags(socket) & O_NONBLOCK, 0);
    EXPECT_EQ(platform::setNonBlocking(socket), 0);
    EXPECT_NE(system.getFlags(socket) & O_NONBLOCK, 0);
    EXPECT_EQ(platform::close(socket), 0);
}

TEST_F(LinkFaults, a_socket_on_descriptor_0_is_a_socket)
{
    const int savedInput = ::dup(0);
    ASSERT_GE(savedInput, 0);
    ::close(0);  // the next descriptor made is 0
    auto b = block();
    const std::string status = b->start();
    const bool onZero = b->pwork()[0] != nullptr && *static_cast<const int*>(b->pwork()[0]) == 0;
    EXPECT_EQ(b->terminate(), "");
    ::dup2(savedInput, 0);
    ::close(savedInput);
    EXPECT_EQ(status, "");
    EXPECT_TRUE(onZero);
}
#endif

}  // namespace

namespace {

// The receiving side of the link: each failing step of opening a listener
// gives its reason and leaves no socket open; a failing receive takes nothing.
TEST_F(LinkFaults, each_failing_step_of_a_listener_gives_its_reason_and_leaves_no_socket_open)
{
    ASSERT_TRUE(orvalink::startSocketLibrary());
    struct Case {
        Call failing;
        orvalink::ListenFailure failure;
        int opened, closed;
    };
    for (const Case& c : {Case{Call::resolve, orvalink::ListenFailure::badAddress, 0, 0},
                          Case{Call::open, orvalink::ListenFailure::noSocket, 1, 0},
                          Case{Call::bind, orvalink::ListenFailure::notBound, 1, 1},
                          Case{Call::nonBlocking, orvalink::ListenFailure::notBound, 1, 1}}) {
        fake = FaultyPlatform{};
        fake.failing = c.failing;
        orvalink::ListenFailure failure = orvalink::ListenFailure::none;
        EXPECT_EQ(orvalink::openListener("127.0.0.1", 0, failure), orvalink::platform::noSocket);
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(fake.faultsFired, 1);
        EXPECT_EQ(fake.count(Call::open), c.opened);
        EXPECT_EQ(fake.count(Call::close), c.closed);
    }

    fake = FaultyPlatform{};
    orvalink::ListenFailure failure = orvalink::ListenFailure::portTaken;
    const SocketHandle listener = orvalink::openListener("127.0.0.1", 0, failure);
    ASSERT_NE(listener, orvalink::platform::noSocket);
    EXPECT_EQ(failure, orvalink::ListenFailure::none);
    std::uint8_t buffers[2][8] = {};
    std::size_t lengths[2] = {};
    fake.failing = Call::receive;
    EXPECT_EQ(orvalink::receiveDatagrams(listener, buffers[0], sizeof buffers[0], 2, lengths), 0);
    EXPECT_EQ(fake.faultsFired, 1);
    // Nothing queued, none asked for, or no socket: nothing taken, and no call for the last two.
    EXPECT_EQ(orvalink::receiveDatagrams(listener, buffers[0], sizeof buffers[0], 1, lengths), 0);
    EXPECT_EQ(fake.count(Call::receive), 2);
    EXPECT_EQ(orvalink::receiveDatagrams(listener, buffers[0], sizeof buffers[0], 0, lengths), 0);
    EXPECT_EQ(orvalink::receiveDatagrams(orvalink::platform::noSocket, buffers[0], sizeof buffers[0], 2, lengths), 0);
    EXPECT_EQ(fake.count(Call::receive), 2);
    orvalink::closeLink(listener);
    EXPECT_EQ(fake.count(Call::close), 1);
}

}  // namespace
