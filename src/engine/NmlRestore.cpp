// The library's side of a restore: a new databases folder prepared from the
// backup beside the live one, the backup tree copied below the user's
// destination, the prepared database re-pointed at those copies; then the
// swap of the databases folders and the removal of the replaced library's
// secure content, which can no longer be played.
#include <windows.h>

#include <shlwapi.h>

#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/BackupTree.h"
#include "common/ComRef.h"
#include "common/FolderIdentity.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"
#include "engine/SwapBeside.h"

namespace zr {
namespace {

const char* Text(const char* s) { return s ? s : ""; }

// The folder and file names of a stored track path, split the way the
// platform splits paths; false unless it has the one shape a backup writes,
// "folder\file" with two plain names.
bool SplitStoredTrackPath(const std::string& path, std::string& folder, std::string& file) {
    const std::size_t fileAt = PlatformFileNameOffset(path);
    file = path.substr(fileAt);
    std::string head = path.substr(0, fileAt);
    if (!RemoveTrailingBackslash(head)) return false;
    folder = head.substr(PlatformFileNameOffset(head));
    return folder == head && IsPlainName(folder) && IsPlainName(file);
}

bool StartsWithFolded(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && FoldCase(s.substr(0, prefix.size())) == FoldCase(prefix);
}

// The files of a listed folder (not its folders), by their folded names.
void AddListedFiles(const CFolderListing* folder, const std::string& prefix, std::unordered_set<std::string>& files) {
    if (!folder) return;
    for (const CListedEntry& entry : folder->entries) {
        if (!entry.IsFolder() && !entry.link) files.insert(FoldCase(prefix + entry.name));
    }
}

const CFolderListing* ListedFolder(const CFolderListing* parent, const char* name) {
    const CListedEntry* entry = parent ? parent->Find(name) : nullptr;
    return entry && entry->IsFolder() && !entry->link ? entry->folder.get() : nullptr;
}

// Where a restore points tracks and pictures: only below the RestoreData it
// made, and only at files its copy of the backup brought there. With the
// listing the copy walked, those files are known without asking the file
// system once per track.
class CRestoredPaths {
public:
    CRestoredPaths(const std::string& restoreData, const CFolderListing* copied)
        : m_audioRoot(restoreData + kAudioFolder),
          m_pictureFolder(restoreData + kPictureFolder),
          m_audioFull(FullPathFolded(m_audioRoot)),
          m_pictureFull(FullPathFolded(m_pictureFolder)),
          m_bListed(copied != nullptr) {
        const CFolderListing* data = ListedFolder(copied, "Data");
        const CFolderListing* audio = ListedFolder(data, "Audio");
        if (audio) {
            for (const CListedEntry& entry : audio->entries) {
                if (entry.IsFolder() && !entry.IsDots() && !entry.link) {
                    AddListedFiles(entry.folder.get(), entry.name + "\\", m_audioFiles);
                }
            }
        }
        AddListedFiles(ListedFolder(data, "Picture"), "", m_pictureFiles);
    }

    const std::string& PictureFolder() const { return m_pictureFolder; }

    // False, with why the track is listed: BadName when the path would not
    // stay below Data\Audio (a name the system rewrites), Missing when the
    // backup holds no such file.
    bool Track(const std::string& folder, const std::string& file, std::string& restored, ItemCode& why) const {
        restored = m_audioRoot + folder + "\\" + file;
        why = ItemCode::BadName;
        if (!StaysBelow(restored, m_audioFull)) return false;
        const bool there = m_bListed ? m_audioFiles.count(FoldCase(folder + "\\" + file)) != 0 : IsExistingFile(restored);
        why = ItemCode::Missing;
        return there;
    }

    // A picture's own file name in the restored picture folder, when the
    // backup holds that file. Tracks share pictures: each name is looked at once.
    bool Picture(const std::string& stored, std::string& restored) {
        const std::string name = PlatformFileName(stored);
        if (!IsPlainName(name)) return false;
        restored = m_pictureFolder + name;
        auto known = m_pictures.find(FoldCase(name));
        if (known != m_pictures.end()) return known->second;
        const bool there = StaysBelow(restored, m_pictureFull) &&
                           (m_bListed ? m_pictureFiles.count(FoldCase(name)) != 0 : IsExistingFile(restored));
        m_pictures.emplace(FoldCase(name), there);
        return there;
    }

    // Paths as the walk writes them.
    bool IsRestoredTrack(const std::string& path) const {
        std::string folder, file;
        return StartsWithFolded(path, m_audioRoot) &&
               SplitStoredTrackPath(path.substr(m_audioRoot.size()), folder, file);
    }
    bool IsRestoredPicture(const std::string& path) const {
        return StartsWithFolded(path, m_pictureFolder) && IsPlainName(path.substr(m_pictureFolder.size()));
    }

private:
    static bool StaysBelow(const std::string& path, const std::string& folderFull) {
        const std::string full = FullPathFolded(path);
        return full != folderFull && IsSameOrBelow(full, folderFull);
    }

