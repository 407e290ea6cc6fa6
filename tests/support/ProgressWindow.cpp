#include "support/ProgressWindow.h"

#include <gtest/gtest.h>

#include "engine/EngineMessages.h"

namespace zrtest {
namespace {

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

CProgressWindow::CProgressWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ProgressProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZrEngineTestProgress";
    RegisterClassA(&wc);  // already registered by an earlier test: fine
    m_hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    EXPECT_NE(nullptr, m_hwnd);
}

CProgressWindow::~CProgressWindow() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

std::vector<std::pair<WPARAM, LPARAM>> CProgressWindow::Collect() {
    std::vector<std::pair<WPARAM, LPARAM>> posts;
    MSG msg;
    while (PeekMessageA(&msg, m_hwnd, WM_BR_PROGRESS, WM_BR_PROGRESS, PM_REMOVE)) {
        posts.emplace_back(msg.wParam, msg.lParam);
    }
    return posts;
}

}  // namespace zrtest
