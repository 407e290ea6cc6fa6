// The checks a job makes before it changes anything: a restore's backup is
// whole and its destination safe and roomy enough; a backup fits its drive
// before the earlier backup there is deleted.
#include <windows.h>

#include <shlwapi.h>

#include <cstring>
#include <unordered_set>

#include "app/settings/HostSettings.h"
#include "common/BackupTree.h"
#include "common/ComRef.h"
#include "common/FolderIdentity.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/AudioFolders.h"
#include "engine/BackupRestore.h"
#include "engine/Recovery.h"
#include "engine/SwapBeside.h"

namespace zr {
namespace {


const char* Text(const char* s) { return s ? s : ""; }

bool IsFolder(const std::string& path) { return FitsBuffer(path, MAX_PATH) && PathIsDirectoryA(path.c_str()); }

// The drive a folder (or, when it does not exist yet, its nearest existing
// parent) lies on: its root, the space this user may still fill, and the
// cluster every file takes its size in.
struct Drive {
    bool known = false;
    std::string root;
    ULONGLONG free = 0;
    ULONGLONG cluster = 1;
};

Drive DriveOf(std::string folder) {
    Drive drive;
    while (!folder.empty() && !IsFolder(folder)) {
        const std::string parent = FolderPart(folder);
        if (parent == folder) return drive;
        folder = parent;
    }
    char root[MAX_PATH] = {};
    ULARGE_INTEGER free = {}, total = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    // A drive that reports no size at all (a share that keeps it to itself, a
    // system's pseudo file system) cannot be judged: its own errors will tell.
    if (folder.empty() || !GetVolumePathNameA(folder.c_str(), root, MAX_PATH) ||
        !GetDiskFreeSpaceExA(folder.c_str(), &free, &total, nullptr) || total.QuadPart == 0 ||
        !GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        return drive;
    }
    drive.known = true;
    drive.root = FoldCase(root);
    drive.free = free.QuadPart;
    drive.cluster = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector;
    if (drive.cluster == 0) drive.cluster = 1;
    return drive;
}

ULONGLONG OnDisk(ULONGLONG bytes, ULONGLONG cluster) { return (bytes + cluster - 1) / cluster * cluster; }

// The space a file takes on a drive of that cluster size; 0 when it is not there.
ULONGLONG FileOnDisk(const std::string& path, ULONGLONG cluster) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!FitsBuffer(path, MAX_PATH) || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return 0;
    }
    return OnDisk((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, cluster);
}

// A folder tree's files, and a cluster for every folder in it.
ULONGLONG TreeOnDisk(const std::string& folder, ULONGLONG cluster) {
    CFolderListing listing;
    ListFolder(folder, true, listing);
    return ListedOnDisk(listing, cluster);
}

// A GUI folder of a backup whose three files, where present, are files.
bool GuiFilesAreFiles(const std::string& guiFolder) {
    for (const char* name : kGuiFiles) {
        const std::string path = guiFolder + name;
        if (FitsBuffer(path, MAX_PATH) && PathIsDirectoryA(path.c_str())) return false;
    }
    return true;
}

// A track's file below the audio root under the name the backup will give
// its folder: RC_OK when both fit a MAX_PATH buffer, else the failure the
// backup would end with when it came to the track.
HRESULT CheckTrackPath(CAudioFolders& folders, const std::string& path, const std::string& audioRoot) {
    std::string source = path;
    CBackupRestore::StripFileName(&source[0]);
    source.resize(std::strlen(source.c_str()));
    std::string folder;
    DWORD error = ERROR_SUCCESS;
    const HRESULT hr = folders.Find(source, folder, error);
    if (FAILED(hr)) return hr;
    return FitsBuffer(audioRoot + folder + "\\" + PlatformFileName(path), MAX_PATH) ? RC_OK : RC_E_FILE_COPY;
}

ULONGLONG GuiItemsOnDisk(const GuiDataLocation& location, ULONGLONG cluster) {
    ULONGLONG total = TreeOnDisk(location.playlistFolder, cluster) + 2 * cluster;  // GUI(...) and UPL
    for (const std::string* file : {&location.mirsDat, &location.usrdicDic, &location.ruleDat}) {
        if (!file->empty()) total += FileOnDisk(*file, cluster);
    }
    return total;
}

}  // namespace