    std::string m_audioRoot;      // ends in a backslash
    std::string m_pictureFolder;  // ends in a backslash
    std::string m_audioFull;
    std::string m_pictureFull;
    std::unordered_map<std::string, bool> m_pictures;  // folded name -> the backup holds it
    bool m_bListed;
    std::unordered_set<std::string> m_audioFiles;    // folded "folder\file" below Data\Audio
    std::unordered_set<std::string> m_pictureFiles;  // folded names in Data\Picture
};

// Each picture is taken off the track and put back at its own place with its
// path in the restored picture folder: the component stores a picture's path
// when the picture is inserted. A picture the backup does not hold, or whose
// name has no shape a backup writes, leaves the track, which is listed.
void RepointPictures(CBackupRestore& engine, INMTrack* track, CRestoredPaths& paths) {
    CRef<INMPictureList> list;
    const DWORD count = QueryRef(track, IID_INMPictureList, list) ? list->GetCount() : 0;
    if (count > 0) {
        Trace("■画像ありpTrack->GetFilePath = %s\n", Text(track->GetFilePath()));
    } else {
        Trace("□画像なしpTrack->GetFilePath = %s\n", Text(track->GetFilePath()));
    }
    // Taken up front and held: removing a picture may renumber the list.
    std::vector<CRef<INMPicture>> pictures;
    for (DWORD i = 1; i <= count; ++i) {
        INMPicture* item = list->GetItem(i);
        if (!item) continue;
        item->AddRef();
        pictures.emplace_back(item);
    }
    const DWORD zero = 0;
    LONG kept = 0;
    for (const CRef<INMPicture>& picture : pictures) {
        std::string restored;
        if (paths.Picture(Text(picture->GetFilePath()), restored)) {
            picture->SetFilePath(restored.c_str());
            track->RemovePicture(picture.Get());
            track->InsertPicture(picture.Get(), kept == 0 ? -1 : kept);
            ++kept;
        } else {
            track->RemovePicture(picture.Get());
            engine.RecordFailedItem(track, ItemCode::NoPicture, 0);
        }
        // Once per picture of the track, kept or not.
        track->SetTrackProperty(NM_TRACK_PROP_PICTURE_STATE, &zero);
    }
}

// The prepared library read back through the component: every track must
// point where the walk put it, and every picture of a track without secure
// content. A track the component kept against the walk (its Unregister
// refused) ends the restore before anything of the host changes.
HRESULT CheckPreparedLibrary(CBuilder& builder, const std::string& contentsDb, const std::string& pictureFolder,
                             const CRestoredPaths& paths) {
    HRESULT hr = builder.MountHDD(contentsDb.c_str(), pictureFolder.c_str());
    if (FAILED(hr)) return hr;
    INMHddVolume* volume = builder.Volume();
    if (!volume) return RC_E_FAIL;
    HRESULT result = RC_OK;
    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry && result == RC_OK; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        if (!paths.IsRestoredTrack(Text(track->GetFilePath()))) result = RC_E_FAIL;
        if (IsSecureTrack(track.Get())) continue;
        for (const std::string& picture : PicturePathsOf(track.Get())) {
            if (!paths.IsRestoredPicture(picture)) result = RC_E_FAIL;
        }
    }
    entry.Reset();
    hr = builder.UnmountHDD();
    return result == RC_OK && FAILED(hr) ? hr : result;
}

}  // namespace

