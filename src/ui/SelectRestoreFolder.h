// Two pages: the folder that holds an earlier "BackupData", then the folder
// the music data is restored into.
#pragma once

#include <string>

#include "ui/window/Dialog.h"

namespace zr {

class CSelectRestoreFolder : public CDialog {
public:
    explicit CSelectRestoreFolder(HWND parent = nullptr);

    // Both non-empty after IDOK.
    std::string m_strBackupFolder;   // holds "BackupData"
    std::string m_strRestoreFolder;  // the destination; the host's media folder at first

protected:
    BOOL OnInit() override;
    bool OnButtonClicked(WORD id) override;
    // Enter presses the default button, Next; the dialog closes with IDOK only from page 2.
    void OnOK() override { OnNext(); }

private:
    void OnBrowseBackupFolder();
    void OnBrowseRestoreFolder();
    void OnNext();
    void OnBack();
    // The message that refuses a folder holding the backup to restore, or 0.
    UINT CheckBackupSource(const std::string& folder) const;
    // The message that refuses a destination for the chosen backup, or 0.
    UINT CheckDestination(const std::string& folder) const;
    void ShowPage(bool page2);
    int ShowMessage(UINT textId, UINT flags);

    std::string m_strCaption;
    bool m_bOnPage2 = false;
};

}  // namespace zr
