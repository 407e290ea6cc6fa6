// The running program's own import-table slots: the fault tests and the
// benchmark point a system function at a stand-in of theirs through them,
// so that the product's calls go there without the product knowing.
#pragma once

#include <vector>

namespace zrtest {

// Every import slot of `name` from `dll` (case ignored) in the program.
std::vector<void**> ImportSlots(const char* dll, const char* name);
// Writes one slot, which the loader left read-only.
void WriteSlot(void** slot, void* value);

}  // namespace zrtest
