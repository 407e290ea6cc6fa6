// The tool's main window: backup, restore, user manual and exit.
#pragma once

#include <string>

#include "ui/window/Dialog.h"

namespace zr {

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND parent = nullptr);
};

class CZuderaRurarizIdirDlg : public CDialog {
public:
    explicit CZuderaRurarizIdirDlg(HWND parent = nullptr);

protected:
    BOOL OnInit() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    bool OnButtonClicked(WORD id) override;

private:
    void OnBackup();
    void OnRestore();
    void OnShowManual();
    void OnPaint(bool& handled);
    // Runs one job modally; an empty restore folder makes it a backup.
    INT_PTR RunJob(const std::string& backupDataFolder, const std::string& restoreFolder);
    int ShowMessage(UINT textId, UINT flags);

    HICON m_hIcon;
    std::string m_strCaption;
};

}  // namespace zr
