// The fixed order of a job's engine steps. The progress dialog's worker runs
// them, and so do the engine tests, through the same functions.
#pragma once

#include <windows.h>

#include <string>

#include "engine/BackupRestore.h"

namespace zr {

// What the step sequence needs from whoever runs it.
class IJobRunner {
public:
    // The runner's own cancel check between steps: true ends the job as cancelled.
    virtual bool IsCancelled() = 0;
    // The contents phase is over (the dialog disables its cancel button).
    virtual void EnterDatabasePhase() = 0;
    // A backup is about to change the backup tree: from here on a failed or
    // cancelled backup deletes the tree.
    virtual void BackupTreeTouched() = 0;
    // A restore is about to change the host: from here on it runs to its end,
    // and nothing the runner is told cancels it.
    virtual void CommitToFinish() {}

protected:
    ~IJobRunner() = default;
};

// The steps after Initialize. Results: 0 success, 1 cancelled, negative failure.
HRESULT RunBackupSteps(CBackupRestore& engine, const std::string& backupData, IJobRunner& runner);
HRESULT RunRestoreSteps(CBackupRestore& engine, const std::string& backupData, const std::string& restoreTo,
                        IJobRunner& runner);

// The end of a job whose Initialize succeeded: the secure components, then the
// library binding they came through, then the module that made both.
void ReleaseJob(CBackupRestore& engine);

}  // namespace zr
