#include "hostsim/core/LibraryGen.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "common/PathUtil.h"
#include "engine/NMInterfaces.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/RightsDb.h"

namespace hostsim {
namespace {

// Not secure-content flags: set on some ordinary tracks so that a reader that
// tests the wrong bits shows up.
constexpr DWORD kOtherFlags = 0x04 | 0x20;

enum class Role { Normal, Secure, Missing, DriveRoot };

struct Planned {
    TrackRow row;
    Role role = Role::Normal;
    unsigned index = 0;
    std::string folder;  // source folder; empty for the drive-root track
};

std::string Format(const char* format, unsigned a, unsigned b = 0) {
    char buffer[MAX_PATH];
    std::snprintf(buffer, sizeof(buffer), format, a, b);
    return buffer;
}

// Every third artist and every fifth disc folder has a Japanese name ending in
// a character whose second byte is the backslash code ("表" 0x95 0x5C), right
// before a real separator. "Disc 1" and "Disc 2" repeat under every artist.
std::string FolderName(unsigned f) {
    unsigned artist = f / 2 + 1, disc = f % 2 + 1;
    std::string a = artist % 3 == 0 ? Format("歌手%uソ表", artist) : Format("Artist %u", artist);
    std::string d = f % 5 == 4 ? Format("ディスク%u表", disc) : Format("Disc %u", disc);
    return a + "\\" + d;
}

bool JapaneseTrack(unsigned i) { return i % 4 == 3; }

std::string TrackFileName(unsigned i, unsigned number) {
    return JapaneseTrack(i) ? Format("%02u 曲ソ表.wma", number) : Format("%02u Track.wma", number);
}

std::string TrackTitle(unsigned i) { return JapaneseTrack(i) ? Format("曲%05u ソ表", i) : Format("Track %05u", i); }

// Content: a readable header, then bytes of a generator seeded by the track, so
// every file differs and a copy can be checked byte for byte.
void FillContent(std::vector<char>& buffer, unsigned index, unsigned size) {
    buffer.resize(size);
    char header[40];
    int n = std::snprintf(header, sizeof(header), "HOSTSIM TRACK %07u\r\n", index);
    size_t head = std::min<size_t>(static_cast<size_t>(n), size);
    std::memcpy(buffer.data(), header, head);
    unsigned x = 2654435761u * (index + 1) | 1u;
    for (size_t j = head; j < size; ++j) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        buffer[j] = static_cast<char>(x >> 24);
    }
}

std::string PictureBytes(const std::string& label) {
    return std::string("\xFF\xD8\xFF\xE0", 4) + "HOSTSIM PICTURE " + label + "\r\n" + std::string("\xFF\xD9", 2);
}

// FNV-1a of the path, ASCII case folded: a drive-root name that differs per root.
unsigned PathHash(const std::string& path) {
    unsigned h = 2166136261u;
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u - 'A' + 'a');
        h = (h ^ u) * 16777619u;
    }
    return h;
}

bool FolderIsEmpty(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, "..")) empty = false;
    } while (empty && FindNextFileA(find, &data));
    FindClose(find);
    return empty;
}

bool CheckOptions(const InstalledHost& h, const LibraryOptions& o, std::string& error) {
    if (o.tracks > kMaxTracks) {
        error = "too many tracks: " + std::to_string(o.tracks) + " (at most " + std::to_string(kMaxTracks) + ")";
        return false;
    }
    if (o.fileSize > kMaxFileSize) {
        error = "file size " + std::to_string(o.fileSize) + " is above " + std::to_string(kMaxFileSize) + " bytes";
        return false;
    }
    if (o.picturesPerTrack > kMaxPicturesPerTrack) {
        error = "at most " + std::to_string(kMaxPicturesPerTrack) + " pictures per track";
        return false;
    }
    unsigned regular = o.tracks - (o.driveRootTrack && o.tracks > 0 ? 1 : 0);
    if (o.driveRootTrack && o.tracks == 0) {
        error = "a drive-root track needs at least one track";
        return false;
    }
    if (static_cast<unsigned long long>(o.secureTracks) + o.missingTracks > regular) {
        error = "secure (" + std::to_string(o.secureTracks) + ") and missing (" + std::to_string(o.missingTracks) +
                ") tracks exceed the " + std::to_string(regular) + " tracks in folders";
        return false;
    }
    if (regular > 0 && o.folders == 0) {
        error = "tracks need at least one folder";
        return false;
    }
    if (h.contentsDb.empty() || !IsFile(h.contentsDb)) {
        error = "the installation has no library database (install without leaving the library out)";
        return false;
    }
    if (o.secureTracks > 0 && (h.coreFolder.empty() || !IsFolder(h.coreFolder))) {
        error = "secure tracks need the secure core folder (install without leaving the core out)";
        return false;
    }
    return true;
}

