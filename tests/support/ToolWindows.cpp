#include "support/ToolWindows.h"

#include <shlobj.h>

#include "resource.h"
#include "common/ResString.h"

namespace zrui {

const char kToolCaption[] = "SD-Talvane Backup&Restoreツール";

namespace {

void Tell(const WindowSeen& seen, HWND window, const std::string& name) {
    if (seen && window) seen(window, name);
}

bool Fail(std::string& error, const std::string& what) {
    error = what;
    return false;
}

HWND WaitForFolderDialog(DWORD pid, HWND mainDialog, int itemId) {
    WindowQuery query;
    query.pid = pid;
    query.owner = mainDialog;
    query.title = kToolCaption;
    query.requiredItem = itemId;
    return WaitForWindow(query);
}

HWND OpenFolderDialog(DWORD pid, HWND mainDialog, int button, UINT warning, int itemId, const char* name,
                      std::string& error, const WindowSeen& seen) {
    if (!ClickButton(mainDialog, button)) {
        error = "main dialog button not clickable";
        return nullptr;
    }
    if (!AnswerToolMessage(pid, mainDialog, warning, "OK+Cancel", MB_ICONWARNING, IDOK, error, seen)) return nullptr;
    HWND dialog = WaitForFolderDialog(pid, mainDialog, itemId);
    if (!dialog) error = std::string("no ") + name;
    Tell(seen, dialog, name);
    return dialog;
}

// Both folder fields a folder dialog can have, as one text.
std::string FolderFields(HWND dialog) {
    return GetItemText(dialog, IDC_FOLDER_EDIT) + "|" + GetItemText(dialog, IDC_SOURCE_EDIT);
}

}  // namespace

HWND WaitForMainDialog(DWORD pid, DWORD timeoutMs) {
    WindowQuery query;
    query.pid = pid;
    query.title = kToolCaption;
    query.requiredItem = IDC_BACKUP;
    return WaitForWindow(query, timeoutMs);
}

bool AnswerToolMessage(DWORD pid, HWND owner, UINT textId, const char* buttons, UINT icon, int answer,
                       std::string& error, const WindowSeen& seen) {
    HWND box = WaitForMessageBox(pid, owner);
    if (!box) return Fail(error, "no message " + std::to_string(textId));
    Tell(seen, box, "message-" + std::to_string(textId));
    std::string text = MessageBoxText(box);
    if (text != zr::LoadResString(textId)) return Fail(error, "message " + std::to_string(textId) + " expected, got: " + text);
    if (GetText(box) != zr::LoadResString(IDS_APP_TITLE)) return Fail(error, "message caption: " + GetText(box));
    if (MessageBoxButtons(box) != buttons) return Fail(error, "message buttons: " + MessageBoxButtons(box));
    const UINT shown = MessageBoxIcon(box);
    if (shown != icon) return Fail(error, "message icon: " + IconName(shown) + ", expected " + IconName(icon));
    if (!AnswerMessageBox(box, answer)) return Fail(error, "message " + std::to_string(textId) + " not answered");
    return true;
}

HWND OpenBackupFolderDialog(DWORD pid, HWND mainDialog, std::string& error, const WindowSeen& seen) {
    return OpenFolderDialog(pid, mainDialog, IDC_BACKUP, IDS_BACKUP_WARNING, IDC_FOLDER_EDIT, "backup-folder-dialog",
                            error, seen);
}

HWND OpenRestoreFolderDialog(DWORD pid, HWND mainDialog, std::string& error, const WindowSeen& seen) {
    return OpenFolderDialog(pid, mainDialog, IDC_RESTORE, IDS_RESTORE_WARNING, IDC_SOURCE_EDIT,
                            "restore-folder-dialog", error, seen);
}

bool BrowseFolderField(DWORD pid, HWND dialog, int browseButton, const std::string& folder, std::string& error,
                       const WindowSeen& seen) {
    const std::string before = FolderFields(dialog);
    if (!ClickButton(dialog, browseButton)) return Fail(error, "browse button not clickable");
    HWND browser = WaitForFolderBrowser(pid, dialog);
    if (!browser) return Fail(error, "no folder browser");
    bool chosen = folder.empty() ? SelectSpecialInFolderBrowser(browser, CSIDL_DRIVES)
                                 : SelectInFolderBrowser(browser, folder);
    if (!chosen) return Fail(error, "folder browser did not select " + folder);
    Tell(seen, browser, "folder-browser");
    if (!(ClickButton(browser, IDOK) && WaitForWindowGone(browser))) return Fail(error, "folder browser did not close");
    // The browser's own message loop may answer a sync before the dialog has
    // taken the choice: wait for its outcome, a changed field or a message box.
    const DWORD start = GetTickCount();
    while (FolderFields(dialog) == before && !FindOwnedWindow(pid, dialog) && GetTickCount() - start < 5000) Sleep(50);
    return Sync(dialog) || Fail(error, "folder dialog does not answer");
}

bool ShowRestorePage2(DWORD pid, HWND dialog, const std::string& backupFolder, std::string& error) {
    if (!BrowseFolderField(pid, dialog, IDC_BROWSE_SOURCE, backupFolder, error)) return false;
    if (!(ClickButton(dialog, IDC_NEXT) && Sync(dialog))) return Fail(error, "Next not clickable");
    return IsItemEnabled(dialog, IDC_BACK) || Fail(error, "restore dialog stayed on page 1");
}

bool FollowJob(DWORD pid, HWND mainDialog, UINT textId, std::string& error, const WindowSeen& seen,
               bool* resultViewShown) {
    if (resultViewShown) *resultViewShown = false;
    WindowQuery query;
    query.pid = pid;
    query.owner = mainDialog;
    query.requiredItem = IDC_JOB_PROGRESS;
    HWND job = WaitForWindow(query);
    if (!job) return Fail(error, "no progress dialog");
    Tell(seen, job, "job-progress");
    // The result view comes first when the job met items it could not handle.
    HWND next = nullptr;
    DWORD start = GetTickCount();
    while (!(next = FindOwnedWindow(pid, job))) {
        if (GetTickCount() - start > kJobTimeoutMs) return Fail(error, "job did not end");
        Sleep(100);
    }
    if (GetDlgItem(next, IDC_RESULT_LIST)) {
        if (resultViewShown) *resultViewShown = true;
        Tell(seen, next, "job-result-view");
        if (!(ClickButton(next, IDOK) && WaitForWindowGone(next))) return Fail(error, "result view did not close");
    }
    // A job ends with information (done or cancelled) or with an error.
    const UINT icon = textId == IDS_BACKUP_COMPLETE || textId == IDS_RESTORE_COMPLETE || textId == IDS_CANCELLED
                          ? MB_ICONINFORMATION
                          : MB_ICONERROR;
    if (!AnswerToolMessage(pid, job, textId, "OK", icon, IDOK, error, seen)) return false;
    if (!WaitForWindowGone(job)) return Fail(error, "progress dialog did not close");
    return WaitForEnabled(mainDialog) || Fail(error, "main dialog not idle after the job");
}

bool BackupThroughWindow(DWORD pid, HWND mainDialog, const std::string& folder, std::string& error,
                         const WindowSeen& seen) {
    HWND dialog = OpenBackupFolderDialog(pid, mainDialog, error, seen);
    if (!dialog || !BrowseFolderField(pid, dialog, IDC_BROWSE_FOLDER, folder, error, seen)) return false;
    if (!ClickButton(dialog, IDOK)) return Fail(error, "execute not clickable");
    // Returns once the dialog closed or asks about the earlier backup.
    Sync(dialog);
    HWND box = IsWindow(dialog) ? FindOwnedWindow(pid, dialog) : nullptr;
    if (box && !AnswerToolMessage(pid, dialog, IDS_BACKUP_EXISTS, "Yes+No", MB_ICONWARNING, IDYES, error, seen))
        return false;
    if (!WaitForWindowGone(dialog)) return Fail(error, "backup folder dialog did not close");
    return FollowJob(pid, mainDialog, IDS_BACKUP_COMPLETE, error, seen);
}

bool RestoreThroughWindow(DWORD pid, HWND mainDialog, const std::string& backupFolder, const std::string& destination,
                          std::string& error, const WindowSeen& seen) {
    HWND dialog = OpenRestoreFolderDialog(pid, mainDialog, error, seen);
    if (!dialog || !ShowRestorePage2(pid, dialog, backupFolder, error)) return false;
    Tell(seen, dialog, "restore-folder-dialog-page2");
    if (!destination.empty() && !BrowseFolderField(pid, dialog, IDC_BROWSE_FOLDER, destination, error, seen))
        return false;
    if (!(ClickButton(dialog, IDC_NEXT) && WaitForWindowGone(dialog))) return Fail(error, "restore dialog did not close");
    return FollowJob(pid, mainDialog, IDS_RESTORE_COMPLETE, error, seen);
}

}  // namespace zrui
