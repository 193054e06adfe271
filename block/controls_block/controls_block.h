// The controls block's own methods (orvalink_controls): FlightGear's
// controls datagrams, taken without waiting at each major step, on four
// output ports. No inputs; the dialog of the flight-state block without
// FdmVersion, HostName being the address to listen on.
#pragma once

#include "controls_receiver.h"
#include "definition.h"

namespace orvalink {
namespace controls {

enum OutputPort { FLIGHT_PORT = 0, ENGINES_PORT = 1, GEAR_PORT = 2, STATUS_PORT = 3, NUM_OUTPUT_PORTS = 4 };
constexpr int_T outputPortWidths[NUM_OUTPUT_PORTS] = {ctrls27::NUM_FLIGHT_CONTROLS, 3 * ctrls27::maxEngines,
                                                       ctrls27::NUM_GEAR_CONTROLS, 3};
enum StatusElement { TAKEN = 0, REFUSED = 1, AGE = 2 };

// The one pointer-work slot holds the receiver from mdlStart to mdlTerminate.
constexpr int_T numPWork = 1;

// One sentence naming the first dialog parameter that is wrong, or null.
const char* dialogProblem(SimStruct* S, const Variant& variant);

bool mdlInitializeSizes(SimStruct* S, const Variant& variant);
void mdlStart(SimStruct* S, const Variant& variant);
void mdlOutputs(SimStruct* S, int_T tid);
void mdlTerminate(SimStruct* S);

}  // namespace controls
}  // namespace orvalink
