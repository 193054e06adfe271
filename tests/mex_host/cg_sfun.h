/* The tests' stand-in for the host's glue of generated code. */
#define TH_ENTRY th_generatedCodeEntry
#include "sfunction_glue.h"
