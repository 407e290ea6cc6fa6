// Operations that every engine step uses on folders and paths.
#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/BackupRestore.h"
#include "engine/FileOps.h"

namespace zr {
namespace {

// An empty path or any spelling of a whole drive: "C:", "C:\\", "C:/", "C:\\.",
// "C:\\x\\..", "\\" (the current drive), a share. A path whose full form
// cannot be made counts as one too.
bool NamesAWholeDrive(const std::string& folder) {
    if (folder.empty() || !FitsBuffer(folder + "\\", MAX_PATH)) return true;
    if (PathIsRootA((folder + "\\").c_str())) return true;
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return true;
    std::string fullFolder = full;
    if (!HasTrailingBackslash(fullFolder)) fullFolder += "\\";
    return FitsBuffer(fullFolder, MAX_PATH) && PathIsRootA(fullFolder.c_str());
}

}  // namespace

HRESULT CBackupRestore::CopyFolder(const std::string& source, const std::string& destination, CopyFailure* failure,
                                   const CFolderListing* listed) {
    CopyFailure ignored;
    CopyFailure& why = failure ? *failure : ignored;
    why = CopyFailure();
    CFolderListing listedNow;
    if (!listed) {
        ListFolder(source, false, listedNow);
        listed = &listedNow;
    }
    const CFolderListing& listing = *listed;
    // A search pattern the system cannot take would look like a missing
    // folder and the tree would be skipped without a word.
    if (listing.error == ERROR_FILENAME_EXCED_RANGE) {
        why.error = ERROR_FILENAME_EXCED_RANGE;
        return RC_E_FILE_COPY;
    }
    // Only a missing folder has nothing to copy; a folder that cannot be
    // read would otherwise be left out of the copy without a word.
    if (listing.IsMissing()) return RC_OK;
    if (listing.error != ERROR_SUCCESS && listing.entries.empty()) {
        why = CopyFailure{listing.error, true};
        return RC_E_FILE_COPY;
    }

    for (const CListedEntry& entry : listing.entries) {
        if (IsCancelRequested()) return RC_CANCELLED;
        // A link is not followed: a crafted backup could pull outside files in.
        if (entry.IsDots() || entry.link) continue;

        const std::string from = source + "\\" + entry.name;
        const std::string to = destination + "\\" + entry.name;
        if (entry.IsFolder()) {
            if (!FitsBuffer(to + "\\", MAX_PATH)) return FolderCreateError(ERROR_FILENAME_EXCED_RANGE);
            // The destination exists, so one call makes the folder; the walk
            // over every parent is for a folder that is there already, or an
            // error worth its own code. Per folder of a large tree that walk
            // would cost more system calls than the copying.
            if (!CreateDirectoryA(to.c_str(), nullptr) && !MakeSureFolderPathExists((to + "\\").c_str())) {
                why.error = GetLastError();
                return FolderCreateError(why.error);
            }
            HRESULT hr = CopyFolder(from, to, &why, entry.folder.get());
            if (hr != RC_OK) return hr;
        } else {
            if (!FitsBuffer(from, MAX_PATH) || !FitsBuffer(to, MAX_PATH)) {
                why.error = ERROR_FILENAME_EXCED_RANGE;
                return RC_E_FILE_COPY;
            }
            if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
                why.error = GetLastError();
                why.sourceUnreadable = !IsReadableFile(from);
                return RC_E_FILE_COPY;
            }
            // The copy keeps the source's attributes; a backup read from a
            // disc would give the host files it cannot write.
            if (entry.attributes & FILE_ATTRIBUTE_READONLY) MakeWritable(to);
            if (m_bPostProgress != 0 && m_nProgressDone < m_nProgressTotal) {
                ++m_nProgressDone;
                PostProgress(m_nProgressDone, m_nProgressTotal);
            }
        }
    }
    // A listing that broke off midway must not pass for a whole copy.
    if (listing.error != ERROR_SUCCESS) {
        why = CopyFailure{listing.error, true};
        return RC_E_FILE_COPY;
    }
    return RC_OK;
}

HRESULT CBackupRestore::CreateUniqueFolderName(const std::string& path, std::string& result) {
    return FirstFreeName(path, result) ? RC_OK : RC_E_FAIL;
}

void CBackupRestore::DeleteFolder(const std::string& path) {
    std::string folder = path;
    RemoveTrailingBackslash(folder);
    // Never a whole drive: such a path here is a caller's mistake.
    if (NamesAWholeDrive(folder)) return;
    // The tool's own walk, not the shell's delete, which may follow a link
    // inside the tree and delete what it points at.
    RemoveFolderTree(folder);
}

int CBackupRestore::StripFileName(char* buffer) {
    if (!buffer) return 0;

    // The separator search follows the code page of the user's language, so
    // that the trail byte 0x5C of a double-byte character is never taken for a
    // backslash. The walk reads lead bytes from that code page directly, which
    // cuts where the runtime's search under that locale would, without
    // switching the runtime's locale twice per track.
    char* separator = const_cast<char*>(FindLastBackslashIn(buffer, SeparatorCodePage(GetUserDefaultLangID())));
    if (separator) *separator = '\0';
    return 1;
}

}  // namespace zr
