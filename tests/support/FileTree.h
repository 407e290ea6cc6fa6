// What a folder holds, in forms a test compares in one assertion.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zrtest {

// Everything below root, sorted: files as "a\b.txt", folders as "a\".
std::vector<std::string> ListTree(const std::string& root);
// Every file below a folder with its bytes, by its path below the folder.
std::map<std::string, std::string> Snapshot(const std::string& folder);
// The names in a folder (files and folders, without "." and ".."), sorted.
std::vector<std::string> Names(const std::string& folder);

}  // namespace zrtest
