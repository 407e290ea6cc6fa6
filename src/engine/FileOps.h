// The two ways a job changes what is there: a rename that never takes an
// existing name, and a deletion that never follows a link.
#pragma once

#include <windows.h>

#include <string>

namespace zr {

// The numbers a name beside a taken one gets ("%05d"), and the widest of them.
constexpr int kMaxFolderNumbers = 100000;
constexpr char kWidestFolderNumber[] = "00000";

// path, or path + "%05d" with the first number (0 to 99999) that no item
// holds: a folder cannot be made under a file's name, and a move must never
// land on one. False when every number is taken, with `result` = path.
bool FirstFreeName(const std::string& path, std::string& result);

// Renames an item onto a name nothing holds; a file or folder that holds it
// is the user's, and the move fails rather than replace it.
bool MoveToFreeName(const std::string& from, const std::string& to);

// Deletes a folder tree, deepest first. A link inside it (a junction, a
// symbolic link, a mount point) is removed itself, never followed into what
// it points at; where the system can remove it only through its target (Wine)
// it stays, and the tree with it. ERROR_SUCCESS when the whole tree is gone,
// else the system's error for the first item that would not go; a missing
// folder is no error.
DWORD RemoveFolderTree(const std::string& folder);

}  // namespace zr
