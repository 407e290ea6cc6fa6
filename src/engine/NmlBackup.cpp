// The library's database and contents into the backup tree: DB\NMLDB gets a
// copy of the databases, Data\Audio the tracks' files grouped by their source
// folder's name, Data\Picture the tracks' pictures; the copy of contents.db
// is rewritten to point into the backup.
#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/settings/HostSettings.h"
#include "common/BackupTree.h"
#include "common/ComRef.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/AudioFolders.h"
#include "engine/BackupRestore.h"

namespace zr {
namespace {

const char kRegisterFailed[] = "CBackupRestore::BackupNmlData pTrack->Register() failed\n";

// Pictures in the one flat Data\Picture folder. A source file is copied once,
// whichever tracks share it; a different file whose name is already taken gets
// a name of its own, "stem_00001.ext", and its path in the database follows.
class CPictureCopies {
public:
    explicit CPictureCopies(const std::string& pictureRoot) : m_pictureRoot(pictureRoot) {}

    // The folder is made when the first track without secure content comes;
    // its outcome shows in the copies.
    void MakeFolder() {
        if (m_folderMade) return;
        MakeSureFolderPathExists(m_pictureRoot.c_str());
        m_folderMade = true;
    }

    enum class Outcome {
        Copied,
        NotTaken,     // the picture cannot be had (gone, unreadable, no name that fits): listed
        WriteFailed,  // it is there and the backup cannot be written: the backup fails
    };

    // The name of the source's copy in Data\Picture, copying it first when
    // needed. A new copy never replaces a file: the file system says whether
    // a name is free, with its own case rules.
    Outcome Copy(const std::string& source, std::string& copyName) {
        const std::string key = FoldCase(source);
        auto done = m_copies.find(key);
        if (done != m_copies.end()) {
            copyName = done->second;
            return Outcome::Copied;
        }
        const std::string own = PlatformFileName(source);
        std::string name = m_taken.count(FoldCase(own)) ? FreeName(own) : own;
        for (;;) {
            const std::string target = m_pictureRoot + name;
            if (!FitsBuffer(source, MAX_PATH) || !FitsBuffer(target, MAX_PATH)) return Outcome::NotTaken;
            if (CopyFileA(source.c_str(), target.c_str(), TRUE)) break;
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                // A full disk must not pass for a missing picture: the backup
                // would take the earlier one's place without it.
                return IsReadableFile(source) ? Outcome::WriteFailed : Outcome::NotTaken;
            }
            m_taken.insert(FoldCase(name));
            name = FreeName(own);
        }
        m_taken.insert(FoldCase(name));
        m_copies.emplace(key, name);
        copyName = name;
        return Outcome::Copied;
    }

private:
    std::string FreeName(const std::string& name) {
        // The extension is what follows the last dot; a dot is never a DBCS trail byte.
        const std::size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
        int& next = m_nextNumber[FoldCase(name)];
        for (;;) {
            char suffix[16];
            std::snprintf(suffix, sizeof(suffix), "_%05d", ++next);
            std::string candidate = stem + suffix + extension;
            if (!m_taken.count(FoldCase(candidate))) return candidate;
        }
    }

    std::string m_pictureRoot;  // ends in a backslash
    bool m_folderMade = false;
    std::unordered_map<std::string, std::string> m_copies;  // folded source path -> copy name
    std::unordered_set<std::string> m_taken;                 // folded names in use
    std::unordered_map<std::string, int> m_nextNumber;       // folded name -> last number tried
};

const char* Text(const char* s) { return s ? s : ""; }

// The pictures of one track without secure content. A picture that cannot be
// had leaves the track (and is listed); one whose copy got a name of its own
// keeps its folder and takes that name. RC_E_FILE_COPY when the backup
// cannot be written.
HRESULT BackupPictures(CBackupRestore& engine, INMTrack* track, CPictureCopies& copies) {
    copies.MakeFolder();
    CRef<INMPictureList> list;
    if (!QueryRef(track, IID_INMPictureList, list)) return RC_OK;

    // Taken up front and held: removing a picture may renumber the list.
    std::vector<CRef<INMPicture>> pictures;
    const DWORD count = list->GetCount();
    for (DWORD i = 1; i <= count; ++i) {
        INMPicture* picture = list->GetItem(i);
        if (!picture) continue;
        picture->AddRef();
        pictures.emplace_back(picture);
    }

    // A picture list the library would not take keeps names that point at
    // other files, or at none: the track is listed and kept out instead.
    auto registerOrDrop = [&]() {
        if (SUCCEEDED(track->Register())) return true;
        Trace("%s", kRegisterFailed);
        engine.RecordFailedItem(track, ItemCode::NotRegistered, 1);
        return false;
    };
    bool renamed = false;
    for (const CRef<INMPicture>& picture : pictures) {
        const std::string source = Text(picture->GetFilePath());
        std::string copyName;
        const CPictureCopies::Outcome copied = copies.Copy(source, copyName);
        if (copied == CPictureCopies::Outcome::WriteFailed) return RC_E_FILE_COPY;
        if (copied == CPictureCopies::Outcome::NotTaken) {
            track->RemovePicture(picture.Get());
            if (!registerOrDrop()) return RC_OK;
            engine.RecordFailedItem(track, ItemCode::NoPicture, 0);
            continue;
        }
        if (FoldCase(copyName) == FoldCase(PlatformFileName(source))) continue;
        const std::string renamedPath = source.substr(0, PlatformFileNameOffset(source)) + copyName;
        picture->SetFilePath(renamedPath.c_str());
        renamed = true;
    }
    if (renamed) registerOrDrop();
    return RC_OK;
}

}  // namespace

