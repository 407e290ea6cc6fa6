// A message box with a string-table text, owned by a dialog.
#pragma once

#include <windows.h>

#include <string>

namespace zr {

// MessageBoxA with string `textId`, the caption and the flags; the button pressed.
int ShowUserMessage(HWND owner, UINT textId, const std::string& caption, UINT flags);

}  // namespace zr
