/* The tests' stand-in for the host's glue of generated code. */
#ifndef TH_ENTRY /* a build of another block names its own */
#define TH_ENTRY th_generatedCodeEntry
#endif
#define TH_LINKAGE /* C code: the linkage of the include */
#include "sfunction_glue.h"
