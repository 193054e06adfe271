// Which packet a FlightGear release reads, from what `fgfs --version` prints,
// and so whether the block's datagrams reach it directly or through fdm-relay.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fly {

struct Release {
    int major = 0;
    int minor = 0;
    int patch = 0;
    std::string text;  // as printed, for messages
};

// The release named in `fgfs --version` output: the first dotted number on
// a line that names FlightGear, else the first in the text ("2020.3.16",
// "2.0.0", "0.9.4"); nullopt when there is none.
std::optional<Release> findRelease(std::string_view output);

enum class Route {
    direct,  // reads the block's version-17 datagrams as they are
    relay,   // reads version 24: fdm-relay translates
    refuse,  // reads a version neither writes
};

struct Choice {
    Route route;
    std::string reason;  // for a refusal: which version the release reads
};

Choice routeFor(const Release& release);

}  // namespace fly
