#include "common/FolderIdentity.h"

#include "common/PathUtil.h"

namespace zr {
namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() {
        if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Ok() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

bool IsDriveForm(const std::string& form) {
    return form.size() == 2 && form[1] == ':' &&
           ((form[0] >= 'A' && form[0] <= 'Z') || (form[0] >= 'a' && form[0] <= 'z'));
}

// The single-byte backslashes of s (the trail byte 0x5C of a double-byte
// character is none).
std::size_t CountSeparators(const std::string& s) {
    std::size_t count = 0;
    for (const char* p = s.c_str(); *p;) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\') ++count;
        ++p;
    }
    return count;
}

// "\\server\share" and nothing below it.
bool IsShareForm(const std::string& form) {
    return form.size() > 4 && form.compare(0, 2, "\\\\") == 0 && form[2] != '\\' && CountSeparators(form) == 3 &&
           !HasTrailingBackslash(form);
}

bool IsRootForm(const std::string& form) { return IsDriveForm(form) || IsShareForm(form); }

// A drive or share root, or a path below one.
bool IsFullForm(const std::string& form) {
    if (IsRootForm(form)) return true;
    if (form.size() > 3 && IsDriveForm(form.substr(0, 2)) && form[2] == '\\') return true;
    return form.compare(0, 2, "\\\\") == 0 && form.size() > 2 && form[2] != '\\' && CountSeparators(form) > 3;
}

// A form names a root without its backslash; the system opens a root only with it.
std::string OpenablePath(const std::string& form) { return IsRootForm(form) ? form + "\\" : form; }

// The form of the folder that holds `form`; false at a root.
bool ParentForm(const std::string& form, std::string& parent) {
    if (IsRootForm(form)) return false;
    const char* sep = FindLastBackslash(form.c_str());
    if (!sep) return false;
    parent = form.substr(0, static_cast<std::size_t>(sep - form.c_str()));
    return IsFullForm(parent);
}

// The handle's real path as a form: "\\?\C:\x" as "C:\X", "\\?\UNC\s\x" as
// "\\S\X"; empty when the system gives none of these.
std::string RealPathOf(HANDLE h) {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetFinalPathNameByHandleA(h, buffer, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= MAX_PATH) return std::string();
    std::string path = buffer;
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) {
        path = "\\\\" + path.substr(8);
    } else if (path.compare(0, 4, "\\\\?\\") == 0) {
        path = path.substr(4);
    }
    if (path.size() < 2 || (!IsDriveForm(path.substr(0, 2)) && path.compare(0, 2, "\\\\") != 0)) return std::string();
    RemoveTrailingBackslash(path);
    return FoldCase(path);
}

// Opens a file or folder, through any link, only to ask about it.
HANDLE OpenForQuery(const std::string& path) {
    if (path.empty() || !FitsBuffer(path, MAX_PATH)) return INVALID_HANDLE_VALUE;
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsMissingError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Opens the item and reads its real path; with `withIndex` also its volume
// serial and file index, which under Wine cost a round trip to its mount
// manager, three times the rest.
ItemIdentity ReadIdentity(const std::string& path, bool withIndex) {
    ItemIdentity identity;
    CHandle h(OpenForQuery(path));
    if (!h.Ok()) {
        // Only a missing item counts as none; one that may not be opened is
        // there, with nothing known of it.
        identity.exists = !IsMissingError(GetLastError()) && FitsBuffer(path, MAX_PATH) &&
                          GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        return identity;
    }
    identity.exists = true;
    identity.realPath = RealPathOf(h.Get());
    BY_HANDLE_FILE_INFORMATION info = {};
    if (withIndex && GetFileInformationByHandle(h.Get(), &info) && info.dwVolumeSerialNumber != 0) {
        identity.serial = info.dwVolumeSerialNumber;
        identity.index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return identity;
}

std::string RootOf(std::string form) {
    std::string parent;
    while (ParentForm(form, parent)) form = parent;
    return form;
}

// Whether two existing items of different real paths may still be one: a
// local second name resolves into one real path, so only items on one drive
// (a Unix bind mount under Wine) or on a share (one share through two server
// names) are asked for serial and index.
bool MayHaveAnotherName(const ItemIdentity& a, const ItemIdentity& b) {
    if (a.realPath.empty() || b.realPath.empty()) return true;
    if (a.realPath[0] == '\\' || b.realPath[0] == '\\') return true;
    return RootOf(a.realPath) == RootOf(b.realPath);
}

}  // namespace

ItemIdentity ReadItemIdentity(const std::string& path) { return ReadIdentity(path, true); }

std::string RealPath(const std::string& path) {
    CHandle h(OpenForQuery(path));
    return h.Ok() ? RealPathOf(h.Get()) : std::string();
}

bool IsSameItem(const ItemIdentity& a, const ItemIdentity& b) {
    if (!a.exists || !b.exists) return false;
    if (!a.realPath.empty() && a.realPath == b.realPath) return true;
    return a.serial != 0 && a.serial == b.serial && a.index == b.index;
}

const ItemIdentity& CFolderIdentities::IdentityOfForm(const std::string& form, bool withIndex) {
    auto found = m_known.find(form);
    if (found == m_known.end()) {
        found = m_known.emplace(form, Known()).first;
    } else if (!withIndex || found->second.indexRead || !found->second.identity.exists) {
        return found->second.identity;
    }
    found->second.identity = ReadIdentity(OpenablePath(form), withIndex);
    found->second.indexRead = withIndex;
    return found->second.identity;
}

const ItemIdentity& CFolderIdentities::NearestExisting(std::string& form, bool withIndex) {
    for (;;) {
        const ItemIdentity& identity = IdentityOfForm(form, withIndex);
        std::string parent;
        if (identity.exists || !ParentForm(form, parent)) return identity;
        form = parent;
    }
}

bool CFolderIdentities::IsSame(const std::string& a, const std::string& b) {
    const std::string formA = ComparablePath(a);
    if (!formA.empty() && formA == ComparablePath(b)) return true;
    const std::string fullA = FullPathFolded(a);
    const std::string fullB = FullPathFolded(b);
    if (fullA.empty() || fullB.empty()) return false;
    const ItemIdentity& identityA = IdentityOfForm(fullA, false);
    const ItemIdentity& identityB = IdentityOfForm(fullB, false);
    if (IsSameItem(identityA, identityB)) return true;
    if (!identityA.exists || !identityB.exists || !MayHaveAnotherName(identityA, identityB)) return false;
    return IsSameItem(IdentityOfForm(fullA, true), IdentityOfForm(fullB, true));
}

bool CFolderIdentities::IsSameOrInside(const std::string& item, const std::string& folder) {
    if (IsSameOrBelow(ComparablePath(item), ComparablePath(folder))) return true;
    std::string nearestForm = FullPathFolded(item);
    const std::string placeForm = FullPathFolded(folder);
    if (nearestForm.empty() || placeForm.empty()) return false;
    // The folder is read once per cache: its serial and index with it.
    const ItemIdentity& place = IdentityOfForm(placeForm, true);
    if (!place.exists) return false;
    // An item on the folder's drive will be asked for serial and index: read
    // with its real path, by one open.
    const bool sameDrive =
        place.realPath.empty() || place.realPath[0] == '\\' || RootOf(nearestForm) == RootOf(place.realPath);
    const ItemIdentity& nearest = NearestExisting(nearestForm, sameDrive);
    if (!nearest.exists) return false;
    // The real path resolves every local second name: inside by it is inside.
    if (!nearest.realPath.empty() && IsSameOrBelow(nearest.realPath, place.realPath)) return true;
    if (!MayHaveAnotherName(nearest, place)) return false;
    IdentityOfForm(nearestForm, true);  // read again in place: `nearest` stays good
    if (IsSameItem(nearest, place)) return true;
    if (place.serial == 0 || nearest.serial != place.serial) return false;
    std::string current = nearest.realPath.empty() ? nearestForm : nearest.realPath;
    std::string parent;
    while (ParentForm(current, parent)) {
        if (IsSameItem(IdentityOfForm(parent, true), place)) return true;
        current = parent;
    }
    return false;
}

bool IsSameFolder(const std::string& a, const std::string& b) {
    CFolderIdentities identities;
    return identities.IsSame(a, b);
}

bool IsSameOrInsideFolder(const std::string& item, const std::string& folder) {
    CFolderIdentities identities;
    return identities.IsSameOrInside(item, folder);
}

HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA& data) {
    data.dwReserved0 = 0;
    return FindFirstFileA(pattern, &data);
}

