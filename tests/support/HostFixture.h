// A stand-in host installed into the sandbox with a generated library, jobs
// run on it by the tool's own step sequence, and what the tests look at after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/BackupRestore.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "job/steps/JobSteps.h"
#include "support/Sandbox.h"
#include "support/StepsOnly.h"

namespace zrtest {

// A fresh engine per job with a runner of its own, ended the way the job
// runner ends one.
struct CJob {
    CStepsOnly runner;
    zr::CBackupRestore engine;
    // A restore's plan, once Restore ran one.
    std::unique_ptr<zr::CRestorePlan> plan;
    HRESULT Initialize() { return engine.Initialize(runner); }
    ~CJob() { engine.ReleaseJob(); }
};

// Installs a stand-in host below root, its module taken from beside the test program.
bool InstallHost(const std::string& root, hostsim::HostKind kind, unsigned major, unsigned minor,
                 hostsim::InstalledHost& host, bool relocate = false);
// Generates the host's library; false (and the test failed) with the generator's message.
bool MakeLibrary(hostsim::InstalledHost& host, const hostsim::LibraryOptions& options);
// The first host (7.0 unless told) below <sandbox>\Host with a generated library, the
// shell's data folders (and so the GUI data) inside the sandbox.
bool InstallHostWithLibrary(const CSandbox& sandbox, const hostsim::LibraryOptions& library,
                            hostsim::InstalledHost& host, bool relocate = false, unsigned major = 7,
                            unsigned minor = 0);
// Backs the installed host up: Initialize, then the job's own step sequence.
::testing::AssertionResult BackUp(const std::string& backupData);
// A restore: Initialize, then the job's own step sequence.
HRESULT Restore(CJob& job, const std::string& backupData, const std::string& restoreTo);

// Lists the host's library, which the caller has put into `folder`, as
// relocated there, and points `host` at it.
void ListRelocation(hostsim::InstalledHost& host, const std::string& folder);

// The library's rows, in its order.
std::vector<hostsim::TrackRow> LoadTracks(const std::string& contentsDb);
// The stand-in's listing of a library; with coreFolder, the rights too.
std::string ListWithRights(const std::string& contentsDb, const std::string& coreFolder);
// What a restore may change on the host, as one text to compare before and
// after: the library's listing with digests and rights, the GUI data, the
// serial, and the files below the music root and the media folder.
std::string HostState(const hostsim::InstalledHost& host);
// A track with either secure flag.
bool IsSecure(const hostsim::TrackRow& row);
// The code a job listed an item with, or 0 when it was not listed.
zr::ItemCode ListedWith(const CJob& job, const std::string& title);

// A stand-in host with a small library (m_library, which a derived fixture
// may change in its constructor), backed up by the tool's own step sequence,
// and an empty destination folder for a restore.
class CBackedUpHost : public ::testing::Test {
protected:
    CBackedUpHost();
    void SetUp() override;

    // The backup's own tracks, in the library's order.
    std::vector<hostsim::TrackRow> BackupTracks() const;
    // The live library: every track's file, and every picture of a track
    // without a secure flag, is a file below that RestoreData.
    void ExpectLibraryInside(const std::string& restoreData);
    // The live databases folder and the folders a restore makes beside it.
    std::vector<std::string> DatabasesFolders() const;

    hostsim::LibraryOptions m_library;
    bool m_relocate = false;  // the library in a relocated databases folder
    unsigned m_major = 7;     // the first host's version
    unsigned m_minor = 0;
    CSandbox m_sandbox;
    hostsim::InstalledHost m_host;
    std::string m_backupData;
    std::string m_dest;
    std::string m_hostBefore;  // HostState once backed up
};

}  // namespace zrtest
