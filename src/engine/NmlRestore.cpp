// The library's side of a restore: a new databases folder prepared from the
// backup beside the live one, the backup tree copied below the user's
// destination, the prepared database re-pointed at those copies; then the
// swap of the databases folders and the removal of the replaced library's
// secure content, which can no longer be played.
#include <windows.h>

#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"
#include "engine/ComRef.h"

namespace zr {
namespace {

struct DatabaseFile {
    const char* name;
    const char* failureTrace;  // nullptr: a failed copy is ignored
};

const DatabaseFile kDatabaseFiles[] = {
    {"\\mirs.db", nullptr},
    {"\\contents.fdb", nullptr},
    {"\\contents.db", "\n\nCBackupRestore::RestoreNmlContents CONTENTS_DB_PATH failed\n\n"},
    {"\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb", nullptr},
    {"\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb", "\n\nCBackupRestore::RestoreNmlContents CONTENTSDATA_DB_PATH failed\n\n"},
};
const char kLongestDatabaseFile[] = "\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb";
// The widest name CreateUniqueFolderName can give: the path and five digits.
const char kWidestNumber[] = "00000";

const DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

const char* Text(const char* s) { return s ? s : ""; }

bool IsSecure(INMTrack* track) {
    NM_TRACK_ATTRIBUTES record = {};
    record.cbSize = sizeof(record);
    const NM_TRACK_ATTRIBUTES* attributes = track->GetAttributes(&record);
    return ((attributes ? attributes : &record)->dwFlags & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) != 0;
}

// Each picture is taken off the track and put back at its own place with its
// path in the restored picture folder: the component stores a picture's path
// when the picture is inserted.
void RepointPictures(INMTrack* track, const std::string& pictureFolder) {
    CRef<INMPictureList> list;
    const DWORD count = QueryRef(track, IID_INMPictureList, list) ? list->GetCount() : 0;
    if (count > 0) {
        Trace("■画像ありpTrack->GetFilePath = %s\n", Text(track->GetFilePath()));
    } else {
        Trace("□画像なしpTrack->GetFilePath = %s\n", Text(track->GetFilePath()));
    }
    const DWORD zero = 0;
    for (DWORD i = 1; i <= count; ++i) {
        INMPicture* item = list->GetItem(i);
        if (!item) continue;
        item->AddRef();
        CRef<INMPicture> picture(item);
        const std::string name = FileNamePart(Text(picture->GetFilePath()));
        picture->SetFilePath((pictureFolder + name).c_str());
        track->RemovePicture(picture.Get());
        track->InsertPicture(picture.Get(), i == 1 ? -1 : static_cast<LONG>(i - 1));
        picture.Reset();
        track->SetTrackProperty(NM_TRACK_PROP_PICTURE_STATE, &zero);
    }
}

}  // namespace

HRESULT CBackupRestore::RestoreNmlContents(const std::string& backupData, const std::string& restoreTo) {
    const std::string backupDb = backupData + "\\DB\\NMLDB";
    const std::string live = GetDatabasesFolder();

    // Both new folders must be reachable under any number they may get; a
    // destination that cannot hold them fails before anything is made.
    std::string restoreBase = restoreTo;
    if (!HasTrailingBackslash(restoreBase)) restoreBase += "\\";
    restoreBase += "RestoreData";
    if (!FitsBuffer(restoreBase + kWidestNumber + "\\", MAX_PATH)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents restore folder too long\n\n");
        return RC_E_FAIL;
    }
    std::string temporary;
    if (!FitsBuffer(live + ".tmp" + kWidestNumber + kLongestDatabaseFile, MAX_PATH) ||
        FAILED(CreateUniqueFolderName(live + ".tmp", temporary))) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CreateUniqueFolderName2 failed\n\n");
        return RC_E_FAIL;
    }
    m_strNewDatabasesFolder = temporary;

    DWORD error = 0;
    if (!CreateFolderPath(temporary + "\\", error)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists2 failed\n\n");
        return FolderCreateError(error);
    }

    HRESULT result = RC_OK;
    for (const DatabaseFile& file : kDatabaseFiles) {
        if (!CopyFileOver(backupDb + file.name, temporary + file.name) && file.failureTrace) {
            Trace("%s", file.failureTrace);
            result = RC_E_FILE_COPY;
        }
    }
    if (IsCancelRequested()) result = RC_CANCELLED;
    if (result != RC_OK) {
        DeleteFolder(temporary);
        return result;
    }

