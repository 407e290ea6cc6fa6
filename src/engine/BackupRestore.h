// The backup/restore engine: one object per job, used only on the job's worker
// thread. It finds the host's folders, binds the media library component and
// the secure components, and runs the steps of a backup or a restore on the
// backup tree "BackupData".
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/FailedItem.h"
#include "engine/Builder.h"
#include "engine/CancelState.h"
#include "engine/FolderListing.h"
#include "engine/HostPlaces.h"
#include "engine/NMInterfaces.h"
#include "securedb/SecureDbComponents.h"

namespace zr {

// The numbers CreateUniqueFolderName appends ("%05d"), and the widest of them.
constexpr int kMaxFolderNumbers = 100000;
constexpr char kWidestFolderNumber[] = "00000";

// True when the track carries either secure-content flag: rights-protected
// content, whose rights go with the secure database and whose pictures stay.
bool IsSecureTrack(INMTrack* track);
// The paths of a track's pictures, in order.
std::vector<std::string> PicturePathsOf(INMTrack* track);

class CBackupRestore {
public:
    CBackupRestore();
    virtual ~CBackupRestore();
    CBackupRestore(const CBackupRestore&) = delete;
    CBackupRestore& operator=(const CBackupRestore&) = delete;

    // Steps of a job, in the order the job runner calls them. Every path
    // argument is the backup tree, the user's folder + "\BackupData".
    // Results: 0 success, 1 cancelled, negative failure.
    HRESULT Initialize(HWND notifyWnd);
    HRESULT InitBackupDataFolder(const std::string& backupData);
    HRESULT BackupGuiData(const std::string& backupData);
    HRESULT BackupNmlData(const std::string& backupData);
    HRESULT BackupMoveSecureDB(const std::string& backupData);
    // Before a backup deletes an earlier one: the backup tree lies in no place
    // of the host it copies from (RC_E_INVALIDARG), an earlier one there holds
    // none of the host's data or library files (RC_E_HOLDS_HOST_DATA), and the
    // drive holds what the backup will copy, counting what the deletion frees
    // (RC_E_FILE_COPY).
    HRESULT CheckBackupFolder(const std::string& backupData);
    // Before a restore changes anything: the backup holds what the later steps
    // need, the destination is safe (RC_E_INVALIDARG otherwise) and its drive
    // has room (RC_E_FILE_COPY). RC_E_NO_BACKUPDATA when the backup tree is no
    // folder, RC_E_FAIL when the backup is damaged.
    HRESULT CheckBackupData(const std::string& backupData, const std::string& restoreTo);
    HRESULT RestoreNmlContents(const std::string& backupData, const std::string& restoreTo);
    HRESULT RestoreMoveSecureDB(const std::string& backupData);
    HRESULT RestoreNmlDatabases();
    HRESULT RestoreGuiData(const std::string& backupData);
    HRESULT DeleteUnusableContents();

    // Shared by the steps.
    // Copies a folder tree into an existing destination folder. After a failed
    // file copy the system's error is still in GetLastError, and
    // m_bCopySourceUnreadable says whether the source was what failed.
    HRESULT CopyFolder(const std::string& source, const std::string& destination);
    // The same for a tree listed before (deep, or this folder alone); nullptr
    // lists the folder now.
    HRESULT CopyFolder(const std::string& source, const std::string& destination, const CFolderListing* listed);
    bool m_bCopySourceUnreadable = false;
    // path, or path + "%05d" with the first number whose folder does not exist.
    HRESULT CreateUniqueFolderName(const std::string& path, std::string& result);
    // Deletes a folder tree without asking; a missing folder is no error.
    static void DeleteFolder(const std::string& path);
    // Ends the string at its last real backslash; 1, or 0 for no buffer.
    static int StripFileName(char* buffer);
    void RecordFailedItem(INMTrack* track, HRESULT code, int remove);
    // An item that is no track (a GUI item), under its own name.
    void RecordFailedItem(const std::string& title, HRESULT code);