HRESULT CBackupRestore::BackupNmlData(const std::string& backupData) {
    const std::string dbFolder = backupData + kLibraryDbFolder;
    DWORD error = 0;
    if (!CreateFolderPath(dbFolder + "\\", error)) {
        Trace("\n\nCBackupRestore::BackupNmlData MakeSureDirectoryPathExists failed\n\n");
        return FolderCreateError(error);
    }

    const std::string databases = GetDatabasesFolder();
    for (const DatabaseFile& file : kDatabaseFiles) {
        // A file the library may lack is no failure when it is not there; one
        // that is there and will not copy is.
        if (!CopyFileOver(databases + file.name, dbFolder + file.name) &&
            (file.requiredTag || IsExistingFile(databases + file.name))) {
            Trace("\n\nCBackupRestore::BackupNmlData %s failed\n\n", file.requiredTag ? file.requiredTag : file.name + 1);
            return RC_E_FILE_COPY;
        }
    }

    if (IsCancelRequested()) {
        Trace("\n\nCBackupRestore::BackupNmlData m_bCancelFlag failed\n\n");
        return RC_CANCELLED;
    }

    // Always the backup's copy: the host's own database is only read.
    HRESULT hr = m_builder.MountHDD((dbFolder + kContentsDbFile).c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::BackupNmlData m_builder.MountHDD failed\n\n");
        return hr;
    }
    INMHddVolume* volume = m_builder.Volume();
    if (!volume) {
        Trace("\n\nCBackupRestore::BackupNmlData pHddVolume failed\n\n");
        return RC_E_FAIL;
    }

    const std::string audioRoot = backupData + kAudioFolder;
    CAudioFolders audioFolders(audioRoot, false);
    CPictureCopies pictureCopies(backupData + kPictureFolder);
    int secure = 0;
    DWORD done = 0;
    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    const DWORD total = volume->GetContentCount();
    while (entry) {
        if (IsCancelRequested()) {
            m_builder.UnmountHDD();
            return RC_CANCELLED;
        }

        CRef<INMTrack> track;
        if (QueryRef(entry.Get(), IID_INMTrack, track)) {
            const std::string path = Text(track->GetFilePath());
            Trace("Title = %s, Path = %s\n", Text(track->GetTitle()), path.c_str());

            const std::string file = PlatformFileName(path);
            std::string dir = path;
            StripFileName(&dir[0]);
            dir.resize(std::strlen(dir.c_str()));

            std::string folder;
            hr = audioFolders.Find(dir, folder, error);
            if (FAILED(hr)) {
                // Running out of numbers is no folder failure and goes untraced.
                if (error != ERROR_SUCCESS) {
                    Trace("\n\nCBackupRestore::BackupNmlData !MakeSureDirectoryPathExists failed\n\n");
                }
                return hr;
            }

            // The copy is the test whether the file is there: only a copy that
            // failed asks, so that a track costs one file-system look-up the
            // less. A path the system cannot reach counts as a missing file.
            const std::string stored = folder + "\\" + file;
            if (!CopyFileOver(path, audioRoot + stored)) {
                if (IsExistingFile(path)) {
                    Trace("\n\nCBackupRestore::BackupNmlData !CopyFile1 failed\n\n");
                    return RC_E_FILE_COPY;
                }
                RecordFailedItem(track.Get(), ItemCode::Missing, 1);
            } else {
                track->SetFilePath(stored.c_str());
                Trace("pTrack->GetFilePath = %s\n", Text(track->GetFilePath()));
                if (FAILED(track->Register())) {
                    Trace("%s", kRegisterFailed);
                    // Its stored path is still the host's: listed, and kept out of the backup.
                    RecordFailedItem(track.Get(), ItemCode::NotRegistered, 1);
                } else if (IsSecureTrack(track.Get())) {
                    secure = 1;  // rights-protected content: its pictures stay behind
                } else if (FAILED(BackupPictures(*this, track.Get(), pictureCopies))) {
                    Trace("\n\nCBackupRestore::BackupNmlData !CopyFile2 failed\n\n");
                    m_builder.UnmountHDD();
                    return RC_E_FILE_COPY;
                }
            }
        }

        ++done;
        PostProgress(done, total);
        entry.Attach(entry->GetNextContent(IID_INMTrack));
    }

    // The rewritten paths reach the backup's database only when it closes:
    // one that kept the host's paths would restore no track on another PC.
    if (FAILED(m_builder.UnmountHDD())) {
        Trace("\n\nCBackupRestore::BackupNmlData m_builder.UnmountHDD failed\n\n");
        return RC_E_FILE_COPY;
    }
    if (IsCancelRequested()) return RC_CANCELLED;

    WriteSecureContents(backupData, secure);
    std::string serial;
    SaveSerialToIni(backupData, serial);
    if (serial.empty()) {
        Trace("\n\nCBackupRestore::BackupNmlData SdTalvSerial is empty\n\n");
        return RC_E_FAIL;
    }
    return RC_OK;
}

}  // namespace zr
