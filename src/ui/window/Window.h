// A thin wrapper over a window handle with one-line helpers for dialog items.
#pragma once

#include <windows.h>

#include <string>

#include "common/ResString.h"

namespace zr {

class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND hwnd) : m_hWnd(hwnd) {}

    HWND GetHWND() const { return m_hWnd; }
    HWND GetItem(int id) const { return GetDlgItem(m_hWnd, id); }
    void EnableItem(int id, bool enable) const { EnableWindow(GetItem(id), enable ? TRUE : FALSE); }
    bool IsItemEnabled(int id) const { return IsWindowEnabled(GetItem(id)) != FALSE; }
    void ShowItem(int id, bool show) const { ShowWindow(GetItem(id), show ? SW_SHOW : SW_HIDE); }
    void SetItemText(int id, const char* text) const { SetDlgItemTextA(m_hWnd, id, text); }
    std::string GetItemText(int id) const;
    void SetText(const char* text) const { SetWindowTextA(m_hWnd, text); }
    LRESULT SendItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam);
    }

protected:
    HWND m_hWnd = nullptr;
};

}  // namespace zr
