#include "job/steps/JobSteps.h"

#include "common/ResultCodes.h"
#include "common/Trace.h"

namespace zr {
namespace {

// Which results of a step end the job.
enum class Ends {
    OnFailure,          // negative results; 1 (cancelled) is left to the runner's check after it
    OnAnyButOk,         // every result but 0
    OnFailureButNoFile  // negative results, but for "no secure backup file", which lets the job go on
};

bool EndsJob(Ends ends, HRESULT r) {
    switch (ends) {
    case Ends::OnFailure:
        return FAILED(r);
    case Ends::OnAnyButOk:
        return r != RC_OK;
    case Ends::OnFailureButNoFile:
        return FAILED(r) && r != RC_E_STREAM_NOT_FOUND;
    }
    return true;
}

// What a job's steps work on, for the rows of its table.
struct Job {
    CBackupRestore& engine;
    IJobRunner& runner;
    const std::string& backupData;
    CRestorePlan* plan;  // a restore's
    CBackupPlan* backup;  // a backup's
};

// One row of a job's order: an engine step (traced by its name when it ends
// the job with a failure; a check of the tool's own only when it fails), or
// an act of the runner's (no name); then, where marked, the runner's own
// cancel check.
struct Row {
    const char* step;
    bool isCheck;
    HRESULT (*run)(Job& job);
    Ends ends;
    bool cancelAfter;
};

// The job's result: the first result that ends it, or the one a row keeps.
HRESULT RunRows(const Row* rows, std::size_t count, Job& job, int resultRow) {
    HRESULT kept = RC_OK;
    for (std::size_t i = 0; i < count; ++i) {
        const Row& row = rows[i];
        const HRESULT r = row.run(job);
        if (EndsJob(row.ends, r)) {
            if (row.step && (FAILED(r) || !row.isCheck)) {
                Trace("\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.%s failed\n\n", row.step);
            }
            return r;
        }
        if (static_cast<int>(i) == resultRow) kept = r;
        if (row.cancelAfter && job.runner.IsCancelled()) return RC_CANCELLED;
    }
    return kept;
}

// A backup. The check comes first, so that a backup that cannot fit, or whose
// earlier backup holds the host's own files, changes nothing. The new tree is
// written beside an earlier one and takes its name only once it is whole.
const Row kBackupSteps[] = {
    {"CheckBackupFolder", true, [](Job& j) { return j.engine.CheckBackupFolder(*j.backup); }, Ends::OnAnyButOk, true},
    // Room only in the earlier backup's place: the user chooses.
    {nullptr, false,
     [](Job& j) { return !j.backup->m_bReplaceFirst || j.runner.ConfirmReplaceFirst() ? RC_OK : RC_E_OTHER_FOLDER; },
     Ends::OnAnyButOk, false},
    {"DeleteEarlierBackup", false,
     [](Job& j) { return j.backup->m_bReplaceFirst ? j.engine.DeleteEarlierBackup(*j.backup) : RC_OK; },
     Ends::OnFailure, false},
    // From here on the working tree holds this job's data.
    {"BeginBackupTree", false, [](Job& j) { return j.engine.BeginBackupTree(*j.backup); }, Ends::OnFailure, false},
    {"InitBackupDataFolder", false, [](Job& j) { return j.engine.InitBackupDataFolder(j.backup->m_strWorkingTree); },
     Ends::OnFailure, true},
    {"BackupGuiData", false, [](Job& j) { return j.engine.BackupGuiData(j.backup->m_strWorkingTree); },
     Ends::OnFailure, true},
    {"BackupNmlData", false, [](Job& j) { return j.engine.BackupNmlData(j.backup->m_strWorkingTree); },
     Ends::OnFailure, true},
    {nullptr, false, [](Job& j) { j.runner.EnterDatabasePhase(); return RC_OK; }, Ends::OnFailure, true},
    {"BackupMoveSecureDB", false, [](Job& j) { return j.engine.BackupMoveSecureDB(j.backup->m_strWorkingTree); },
     Ends::OnFailure, false},
    {"ReplaceBackupData", false, [](Job& j) { return j.engine.ReplaceBackupData(*j.backup); }, Ends::OnFailure,
     false},
};
// A backup ends with what BackupNmlData gave.
const int kBackupResultRow = 6;

// A restore. Nothing of the host changes before the check has found the
// backup whole; from the database phase on it runs to its end: a cancel
// confirmed then would stop a step halfway (playlists deleted and not copied back).
const Row kRestoreSteps[] = {
    {"CheckBackupData", true, [](Job& j) { return j.engine.CheckBackupData(*j.plan); }, Ends::OnAnyButOk, true},
    {"RestoreNmlContents", false, [](Job& j) { return j.engine.RestoreNmlContents(*j.plan); }, Ends::OnAnyButOk,
     true},
    {nullptr, false, [](Job& j) { j.runner.CommitToFinish(); return RC_OK; }, Ends::OnFailure, false},
    {nullptr, false, [](Job& j) { j.runner.EnterDatabasePhase(); return RC_OK; }, Ends::OnFailure,
     false},
    {"SetLibraryAside", false, [](Job& j) { return j.engine.SetLibraryAside(*j.plan); }, Ends::OnAnyButOk, false},
    // A failed import that left the host's rights leaves it its library: the
    // library comes back and the job ends. One that replaced them all the same
    // (the component failed to end it) takes the restore to its end, which
    // then fails with its code: the host is never left half-changed.
    {"RestoreMoveSecureDB", false,
     [](Job& j) {
         const HRESULT m = j.engine.RestoreMoveSecureDB(*j.plan);
         if (!EndsJob(Ends::OnFailureButNoFile, m)) return m;
         if (!j.plan->m_bRightsReplaced) {
             j.engine.PutLibraryBack(*j.plan);
             return m;
         }
         j.plan->m_hrLate = m;
         return RC_OK;
     },
     Ends::OnFailureButNoFile, false},
    {"RestoreNmlDatabases", false, [](Job& j) { return j.engine.RestoreNmlDatabases(*j.plan); }, Ends::OnAnyButOk,
     false},
    {"RestoreGuiData", false, [](Job& j) { return j.engine.RestoreGuiData(*j.plan); }, Ends::OnAnyButOk, false},
    // Its result is not looked at: the restore is done.
    {nullptr, false, [](Job& j) { j.engine.DeleteUnusableContents(*j.plan); return RC_OK; },
     Ends::OnFailure, false},
    {"RestoreMoveSecureDB", false, [](Job& j) { return j.plan->m_hrLate; }, Ends::OnAnyButOk, false},
};

template <std::size_t N>
HRESULT Run(const Row (&rows)[N], Job& job, int resultRow = -1) {
    return RunRows(rows, N, job, resultRow);
}

}  // namespace

HRESULT RunBackupSteps(CBackupRestore& engine, const std::string& backupData, IJobRunner& runner) {
    CBackupPlan plan(backupData);
    return RunBackupSteps(engine, plan, runner);
}

HRESULT RunBackupSteps(CBackupRestore& engine, CBackupPlan& plan, IJobRunner& runner) {
    Job job{engine, runner, plan.m_strBackupData, nullptr, &plan};
    return Run(kBackupSteps, job, kBackupResultRow);
}

HRESULT RunRestoreSteps(CBackupRestore& engine, const std::string& backupData, const std::string& restoreTo,
                        IJobRunner& runner) {
    CRestorePlan plan(backupData, restoreTo);
    return RunRestoreSteps(engine, plan, runner);
}

HRESULT RunRestoreSteps(CBackupRestore& engine, CRestorePlan& plan, IJobRunner& runner) {
    Job job{engine, runner, plan.m_strBackupData, &plan, nullptr};
    return Run(kRestoreSteps, job);
}

}  // namespace zr
