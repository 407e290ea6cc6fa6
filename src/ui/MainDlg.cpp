#include "ui/MainDlg.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "resource.h"
#include "common/PathUtil.h"
#include "job/ExecuteBackupRestore.h"
#include "ui/BrowseFolder.h"
#include "ui/SelectBackupFolder.h"
#include "ui/SelectRestoreFolder.h"
#include "ui/UserMessage.h"

namespace zr {

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}

CZuderaRurarizIdirDlg::CZuderaRurarizIdirDlg(HWND parent)
    : CDialog(IDD_MAIN, parent), m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN))) {}

BOOL CZuderaRurarizIdirDlg::OnInit() {
    std::string about = LoadResString(IDS_ABOUTBOX);
    if (!about.empty()) {
        HMENU menu = GetSystemMenu(m_hWnd, FALSE);
        if (menu) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_strCaption = LoadResString(IDS_APP_TITLE);
    return TRUE;
}

INT_PTR CZuderaRurarizIdirDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    (void)lParam;
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg about(m_hWnd);
            about.DoModal();
            handled = true;
            return TRUE;
        }
        break;
    case WM_PAINT:
        OnPaint(handled);
        return 0;
    case WM_QUERYDRAGICON:
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        break;
    }
    handled = false;
    return 0;
}

bool CZuderaRurarizIdirDlg::OnButtonClicked(WORD id) {
    switch (id) {
    case IDC_BACKUP:
        OnBackup();
        return true;
    case IDC_RESTORE:
        OnRestore();
        return true;
    case IDC_MANUAL:
        OnShowManual();
        return true;
    default:
        return CDialog::OnButtonClicked(id);
    }
}

int CZuderaRurarizIdirDlg::ShowMessage(UINT textId, UINT flags) {
    return ShowUserMessage(m_hWnd, textId, m_strCaption, flags);
}

void CZuderaRurarizIdirDlg::OnBackup() {
    if (ShowMessage(IDS_BACKUP_WARNING, MB_OKCANCEL | MB_ICONWARNING) != IDOK) return;
    // A backup whose drive holds it only in the earlier backup's place lets
    // the user choose another folder instead: the folder dialog comes again.
    for (;;) {
        // The folder dialogs are made afresh for every flow, so nothing carries over.
        std::string folder;
        {
            CSelectBackupFolder select(m_hWnd);
            if (select.DoModal() != IDOK) return;
            folder = select.m_strBackupFolder;
        }
        if (RunJob(BackupDataPath(folder), std::string()) != IDRETRY) return;
    }
}

void CZuderaRurarizIdirDlg::OnRestore() {
    if (ShowMessage(IDS_RESTORE_WARNING, MB_OKCANCEL | MB_ICONWARNING) != IDOK) return;
    std::string backupFolder, restoreFolder;
    {
        CSelectRestoreFolder select(m_hWnd);
        if (select.DoModal() != IDOK) return;
        backupFolder = select.m_strBackupFolder;
        restoreFolder = select.m_strRestoreFolder;
    }
    // Either folder may have gone since it was chosen; the backup is checked first.
    const std::string backupData = BackupDataPath(backupFolder);
    if (!PathIsDirectoryA(backupData.c_str())) {
        ShowMessage(IDS_BACKUP_FOLDER_MISSING, MB_OK | MB_ICONERROR);
        return;
    }
    if (!PathIsDirectoryA(restoreFolder.c_str())) {
        ShowMessage(IDS_RESTORE_FOLDER_MISSING, MB_OK | MB_ICONERROR);
        return;
    }
    RunJob(backupData, restoreFolder);
}

INT_PTR CZuderaRurarizIdirDlg::RunJob(const std::string& backupDataFolder, const std::string& restoreFolder) {
    CExecuteBackupRestore job(m_hWnd);
    job.SetBackupDataFolder(backupDataFolder);
    job.SetRestoreFolder(restoreFolder);
    return job.DoModal();
}

void CZuderaRurarizIdirDlg::OnShowManual() {
    // The manual lies next to the program, whatever the working folder is.
    char file[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, file, sizeof(file));
    char* separator = (length > 0 && length < sizeof(file)) ? FindLastBackslash(file) : nullptr;
    bool named = separator != nullptr;
    if (named) {
        *separator = '\0';
        named = AppendBounded(file, sizeof(file), "\\") &&
                AppendBounded(file, sizeof(file), LoadResString(IDS_MANUAL_FILE).c_str());
    }
    // A name cut short would open some other file: that counts as a failure too.
    HINSTANCE result = named ? ShellExecuteA(GetDesktopWindow(), "open", file, nullptr, nullptr, SW_SHOW) : nullptr;
    if (reinterpret_cast<INT_PTR>(result) <= 32) ShowMessage(IDS_MANUAL_FAILED, MB_OK | MB_ICONERROR);
}

void CZuderaRurarizIdirDlg::OnPaint(bool& handled) {
    if (!IsIconic(m_hWnd)) {
        handled = false;
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    handled = true;
}

}  // namespace zr
