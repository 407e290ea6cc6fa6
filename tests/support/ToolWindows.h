// The tool's own windows driven through UiDriver: its main dialog, folder
// dialogs, messages and jobs, found by the tool's resource ids and string
// table. Framework-free like UiDriver: a test checks the results, a
// stand-alone driver program can run a whole backup and restore with it.
// Programs that use it link the tool's resources (zr_resources), so that
// message texts can be compared with the string table.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "support/UiDriver.h"

namespace zrui {

// The title of the main and folder dialogs.
extern const char kToolCaption[];

// Called with every window a flow meets that is worth a screenshot, and a
// short name for it ("backup-folder-dialog", "job-progress", "message-140"...).
using WindowSeen = std::function<void(HWND window, const std::string& name)>;

// How long one job of a small library may take under Wine.
constexpr DWORD kJobTimeoutMs = 120000;

HWND WaitForMainDialog(DWORD pid, DWORD timeoutMs = kDefaultTimeoutMs);

// Waits for a message box owned by owner (any window of the process when
// null), checks that it shows string textId with the tool's caption, offers
// `buttons` (as MessageBoxButtons names them) and shows `icon` (an MB_ICON
// flag), and presses `answer`. False with `error` set when something differs.
bool AnswerToolMessage(DWORD pid, HWND owner, UINT textId, const char* buttons, UINT icon, int answer,
                       std::string& error, const WindowSeen& seen = nullptr);

// Presses backup or restore on the main dialog, confirms the warning and
// returns the folder dialog that opens (nullptr with `error`).
HWND OpenBackupFolderDialog(DWORD pid, HWND mainDialog, std::string& error, const WindowSeen& seen = nullptr);
HWND OpenRestoreFolderDialog(DWORD pid, HWND mainDialog, std::string& error, const WindowSeen& seen = nullptr);

// Presses a browse button of a folder dialog and chooses the folder in the
// browser (empty: "My Computer", which has no file-system path); true once
// the dialog has handled the choice.
bool BrowseFolderField(DWORD pid, HWND dialog, int browseButton, const std::string& folder, std::string& error,
                       const WindowSeen& seen = nullptr);

// Restore dialog: chooses the folder that holds "BackupData" and presses Next.
bool ShowRestorePage2(DWORD pid, HWND dialog, const std::string& backupFolder, std::string& error);

// Follows a running job from its progress dialog, through the result view
// when there is one (closed), to its closing message, which must be string
// textId (answered). True once the main dialog is idle again.
bool FollowJob(DWORD pid, HWND mainDialog, UINT textId, std::string& error, const WindowSeen& seen = nullptr,
               bool* resultViewShown = nullptr);

// Whole flows as a person runs them. The backup answers Yes when the folder
// already holds a backup; the restore keeps the proposed destination when
// `destination` is empty.
bool BackupThroughWindow(DWORD pid, HWND mainDialog, const std::string& folder, std::string& error,
                         const WindowSeen& seen = nullptr);
bool RestoreThroughWindow(DWORD pid, HWND mainDialog, const std::string& backupFolder, const std::string& destination,
                          std::string& error, const WindowSeen& seen = nullptr);

}  // namespace zrui
