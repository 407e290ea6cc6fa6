// A host of the stand-in kind with a generated library, backed up by the
// engine, for the restore tests; and what they look at afterwards.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/BackupRestore.h"
#include "job/JobSteps.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"

namespace enginetest {

// A fresh engine per job, released at the end the way the job runner does.
struct CJob {
    zr::CBackupRestore engine;
    ~CJob() { zr::EndJob(engine); }
};

// The job runner's side without a dialog: nobody cancels, nobody is told.
struct CStepsOnly : zr::IJobRunner {
    bool IsCancelled() override { return false; }
    void EnterDatabasePhase() override {}
    void BackupTreeTouched() override {}
};

// Installs a host below root (module from beside the test program).
bool InstallHost(const std::string& root, hostsim::HostKind kind, unsigned major, unsigned minor,
                 hostsim::InstalledHost& host, bool relocate = false);
// Backs the installed host up: Initialize, then the job's own step sequence; false with a failure.
::testing::AssertionResult BackUp(const std::string& backupData);
// A restore: Initialize, then the job's own step sequence.
HRESULT Restore(CJob& job, const std::string& backupData, const std::string& restoreTo);

std::vector<hostsim::TrackRow> LoadTracks(const std::string& contentsDb);
std::string ListWithRights(const std::string& contentsDb, const std::string& coreFolder);
// What a restore may change on the host, as one text to compare before and
// after: the library's listing with digests and rights, the GUI data, the
// serial, and the files below the music root and the media folder.
std::string HostState(const hostsim::InstalledHost& host);

// Every file below a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder);
// The names in a folder (files and folders), sorted.
std::vector<std::string> Names(const std::string& folder);

}  // namespace enginetest
