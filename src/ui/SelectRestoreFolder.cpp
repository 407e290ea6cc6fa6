#include "ui/SelectRestoreFolder.h"

#include "resource.h"
#include "app/settings/HostSettings.h"
#include "engine/HostPlaces.h"
#include "ui/BrowseFolder.h"
#include "ui/UserMessage.h"

namespace zr {

namespace {

const int kPage1Items[] = {IDC_SOURCE_GROUP, IDC_SOURCE_TEXT, IDC_SOURCE_EDIT, IDC_BROWSE_SOURCE};
const int kPage2Items[] = {IDC_DEST_GROUP, IDC_DEST_TEXT, IDC_FOLDER_EDIT, IDC_BROWSE_FOLDER};

}  // namespace

CSelectRestoreFolder::CSelectRestoreFolder(HWND parent)
    : CDialog(IDD_SELECT_RESTORE_FOLDER, parent), m_strCaption(LoadResString(IDS_APP_TITLE)) {}

BOOL CSelectRestoreFolder::OnInit() {
    for (int id : kPage2Items) ShowItem(id, false);
    EnableItem(IDC_BACK, false);
    GetMediaPath(m_strRestoreFolder);
    SetItemText(IDC_FOLDER_EDIT, m_strRestoreFolder.c_str());
    return TRUE;
}

bool CSelectRestoreFolder::OnButtonClicked(WORD id) {
    switch (id) {
    case IDC_BROWSE_SOURCE:
        OnBrowseBackupFolder();
        return true;
    case IDC_BROWSE_FOLDER:
        OnBrowseRestoreFolder();
        return true;
    case IDC_NEXT:
        OnNext();
        return true;
    case IDC_BACK:
        OnBack();
        return true;
    default:
        return CDialog::OnButtonClicked(id);
    }
}

int CSelectRestoreFolder::ShowMessage(UINT textId, UINT flags) {
    return ShowUserMessage(m_hWnd, textId, m_strCaption, flags);
}

void CSelectRestoreFolder::OnBrowseBackupFolder() {
    std::string path;
    if (!BrowseForFolder(m_hWnd, LoadResString(IDS_SELECT_BACKUP_SOURCE), path)) {
        m_strBackupFolder.clear();
        SetItemText(IDC_SOURCE_EDIT, "");
        return;
    }
    UINT refusal = CheckFolder(path, IDS_SELECT_BACKUP_SOURCE, true);
    if (!refusal) refusal = CheckBackupSource(path);
    if (refusal) {
        ShowMessage(refusal, MB_OK | MB_ICONERROR);
        return;
    }
    m_strBackupFolder = path;
    SetItemText(IDC_SOURCE_EDIT, m_strBackupFolder.c_str());
}

void CSelectRestoreFolder::OnBrowseRestoreFolder() {
    std::string path;
    if (!BrowseForFolder(m_hWnd, LoadResString(IDS_SELECT_RESTORE_FOLDER), path)) {
        m_strRestoreFolder.clear();
        SetItemText(IDC_FOLDER_EDIT, "");
        return;
    }
    // An item without a file-system path clears the destination without a message.
    UINT refusal = CheckFolder(path, 0, false);
    if (!refusal && !path.empty()) refusal = CheckDestination(path);
    if (refusal) {
        ShowMessage(refusal, MB_OK | MB_ICONERROR);
        return;
    }
    m_strRestoreFolder = path;
    SetItemText(IDC_FOLDER_EDIT, m_strRestoreFolder.c_str());
}

void CSelectRestoreFolder::OnNext() {
    if (m_bOnPage2) {
        if (m_strBackupFolder.empty() || m_strRestoreFolder.empty()) {
            ShowMessage(IDS_SELECT_FOLDER, MB_OK | MB_ICONERROR);
            return;
        }
        // The proposed destination, or a backup folder chosen again after it.
        if (UINT refusal = CheckDestination(m_strRestoreFolder)) {
            ShowMessage(refusal, MB_OK | MB_ICONERROR);
            return;
        }
        EndDialog(IDOK);
        return;
    }
    UINT refusal = CheckFolder(m_strBackupFolder, IDS_SELECT_FOLDER, true);
    if (!refusal) refusal = CheckBackupSource(m_strBackupFolder);
    if (refusal) {
        ShowMessage(refusal, MB_OK | MB_ICONERROR);
        return;
    }
    ShowPage(true);
}

UINT CSelectRestoreFolder::CheckBackupSource(const std::string& folder) const {
    // A backup inside the library or the GUI data that the restore replaces
    // would be gone before it is read to the end.
    return CHostPlaces::Read().IsRefusedRestoreSource(BackupDataPath(folder)) ? IDS_FOLDER_WRITE_FORBIDDEN : 0;
}

UINT CSelectRestoreFolder::CheckDestination(const std::string& folder) const {
    // Restored into the backup, the copy would copy itself; into the live
    // library or the GUI data, it would be moved or deleted with what it replaces.
    if (CHostPlaces::Read().IsRefusedRestoreDestination(folder, BackupDataPath(m_strBackupFolder))) {
        return IDS_FOLDER_WRITE_FORBIDDEN;
    }
    return 0;
}

void CSelectRestoreFolder::OnBack() { ShowPage(false); }

void CSelectRestoreFolder::ShowPage(bool page2) {
    const auto& hide = page2 ? kPage1Items : kPage2Items;
    const auto& show = page2 ? kPage2Items : kPage1Items;
    // Keyboard focus must not stay on a control that is hidden or disabled next.
    HWND focus = GetFocus();
    bool focusLeaves = focus == GetItem(IDC_BACK);
    for (int id : hide) focusLeaves = focusLeaves || focus == GetItem(id);
    if (focusLeaves) SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetItem(IDC_NEXT)), TRUE);
    for (int id : hide) ShowItem(id, false);
    SetItemText(IDC_NEXT, LoadResString(page2 ? IDS_BUTTON_EXECUTE : IDS_BUTTON_NEXT).c_str());
    for (int id : show) ShowItem(id, true);
    EnableItem(IDC_BACK, page2);
    m_bOnPage2 = page2;
}

}  // namespace zr