HRESULT CBackupRestore::RestoreNmlContents(CRestorePlan& plan) {
    HRESULT hr = CheckRestoreDestination(plan);
    if (FAILED(hr)) return hr;
    const std::string& backupData = plan.m_strBackupData;
    const std::string backupDb = backupData + kLibraryDbFolder;
    const std::string live = GetDatabasesFolder();

    // Both new folders must be reachable under any number they may get; a
    // destination that cannot hold them fails before anything is made.
    std::string restoreBase = plan.m_strRestoreTo;
    if (!HasTrailingBackslash(restoreBase)) restoreBase += "\\";
    restoreBase += kRestoreDataFolder;
    if (!FitsBuffer(restoreBase + kWidestFolderNumber + "\\", MAX_PATH)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents restore folder too long\n\n");
        return RC_E_FAIL;
    }
    // The new library is written beside the live one and swapped in later.
    CSwapBeside databases(live, CSwapBeside::Kind::Folder, Journal());
    if (!CSwapBeside::NamesFit(live, sizeof(kLongestDatabaseFile) - 1)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CreateUniqueFolderName2 failed\n\n");
        return RC_E_FAIL;
    }
    hr = databases.Begin();
    if (hr == RC_E_FAIL) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CreateUniqueFolderName2 failed\n\n");
        return RC_E_FAIL;
    }
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists2 failed\n\n");
        return hr;
    }
    const std::string temporary = databases.Working();
    plan.m_strNewDatabasesFolder = temporary;
    DWORD error = 0;

    HRESULT result = RC_OK;
    for (const DatabaseFile& file : kDatabaseFiles) {
        if (CopyFileOver(backupDb + file.name, temporary + file.name)) {
            MakeWritable(temporary + file.name);  // the host's library must be writable
        } else if (file.requiredTag || IsExistingFile(backupDb + file.name)) {
            // A file the backup holds and the copy lost would be missing from the library.
            Trace("\n\nCBackupRestore::RestoreNmlContents %s failed\n\n",
                  file.requiredTag ? file.requiredTag : file.name + 1);
            result = RC_E_FILE_COPY;
        }
    }
    if (IsCancelRequested()) result = RC_CANCELLED;
    if (result != RC_OK) {
        databases.Discard();
        return result;
    }

    hr = m_builder.MountHDD((temporary + kContentsDbFile).c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents m_builder.MountHDD failed\n\n");
        databases.Discard();
        return hr;
    }
    INMHddVolume* volume = m_builder.Volume();
    if (!volume) return RC_E_FAIL;

    std::string restoreData;
    if (FAILED(CreateUniqueFolderName(restoreBase, restoreData))) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CreateUniqueFolderName1 failed\n\n");
        return RC_E_FAIL;
    }
    if (IJournal* journal = Journal()) {
        if (!journal->Record(IJournal::Op::Create, restoreData, std::string())) return RC_E_FAIL;
    }
    if (!CreateFolderPath(restoreData + "\\", error)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists failed\n\n");
        return FolderCreateError(error);
    }

    BeginCopyProgress(volume->GetContentCount());
    const CFolderListing* listed = plan.m_pBackupListing.get();
    hr = CopyFolder(backupData, restoreData, nullptr, listed);
    EndCopyProgress();
    if (hr != RC_OK) {
        Trace("\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n");
        return hr;
    }

    plan.m_strRestoreData = restoreData;
    CRestoredPaths paths(restoreData, listed);
    plan.m_pBackupListing.reset();  // what the walk needs of it, the paths keep
    // Made once, for the first track that has pictures to re-point; folders
    // made during the step do not vanish.
    bool pictureFolderMade = false;
    DWORD tracks = 0;
    DWORD restored = 0;
    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        if (IsCancelRequested()) {
            result = RC_CANCELLED;
            break;
        }
        ++tracks;

        const std::string path = Text(track->GetFilePath());
        std::string folder, file;
        const bool shaped = SplitStoredTrackPath(path, folder, file);
        Trace("Title = %s\nPath  = %s\n", Text(track->GetTitle()), path.c_str());
        Trace("FolderName = %s\nFileName = %s\n", folder.c_str(), file.c_str());
        std::string target;
        ItemCode why = ItemCode::BadName;
        if (!shaped || !paths.Track(folder, file, target, why)) {
            // Listed, and kept out of the restored library rather than pointing elsewhere.
            RecordFailedItem(track.Get(), why, 1);
            continue;
        }
        track->SetFilePath(target.c_str());

        if (!IsSecureTrack(track.Get())) {
            if (!pictureFolderMade && !CreateFolderPath(paths.PictureFolder(), error)) {
                result = FolderCreateError(error);
                break;
            }
            pictureFolderMade = true;
            RepointPictures(*this, track.Get(), paths);
        }
        if (FAILED(track->Register())) {
            Trace("CBackupRestore::RestoreNmlContents pTrack->Register() failed\n");
            // Its stored path is still the backup's: it must not enter the library.
            RecordFailedItem(track.Get(), ItemCode::NotRegistered, 1);
            continue;
        }
        ++restored;
    }
    entry.Reset();

    // The new paths reach the prepared database only when it closes: one that
    // kept the backup's paths must not be swapped in as the host's library.
    hr = m_builder.UnmountHDD();
    if (result == RC_OK && FAILED(hr)) {
        Trace("\n\nCBackupRestore::RestoreNmlContents m_builder.UnmountHDD failed\n\n");
        result = hr;
    }
    // A backup whose tracks all lack their files (or all are refused) has no
    // library to give: the host keeps its own, and nothing of this restore stays.
    bool refused = false;
    if (result == RC_OK && tracks > 0 && restored == 0) {
        Trace("\n\nCBackupRestore::RestoreNmlContents no track restored\n\n");
        result = RC_E_FAIL;
        refused = true;
    }
    if (result == RC_OK) {
        result = CheckPreparedLibrary(m_builder, temporary + kContentsDbFile, m_strPictureFolder, paths);
        if (result != RC_OK) {
            Trace("\n\nCBackupRestore::RestoreNmlContents prepared library check failed\n\n");
            refused = true;
        }
    }
    if (result != RC_OK) databases.Discard();
    if (refused) DeleteFolder(restoreData);
    return result;
}

