// The one channel between the engine and whoever runs its job: the engine
// reports progress through it and asks it before it stops for a cancel; the
// step order reports phases through it. The progress dialog turns these into
// its window messages; tests and benchmarks implement it directly.
#pragma once

#include <windows.h>

#include <string>

#include "engine/Journal.h"

namespace zr {

class IJobRunner {
public:
    // Items done so far (from 1) of `total`, during the contents phase.
    virtual void Progress(DWORD done, DWORD total) = 0;
    // The contents phase is over.
    virtual void EnterDatabasePhase() = 0;
    // The runner's own cancel check between steps: true ends the job as cancelled.
    virtual bool IsCancelled() = 0;
    // Asked by the engine's check points before they look at the engine's
    // cancel flag: waits while the user is being asked, and false once the
    // job is committed to its end.
    virtual bool MayCancel() { return true; }
    // A backup is about to write `tree`: from here on a failed or cancelled
    // backup deletes that tree.
    virtual void BackupTreeTouched(const std::string& tree) { (void)tree; }
    // The drive holds the new backup only in the earlier one's place: true
    // when the user chose to delete the earlier one first, false to choose
    // another folder. Nothing has changed yet.
    virtual bool ConfirmReplaceFirst() { return false; }
    // A restore is about to change the host: from here on it runs to its end.
    virtual void CommitToFinish() {}
    // Where the job records each change to the disk before it makes it; null
    // for a job that keeps no record.
    virtual IJournal* Journal() { return nullptr; }

protected:
    ~IJobRunner() = default;
};

}  // namespace zr
