// A sampled thread's profile as tables: each frame named from its module's
// symbol table (read from the module's file: the mingw builds of this program
// and of Wine's own modules carry one), grouped as the tool's code, the
// benchmark's, the C and C++ runtime, the component, the Windows API (the
// system modules' own code) and Wine's unix side (a thread stopped inside a
// system call's stub: Wine's unix code and the round trip to its server).
#pragma once

#include <string>

#include "Sampler.h"

namespace bench {

// Prints the tables of one sampled job: shares of the sampled time and
// microseconds per track, `top` rows each.
void PrintProfile(const char* title, const CSampler& sampler, unsigned tracks, unsigned top);

}  // namespace bench
