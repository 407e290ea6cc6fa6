#include "engine/FolderListing.h"

#include "common/FolderIdentity.h"
#include "common/PathUtil.h"

namespace zr {

const CListedEntry* CFolderListing::Find(const std::string& name) const {
    const std::string key = FoldCase(name);
    for (const CListedEntry& entry : entries) {
        if (FoldCase(entry.name) == key) return &entry;
    }
    return nullptr;
}

void ListFolder(const std::string& folder, bool deep, CFolderListing& listing) {
    listing.entries.clear();
    const std::string pattern = folder + "\\*.*";
    if (!FitsBuffer(pattern, MAX_PATH)) {
        listing.error = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(pattern.c_str(), data);
    if (find == INVALID_HANDLE_VALUE) {
        listing.error = GetLastError();
        return;
    }
    do {
        CListedEntry entry;
        entry.name = data.cFileName;
        entry.attributes = data.dwFileAttributes;
        entry.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.link = IsLinkEntry(data);
        listing.entries.push_back(std::move(entry));
    } while (FindNextEntry(find, data));
    const DWORD error = GetLastError();
    FindClose(find);
    listing.error = error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
    if (!deep) return;
    for (CListedEntry& entry : listing.entries) {
        if (!entry.IsFolder() || entry.IsDots() || entry.link) continue;
        entry.folder = std::make_unique<CFolderListing>();
        ListFolder(folder + "\\" + entry.name, true, *entry.folder);
    }
}

ULONGLONG ListedOnDisk(const CFolderListing& listing, ULONGLONG cluster) {
    if (listing.IsMissing() || (listing.entries.empty() && listing.error != ERROR_SUCCESS)) return 0;
    ULONGLONG total = cluster;
    for (const CListedEntry& entry : listing.entries) {
        if (entry.IsDots() || entry.link) continue;
        if (entry.IsFolder()) {
            if (entry.folder) total += ListedOnDisk(*entry.folder, cluster);
        } else {
            total += (entry.size + cluster - 1) / cluster * cluster;
        }
    }
    return total;
}

}  // namespace zr
