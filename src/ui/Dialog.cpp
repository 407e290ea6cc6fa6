#include "ui/Dialog.h"

namespace zr {

INT_PTR CDialog::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_hParent, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
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
    case WM_INITDIALOG:
        return OnInit();
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
