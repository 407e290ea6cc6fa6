#include "common/ResString.h"

namespace zr {

std::string LoadResString(UINT id) {
    // Texts of the string table are short; 1024 bytes holds the longest with room to spare.
    char buffer[1024];
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace zr
