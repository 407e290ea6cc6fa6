// Small registry and file helpers shared by the installer, the library
// generator and the lister. Strings are ANSI (code page 932 on the test
// systems); failures come back as false with a readable message in `error`.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace hostsim {

// An open registry key, closed on destruction.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    LONG Create(HKEY root, const std::string& path);
    LONG Open(HKEY root, const std::string& path, REGSAM access = KEY_READ);
    void Close();
    HKEY Get() const { return m_h; }

    LONG SetString(const char* name, const std::string& value);
    LONG SetDword(const char* name, DWORD value);
    LONG SetMultiString(const char* name, const std::vector<std::string>& values);
    bool GetString(const char* name, std::string& value) const;
    bool GetDword(const char* name, DWORD& value) const;
    bool GetMultiString(const char* name, std::vector<std::string>& values) const;

private:
    HKEY m_h = nullptr;
};

// A Win32 file handle, closed on destruction.
class CFileHandle {
public:
    explicit CFileHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CFileHandle() {
        if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// "<what> \"<path>\" (error <n>)": the message style of every failure.
std::string ErrorText(const std::string& what, const std::string& path, DWORD error);

// Writes the whole buffer, replacing an existing file.
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error);
inline bool WriteWholeFile(const std::string& path, const std::string& data, std::string& error) {
    return WriteWholeFile(path, data.data(), data.size(), error);
}
bool CopyOneFile(const std::string& from, const std::string& to, std::string& error);
// Creates the folder with all missing parents.
bool MakeFolder(const std::string& path, std::string& error);

bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// Removes a folder tree (read-only files too); no error when it is absent.
void RemoveTree(const std::string& path);
// Removes a folder only when it is empty.
void RemoveFolderIfEmpty(const std::string& path);
// Removes a key tree, then its parents up to (not including) the first
// `keepDepth` components of `path`, each only while it holds nothing.
void RemoveKeyTree(HKEY root, const std::string& path, int keepDepth);
bool KeyExists(HKEY root, const std::string& path);

// The folder of the running program, without a trailing backslash.
std::string ProgramFolder();
// A special folder (CSIDL_*), created when missing; empty when unavailable.
std::string SpecialFolder(int csidl);
// "X:\" for a path that starts with a drive letter, else empty.
std::string DriveRootOf(const std::string& path);
// A path made absolute and without a trailing backslash; empty when invalid.
std::string FullPath(const std::string& path);

}  // namespace hostsim