HRESULT CBackupRestore::CheckRestoreDestination(const CRestorePlan& plan) {
    const CHostPlaces& places = Places();
    if (places.IsRefusedRestoreSource(plan.m_strBackupData) ||
        places.IsRefusedRestoreDestination(plan.m_strRestoreTo, plan.m_strBackupData)) {
        Trace("\n\nCBackupRestore::CheckRestoreDestination restore folder refused\n\n");
        return RC_E_INVALIDARG;
    }
    return RC_OK;
}

HRESULT CBackupRestore::CheckBackupData(CRestorePlan& plan) {
    const std::string& backupData = plan.m_strBackupData;
    if (!IsFolder(backupData)) {
        Trace("\n\nCBackupRestore::CheckBackupData BackupData is no folder\n\n");
        return RC_E_NO_BACKUPDATA;
    }
    HRESULT hr = CheckRestoreDestination(plan);
    if (FAILED(hr)) return hr;
    // The swap moves the live folder aside by name: a name that is no folder
    // below a drive would put its siblings somewhere else.
    if (!IsPlainAbsolutePath(GetDatabasesFolder())) {
        Trace("\n\nCBackupRestore::CheckBackupData databases folder unusable\n\n");
        return RC_E_FAIL;
    }

    // What the later steps read: each of them fails only after the host was changed.
    std::string serial;
    LoadSerialFromIni(backupData, serial);
    if (serial.empty()) {
        Trace("\n\nCBackupRestore::CheckBackupData serial is empty\n\n");
        return RC_E_FAIL;
    }
    // A backup always has the GUI folder of each host it saved, with its
    // playlist folder; only the three files may be absent (the host had none).
    std::string hostSource, sharedSource;
    if (!ChooseGuiSources(backupData, hostSource, sharedSource) || !IsFolder(hostSource + "\\UPL") ||
        !IsFolder(sharedSource + "\\UPL") || !GuiFilesAreFiles(hostSource) || !GuiFilesAreFiles(sharedSource)) {
        Trace("\n\nCBackupRestore::CheckBackupData no GUI data\n\n");
        return RC_E_FAIL;
    }
    // A restore cannot do without contents.db and its .cdb.
    for (const DatabaseFile& file : kDatabaseFiles) {
        if (file.requiredTag && !IsExistingFile(backupData + kLibraryDbFolder + file.name)) {
            Trace("\n\nCBackupRestore::CheckBackupData %s%s missing\n\n", kLibraryDbFolder, file.name);
            return RC_E_FAIL;
        }
    }
    hr = CheckMoveBackupFile(backupData);
    if (hr != RC_OK) {
        Trace("\n\nCBackupRestore::CheckBackupData MovePlugIn.bkd unreadable\n\n");
        return RC_E_FAIL;
    }
    return CheckRestoreSpace(plan);
}

HRESULT CBackupRestore::CheckRestoreSpace(CRestorePlan& plan) {
    const std::string& backupData = plan.m_strBackupData;
    // The whole tree goes below the destination; the database files beside the live library.
    const Drive destination = DriveOf(plan.m_strRestoreTo);
    const Drive library = DriveOf(FolderPart(GetDatabasesFolder()));
    // Read once: the copy walks this listing again.
    auto listing = std::make_unique<CFolderListing>();
    ListFolder(backupData, true, *listing);
    ULONGLONG tree = destination.known ? ListedOnDisk(*listing, destination.cluster) : 0;
    plan.m_pBackupListing = std::move(listing);
    ULONGLONG databases = library.cluster;
    for (const DatabaseFile& file : kDatabaseFiles) {
        databases += FileOnDisk(backupData + kLibraryDbFolder + file.name, library.cluster);
    }
    plan.m_nTreeOnDisk = tree;
    plan.m_nDatabasesOnDisk = databases;
    if (destination.known && library.known && destination.root == library.root) tree += databases;

    const bool destinationShort = destination.known && tree > destination.free;
    const bool libraryShort = library.known && destination.root != library.root && databases > library.free;
    if (destinationShort || libraryShort) {
        Trace("\n\nCBackupRestore::CheckRestoreSpace the drive is too small\n\n");
        return RC_E_FILE_COPY;
    }
    return RC_OK;
}

