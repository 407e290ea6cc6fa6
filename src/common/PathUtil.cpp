#include "common/PathUtil.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

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

}  // namespace zr