// Builds every row; paths are checked against MAX_PATH here, before anything is written.
bool Plan(const LibraryOptions& o, const std::string& musicRoot, const std::string& pictureFolder,
          const std::string& driveRootFile, std::vector<Planned>& plan, unsigned& folderCount, std::string& error) {
    const unsigned n = o.tracks;
    const unsigned regular = n - (o.driveRootTrack ? 1 : 0);
    const unsigned folders = std::min(o.folders, regular);
    folderCount = folders;
    plan.assign(n, Planned());

    // Special tracks spread over the library: secure ones first, then missing ones.
    const unsigned specials = o.secureTracks + o.missingTracks;
    for (unsigned k = 0; k < specials; ++k) {
        unsigned pos = static_cast<unsigned>(static_cast<unsigned long long>(k) * regular / specials);
        plan[pos].role = k < o.secureTracks ? Role::Secure : Role::Missing;
    }
    unsigned secureSeen = 0;
    for (unsigned i = 0; i < n; ++i) {
        Planned& p = plan[i];
        p.index = i;
        p.row.title = TrackTitle(i);
        std::string& folder = p.folder;
        if (o.driveRootTrack && i == n - 1) {
            p.role = Role::DriveRoot;
            p.row.title = Format("ドライブ直下ソ %05u", i);
            p.row.path = driveRootFile;
        } else {
            unsigned f = static_cast<unsigned>(static_cast<unsigned long long>(i) * folders / regular);
            unsigned first = static_cast<unsigned>((static_cast<unsigned long long>(f) * regular + folders - 1) / folders);
            folder = musicRoot + "\\" + FolderName(f);
            p.row.path = folder + "\\" + TrackFileName(i, i - first + 1);
        }
        if (p.role == Role::Secure) p.row.attributes = (secureSeen++ % 2 == 0) ? NM_ATTR_SECURE_A : NM_ATTR_SECURE_B;
        else if (i % 7 == 5) p.row.attributes = kOtherFlags;

        // Picture 1: the folder's shared "cover.jpg" (a drive-root track uses
        // the picture folder's); pictures 2..K are the track's own, a hundred
        // tracks to a subfolder: Wine creates a file in a big folder at a cost
        // that grows with the folder (50,000 in one folder take ten minutes).
        for (unsigned k = 1; k <= o.picturesPerTrack; ++k) {
            if (k == 1) {
                p.row.pictures.push_back((folder.empty() ? pictureFolder : folder) + "\\cover.jpg");
            } else {
                p.row.pictures.push_back(pictureFolder + Format("\\%04u\\", i / 100) +
                                         (JapaneseTrack(i) ? Format("%05u-%u 表紙ソ.jpg", i, k)
                                                           : Format("%05u-%u.jpg", i, k)));
            }
        }
        p.row.pictureState = p.row.pictures.empty() ? 0 : 1;

        if (p.row.path.size() >= MAX_PATH) {
            error = "track path too long (" + std::to_string(p.row.path.size()) + " bytes): " + p.row.path;
            return false;
        }
        for (const std::string& pic : p.row.pictures) {
            if (pic.size() >= MAX_PATH) {
                error = "picture path too long (" + std::to_string(pic.size()) + " bytes): " + pic;
                return false;
            }
        }
    }
    return true;
}

// Writes content and picture files; records the picture files and folders it
// makes, since those may lie outside the music root.
bool WriteFiles(const LibraryOptions& o, const std::vector<Planned>& plan, std::vector<std::string>& madePictures,
                std::vector<std::string>& madeFolders, LibrarySummary& summary, std::string& error) {
    std::vector<char> content;
    std::set<std::string> folders, pictures;
    for (const Planned& p : plan) {
        if (!p.folder.empty() && folders.insert(p.folder).second && !MakeFolder(p.folder, error)) return false;
        if (p.role != Role::Missing) {
            FillContent(content, p.index, o.fileSize);
            if (!WriteWholeFile(p.row.path, content.data(), content.size(), error)) return false;
            ++summary.filesWritten;
        }
        for (const std::string& pic : p.row.pictures) {
            if (!pictures.insert(pic).second) continue;
            std::string picFolder = zr::FolderPart(pic);
            if (folders.insert(picFolder).second) {
                if (!IsFolder(picFolder)) madeFolders.push_back(picFolder);
                if (!MakeFolder(picFolder, error)) return false;
            }
            if (!WriteWholeFile(pic, PictureBytes(zr::FileNamePart(pic) + " of " + picFolder), error)) return false;
            madePictures.push_back(pic);
            ++summary.picturesWritten;
        }
    }
    return true;
}

bool SaveBookkeeping(const InstalledHost& h, std::string& error) {
    CRegKey key;
    LONG rc = key.Create(HKEY_LOCAL_MACHINE, kHostSimKey);
    if (rc == ERROR_SUCCESS) rc = key.SetString("MusicRoot", h.musicRoot);
    if (rc == ERROR_SUCCESS) rc = key.SetMultiString("DriveRootFiles", h.driveRootFiles);
    if (rc != ERROR_SUCCESS) {
        error = ErrorText("cannot write HKLM key", kHostSimKey, static_cast<DWORD>(rc));
        return false;
    }
    return true;
}

}  // namespace

