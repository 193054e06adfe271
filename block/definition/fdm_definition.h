// The flight-state block's declaration (orvalink): its nine input ports,
// its work, its dialog's optional FdmVersion (definition.cpp).
#pragma once

#include "definition.h"

namespace orvalink {

constexpr int_T numInputPorts = 9;
constexpr int_T inputPortWidths[numInputPorts] = {3, 3, 2, 7, 3, 1, 3, 3, 3};
constexpr int_T numPWork = 2;

// Each answers false when it left an error status or the host is to report
// a wrong parameter count; the front door then declares nothing more.
bool mdlInitializeSizes(SimStruct* S, const Variant& variant);

// The packet version FdmVersion asks for (17 without it), or 0 when it asks
// for neither 17 nor 24.
int fdmVersionOf(SimStruct* S, const Variant& variant);

// One sentence naming the first parameter of the flight-state block that is
// wrong and its value, or null when every one is right.
// The text stays valid until the next call of any refusal here.
const char* dialogProblem(SimStruct* S, const Variant& variant);

}  // namespace orvalink
