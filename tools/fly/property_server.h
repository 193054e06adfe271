// FlightGear's property server (--props=PORT), as the launcher uses it: a
// free port to give FlightGear, and whether it is ready: its scenery
// loaded and its splash screen gone.
#pragma once

#include <cstdint>
#include <string>

namespace props {

// A TCP port on the loopback that no one holds now; 0 when none could be found.
std::uint16_t freePort();

enum class Answer { ready, notYet, noServer };

// Asks the property server on the loopback `port` for /sim/sceneryloaded
// and /sim/startup/splash-alpha, waiting at most `timeoutMs` for each step:
// ready once the scenery has loaded and the splash screen, which covers it
// for some seconds more, has faded to 0 (or the release has none).
Answer flightGearReady(std::uint16_t port, int timeoutMs);

// Whether the property server's reply says ready (the two answers above,
// each "PATH = 'VALUE' (TYPE)" followed by a prompt).
bool readyInReply(const std::string& reply);

}  // namespace props
