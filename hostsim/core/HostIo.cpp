#include "hostsim/core/HostIo.h"

#include <shlobj.h>

#include <cstring>

#include "common/PathUtil.h"

namespace hostsim {

LONG CRegKey::Create(HKEY root, const std::string& path) {
    Close();
    return RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_h, nullptr);
}

LONG CRegKey::Open(HKEY root, const std::string& path, REGSAM access) {
    Close();
    LONG rc = RegOpenKeyExA(root, path.c_str(), 0, access, &m_h);
    if (rc != ERROR_SUCCESS) m_h = nullptr;
    return rc;
}

void CRegKey::Close() {
    if (m_h) RegCloseKey(m_h);
    m_h = nullptr;
}

LONG CRegKey::SetString(const char* name, const std::string& value) {
    return RegSetValueExA(m_h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

LONG CRegKey::SetDword(const char* name, DWORD value) {
    return RegSetValueExA(m_h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG CRegKey::SetMultiString(const char* name, const std::vector<std::string>& values) {
    std::string data;
    for (const std::string& v : values) data.append(v.c_str(), v.size() + 1);
    data.push_back('\0');
    return RegSetValueExA(m_h, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

namespace {

bool QueryRaw(HKEY h, const char* name, DWORD wantedType, std::vector<char>& data) {
    if (!h) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != wantedType) return false;
    data.assign(size + 2, '\0');  // room for terminators a writer left out
    return RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
}

}  // namespace

bool CRegKey::GetString(const char* name, std::string& value) const {
    std::vector<char> data;
    if (!QueryRaw(m_h, name, REG_SZ, data)) return false;
    value.assign(data.data());
    return true;
}

bool CRegKey::GetDword(const char* name, DWORD& value) const {
    DWORD type = 0, size = sizeof(value), v = 0;
    if (!m_h || RegQueryValueExA(m_h, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    value = v;
    return true;
}

bool CRegKey::GetMultiString(const char* name, std::vector<std::string>& values) const {
    std::vector<char> data;
    if (!QueryRaw(m_h, name, REG_MULTI_SZ, data)) return false;
    values.clear();
    for (const char* p = data.data(); *p; p += std::strlen(p) + 1) values.emplace_back(p);
    return true;
}

std::string ErrorText(const std::string& what, const std::string& path, DWORD error) {
    return what + " \"" + path + "\" (error " + std::to_string(error) + ")";
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    CFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        error = ErrorText("cannot create file", path, GetLastError());
        return false;
    }
    DWORD written = 0;
    if (size > 0 && (!WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size)) {
        error = ErrorText("cannot write file", path, GetLastError());
        return false;
    }
    return true;
}

bool CopyOneFile(const std::string& from, const std::string& to, std::string& error) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        error = ErrorText("cannot copy", from, GetLastError()) + " to \"" + to + "\"";
        return false;
    }
    return true;
}

bool MakeFolder(const std::string& path, std::string& error) {
    if (IsFolder(path)) return true;
    if (!zr::MakeSureFolderPathExists((path + "\\").c_str())) {
        error = ErrorText("cannot create folder", path, GetLastError());
        return false;
    }
    return true;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path) {
    if (path.empty()) return;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
            std::string child = path + "\\" + data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

void RemoveFolderIfEmpty(const std::string& path) {
    if (!path.empty()) RemoveDirectoryA(path.c_str());  // fails, harmlessly, while anything is inside
}

bool KeyExists(HKEY root, const std::string& path) {
    CRegKey key;
    return key.Open(root, path) == ERROR_SUCCESS;
}

namespace {

bool KeyIsEmpty(HKEY root, const std::string& path) {
    CRegKey key;
    if (key.Open(root, path) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subKeys == 0 && values == 0;
}

}  // namespace

void RemoveKeyTree(HKEY root, const std::string& path, int keepDepth) {
    if (path.empty()) return;
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
    std::string parent = path;
    for (;;) {
        std::string::size_type sep = parent.rfind('\\');  // key names are ASCII
        if (sep == std::string::npos) return;
        parent.resize(sep);
        int depth = 1;
        for (char c : parent) depth += (c == '\\');
        if (depth <= keepDepth || !KeyIsEmpty(root, parent)) return;
        RegDeleteKeyA(root, parent.c_str());
    }
}

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return std::string();
    return zr::FolderPart(path);
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE)) return std::string();
    std::string result = path;
    zr::RemoveTrailingBackslash(result);
    return result;
}

std::string DriveRootOf(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return std::string();
    char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return std::string();
    return path.substr(0, 2) + "\\";
}

std::string FullPath(const std::string& path) {
    if (path.empty()) return std::string();
    char buffer[MAX_PATH] = {};
    DWORD n = GetFullPathNameA(path.c_str(), sizeof(buffer), buffer, nullptr);
    if (n == 0 || n >= sizeof(buffer)) return std::string();
    std::string result = buffer;
    // Keep "C:\" whole: a drive root is only meaningful with its backslash.
    if (!(result.size() == 3 && result[1] == ':')) zr::RemoveTrailingBackslash(result);
    return result;
}

}  // namespace hostsim
