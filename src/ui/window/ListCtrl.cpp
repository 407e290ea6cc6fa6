#include "ui/window/ListCtrl.h"

namespace zr {

namespace {
const char kSelfProperty[] = "zr.CListCtrl";
}

CListCtrl::~CListCtrl() {
    // A window still alive gets its own procedure back, so it never calls into a dead object.
    if (m_hWnd && IsWindow(m_hWnd) && m_pfnSuper) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        RemovePropA(m_hWnd, kSelfProperty);
    }
}

bool CListCtrl::Subclass(HWND hwnd) {
    if (!hwnd || m_pfnSuper || GetPropA(hwnd, kSelfProperty)) return false;
    m_hWnd = hwnd;
    SetPropA(hwnd, kSelfProperty, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CListCtrl::StaticProc)));
    return m_pfnSuper != nullptr;
}

bool CListCtrl::GetItemRect(int item, RECT& rect, int code) const {
    rect = {};
    rect.left = code;
    return Send(LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rect)) != 0;
}

LRESULT CALLBACK CListCtrl::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CListCtrl*>(GetPropA(hwnd, kSelfProperty));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message != WM_NCDESTROY) return self->WindowProc(message, wParam, lParam);

    LRESULT result = self->WindowProc(message, wParam, lParam);
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_pfnSuper));
    RemovePropA(hwnd, kSelfProperty);
    self->m_pfnSuper = nullptr;
    self->m_hWnd = nullptr;
    self->OnDestroyed();
    return result;
}

}  // namespace zr
