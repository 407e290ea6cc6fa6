#include "ui/BrowseFolder.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>

#include "resource.h"
#include "common/BackupTree.h"
#include "common/PathUtil.h"
#include "ui/window/ComApartment.h"

namespace zr {

namespace {

struct ItemIdListDeleter {
    void operator()(ITEMIDLIST* item) const { CoTaskMemFree(item); }
};

}  // namespace

bool BrowseForFolder(HWND owner, const std::string& prompt, std::string& path) {
    // The new-style browser needs an apartment on the calling thread.
    CComApartment apartment;
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    info.lpfn = nullptr;
    std::unique_ptr<ITEMIDLIST, ItemIdListDeleter> item(SHBrowseForFolderA(&info));
    if (!item) return false;
    char buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(item.get(), buffer)) buffer[0] = '\0';
    path = buffer;
    return true;
}

UINT CheckFolder(const std::string& folder, UINT emptyMessage, bool needBackupData) {
    if (folder.empty()) return emptyMessage;
    if (folder.size() > kMaxFolderBytes) return IDS_PATH_TOO_LONG;
    if (HasTrailingBackslash(folder)) return IDS_FOLDER_WRITE_FORBIDDEN;
    if (needBackupData && !PathIsDirectoryA(BackupDataPath(folder).c_str())) return IDS_NO_BACKUPDATA;
    return 0;
}

std::string BackupDataPath(const std::string& folder) { return folder + kBackupDataFolder; }

}  // namespace zr
