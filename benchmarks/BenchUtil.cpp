#include "BenchUtil.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "hostsim/core/HostIo.h"

namespace bench {
namespace {

bool g_failed = false;

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

}  // namespace

void Fail(const std::string& what) {
    std::printf("  FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    g_failed = true;
}

bool Failed() { return g_failed; }

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

void FlushTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
        const std::string path = folder + "\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            FlushTree(path);
            continue;
        }
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(h);
            CloseHandle(h);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

void Discard(const std::string& folder) {
    FlushTree(folder);
    hostsim::RemoveTree(folder);
}

bool UseShellFoldersBelow(const std::string& root, std::string& error) {
    hostsim::CRegKey machine, user;
    if (machine.Create(HKEY_LOCAL_MACHINE, kShellFolders) == ERROR_SUCCESS) {
        machine.SetString("Common AppData", root + "\\Common");
    }
    if (user.Create(HKEY_CURRENT_USER, kShellFolders) == ERROR_SUCCESS) user.SetString("AppData", root + "\\AppData");
    return hostsim::MakeFolder(root + "\\Common", error) && hostsim::MakeFolder(root + "\\AppData", error);
}

}  // namespace bench
