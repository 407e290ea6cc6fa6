// Folders compared by what they are, not by how they are spelled. A second
// name for a folder (a substituted or extra drive letter, a mapped drive
// beside its share, a junction or symbolic link, a short name) defeats a
// comparison of path strings; the file system knows better:
//  - the real path of an opened item (GetFinalPathNameByHandleA): every local
//    second name resolved, a mapped drive as its share. Under Wine it is the
//    Unix path with its links resolved, shown through the deepest drive
//    letter whose root holds it, so any two names of one folder give one.
//  - its volume serial and file index (GetFileInformationByHandle), for what
//    the real path cannot resolve: the same share reached through two server
//    names. Under Wine the serial is that of the drive the real path is shown
//    through, and 0 for a drive made while Wine's mount manager ran and for a
//    file system no drive's root lies on; a serial of 0 is taken as unknown,
//    since file indexes of two Unix file systems may be alike.
// Where neither can be read (an item that is gone, a folder that may not be
// opened) the path strings are compared as before (ComparablePath).
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>

namespace zr {

// What the file system says an existing item is.
struct ItemIdentity {
    bool exists = false;
    std::string realPath;  // full, case folded, no trailing backslash; empty when not told
    DWORD serial = 0;      // volume serial; 0 when not told
    ULONGLONG index = 0;   // file index on that volume, when serial is not 0
};

// Opens the item (following links: it is what a name leads to that counts)
// and reads its real path, volume serial and file index. `exists` is false
// when the path or an item on it is missing; an item that is there but cannot
// be opened exists with nothing else known. One open, two queries and a
// close; under Wine about 3 ms on a busy 2-core machine, most of it the
// volume query's round trip to Wine's mount manager (Windows answers that
// query from its own file system).
ItemIdentity ReadItemIdentity(const std::string& path);

// The real path alone (as ItemIdentity has it; a root as "C:"), or empty
// when the item cannot be opened or the system does not tell. One open, a
// query and a close: under Wine about 0.5 ms on a busy 2-core machine.
std::string RealPath(const std::string& path);

// True when both identities are known and name the same item.
bool IsSameItem(const ItemIdentity& a, const ItemIdentity& b);

// Identities read once per path and kept, for a check that asks about many
// items (say every folder of a library) against a few folders. Not for
// keeping across changes on disk: one cache per check. Not thread-safe.
//
// What a call costs: each path not met before is opened once (an open, a
// query or two, a close) and kept. The real path alone costs under Wine
// about 0.5 ms on a busy 2-core machine; serial and index add the volume
// query, a round trip to Wine's mount manager, about 2 ms more there. Serial
// and index are read only where real paths cannot tell: an item on the
// folder's drive or on a share, and then its real ancestors too. A library's
// folders mostly share their ancestors, so a walk over them costs about one
// open per folder: the cheap one when the folder asked about is on another
// drive.
class CFolderIdentities {
public:
    // True when both paths name the same existing folder (or file); when an
    // identity cannot be read, when their comparable path strings are equal.
    bool IsSame(const std::string& a, const std::string& b);
    // True when item is the folder or lies inside it, where item need not
    // exist: its nearest existing ancestor is where it would be made. Also
    // true when the comparable path strings say so (a name inside the folder
    // stays inside it, whatever a link further down points at).
    bool IsSameOrInside(const std::string& item, const std::string& folder);

private:
    struct Known {
        ItemIdentity identity;
        bool indexRead = false;
    };
    // The identity of a FullPathFolded form, read once (serial and index
    // when asked, once); an entry read again stays where it was.
    const ItemIdentity& IdentityOfForm(const std::string& form, bool withIndex);
    // The identity of the form or of its nearest existing ancestor, whose
    // form it leaves in `form`.
    const ItemIdentity& NearestExisting(std::string& form, bool withIndex);

    std::unordered_map<std::string, Known> m_known;
};

// One-shot forms of the above, with a cache for the one call.
bool IsSameFolder(const std::string& a, const std::string& b);
bool IsSameOrInsideFolder(const std::string& item, const std::string& folder);

// FindFirstFileA and FindNextFileA with the entry's reparse tag cleared
// first: Wine 8's ANSI calls never write it (dwReserved0 keeps what the
// caller had there), and a stale value could pass for a tag.
HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA& data);
BOOL FindNextEntry(HANDLE find, WIN32_FIND_DATAA& data);

// A listed entry (FindFirstEntry / FindNextEntry) that is a link to
// elsewhere: a symbolic link, junction or mount point, whose tag is a name
// surrogate; other reparse points (a cloud file's placeholder, a
// deduplicated file) are the user's own items. Wine 8 lists a Unix link to a
// folder with FILE_ATTRIBUTE_REPARSE_POINT and no tag, and a link to a file
// as a plain file: only IsLink below tells that one. No system call.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);
inline bool IsLinkEntry(const WIN32_FIND_DATAA& data) { return IsLinkEntry(data.dwFileAttributes, data.dwReserved0); }

// True when the item at path is a link, including a link to a file under
// Wine: the item's real path is not its folder's real path with its own
// name. A listing of the item and two opens (the item and its folder): under
// Wine about 1.4 ms on a busy 2-core machine, too dear for every file of a
// copy.
bool IsLink(const std::string& path);

// Removes a link to a folder or a file itself, never what it leads to: the
// item is opened as the link (FILE_FLAG_OPEN_REPARSE_POINT) and deleted
// through that handle only when the handle shows a link; otherwise false with
// ERROR_NOT_A_REPARSE_POINT. Under Wine 8 no call removes a Unix link: each
// one that names it acts on its target (RemoveDirectoryA removes the target
// folder when it is empty, DeleteFileA deletes the target file, MoveFileA
// moves the target), and this handle is the target's, so the link stays and
// the call fails with that error. One open, a query, a deletion, a close.
bool RemoveLinkItself(const std::string& path);

// Deletes a file, or a link to a file itself, but never a file reached through
// a link: unless the handle is the link itself, its real path must be its
// folder's real path with the file's own long name; otherwise false with
// ERROR_NOT_A_REPARSE_POINT (Wine's link to a file, which lists as a file
// and whose DeleteFileA deletes the target). Where the system tells no real
// path, the handle's own account holds, as on Windows. A read-only file
// stays, as with DeleteFileA. Under Wine it costs six or seven DeleteFileA,
// nearly all of it the folder's real path and the file's: a walk over a
// folder's files reads the folder's once (RealPath) and passes it, three to
// five DeleteFileA (on a busy 2-core machine, 0.7 to 1 ms a file).
bool DeleteFileItself(const std::string& path);
bool DeleteFileItself(const std::string& path, const std::string& folderRealPath);

}  // namespace zr
