// Thin wrappers over the common controls a dialog binds by id.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/window/Window.h"

namespace zr {

class CControl : public CWindow {
public:
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    void Enable(bool enable) const { EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    bool IsEnabled() const { return IsWindowEnabled(m_hWnd) != FALSE; }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(m_hWnd, message, wParam, lParam);
    }
};

class CButton : public CControl {};

class CStatic : public CControl {};

class CAnimateCtrl : public CControl {
public:
    // Opens an AVI resource of module.
    bool Open(HINSTANCE module, UINT resourceId) const {
        return Send(ACM_OPENA, reinterpret_cast<WPARAM>(module), reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(resourceId))) != 0;
    }
    // repeat -1 plays without end.
    bool Play(UINT from, UINT to, int repeat) const {
        return Send(ACM_PLAY, static_cast<WPARAM>(repeat), MAKELPARAM(from, to)) != 0;
    }
    bool Stop() const { return Send(ACM_STOP) != 0; }
};

class CProgressCtrl : public CControl {
public:
    void SetRange(int low, int high) const { Send(PBM_SETRANGE, 0, MAKELPARAM(low, high)); }
    int SetPos(int position) const { return static_cast<int>(Send(PBM_SETPOS, static_cast<WPARAM>(position))); }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

}  // namespace zr
