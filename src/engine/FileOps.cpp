#include "engine/FileOps.h"

#include <cstdio>

#include "common/FolderIdentity.h"
#include "common/PathUtil.h"

namespace zr {
namespace {

// Never MOVEFILE_REPLACE_EXISTING. A folder's rename stays on its volume; a
// file may cross one.
const DWORD kMoveFlags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

bool IsDots(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file that is still there after the system accepted its deletion (Wine on a
// read-only medium): opening it for writing tells why.
DWORD WhyFileStays(const std::string& file) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return ERROR_GEN_FAILURE;
}

// A link is removed itself or not at all: what it leads to is not the job's.
DWORD RemoveLink(const std::string& item) { return RemoveLinkItself(item) ? ERROR_SUCCESS : GetLastError(); }

DWORD RemoveContents(const std::string& folder) {
    DWORD firstError = ERROR_SUCCESS;
    const std::string pattern = folder + "\\*";
    if (!FitsBuffer(pattern, MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(pattern.c_str(), data);
    if (find == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    // Read once per folder: every file's deletion makes sure it deletes no
    // file a link leads to.
    const std::string folderReal = RealPath(folder);
    do {
        if (IsDots(data.cFileName)) continue;
        const std::string item = folder + "\\" + data.cFileName;
        DWORD error = ERROR_SUCCESS;
        if (!FitsBuffer(item + "\\", MAX_PATH)) {
            error = ERROR_FILENAME_EXCED_RANGE;
        } else if (IsLinkEntry(data)) {
            error = RemoveLink(item);
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = RemoveContents(item);
            if (error == ERROR_SUCCESS && !RemoveDirectoryA(item.c_str())) error = GetLastError();
        } else {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesA(item.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            }
            if (!DeleteFileItself(item, folderReal)) {
                error = GetLastError();
            } else if (Exists(item)) {
                error = WhyFileStays(item);
            }
        }
        if (firstError == ERROR_SUCCESS) firstError = error;
    } while (FindNextEntry(find, data));
    FindClose(find);
    return firstError;
}

}  // namespace

bool FirstFreeName(const std::string& path, std::string& result) {
    result = path;
    if (!Exists(path)) return true;
    for (int i = 0; i < kMaxFolderNumbers; ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "%05d", i);
        const std::string candidate = path + suffix;
        if (!Exists(candidate)) {
            result = candidate;
            return true;
        }
    }
    return false;
}

bool MoveToFreeName(const std::string& from, const std::string& to) {
    return FitsBuffer(from, MAX_PATH) && FitsBuffer(to, MAX_PATH) && MoveFileExA(from.c_str(), to.c_str(), kMoveFlags);
}

DWORD RemoveFolderTree(const std::string& folder) {
    if (!FitsBuffer(folder + "\\", MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? ERROR_SUCCESS : error;
    }
    // The tree itself may be a link: what it points at is not the job's.
    if (IsLink(folder)) return RemoveLink(folder);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    DWORD error = RemoveContents(folder);
    if (!RemoveDirectoryA(folder.c_str())) {
        if (error == ERROR_SUCCESS) error = GetLastError();
    } else if (Exists(folder) && error == ERROR_SUCCESS) {
        error = ERROR_GEN_FAILURE;
    }
    return error;
}

}  // namespace zr
