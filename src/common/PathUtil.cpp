#include "common/PathUtil.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zr {

const char* FindLastBackslash(const char* s) {
    if (!s) return nullptr;
    const char* last = nullptr;
    for (const char* p = s; *p;) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\') last = p;
        ++p;
    }
    return last;
}

unsigned SeparatorCodePage(unsigned short language) {
    if (PRIMARYLANGID(language) == LANG_JAPANESE) return 932;
    if (PRIMARYLANGID(language) == LANG_CHINESE) {
        return SUBLANGID(language) == SUBLANG_CHINESE_TRADITIONAL ? 950 : 936;
    }
    return 0;
}

const char* FindLastBackslashIn(const char* s, unsigned codePage) {
    if (!s) return nullptr;
    const char* last = nullptr;
    for (const char* p = s; *p;) {
        if (codePage && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\') last = p;
        ++p;
    }
    return last;
}

bool HasTrailingBackslash(const char* s) {
    if (!s || !*s) return false;
    const char* lastChar = nullptr;
    for (const char* p = s; *p;) {
        lastChar = p;
        p += (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ? 2 : 1;
    }
    return lastChar[0] == '\\' && lastChar[1] == '\0';
}

bool RemoveTrailingBackslash(std::string& s) {
    if (!HasTrailingBackslash(s)) return false;
    s.pop_back();
    return true;
}

std::string FileNamePart(const std::string& path) {
    const char* sep = FindLastBackslash(path.c_str());
    return sep ? std::string(sep + 1) : path;
}

std::string FolderPart(const std::string& path) {
    const char* sep = FindLastBackslash(path.c_str());
    return sep ? path.substr(0, static_cast<std::size_t>(sep - path.c_str())) : path;
}

std::string FoldCase(const std::string& s) {
    std::string folded = s;
    for (std::size_t i = 0; i < folded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (IsDBCSLeadByte(c) && i + 1 < folded.size()) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            folded[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

std::size_t PlatformFileNameOffset(const std::string& path) {
    return static_cast<std::size_t>(PathFindFileNameA(path.c_str()) - path.c_str());
}

std::string PlatformFileName(const std::string& path) { return path.substr(PlatformFileNameOffset(path)); }

bool IsExistingFile(const std::string& path) {
    if (!FitsBuffer(path, MAX_PATH)) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsReadableFile(const std::string& path) {
    const DWORD error = GetLastError();
    HANDLE file = FitsBuffer(path, MAX_PATH)
                      ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr)
                      : INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    SetLastError(error);
    return file != INVALID_HANDLE_VALUE;
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char* p = name.c_str(); *p;) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') return false;
        ++p;
    }
    return true;
}

bool IsPlainAbsolutePath(const std::string& path) {
    // The parts between single-byte backslashes.
    std::vector<std::string> parts(1);
    for (const char* p = path.c_str(); *p;) {
        const bool dbcs = IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1];
        if (!dbcs && *p == '\\') {
            parts.emplace_back();
            ++p;
            continue;
        }
        parts.back().append(p, dbcs ? 2 : 1);
        p += dbcs ? 2 : 1;
    }
    std::size_t names = 1;
    const std::string& head = parts[0];
    const bool drive = head.size() == 2 && head[1] == ':' &&
                       ((head[0] >= 'A' && head[0] <= 'Z') || (head[0] >= 'a' && head[0] <= 'z'));
    if (!drive) {
        // "\\server\share\name": two empty parts, then a server that is no
        // device prefix ("?" or "."), a share and at least one name.
        if (parts.size() < 5 || !head.empty() || !parts[1].empty() || parts[2] == "?") return false;
        names = 2;
    }
    if (parts.size() <= names) return false;
    for (std::size_t i = names; i < parts.size(); ++i) {
        if (!IsPlainName(parts[i])) return false;
    }
    return true;
}

namespace {

// GetFullPathNameA, optionally with the long names of the items that exist
// (a missing item keeps its spelling), folded, without a trailing backslash.
std::string FormOfPath(const std::string& path, bool longNames) {
    if (path.empty() || !FitsBuffer(path, MAX_PATH)) return std::string();
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return std::string();
    // Only a short name differs from its long one, and a short name that
    // differs has a '~' (a byte that may also be a trail byte, which costs
    // only the look-up): without one, the look-up through every folder of
    // the path would find what is already there.
    char longer[MAX_PATH] = {};
    const DWORD m = longNames && std::strchr(full, '~') ? GetLongPathNameA(full, longer, MAX_PATH) : 0;
    std::string result = (m > 0 && m < MAX_PATH) ? longer : full;
    RemoveTrailingBackslash(result);
    return FoldCase(result);
}

}  // namespace

std::string FullPathFolded(const std::string& path) { return FormOfPath(path, false); }

std::string ComparablePath(const std::string& path) { return FormOfPath(path, true); }

bool IsSameOrBelow(const std::string& item, const std::string& folder) {
    if (item.empty() || folder.empty()) return false;
    if (item == folder) return true;
    // Both forms start at a character boundary, so the byte after a shared
    // prefix is a real separator when it is a backslash.
    const std::string prefix = HasTrailingBackslash(folder) ? folder : folder + "\\";
    return item.compare(0, prefix.size(), prefix) == 0;
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    return IsSameOrBelow(ComparablePath(path), ComparablePath(folder));
}

void CopyCutAtCharacter(char* buffer, std::size_t size, const char* text) {
    if (!buffer || size == 0) return;
    std::size_t used = 0;
    for (const char* p = text ? text : ""; *p;) {
        const std::size_t n = (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ? 2 : 1;
        if (used + n >= size) break;
        std::memcpy(buffer + used, p, n);
        used += n;
        p += n;
    }
    buffer[used] = '\0';
}

bool CopyBounded(char* buffer, std::size_t size, const char* text) {
    if (!buffer || size == 0) return false;
    std::size_t n = text ? std::strlen(text) : 0;
    if (n >= size) return false;
    std::memcpy(buffer, text ? text : "", n + 1);
    return true;
}

bool AppendBounded(char* buffer, std::size_t size, const char* text) {
    if (!buffer || size == 0) return false;
    std::size_t have = strnlen(buffer, size);
    if (have >= size) return false;
    std::size_t n = text ? std::strlen(text) : 0;
    if (have + n >= size) return false;
    std::memcpy(buffer + have, text ? text : "", n + 1);
    return true;
}

bool MakeSureFolderPathExists(const char* path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::string partial;
    for (const char* p = path; *p;) {
        bool dbcs = IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1];
        if (!dbcs && *p == '\\' && !partial.empty() && partial.back() != ':' && partial != "\\") {
            // Skip the server and share of a UNC path: they cannot be created.
            bool uncHead = partial.rfind("\\\\", 0) == 0 &&
                           std::count(partial.begin(), partial.end(), '\\') < 4;
            if (!uncHead && !CreateDirectoryA(partial.c_str(), nullptr)) {
                // Only an existing folder will do: a file of that name is a failure.
                DWORD error = GetLastError();
                DWORD attributes = GetFileAttributesA(partial.c_str());
                if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    SetLastError(error);
                    return false;
                }
            }
        }
        partial.append(p, dbcs ? 2 : 1);
        p += dbcs ? 2 : 1;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool CreateFolderPath(const std::string& folderWithBackslash, DWORD& error) {
    if (!FitsBuffer(folderWithBackslash, MAX_PATH)) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (MakeSureFolderPathExists(folderWithBackslash.c_str())) return true;
    error = GetLastError();
    return false;
}

bool CopyFileOver(const std::string& from, const std::string& to) {
    return FitsBuffer(from, MAX_PATH) && FitsBuffer(to, MAX_PATH) && CopyFileA(from.c_str(), to.c_str(), FALSE);
}

void MakeWritable(const std::string& path) {
    if (!FitsBuffer(path, MAX_PATH)) return;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace zr