bool CreateLibrary(InstalledHost& installed, const LibraryOptions& options, std::string& errorOut,
                   LibrarySummary* summaryOut) {
    if (!CheckOptions(installed, options, errorOut)) return false;

    std::string musicRoot = FullPath(options.musicRoot.empty() ? installed.root + "\\Music" : options.musicRoot);
    if (musicRoot.empty() || musicRoot.size() <= 3) {
        errorOut = "music root \"" + (options.musicRoot.empty() ? installed.root + "\\Music" : options.musicRoot) +
                   "\" is not a folder path below a drive root";
        return false;
    }
    if (IsFile(musicRoot) || (IsFolder(musicRoot) && !FolderIsEmpty(musicRoot))) {
        errorOut = "music root \"" + musicRoot + "\" already holds files; give an empty or new folder";
        return false;
    }
    if (!installed.musicRoot.empty() && IsFolder(installed.musicRoot) && !FolderIsEmpty(installed.musicRoot)) {
        errorOut = "this installation already has a library in \"" + installed.musicRoot + "\"";
        return false;
    }

    CLibraryDb db;
    std::vector<TrackRow> existing;
    if (!db.Open(installed.contentsDb) || !db.LoadAll(existing)) {
        errorOut = "cannot open the library \"" + installed.contentsDb + "\"";
        return false;
    }
    if (!existing.empty()) {
        errorOut = "the library \"" + installed.contentsDb + "\" already has " + std::to_string(existing.size()) +
                   " tracks; uninstall and install again for a new one";
        return false;
    }

    std::string driveRootFile;
    if (options.driveRootTrack) {
        std::string drive = DriveRootOf(musicRoot);
        if (drive.empty()) {
            errorOut = "music root \"" + musicRoot + "\" is not on a drive letter, so there is no drive root";
            return false;
        }
        char name[64];
        std::snprintf(name, sizeof(name), "hostsim-%08x-表ソ.wma", PathHash(musicRoot));
        driveRootFile = drive + name;
        if (PathExists(driveRootFile)) {
            errorOut = "drive-root track \"" + driveRootFile + "\" already exists (left by an earlier run?)";
            return false;
        }
    }
    std::string pictureFolder =
        !installed.pictureFolder.empty() && IsFolder(installed.pictureFolder) ? installed.pictureFolder
                                                                              : musicRoot + "\\Artwork";

    std::vector<Planned> plan;
    LibrarySummary summary;
    if (!Plan(options, musicRoot, pictureFolder, driveRootFile, plan, summary.folders, errorOut)) return false;

    // Remembered before the first file is written, so that Uninstall finds
    // whatever a crash half-way would leave.
    InstalledHost before = installed;
    installed.musicRoot = musicRoot;
    if (!driveRootFile.empty()) installed.driveRootFiles.push_back(driveRootFile);
    if (!SaveBookkeeping(installed, errorOut)) {
        installed = before;
        return false;
    }

    std::vector<std::string> madePictures, madeFolders;
    std::vector<RightsRecord> oldRights;
    bool rightsWritten = false;
    CRightsDb rights;
    auto undo = [&]() {
        db.Rollback();
        if (rightsWritten) rights.ReplaceAll(oldRights);
        for (const std::string& pic : madePictures) DeleteFileA(pic.c_str());
        for (auto f = madeFolders.rbegin(); f != madeFolders.rend(); ++f) RemoveFolderIfEmpty(*f);
        if (!driveRootFile.empty()) DeleteFileA(driveRootFile.c_str());
        RemoveTree(musicRoot);
        std::string ignored;
        installed = before;
        SaveBookkeeping(installed, ignored);
    };

    if (!WriteFiles(options, plan, madePictures, madeFolders, summary, errorOut)) {
        undo();
        return false;
    }

    if (options.secureTracks > 0) {
        std::vector<RightsRecord> records;
        if (!rights.Open(installed.coreFolder, true) || !rights.LoadAll(oldRights)) {
            errorOut = "cannot open the rights database in \"" + installed.coreFolder + "\"";
            undo();
            return false;
        }
        records = oldRights;
        for (const Planned& p : plan) {
            if (p.role != Role::Secure) continue;
            RightsRecord r;
            r.path = p.row.path;
            r.title = p.row.title;
            for (unsigned b = 0; b < 16; ++b) r.rights.push_back(static_cast<BYTE>((p.index * 31 + b * 7) & 0xFF));
            records.push_back(r);
        }
        if (!rights.ReplaceAll(records)) {
            errorOut = "cannot write the rights records to \"" + RightsDbPath(installed.coreFolder) + "\"";
            undo();
            return false;
        }
        rightsWritten = true;
    }

    bool ok = db.Begin();
    for (size_t i = 0; ok && i < plan.size(); ++i) ok = db.Insert(plan[i].row);
    if (!ok || !db.Commit()) {
        errorOut = "cannot write the tracks to the library \"" + installed.contentsDb + "\"";
        undo();
        return false;
    }

    summary.tracks = options.tracks;
    summary.secureTracks = options.secureTracks;
    summary.missingTracks = options.missingTracks;
    summary.driveRootFile = driveRootFile;
    if (summaryOut) *summaryOut = summary;
    return true;
}

}  // namespace hostsim
