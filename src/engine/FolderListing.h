// A folder's entries as the file system listed them, in its order. Listed
// deep, it holds its subfolders' listings too, so that a tree read once (for
// the space a restore needs) is walked again without another read.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace zr {

struct CFolderListing;

struct CListedEntry {
    std::string name;  // "." and ".." included, as the listing gave them
    DWORD attributes = 0;
    ULONGLONG size = 0;
    std::unique_ptr<CFolderListing> folder;  // a subfolder's, when listed deep
    // A link to elsewhere (a symbolic link, junction or mount point): never
    // listed into, copied or counted; what it leads to is not the tree's.
    bool link = false;

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // "." or "..": the folder itself or its parent, never to be walked.
    bool IsDots() const { return name == "." || name == ".."; }
};

struct CFolderListing {
    // ERROR_SUCCESS when the listing ran to its end; the system's error when
    // the folder could not be listed, or not to its end (then the entries
    // before the break are there). ERROR_FILE_NOT_FOUND or
    // ERROR_PATH_NOT_FOUND: no such folder.
    DWORD error = ERROR_SUCCESS;
    std::vector<CListedEntry> entries;

    bool IsMissing() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
    // The entry of that name (the file system's case rules for single-byte
    // letters), or nullptr.
    const CListedEntry* Find(const std::string& name) const;
};

// Lists a folder; deep, every folder below it as well. A pattern too long for
// the system ends with ERROR_FILENAME_EXCED_RANGE and nothing listed.
void ListFolder(const std::string& folder, bool deep, CFolderListing& listing);

// The space a listed tree takes on a drive of that cluster size: its files'
// sizes in whole clusters, and a cluster for every folder (itself included).
ULONGLONG ListedOnDisk(const CFolderListing& listing, ULONGLONG cluster);

}  // namespace zr
