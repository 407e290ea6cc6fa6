// A thin modal dialog: the object owns its window (this in DWLP_USER) and one
// static procedure dispatches to the virtual handlers.
#pragma once

#include "ui/window/Window.h"

namespace zr {

class CDialog : public CWindow {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr) : m_templateId(templateId), m_hParent(parent) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; the result of EndDialog, or -1 when it could not be created.
    INT_PTR DoModal();

protected:
    virtual BOOL OnInit() { return TRUE; }
    // A command other than a button click; true when handled.
    virtual bool OnCommand(WORD code, WORD id, HWND control) {
        (void)code, (void)id, (void)control;
        return false;
    }
    virtual bool OnButtonClicked(WORD id);
    virtual bool OnNotify(NMHDR* header, LRESULT& result) {
        (void)header, (void)result;
        return false;
    }
    // Any other message; set handled to keep it from the default handling.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
        (void)message, (void)wParam, (void)lParam;
        handled = false;
        return 0;
    }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

private:
    // Centres the window over its owner, or on the work area when it has no
    // visible owner, and keeps it wholly within that work area.
    void CentreOverOwner();
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hParent;
};

}  // namespace zr
