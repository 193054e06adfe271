// Runs the block as the host does, against a UDP receiver on loopback.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_driver.h"
#include "udp_socket.h"

namespace test_support {

inline constexpr std::size_t packetSize = 336;
using Packet = std::vector<std::uint8_t>;

// The block's mexFunction, loaded once per test program.
inline MexFunctionPtr loadedEntry()
{
    static std::optional<emulated_host::MexFile> file = [] {
        std::string error;
        auto loaded = emulated_host::loadMexFile(emulated_host::mexFileName("orvalink"), error);
        EXPECT_TRUE(loaded.has_value()) << error;
        return loaded;
    }();
    return file ? file->entry : nullptr;
}

inline udp::Socket receiver()
{
    std::string error;
    std::optional<udp::Socket> socket = udp::Socket::bound(udp::Endpoint{"127.0.0.1", 0}, error);
    EXPECT_TRUE(socket.has_value()) << error;
    return std::move(*socket);
}

// The next datagram, or an empty packet after `timeoutMs`.
inline Packet receive(udp::Socket& socket, int timeoutMs = 2000)
{
    Packet packet(2048);
    const long length = socket.receive(packet, timeoutMs);
    packet.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return packet;
}

inline std::vector<emulated_host::Array> parameters(const std::string& host, double port, double sampleTime = 0.05)
{
    std::vector<emulated_host::Array> list;
    list.push_back(emulated_host::doubleArray({sampleTime}));
    list.push_back(emulated_host::charArray(host));
    list.push_back(emulated_host::doubleArray({port}));
    return list;
}

// A registered block with its sample times set, ready for mdlStart.
inline std::unique_ptr<emulated_host::HostBlock> registeredBlock(MexFunctionPtr entry,
                                                                 std::vector<emulated_host::Array> params)
{
    auto block = std::make_unique<emulated_host::HostBlock>(entry);
    block->setDialogParameters(std::move(params));
    const emulated_host::MexCallResult outcome = block->registerBlock();
    EXPECT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(block->initializeSampleTimes(), "");
    return block;
}

inline std::uint32_t be32(const Packet& packet, std::size_t offset)
{
    return static_cast<std::uint32_t>(packet.at(offset)) << 24 | static_cast<std::uint32_t>(packet.at(offset + 1)) << 16 |
           static_cast<std::uint32_t>(packet.at(offset + 2)) << 8 | static_cast<std::uint32_t>(packet.at(offset + 3));
}

inline std::uint64_t be64(const Packet& packet, std::size_t offset)
{
    return static_cast<std::uint64_t>(be32(packet, offset)) << 32 | be32(packet, offset + 4);
}

}  // namespace test_support
