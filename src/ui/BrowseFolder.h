// The browse procedure both folder dialogs share: the shell's folder browser
// and the rules a chosen folder must pass.
#pragma once

#include <windows.h>

#include <string>

namespace zr {

// Folders longer than this (in bytes) are refused: the backup tree below
// them must stay within MAX_PATH.
constexpr size_t kMaxFolderBytes = 150;

// Opens the folder browser (new style with an edit box, starting at the
// desktop, no preselection). False when the user cancelled or the browser
// failed; otherwise path is the item's file-system path, empty for an item
// that has none (such as the network).
bool BrowseForFolder(HWND owner, const std::string& prompt, std::string& path);

// The message that refuses a folder, or 0 when it passes. Rules in order:
// empty (emptyMessage; 0 lets an empty folder pass), longer than
// kMaxFolderBytes, ends with a backslash (a drive root), and with
// needBackupData, no "BackupData" folder below it.
UINT CheckFolder(const std::string& folder, UINT emptyMessage, bool needBackupData);

// folder + "\BackupData".
std::string BackupDataPath(const std::string& folder);

}  // namespace zr