    HRESULT hr = m_builder.MountHDD((temporary + "\\contents.db").c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents m_builder.MountHDD failed\n\n");
        DeleteFolder(temporary);
        return hr;
    }
    INMHddVolume* volume = m_builder.m_pHddVolume;
    if (!volume) return RC_E_FAIL;

    std::string restoreData;
    if (FAILED(CreateUniqueFolderName(restoreBase, restoreData))) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CreateUniqueFolderName1 failed\n\n");
        return RC_E_FAIL;
    }
    if (!CreateFolderPath(restoreData + "\\", error)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists failed\n\n");
        return FolderCreateError(error);
    }

    m_bPostProgress = 1;
    m_nProgressDone = 0;
    m_nProgressTotal = volume->GetContentCount();
    hr = CopyFolder(backupData, restoreData);
    m_bPostProgress = 0;
    if (hr != RC_OK) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n");
        return hr;
    }

    const std::string audioRoot = restoreData + "\\Data\\Audio\\";
    const std::string pictureFolder = restoreData + "\\Data\\Picture\\";
    // Made once, for the first track that has pictures to re-point; folders
    // made during the step do not vanish.
    bool pictureFolderMade = false;
    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        if (IsCancelRequested()) {
            result = RC_CANCELLED;
            break;
        }

        const std::string path = Text(track->GetFilePath());
        const std::string file = FileNamePart(path);
        std::vector<char> folderBuffer(path.begin(), path.end());
        folderBuffer.push_back('\0');
        StripFileName(folderBuffer.data());
        const std::string folder = FileNamePart(folderBuffer.data());
        Trace("Title = %s\nPath  = %s\n", Text(track->GetTitle()), path.c_str());
        Trace("FolderName = %s\nFileName = %s\n", folder.c_str(), file.c_str());
        track->SetFilePath((audioRoot + folder + "\\" + file).c_str());

        if (!IsSecure(track.Get())) {
            if (!pictureFolderMade && !CreateFolderPath(pictureFolder, error)) {
                result = FolderCreateError(error);
                break;
            }
            pictureFolderMade = true;
            RepointPictures(track.Get(), pictureFolder);
        }
        if (FAILED(track->Register())) Trace("CBackupRestore::RestoreNmlContents pTrack->Register() failed\n");
    }
    entry.Reset();

    // The new paths reach the prepared database only when it closes: one that
    // kept the backup's paths must not be swapped in as the host's library.
    hr = m_builder.UnmountHDD();
    if (result == RC_OK && FAILED(hr)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents m_builder.UnmountHDD failed\n\n");
        result = hr;
    }
    if (result != RC_OK) DeleteFolder(temporary);
    return result;
}

HRESULT CBackupRestore::RestoreNmlDatabases() {
    const std::string live = GetDatabasesFolder();
    if (!FitsBuffer(live + ".bak" + kWidestNumber, MAX_PATH) ||
        FAILED(CreateUniqueFolderName(live + ".bak", m_strOldDatabasesFolder))) {
        return RC_E_FAIL;
    }

    // When the live folder cannot be moved aside, its name stays taken and
    // the second move fails too.
    const bool movedAside = MoveFileExA(live.c_str(), m_strOldDatabasesFolder.c_str(), kMoveFlags) != FALSE;
    if (MoveFileExA(m_strNewDatabasesFolder.c_str(), live.c_str(), kMoveFlags)) return RC_OK;

    // The host must never be left without a library: the old one goes back.
    if (movedAside) MoveFileExA(m_strOldDatabasesFolder.c_str(), live.c_str(), kMoveFlags);
    return RC_E_FAIL;
}

HRESULT CBackupRestore::DeleteUnusableContents() {
    HRESULT hr = m_builder.MountHDD((m_strOldDatabasesFolder + "\\contents.db").c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) return hr;
    INMHddVolume* volume = m_builder.m_pHddVolume;
    if (!volume) return RC_E_FAIL;

    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        const std::string path = Text(track->GetFilePath());
        Trace("Title = %s, Path = %s\n", Text(track->GetTitle()), path.c_str());
        // A relative path would be taken from the current folder: never deleted.
        if (IsSecure(track.Get()) && FitsBuffer(path, MAX_PATH) && !PathIsRelativeA(path.c_str())) {
            DeleteFileA(path.c_str());
        }
    }
    entry.Reset();
    m_builder.UnmountHDD();
    return RC_OK;
}

}  // namespace zr
