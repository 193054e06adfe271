// Fan-out to several destinations.
#include "fan_out.h"

#include <cstdio>

#include "command_line.h"

namespace fan_out {

bool open(std::vector<Destination>& destinations, std::string& shown, std::string& error)
{
    shown.clear();
    for (Destination& to : destinations) {
        to.socket = udp::Socket::connected(to.endpoint, error);
        if (!to.socket) {
            return false;
        }
        to.shown = command_line::quoted(to.endpoint.host + ":" + std::to_string(to.endpoint.port));
        shown += (shown.empty() ? "" : ", ") + to.shown;
    }
    return true;
}

// UDP tells of a refusal only on a later send, so getting through is known
// only from refusals that stop: a second without one.
void send(const char* program, std::vector<Destination>& destinations, std::span<const std::uint8_t> datagram)
{
    const auto now = std::chrono::steady_clock::now();
    for (Destination& to : destinations) {
        if (to.socket->send(datagram) < 0) {
            ++to.refusals;
            to.lastRefusal = now;
            if (!to.refusing) {
                to.refusing = true;
                std::fprintf(stderr, "%s: %s refuses the datagrams (is FlightGear listening there?)\n", program,
                             to.shown.c_str());
            }
        } else if (to.refusing && now - to.lastRefusal >= std::chrono::seconds(1)) {
            to.refusing = false;
            std::fprintf(stderr, "%s: datagrams get through to %s again\n", program, to.shown.c_str());
        }
    }
}

long long refusals(const std::vector<Destination>& destinations)
{
    long long total = 0;
    for (const Destination& to : destinations) {
        total += to.refusals;
    }
    return total;
}

}  // namespace fan_out
