/* The tests' stand-in for the host's entry code of a MEX file. */
#define TH_ENTRY th_mexFileEntry
#include "sfunction_glue.h"
