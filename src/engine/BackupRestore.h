// The backup/restore engine: one object per job, used only on the job's worker
// thread. It finds the host's folders, binds the media library component and
// the secure components, and runs the steps of a backup or a restore on the
// backup tree "BackupData". Everything it keeps is its own: the job reaches it
// through the steps, the cancel request and the read-only views below.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/FailedItem.h"
#include "common/ResultCodes.h"
#include "engine/BackupPlan.h"
#include "engine/Builder.h"
#include "engine/FileOps.h"
#include "engine/FolderListing.h"
#include "engine/HostPlaces.h"
#include "engine/JobRunner.h"
#include "engine/NMInterfaces.h"
#include "engine/RestorePlan.h"
#include "securedb/SecureDbComponents.h"

namespace zr {

// True when the track carries either secure-content flag: rights-protected
// content, whose rights go with the secure database and whose pictures stay.
bool IsSecureTrack(INMTrack* track);
// The paths of a track's pictures, in order.
std::vector<std::string> PicturePathsOf(INMTrack* track);

// The host's folders a job works with, as Initialize reads them from the
// installation.
struct EngineFolders {
    std::string host;     // the first host's program folder; empty without a supported one
    std::string library;  // the media library's program folder
    std::string picture;  // the host's media folder + "\Picture"
};

// How a copy failed, beside its result code.
struct CopyFailure {
    DWORD error = ERROR_SUCCESS;    // the system's error
    bool sourceUnreadable = false;  // the source could not be read (else the target could not be written)
};

class CBackupRestore {
public:
    CBackupRestore();
    virtual ~CBackupRestore();
    CBackupRestore(const CBackupRestore&) = delete;
    CBackupRestore& operator=(const CBackupRestore&) = delete;

    // Job start: reads the host's folders, loads the media library module and
    // binds it; the runner hears of progress and is asked before a cancel.
    HRESULT Initialize(IJobRunner& runner);
    // Job end, after a successful Initialize: the secure components, then the
    // library binding they came through, then the module that made both.
    void ReleaseJob();
    // For work that needs no component (putting right what a stopped restore
    // left): the host's folders are read, and the runner's journal records.
    void AttachRunner(IJobRunner& runner);
    // Dialog thread, while the worker waits: the user confirmed a cancel.
    void RequestCancel() { m_bCancelFlag = 1; }

    // The steps, in the order the job runs them. Every path argument is the
    // backup tree, the user's folder + "\BackupData". Results: 0 success,
    // 1 cancelled, negative failure.
    //
    // Before a backup writes anything: the backup tree lies in no place of the
    // host it copies from (RC_E_INVALIDARG); an earlier one there holds none of
    // the host's data or library files (RC_E_HOLDS_HOST_DATA); the serial is
    // there and no path of the new tree is too long (the failure the backup
    // would end with late); and the drive holds the new tree beside the
    // earlier one, or in its place (m_bReplaceFirst), or not at all
    // (RC_E_FILE_COPY).
    HRESULT CheckBackupFolder(CBackupPlan& plan);
    // The earlier backup deleted before the new one is written, when the user
    // chose to make room so.
    HRESULT DeleteEarlierBackup(const CBackupPlan& plan);
    // The working tree the next steps write the new backup into, made beside
    // the earlier one; the runner is told of it.
    HRESULT BeginBackupTree(CBackupPlan& plan);
    HRESULT InitBackupDataFolder(const std::string& backupData);
    HRESULT BackupGuiData(const std::string& backupData);
    HRESULT BackupNmlData(const std::string& backupData);
    HRESULT BackupMoveSecureDB(const std::string& backupData);
    // The whole new tree takes the name "BackupData"; the earlier one goes.
    HRESULT ReplaceBackupData(CBackupPlan& plan);
    // Before a restore changes anything: the backup holds what the later steps
    // need, the destination is safe (RC_E_INVALIDARG otherwise) and its drive
    // has room (RC_E_FILE_COPY). RC_E_NO_BACKUPDATA when the backup tree is no
    // folder, RC_E_FAIL when the backup is damaged. The plan keeps what it
    // found for the later steps.
    HRESULT CheckBackupData(CRestorePlan& plan);
    HRESULT RestoreNmlContents(CRestorePlan& plan);
    // The live library aside, before the rights are replaced; RC_E_LIBRARY_IN_USE
    // when it will not move, with nothing of the host changed.
    HRESULT SetLibraryAside(CRestorePlan& plan);
    // The rights are read from the copy in RestoreData; the plan says whether
    // they replaced the host's.
    HRESULT RestoreMoveSecureDB(CRestorePlan& plan);
    // The library set aside back under its name, when the rights stayed the host's.
    HRESULT PutLibraryBack(CRestorePlan& plan);
    HRESULT RestoreNmlDatabases(CRestorePlan& plan);
    HRESULT RestoreGuiData(const CRestorePlan& plan);
    HRESULT DeleteUnusableContents(const CRestorePlan& plan);

    // Shared by the steps.
    // Copies a folder tree into an existing destination folder; a tree listed
    // before (deep, or this folder alone) is walked as listed, else the folder
    // is listed now. How a failed copy failed goes to `failure`.
    HRESULT CopyFolder(const std::string& source, const std::string& destination, CopyFailure* failure = nullptr,
                       const CFolderListing* listed = nullptr);
    // path, or path + "%05d" with the first number whose name nothing holds.
    static HRESULT CreateUniqueFolderName(const std::string& path, std::string& result);
    // Deletes a folder tree without asking, never following a link inside it;
    // a missing folder is no error, a whole drive is never deleted.
    static void DeleteFolder(const std::string& path);
    // Ends the string at its last real backslash; 1, or 0 for no buffer.
    static int StripFileName(char* buffer);
    void RecordFailedItem(INMTrack* track, ItemCode code, int remove);
    // An item that is no track (a GUI item), under its own name.
    void RecordFailedItem(const std::string& title, ItemCode code);