    // GUI data of the installed hosts. False when a folder it needs is unknown.
    bool LocateHostGuiData(GuiDataLocation& location);
    // The layout flag of the first host's data, or RC_E_FAIL when it cannot be located.
    int RestoreHostGuiData(const std::string& source);
    HRESULT RestoreSharedGuiData(const std::string& source);

    // The library's databases folder, relocated when the host moved it.
    std::string GetDatabasesFolder() const;

    CBuilder m_builder;
    SecureDbComponents m_secureDb;
    HMODULE m_hMediaLibrary;
    std::string m_strHostFolder;
    std::string m_strLibraryFolder;
    std::string m_strPictureFolder;
    std::string m_strOldDatabasesFolder;
    std::string m_strNewDatabasesFolder;
    // The backup tree a restore reads and the RestoreData it fills; the
    // finishing step never deletes below them.
    std::string m_strBackupDataFolder;
    std::string m_strRestoreDataFolder;
    // Set to 1 by the dialog thread while the worker is held; read by the
    // steps on the worker: atomic, so each side sees the other's write.
    std::atomic<LONG> m_bCancelFlag;
    static_assert(sizeof(m_bCancelFlag) == 4 && decltype(m_bCancelFlag)::is_always_lock_free, "32 bits, no lock");
    // The job's cancel state, when a job runs the steps: every check waits
    // there while the user is asked, and none cancels once the job is finishing.
    CCancelState* m_pCancelState = nullptr;
    bool IsCancelRequested() {
        if (m_pCancelState && !m_pCancelState->MayCancel()) return false;
        return m_bCancelFlag == 1;
    }
    HWND m_hNotifyWnd;

    // What the job could not handle, in the order met.
    const std::vector<FailedItem>& FailedItems() const { return m_vecFailedItems; }
    std::vector<std::string> FailedTitles() const;
    std::vector<HRESULT> FailedCodes() const;

    // CopyFolder posts a progress message per copied file, up to `total`, from
    // the next copy on; a restore's copy of the backup tree drives the bar so.
    void BeginCopyProgress(DWORD total);
    void EndCopyProgress();
    bool PostsCopyProgress() const { return m_bPostProgress != 0; }
    DWORD CopyProgressDone() const { return m_nProgressDone; }

private:
    struct LibraryUse {
        ULONGLONG bytes = 0;            // what the backup copies of the tracks and pictures
        bool insideBackupData = false;  // a file of the library lies in the backup tree
    };
    // The live library's database files copied into a new temporary folder.
    HRESULT CopyLibraryForReading(std::string& copy);
    HRESULT WalkLibrary(const std::string& contentsDb, ULONGLONG cluster, const std::string& inside, LibraryUse& use);
    HRESULT CheckRestoreDestination(const std::string& backupData, const std::string& restoreTo);
    HRESULT CheckMoveBackupFile(const std::string& backupData);
    HRESULT CheckRestoreSpace(const std::string& backupData, const std::string& restoreTo);
    // The GUI-data folders of a backup that RestoreGuiData takes, for the first
    // host and for the shared layout; false when the backup holds none.
    bool ChooseGuiSources(const std::string& backupData, std::string& hostSource, std::string& sharedSource);
    HRESULT BackupGuiItems(const GuiDataLocation& location, const std::string& destination);
    static bool LocateSharedGuiData(GuiDataLocation& location);
    void ReplaceGuiItems(const GuiDataLocation& location, const std::string& source);
    bool RestoreGuiFile(const std::string& source, const std::string& target);
    bool RestoreGuiFolder(const std::string& source, const std::string& target);
    void PostProgress(DWORD done, DWORD total);

    std::vector<FailedItem> m_vecFailedItems;
    // The backup tree as the restore's check listed it, for its copy to walk
    // again instead of listing it twice; gone once the copy is done.
    std::string m_strListedBackupData;
    std::unique_ptr<CFolderListing> m_pBackupListing;
    LONG m_bPostProgress;
    DWORD m_nProgressDone;
    DWORD m_nProgressTotal;
};

}  // namespace zr
