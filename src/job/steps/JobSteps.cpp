#include "job/steps/JobSteps.h"

#include "common/ResultCodes.h"
#include "common/Trace.h"

namespace zr {

namespace {

const char kTraceCheckBackupFolder[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.CheckBackupFolder failed\n\n";
const char kTraceCheckBackupData[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.CheckBackupData failed\n\n";
const char kTraceInitBackupDataFolder[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.InitBackupDataFolder failed\n\n";
const char kTraceBackupGuiData[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.BackupGuiData failed\n\n";
const char kTraceBackupNmlData[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.BackupNmlData failed\n\n";
const char kTraceBackupMoveSecureDB[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.BackupMoveSecureDB failed\n\n";
const char kTraceRestoreNmlContents[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.RestoreNmlContents failed\n\n";
const char kTraceRestoreMoveSecureDB[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.RestoreMoveSecureDB failed\n\n";
const char kTraceRestoreNmlDatabases[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.RestoreNmlDatabases failed\n\n";
const char kTraceRestoreGuiData[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.RestoreGuiData failed\n\n";

}  // namespace

HRESULT RunBackupSteps(CBackupRestore& engine, const std::string& backupData, IJobRunner& runner) {
    // A backup that cannot fit, or whose earlier backup holds the host's own
    // files, must not delete the earlier one first.
    HRESULT r = engine.CheckBackupFolder(backupData);
    if (r != RC_OK) {
        if (FAILED(r)) Trace("%s", kTraceCheckBackupFolder);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    // From here on the tree holds (or has lost) this job's data.
    runner.BackupTreeTouched();
    r = engine.InitBackupDataFolder(backupData);
    if (FAILED(r)) {
        Trace("%s", kTraceInitBackupDataFolder);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    r = engine.BackupGuiData(backupData);
    if (FAILED(r)) {
        Trace("%s", kTraceBackupGuiData);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    r = engine.BackupNmlData(backupData);
    if (FAILED(r)) {
        Trace("%s", kTraceBackupNmlData);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    runner.EnterDatabasePhase();
    if (runner.IsCancelled()) return RC_CANCELLED;
    HRESULT m = engine.BackupMoveSecureDB(backupData);
    if (FAILED(m)) {
        Trace("%s", kTraceBackupMoveSecureDB);
        return m;
    }
    return r;
}

HRESULT RunRestoreSteps(CBackupRestore& engine, const std::string& backupData, const std::string& restoreTo,
                        IJobRunner& runner) {
    // Nothing of the host changes before the backup is known to be whole.
    HRESULT r = engine.CheckBackupData(backupData, restoreTo);
    if (r != RC_OK) {
        Trace("%s", kTraceCheckBackupData);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    r = engine.RestoreNmlContents(backupData, restoreTo);
    if (r != RC_OK) {
        Trace("%s", kTraceRestoreNmlContents);
        return r;
    }
    if (runner.IsCancelled()) return RC_CANCELLED;
    // From here on a restore runs to its end: a cancel confirmed now would
    // stop a step halfway (playlists deleted and not copied back).
    runner.CommitToFinish();
    runner.EnterDatabasePhase();
    HRESULT m = engine.RestoreMoveSecureDB(backupData);
    if (FAILED(m) && m != RC_E_STREAM_NOT_FOUND) {
        Trace("%s", kTraceRestoreMoveSecureDB);
        return m;
    }
    r = engine.RestoreNmlDatabases();
    if (r != RC_OK) {
        Trace("%s", kTraceRestoreNmlDatabases);
        return r;
    }
    r = engine.RestoreGuiData(backupData);
    if (r != RC_OK) {
        Trace("%s", kTraceRestoreGuiData);
        return r;
    }
    engine.DeleteUnusableContents();
    return RC_OK;
}

void ReleaseJob(CBackupRestore& engine) {
    engine.m_secureDb.Unbind();
    engine.m_builder.Detach();
    if (engine.m_hMediaLibrary) {
        FreeLibrary(engine.m_hMediaLibrary);
        engine.m_hMediaLibrary = nullptr;
    }
}

}  // namespace zr
