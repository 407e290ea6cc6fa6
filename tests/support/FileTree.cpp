#include "support/FileTree.h"

#include <windows.h>

#include <algorithm>

#include "support/Sandbox.h"

namespace zrtest {
namespace {

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(child + "\\");
            ListInto(root, child, out);
        } else {
            out.push_back(child);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    ListInto(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& item : ListTree(folder)) {
        if (item.back() != '\\') files[item] = ReadTextFile(folder + "\\" + item);
    }
    return files;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zrtest
