#pragma once

// Marks the functions every received chat line runs through. The compiler gathers them in one
// part of the binary, so that a flood's path stays in the instruction cache instead of being
// spread among the code beside it.
#if defined(__GNUC__)
#define TELLIX_LINE_ROAD __attribute__((hot))
#else
#define TELLIX_LINE_ROAD
#endif
