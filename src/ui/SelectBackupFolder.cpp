#include "ui/SelectBackupFolder.h"

#include <shlwapi.h>

#include "resource.h"
#include "engine/HostPlaces.h"
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
    UINT refusal = CheckFolder(path, IDS_SELECT_BACKUP_FOLDER, false);
    if (!refusal && CHostPlaces::Read().IsRefusedBackupTarget(BackupDataPath(path))) refusal = IDS_FOLDER_WRITE_FORBIDDEN;
    if (refusal) {
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
    // Inside the host's playlists or library the backup would copy itself or
    // go with what a restore replaces; an earlier backup that holds the
    // host's data must not be deleted for a new one.
    const std::string backupData = BackupDataPath(m_strBackupFolder);
    const CHostPlaces places = CHostPlaces::Read();
    if (places.IsRefusedBackupTarget(backupData)) {
        ShowMessage(IDS_FOLDER_WRITE_FORBIDDEN, MB_OK | MB_ICONERROR);
        return;
    }
    if (PathIsDirectoryA(backupData.c_str())) {
        if (places.HasPlaceInside(backupData)) {
            ShowMessage(IDS_BACKUP_HOLDS_HOST_DATA, MB_OK | MB_ICONERROR);
            return;
        }
        if (ShowMessage(IDS_BACKUP_EXISTS, MB_YESNO | MB_ICONWARNING) != IDYES) return;
    }
    EndDialog(IDOK);
}

}  // namespace zr