    // The library's databases folder, relocated when the host moved it.
    std::string GetDatabasesFolder() const;

    // CopyFolder reports a copied file as progress, up to `total`, from the
    // next copy on; a restore's copy of the backup tree drives the bar so.
    void BeginCopyProgress(DWORD total);
    void EndCopyProgress() { m_bPostProgress = 0; }
    bool PostsCopyProgress() const { return m_bPostProgress != 0; }
    DWORD CopyProgressDone() const { return m_nProgressDone; }

    // What the job could not handle, in the order met: titles and codes are
    // two lists of equal length, written only through RecordFailedItem.
    const std::vector<std::string>& FailedTitles() const { return m_vecFailedItemTitle; }
    const std::vector<ItemCode>& FailedCodes() const { return m_vecFailedItemCode; }
    std::vector<FailedItem> FailedItems() const;

    // Read-only views for the job's end and for tests.
    const std::string& HostFolder() const { return m_strHostFolder; }
    const std::string& LibraryFolder() const { return m_strLibraryFolder; }
    const std::string& PictureFolder() const { return m_strPictureFolder; }
    const CBuilder& Builder() const { return m_builder; }
    const SecureDbComponents& SecureDb() const { return m_secureDb; }
    HMODULE MediaLibraryModule() const { return m_hMediaLibrary; }
    LONG CancelFlag() const { return m_bCancelFlag; }

    // Test seams, for tests that drive the steps with a component of their
    // own instead of the host's module: folders given instead of read, a
    // library reference bound as Initialize binds the module's (taken over,
    // also when refused), and the secure components to break by hand.
    void UseFolders(const EngineFolders& folders);
    HRESULT BindLibrary(INMLibrary* library, IJobRunner* runner);
    SecureDbComponents& SecureDbForTest() { return m_secureDb; }

private:
    struct LibraryUse {
        std::string audioRoot;          // the new tree's Data\Audio\, as the backup will name it
        ULONGLONG bytes = 0;            // what the backup copies of the tracks and pictures
        bool insideBackupData = false;  // a file of the library lies in the backup tree
        HRESULT tooLong = RC_OK;        // how the backup would fail on a path too long below audioRoot
        DWORD tracks = 0;               // in the library
        DWORD tracksWithFile = 0;       // whose content file is there
    };
    void ReadFolders();
    // The host's places, read once per job.
    const CHostPlaces& Places();
    bool IsCancelRequested();
    void PostProgress(DWORD done, DWORD total);
    IJournal* Journal() const { return m_pRunner ? m_pRunner->Journal() : nullptr; }

    // The live library's database files copied into a new temporary folder.
    HRESULT CopyLibraryForReading(std::string& copy);
    HRESULT WalkLibrary(const std::string& contentsDb, ULONGLONG cluster, const std::string& inside, LibraryUse& use);
    HRESULT CheckRestoreDestination(const CRestorePlan& plan);
    HRESULT CheckMoveBackupFile(const std::string& backupData);
    HRESULT CheckRestoreSpace(CRestorePlan& plan);
    // The GUI-data folders of a backup that RestoreGuiData takes, for the first
    // host and for the shared layout; false when the backup holds none.
    bool ChooseGuiSources(const std::string& backupData, std::string& hostSource, std::string& sharedSource);
    // GUI data of the installed hosts. False when a folder it needs is unknown.
    bool LocateHostGuiData(GuiDataLocation& location);
    static bool LocateSharedGuiData(GuiDataLocation& location);
    HRESULT BackupGuiItems(const GuiDataLocation& location, const std::string& destination);
    // The first host's data; `shared` tells whether it was the shared layout.
    HRESULT RestoreHostGuiData(const std::string& source, bool& shared);
    HRESULT RestoreSharedGuiData(const std::string& source);
    void ReplaceGuiItems(const GuiDataLocation& location, const std::string& source);
    bool RestoreGuiFile(const std::string& source, const std::string& target);
    bool RestoreGuiFolder(const std::string& source, const std::string& target);

    CBuilder m_builder;
    SecureDbComponents m_secureDb;
    HMODULE m_hMediaLibrary;
    std::string m_strHostFolder;
    std::string m_strLibraryFolder;
    std::string m_strPictureFolder;
    bool m_bFoldersGiven = false;  // given by a test, or read once
    std::unique_ptr<CHostPlaces> m_pPlaces;
    std::vector<std::string> m_vecFailedItemTitle;
    std::vector<ItemCode> m_vecFailedItemCode;
    // Set to 1 by the dialog thread while the worker is held; read by the
    // steps on the worker: atomic, so each side sees the other's write.
    std::atomic<LONG> m_bCancelFlag;
    static_assert(sizeof(m_bCancelFlag) == 4 && decltype(m_bCancelFlag)::is_always_lock_free, "32 bits, no lock");
    // Who runs the job: told of progress, asked before a cancel.
    IJobRunner* m_pRunner = nullptr;
    // CopyFolder reports a copied file as progress while m_bPostProgress is 1.
    LONG m_bPostProgress;
    DWORD m_nProgressDone;
    DWORD m_nProgressTotal;
};

}  // namespace zr
