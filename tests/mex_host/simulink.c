/* The tests' stand-in for the host's entry code of a MEX file. */
#ifndef TH_ENTRY /* a build as another release names its own */
#define TH_ENTRY th_mexFileEntry
#endif
#define TH_LINKAGE extern "C"
#include "sfunction_glue.h"
