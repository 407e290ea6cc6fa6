// A message-only window that receives the engine's progress posts.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace zrtest {

class CProgressWindow {
public:
    CProgressWindow();
    ~CProgressWindow();
    CProgressWindow(const CProgressWindow&) = delete;
    CProgressWindow& operator=(const CProgressWindow&) = delete;
    HWND Handle() const { return m_hwnd; }
    // The WM_BR_PROGRESS messages waiting in the queue, as (wParam, lParam).
    std::vector<std::pair<WPARAM, LPARAM>> Collect();

private:
    HWND m_hwnd = nullptr;
};

}  // namespace zrtest
