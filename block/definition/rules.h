// The sentences that every front door of the blocks states, in one wording:
// the S-functions, the source for mex and the FMU.
#pragma once

namespace orvalink {

constexpr const char* connectFailedMessage = "Could not connect to host !";
constexpr const char* outOfMemoryMessage = "Could not allocate the block's work memory";
constexpr const char* portRule = "PortNumber must be a whole number from 1 to 65535";

}  // namespace orvalink
