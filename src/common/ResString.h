// Texts of the program's string table.
#pragma once

#include <windows.h>

#include <string>

namespace zr {

// LoadStringA from the program's own resources, in the ANSI code page; empty
// when the id is missing.
std::string LoadResString(UINT id);

}  // namespace zr
