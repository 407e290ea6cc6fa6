#include "ui/SelectBackupFolder.h"

#include <shlwapi.h>

#include "../../res/resource.h"
#include "ui/BrowseFolder.h"
#include "ui/UserMessage.h"

namespace zr {

CSelectBackupFolder::CSelectBackupFolder(HWND parent)
    : CDialog(IDD_SELECT_BACKUP_FOLDER, parent), m_strCaption(LoadResString(IDS_APP_TITLE)) {}

bool CSelectBackupFolder::OnButtonClicked(WORD id) {
    if (id == IDC_BROWSE_FOLDER) {
        OnBrowse();
        return true;
    }
    return CDialog::OnButtonClicked(id);
}

int CSelectBackupFolder::ShowMessage(UINT textId, UINT flags) {
    return ShowUserMessage(m_hWnd, textId, m_strCaption, flags);
}

void CSelectBackupFolder::OnBrowse() {
    std::string path;
    if (!BrowseForFolder(m_hWnd, LoadResString(IDS_SELECT_BACKUP_FOLDER), path)) {
        m_strBackupFolder.clear();
        SetItemText(IDC_FOLDER_EDIT, "");
        return;
    }
    if (UINT refusal = CheckFolder(path, IDS_SELECT_BACKUP_FOLDER, false)) {
        ShowMessage(refusal, MB_OK | MB_ICONERROR);
        return;
    }
    m_strBackupFolder = path;
    SetItemText(IDC_FOLDER_EDIT, m_strBackupFolder.c_str());
}

void CSelectBackupFolder::OnExecute() {
    if (m_strBackupFolder.empty()) {
        ShowMessage(IDS_SELECT_FOLDER, MB_OK | MB_ICONERROR);
        return;
    }
    if (PathIsDirectoryA(BackupDataPath(m_strBackupFolder).c_str()) &&
        ShowMessage(IDS_BACKUP_EXISTS, MB_YESNO | MB_ICONWARNING) != IDYES) {
        return;
    }
    EndDialog(IDOK);
}

}  // namespace zr
