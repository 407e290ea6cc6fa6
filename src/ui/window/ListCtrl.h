// A list control bound to a dialog item: its window procedure is replaced by
// a virtual one, and the owner's WM_DRAWITEM for it is handed to DrawItem.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/window/Controls.h"

namespace zr {

class CListCtrl : public CControl {
public:
    CListCtrl() = default;
    virtual ~CListCtrl();
    CListCtrl(const CListCtrl&) = delete;
    CListCtrl& operator=(const CListCtrl&) = delete;

    // Takes over the control's window procedure; false when it is already taken.
    bool Subclass(HWND hwnd);
    // Called by the owner for WM_DRAWITEM of this control.
    virtual void DrawItem(const DRAWITEMSTRUCT* draw) { (void)draw; }

    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    int GetTopIndex() const { return static_cast<int>(Send(LVM_GETTOPINDEX)); }
    int GetCountPerPage() const { return static_cast<int>(Send(LVM_GETCOUNTPERPAGE)); }
    bool GetItemRect(int item, RECT& rect, int code) const;
    HWND GetHeader() const { return reinterpret_cast<HWND>(Send(LVM_GETHEADER)); }

protected:
    // Every message of the control; the default passes it on.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    // Called once the window is gone.
    virtual void OnDestroyed() {}

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_pfnSuper = nullptr;
};

}  // namespace zr
