// FlightGear's property server (--props=PORT), as the launcher uses it: a
// free port to give FlightGear, and whether its scenery has loaded.
#pragma once

#include <cstdint>
#include <string>

namespace props {

// A TCP port on the loopback that no one holds now; 0 when none could be found.
std::uint16_t freePort();

enum class Answer { ready, notYet, noServer };

// Asks the property server on the loopback `port` for /sim/sceneryloaded,
// waiting at most `timeoutMs` for each step.
Answer sceneryLoaded(std::uint16_t port, int timeoutMs);

}  // namespace props
