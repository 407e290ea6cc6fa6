// Asks for the folder in which the backup data folder "BackupData" is made.
#pragma once

#include <string>

#include "ui/window/Dialog.h"

namespace zr {

class CSelectBackupFolder : public CDialog {
public:
    explicit CSelectBackupFolder(HWND parent = nullptr);

    // The chosen folder; after IDOK it passed every rule. Empty when the dialog opens.
    std::string m_strBackupFolder;

protected:
    bool OnButtonClicked(WORD id) override;
    void OnOK() override { OnExecute(); }

private:
    void OnBrowse();
    void OnExecute();
    int ShowMessage(UINT textId, UINT flags);

    std::string m_strCaption;
};

}  // namespace zr
