// The tool's main window: backup, restore, user manual and exit.
#pragma once

#include <string>

#include "ui/Dialog.h"

namespace zr {

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};

class CZuderaRurarizIdirDlg : public CDialog {
public:
    explicit CZuderaRurarizIdirDlg(HWND parent = nullptr);

protected:
    BOOL OnInit() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void OnPaint(bool& handled);

    HICON m_hIcon;
    std::string m_strCaption;
};

}  // namespace zr