HRESULT CBackupRestore::CheckBackupFolder(CBackupPlan& plan) {
    const std::string& backupData = plan.m_strBackupData;
    const CHostPlaces& places = Places();
    if (places.IsRefusedBackupTarget(backupData)) {
        Trace("\n\nCBackupRestore::CheckBackupFolder backup folder refused\n\n");
        return RC_E_INVALIDARG;
    }
    // What a backup into this folder that was stopped midway left is put
    // right first: its working tree goes, and an earlier backup it had moved
    // aside comes back.
    PutRightBackupsInto(backupData);
    // An earlier backup there is replaced: it must hold nothing of the host's.
    plan.m_bEarlierBackup = GetFileAttributesA(backupData.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (plan.m_bEarlierBackup && places.HasPlaceInside(backupData)) {
        Trace("\n\nCBackupRestore::CheckBackupFolder BackupData holds the host's data\n\n");
        return RC_E_HOLDS_HOST_DATA;
    }
    // What the last steps need, looked at before anything is written.
    if (GetInstalledSerial().empty()) {
        Trace("\n\nCBackupRestore::CheckBackupFolder SdTalvSerial is empty\n\n");
        return RC_E_FAIL;
    }
    if (!CSwapBeside::NamesFit(backupData, std::strlen(kLibraryDbFolder) + std::strlen(kLongestDatabaseFile))) {
        Trace("\n\nCBackupRestore::CheckBackupFolder backup folder too long\n\n");
        return RC_E_FOLDER_CREATE;
    }
    const Drive drive = DriveOf(backupData);
    const ULONGLONG cluster = drive.cluster;

    // Folders of the tree, BackupRestore.ini and MovePlugIn.bkd: a cluster each at least.
    ULONGLONG need = 8 * cluster;
    for (const GuiDataLocation& location : places.GuiData()) need += GuiItemsOnDisk(location, cluster);

    // The library is read from a copy: the host's own database is opened only
    // by the secure export. The copy is what the backup copies too.
    std::string copy;
    HRESULT hr = CopyLibraryForReading(copy);
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::CheckBackupFolder library copy failed\n\n");
        return hr;
    }
    for (const DatabaseFile& file : kDatabaseFiles) need += FileOnDisk(copy + file.name, cluster);
    LibraryUse use;
    // The new tree is written under a working name, the longest it may get.
    use.audioRoot = CSwapBeside::LongestWorkingName(backupData) + kAudioFolder;
    hr = WalkLibrary(copy + kContentsDbFile, cluster, plan.m_bEarlierBackup ? backupData : std::string(), use);
    DeleteFolder(copy);
    if (hr != RC_OK) return hr;
    if (use.insideBackupData) {
        Trace("\n\nCBackupRestore::CheckBackupFolder BackupData holds the library's files\n\n");
        return RC_E_HOLDS_HOST_DATA;
    }
    // Not one track's file could be read (the music's drive not plugged in,
    // say): such a backup restores no track, and must not take the place of
    // one that does.
    if (use.tracks > 0 && use.tracksWithFile == 0) {
        Trace("\n\nCBackupRestore::CheckBackupFolder no track's file is there\n\n");
        return RC_E_FAIL;
    }
    if (use.tooLong != RC_OK) {
        Trace("\n\nCBackupRestore::CheckBackupFolder a path below BackupData would be too long\n\n");
        return use.tooLong;
    }
    need += use.bytes;
    plan.m_nNeeded = need;
    if (!drive.known || need <= drive.free) return RC_OK;

    // Beside the earlier backup the new one does not fit; in its place it may.
    const ULONGLONG earlier = IsFolder(backupData) ? TreeOnDisk(backupData, cluster) : 0;
    if (plan.m_bEarlierBackup && need <= drive.free + earlier) {
        plan.m_bReplaceFirst = true;
        return RC_OK;
    }
    Trace("\n\nCBackupRestore::CheckBackupFolder the drive is too small\n\n");
    return RC_E_FILE_COPY;
}

