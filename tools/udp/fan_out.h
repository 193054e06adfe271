// Sending each datagram to one or several destinations (one FlightGear a
// screen). A destination that refuses is reported once, and once more when
// datagrams get through again; it never holds back the others.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "udp_socket.h"

namespace fan_out {

struct Destination {
    udp::Endpoint endpoint;
    std::optional<udp::Socket> socket{};
    std::string shown{};  // for messages
    bool refusing = false;
    std::chrono::steady_clock::time_point lastRefusal{};
    long long refusals = 0;
};

// Connects a socket to each; `shown` lists them for a start line. False with `error` set on failure.
bool open(std::vector<Destination>& destinations, std::string& shown, std::string& error);

// Sends `datagram` to every destination; `program` names the reports.
void send(const char* program, std::vector<Destination>& destinations, std::span<const std::uint8_t> datagram);

long long refusals(const std::vector<Destination>& destinations);

}  // namespace fan_out