BOOL FindNextEntry(HANDLE find, WIN32_FIND_DATAA& data) {
    data.dwReserved0 = 0;
    return FindNextFileA(find, &data);
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    // Wine gives no tag; every reparse point it lists is a link.
    return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

bool IsLink(const std::string& path) {
    if (path.empty() || !FitsBuffer(path, MAX_PATH) || path.find_first_of("*?") != std::string::npos) return false;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(path.c_str(), data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    if (IsLinkEntry(data)) return true;
    std::string parent;
    const std::string form = FullPathFolded(path);
    if (form.empty() || !ParentForm(form, parent)) return false;
    const std::string itemReal = RealPath(path);
    const std::string parentReal = RealPath(OpenablePath(parent));
    if (itemReal.empty() || parentReal.empty()) return false;
    return itemReal != parentReal + "\\" + FoldCase(data.cFileName);
}

bool RemoveLinkItself(const std::string& path) {
    if (path.empty() || !FitsBuffer(path, MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    CHandle h(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Ok()) return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(h.Get(), FileAttributeTagInfo, &tag, sizeof(tag))) return false;
    // Only a handle that is the link itself may be deleted: under Wine it is
    // the target's, which shows no reparse point.
    if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsReparseTagNameSurrogate(tag.ReparseTag)) {
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return false;
    }
    FILE_DISPOSITION_INFO dispose = {TRUE};
    return SetFileInformationByHandle(h.Get(), FileDispositionInfo, &dispose, sizeof(dispose)) != FALSE;
}

bool DeleteFileItself(const std::string& path) {
    std::string parent;
    const std::string form = FullPathFolded(path);
    if (form.empty() || !ParentForm(form, parent)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return DeleteFileItself(path, RealPath(OpenablePath(parent)));
}

bool DeleteFileItself(const std::string& path, const std::string& folderRealPath) {
    if (path.empty() || !FitsBuffer(path, MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    CHandle h(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Ok()) return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(h.Get(), FileAttributeTagInfo, &tag, sizeof(tag))) return false;
    const bool linkItself =
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
    // A handle that reached another file came through a link (Wine's, which
    // lists as a file): that file is not the one named. Where no real path
    // is told (a share's redirector may not), the handle's own account holds,
    // as on Windows every link shows there.
    const std::string real = linkItself ? std::string() : RealPathOf(h.Get());
    if (!real.empty() && !folderRealPath.empty() &&
        real != folderRealPath + "\\" + FileNamePart(ComparablePath(path))) {
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return false;
    }
    FILE_DISPOSITION_INFO dispose = {TRUE};
    return SetFileInformationByHandle(h.Get(), FileDispositionInfo, &dispose, sizeof(dispose)) != FALSE;
}

}  // namespace zr
