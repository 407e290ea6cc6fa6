#include "ui/Window.h"

#include <vector>

namespace zr {

std::string CWindow::GetItemText(int id) const {
    HWND item = GetItem(id);
    int length = item ? GetWindowTextLengthA(item) : 0;
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(item, buffer.data(), length + 1);
    return std::string(buffer.data());
}

std::string LoadResString(UINT id) {
    // Texts of the string table are short; 1024 bytes holds the longest with room to spare.
    char buffer[1024];
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace zr
