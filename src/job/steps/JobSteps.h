// The fixed order of a job's engine steps. The progress dialog's worker runs
// them, and so do the engine tests and the benchmarks, through the same
// functions; whoever runs them implements the engine's channel, IJobRunner.
#pragma once

#include <windows.h>

#include <string>

#include "engine/BackupRestore.h"
#include "engine/JobRunner.h"

namespace zr {

// The steps after Initialize. Results: 0 success, 1 cancelled, negative failure.
HRESULT RunBackupSteps(CBackupRestore& engine, const std::string& backupData, IJobRunner& runner);
// The same with the caller's plan, which shows afterwards what the steps made.
HRESULT RunBackupSteps(CBackupRestore& engine, CBackupPlan& plan, IJobRunner& runner);
HRESULT RunRestoreSteps(CBackupRestore& engine, const std::string& backupData, const std::string& restoreTo,
                        IJobRunner& runner);
// The same with the caller's plan, which shows afterwards what the steps made.
HRESULT RunRestoreSteps(CBackupRestore& engine, CRestorePlan& plan, IJobRunner& runner);

}  // namespace zr
