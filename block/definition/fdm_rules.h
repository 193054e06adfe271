// The flight-state block's own rule, stated by its source for mex and the FMU alike.
#pragma once

namespace orvalink {

constexpr const char* fdmVersionRule = "FdmVersion must be 17 (FlightGear 0.9.4) or 24 (FlightGear 0.9.10 and later)";

}  // namespace orvalink
