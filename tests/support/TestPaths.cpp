#include "support/TestPaths.h"

#include <windows.h>

namespace zrtest {

std::string WinePathOf(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string BinDir() {
    char bin[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("ZR_BIN_DIR", bin, sizeof(bin));
    return n > 0 && n < sizeof(bin) ? std::string(bin) : std::string();
}

std::string BuiltPath(const std::string& relative) {
    const std::string bin = BinDir();
    return bin.empty() ? std::string() : WinePathOf(bin + "/" + relative);
}

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return std::string();
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\'));
}

}  // namespace zrtest
