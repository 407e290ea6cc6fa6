#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include "common/PathUtil.h"

#include <atomic>
#include <cstdio>
#include <vector>

namespace zrtest {
namespace {

std::atomic<int> g_counter{0};
const char kSandboxRoot[] = "Software\\ZRTestSandbox";

bool IsDots(const char* name) { return !strcmp(name, ".") || !strcmp(name, ".."); }

void RemoveTreeImpl(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(data.cFileName)) continue;
            std::string child = path + "\\" + data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeImpl(child);
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

std::string NextName() {
    char name[64];
    std::snprintf(name, sizeof(name), "%lu_%d", GetCurrentProcessId(), ++g_counter);
    return name;
}

}  // namespace

CSandbox::CSandbox() : m_name(NextName()), m_registry(std::string(kSandboxRoot) + "\\" + m_name) {
    EXPECT_TRUE(m_registry.Ok());
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    m_folder = std::string(temp) + "zrtest_" + m_name;
    if (!m_folder.empty() && m_folder.back() == '\\') m_folder.pop_back();
    RemoveTreeImpl(m_folder);
    MakeFolder(m_folder);
}

CSandbox::~CSandbox() { RemoveTreeImpl(m_folder); }

void CreateRegKey(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr))
        << key;
    RegCloseKey(h);
}

void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr))
        << key;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>(value.size() + 1)));
    RegCloseKey(h);
}

void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr))
        << key;
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
    RegCloseKey(h);
}

bool ReadRegString(HKEY root, const std::string& key, const std::string& name, std::string& value) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        std::vector<char> data(size + 1, 0);
        ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
             ERROR_SUCCESS;
        value.assign(data.data());
    }
    RegCloseKey(h);
    return ok;
}

void WriteTextFile(const std::string& path, const std::string& content) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(h);
}

void MakeTextFile(const std::string& path, const std::string& content) {
    MakeFolder(zr::FolderPart(path));  // a name may end in the trail byte 0x5C
    WriteTextFile(path, content);
}

std::string ReadTextFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(h);
    return content;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string& path) {
    zr::MakeSureFolderPathExists((path + "\\").c_str());
    ASSERT_TRUE(FolderExists(path)) << path;
}

void RemoveTree(const std::string& path) { RemoveTreeImpl(path); }

CScratch::CScratch(const std::string& what) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    m_folder = std::string(temp) + "zrtest_" + what + "_" + std::to_string(GetCurrentProcessId());
    RemoveTree(m_folder);
    MakeFolder(m_folder);
}

CScratch::~CScratch() { RemoveTree(m_folder); }

}  // namespace zrtest