HRESULT CBackupRestore::CopyLibraryForReading(std::string& copy) {
    char temp[MAX_PATH] = {};
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return RC_E_FOLDER_CREATE;
    std::string base = temp;
    if (!HasTrailingBackslash(base)) base += "\\";
    base += "BackupCheck";
    if (!FitsBuffer(base + kWidestFolderNumber + kLongestDatabaseFile, MAX_PATH)) {
        return FolderCreateError(ERROR_FILENAME_EXCED_RANGE);
    }
    DWORD error = ERROR_SUCCESS;
    if (!CreateFolderPath(FolderPart(base) + "\\", error)) return FolderCreateError(error);
    // The temporary folder is the user's: another job may be checking at the
    // same time, and a copy it deletes or overwrites must never be this one.
    // The copy is named in the job's record before it is made, so that one
    // that will not go with the check goes with what the record puts right.
    IJournal* journal = Journal();
    for (int tries = 0;; ++tries) {
        if (tries == kMaxFolderNumbers || FAILED(CreateUniqueFolderName(base, copy))) return RC_E_FOLDER_CREATE;
        if (journal && !journal->Record(IJournal::Op::Create, copy, std::string())) return RC_E_FAIL;
        if (CreateDirectoryA(copy.c_str(), nullptr)) break;
        error = GetLastError();
        if (journal) journal->Record(IJournal::Op::NotMade, copy, std::string());
        if (error != ERROR_ALREADY_EXISTS) return FolderCreateError(error);
    }
    const std::string databases = GetDatabasesFolder();
    for (const DatabaseFile& file : kDatabaseFiles) {
        if (!CopyFileOver(databases + file.name, copy + file.name) && file.requiredTag) {
            DeleteFolder(copy);
            return RC_E_FILE_COPY;
        }
        MakeWritable(copy + file.name);
    }
    return RC_OK;
}

// The tracks' files that are there, their folders, and the pictures of tracks
// without secure content (each picture file once); and whether a file of the
// library lies in the folder `inside` (a comparable form; empty: not asked).
// Folders are compared, not files, each once.
HRESULT CBackupRestore::WalkLibrary(const std::string& contentsDb, ULONGLONG cluster, const std::string& inside,
                                    LibraryUse& use) {
    // The names the backup will give the tracks' folders, and so their paths.
    CAudioFolders audioFolders(use.audioRoot, true);
    HRESULT hr = m_builder.MountHDD(contentsDb.c_str(), m_strPictureFolder.c_str());
    if (FAILED(hr)) {
        Trace("\n\nCBackupRestore::CheckBackupFolder m_builder.MountHDD failed\n\n");
        return hr;
    }
    INMHddVolume* volume = m_builder.Volume();
    if (!volume) return RC_E_FAIL;
    std::unordered_set<std::string> copiedFolders;  // of the tracks whose files are there
    std::unordered_set<std::string> pictures;
    std::unordered_set<std::string> checkedFolders;  // of tracks and pictures, when asked
    // By what the folders are: a folder of the library reached through a
    // second name of the backup tree (another drive letter, a link) counts.
    CFolderIdentities ids;
    auto checkFolder = [&](const std::string& folder) {
        if (inside.empty() || !checkedFolders.insert(FoldCase(folder)).second) return;
        if (ids.IsSameOrInside(folder, inside)) use.insideBackupData = true;
    };
    HRESULT result = RC_OK;
    CRef<INMContent> entry(volume->GetFirstContent(IID_INMTrack));
    for (; entry; entry.Attach(entry->GetNextContent(IID_INMTrack))) {
        if (IsCancelRequested()) {
            result = RC_CANCELLED;
            break;
        }
        CRef<INMTrack> track;
        if (!QueryRef(entry.Get(), IID_INMTrack, track)) continue;
        const std::string path = Text(track->GetFilePath());
        const std::string folder = FolderPart(path);
        checkFolder(folder);
        const ULONGLONG file = FileOnDisk(path, cluster);
        const bool secure = IsSecureTrack(track.Get());
        if (file > 0) use.bytes += file + (copiedFolders.insert(FoldCase(folder)).second ? cluster : 0);
        // An empty file takes no cluster but is there all the same.
        const bool there = file > 0 || IsExistingFile(path);
        if (there && use.tooLong == RC_OK) use.tooLong = CheckTrackPath(audioFolders, path, use.audioRoot);
        ++use.tracks;
        if (there) ++use.tracksWithFile;
        for (const std::string& source : PicturePathsOf(track.Get())) {
            if (source.empty()) continue;
            checkFolder(FolderPart(source));
            if (file > 0 && !secure && pictures.insert(FoldCase(source)).second) {
                use.bytes += FileOnDisk(source, cluster);
            }
        }
    }
    entry.Reset();
    // The walk read a copy: a copy that would not close was not read whole.
    const HRESULT closed = m_builder.UnmountHDD();
    if (result == RC_OK && FAILED(closed)) {
        Trace("\n\nCBackupRestore::CheckBackupFolder m_builder.UnmountHDD failed\n\n");
        result = closed;
    }
    return result;
}

}  // namespace zr