HRESULT CBackupRestore::SetLibraryAside(CRestorePlan& plan) {
    const std::string live = GetDatabasesFolder();
    if (!CSwapBeside::NamesFit(live)) return RC_E_FAIL;
    // The live library goes aside before the rights are replaced: a folder
    // that will not move (a file of it held open by another program) ends
    // the restore here, with nothing of the host changed, and never leaves
    // the host one library with the other's rights.
    CSwapBeside databases =
        CSwapBeside::Adopt(live, CSwapBeside::Kind::Folder, Journal(), plan.m_strNewDatabasesFolder);
    if (databases.MoveLiveAside() != RC_OK) {
        Trace("\n\nCBackupRestore::SetLibraryAside the live library will not move\n\n");
        return RC_E_LIBRARY_IN_USE;
    }
    plan.m_strOldDatabasesFolder = databases.Aside();
    return RC_OK;
}

HRESULT CBackupRestore::PutLibraryBack(CRestorePlan& plan) {
    CSwapBeside databases = CSwapBeside::Adopt(GetDatabasesFolder(), CSwapBeside::Kind::Folder, Journal(),
                                               plan.m_strNewDatabasesFolder, plan.m_strOldDatabasesFolder);
    const HRESULT hr = databases.PutLiveBack();
    if (hr == RC_OK) plan.m_strOldDatabasesFolder.clear();
    return hr;
}

HRESULT CBackupRestore::RestoreNmlDatabases(CRestorePlan& plan) {
    const std::string live = GetDatabasesFolder();
    if (!CSwapBeside::NamesFit(live)) return RC_E_FAIL;
    // The old library stays beside the new one: the finishing step reads it,
    // and the user may want it back.
    CSwapBeside databases = CSwapBeside::Adopt(live, CSwapBeside::Kind::Folder, Journal(),
                                               plan.m_strNewDatabasesFolder, plan.m_strOldDatabasesFolder);
    if (plan.m_strOldDatabasesFolder.empty()) {
        const HRESULT hr = databases.SwapIn();
        plan.m_strOldDatabasesFolder = databases.Aside();
        return hr == RC_OK ? RC_OK : RC_E_FAIL;
    }
    // The rights are the backup's by now: the new library must go in. A move
    // that fails once is tried again; one that will not go leaves the host
    // its old library rather than none, and the job's record has the next
    // start take the new one in.
    if (databases.MoveWorkingIn() == RC_OK || databases.MoveWorkingIn() == RC_OK) return RC_OK;
    Trace("\n\nCBackupRestore::RestoreNmlDatabases the prepared library will not move in\n\n");
    if (databases.PutLiveBack() == RC_OK) plan.m_strOldDatabasesFolder.clear();
    return RC_E_FAIL;
}

HRESULT CBackupRestore::DeleteUnusableContents(const CRestorePlan& plan) {
    HRESULT hr =
        m_builder.MountHDD((plan.m_strOldDatabasesFolder + kContentsDbFile).c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) return hr;
    INMHddVolume* volume = m_builder.Volume();
    if (!volume) return RC_E_FAIL;

    // What a replaced track may never take along, however its path is spelt
    // and whatever second name its folder has.
    const std::string live = GetDatabasesFolder();
    const std::string liveForm = ComparablePath(live);
    const std::string kept[] = {live, plan.m_strRestoreData, plan.m_strBackupData};
    CFolderIdentities ids;
    auto mayDelete = [&](const std::string& path) {
        if (!IsPlainAbsolutePath(path) || !IsExistingFile(path)) return false;
        const std::string item = ComparablePath(path);
        if (item.empty() || liveForm.empty()) return false;
        for (const std::string& folder : kept) {
            if (!folder.empty() && ids.IsSameOrInside(path, folder)) return false;
        }
        // The folders beside the live one hold libraries too.
        return !IsBesideNameOf(item, liveForm) && !Places().IsSameOrInside(path, live);
    };

    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        const std::string path = Text(track->GetFilePath());
        Trace("Title = %s, Path = %s\n", Text(track->GetTitle()), path.c_str());
        if (!IsSecureTrack(track.Get()) || !mayDelete(path)) continue;
        // Its rights are still the host's when the backup brought none: the
        // file is kept (the replaced library may come back) and listed.
        if (!plan.m_bRightsReplaced) {
            RecordFailedItem(track.Get(), ItemCode::KeptNoRights, 0);
            continue;
        }
        // Never through a link: a file it leads to is not the replaced library's.
        DeleteFileItself(path);
    }
    entry.Reset();
    m_builder.UnmountHDD();
    return RC_OK;
}

}  // namespace zr
