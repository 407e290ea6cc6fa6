#include "ui/window/Dialog.h"

#include <algorithm>

namespace zr {

namespace {

// Start of a span of `size` centred over [low, high), moved in so that it
// lies within [areaLow, areaHigh); one larger than the area keeps its start in.
int CentredIn(LONG low, LONG high, int size, LONG areaLow, LONG areaHigh) {
    const int start = static_cast<int>(low + (high - low - size) / 2);
    return std::max(static_cast<int>(areaLow), std::min(start, static_cast<int>(areaHigh) - size));
}

}  // namespace

INT_PTR CDialog::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_hParent, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialog::CentreOverOwner() {
    RECT rect;
    if (!GetWindowRect(m_hWnd, &rect)) return;
    // An owner that cannot be seen is no place to look for a dialog.
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner && (!IsWindowVisible(owner) || IsIconic(owner))) owner = nullptr;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    RECT over = work;
    if (owner) GetWindowRect(owner, &over);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const int x = CentredIn(over.left, over.right, width, work.left, work.right);
    const int y = CentredIn(over.top, over.bottom, height, work.top, work.bottom);
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::OnButtonClicked(WORD id) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const BOOL result = OnInit();
        // Placed once its handler has had its say, before the dialog is first shown.
        CentreOverOwner();
        return result;
    }
    case WM_COMMAND: {
        WORD code = HIWORD(wParam), id = LOWORD(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        if (code == BN_CLICKED && OnButtonClicked(id)) return TRUE;
        return OnCommand(code, id, control) ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lParam), result)) return FALSE;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default: {
        bool handled = false;
        INT_PTR result = OnMessage(message, wParam, lParam, handled);
        return handled ? result : FALSE;
    }
    }
}

}  // namespace zr
