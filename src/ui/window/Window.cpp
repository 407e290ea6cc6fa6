#include "ui/window/Window.h"

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

}  // namespace zr
