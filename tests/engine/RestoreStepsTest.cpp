// The restore steps one by one against the stand-in host: a library backed up
// by the engine, then each failure provoked at its call (the module's fault
// switches, or CFileFaults for what the file system will not do on demand),
// with the result, the trace and what is left on disk.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "job/JobMessages.h"
#include "hostsim/core/Faults.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"
#include "support/TraceCapture.h"

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;
using zrtest::CJob;
using zrtest::IsSecure;

namespace {

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && zr::FoldCase(s.substr(s.size() - end.size())) == zr::FoldCase(end);
}
bool Contains(const std::string& s, const std::string& part) {
    return zr::FoldCase(s).find(zr::FoldCase(part)) != std::string::npos;
}

// The fixture's host with a bigger library: a missing track, three pictures each.
class RestoreSteps : public zrtest::CBackedUpHost {
protected:
    RestoreSteps() {
        m_library.tracks = 10;
        m_library.folders = 3;
        m_library.picturesPerTrack = 3;
        m_library.missingTracks = 1;
    }
    void SetUp() override {
        CBackedUpHost::SetUp();
        m_live = m_host.databasesFolder;
        m_parent = zr::FolderPart(m_live);
        m_liveDb = zrtest::ReadTextFile(m_host.contentsDb);
    }

    // The live library as it was before the restore.
    void ExpectLiveUnchanged() {
        EXPECT_EQ(m_liveDb, zrtest::ReadTextFile(m_live + "\\contents.db"));
    }
    std::vector<std::string> Siblings() { return DatabasesFolders(); }

    std::string m_live;
    std::string m_parent;
    std::string m_liveDb;
};

// ---- RestoreNmlContents: every failure row

struct ContentsRow {
    const char* name;
    // Before Initialize: a fault switch of the module (nullptr: none).
    const char* moduleFault;
    // Decides file calls during the step; may set the engine's cancel flag.
    bool (*fail)(const FileCall& call, zr::CBackupRestore& engine);
    DWORD error;
    const char* removeFromBackup;  // relative to BackupData
    bool cancelBefore;
    HRESULT expected;
    const char* trace;  // nullptr: none of the step's failure traces
    bool temporaryLeft;
    bool restoreDataLeft;
    bool stillMounted;
};

bool TemporaryFolder(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::CreateDirectory && EndsWith(c.path, "databases.tmp");
}
bool ContentsDbCopy(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::CopyFile && EndsWith(c.path, "NMLDB\\contents.db") && Contains(c.target, ".tmp");
}
bool RestoreDataFolder(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::CreateDirectory && EndsWith(c.path, "\\RestoreData");
}
bool AudioCopy(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::CopyFile && Contains(c.target, "\\RestoreData\\Data\\Audio\\");
}
bool CancelInCopy(const FileCall& c, zr::CBackupRestore& engine) {
    if (c.op == FileOp::CopyFile && Contains(c.target, "\\RestoreData\\Data\\Audio\\")) engine.RequestCancel();
    return false;
}
// The walk makes the picture folder for the first track with pictures to move.
bool CancelInWalk(const FileCall& c, zr::CBackupRestore& engine) {
    if (c.op == FileOp::CreateDirectory && !engine.PostsCopyProgress() && EndsWith(c.path, "\\Data\\Picture")) {
        engine.RequestCancel();
    }
    return false;
}
// A folder of the backup that cannot be searched must not pass for an empty one.
bool AudioFolderSearch(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::FindFirstFile && Contains(c.path, "\\Data\\Audio\\");
}
bool PictureFolder(const FileCall& c, zr::CBackupRestore&) {
    return c.op == FileOp::CreateDirectory && EndsWith(c.path, "\\Data\\Picture");
}

const ContentsRow kContentsRows[] = {
    {"TemporaryFolderDenied", nullptr, TemporaryFolder, ERROR_ACCESS_DENIED, nullptr, false, RC(0x80070005),
     "\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists2 failed\n\n", false, false, false},
    {"TemporaryFolderDiskFull", nullptr, TemporaryFolder, ERROR_DISK_FULL, nullptr, false, RC(0x86FF0003),
     "\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists2 failed\n\n", false, false, false},
    {"ContentsDbNotCopied", nullptr, ContentsDbCopy, ERROR_DISK_FULL, nullptr, false, RC(0x86FF0002),
     "\n\nCBackupRestore::RestoreNmlContents CONTENTS_DB_PATH failed\n\n", false, false, false},
    {"CdbMissingFromBackup", nullptr, nullptr, 0, "DB\\NMLDB\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb", false,
     RC(0x86FF0002), "\n\nCBackupRestore::RestoreNmlContents CONTENTSDATA_DB_PATH failed\n\n", false, false, false},
    {"CancelledBeforeTheMount", nullptr, nullptr, 0, nullptr, true, 1, nullptr, false, false, false},
    {"MountFails", "OpenDatabase", nullptr, 0, nullptr, false, RC(0x80004005),
     "\n\nCBackupRestore::RestoreNmlContents m_builder.MountHDD failed\n\n", false, false, false},
    {"RestoreDataFolderDenied", nullptr, RestoreDataFolder, ERROR_ACCESS_DENIED, nullptr, false, RC(0x80070005),
     "\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists failed\n\n", true, false, true},
    {"CopyFails", nullptr, AudioCopy, ERROR_DISK_FULL, nullptr, false, RC(0x86FF0002),
     "\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n", true, true, true},
    {"BackupFolderCannotBeSearched", nullptr, AudioFolderSearch, ERROR_ACCESS_DENIED, nullptr, false, RC(0x86FF0002),
     "\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n", true, true, true},
    {"CancelledDuringTheCopy", nullptr, CancelInCopy, 0, nullptr, false, 1,
     "\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n", true, true, true},
    {"CancelledDuringTheWalk", nullptr, CancelInWalk, 0, nullptr, false, 1, nullptr, false, true, false},
    // The re-pointed paths are lost with the database's close: nothing to swap in.
    {"PreparedDatabaseNotWritten", "CloseDatabase", nullptr, 0, nullptr, false, RC(0x80004005),
     "\n\nCBackupRestore::RestoreNmlContents m_builder.UnmountHDD failed\n\n", false, true, true},
    // Without pictures in the backup the walk is the first to make the folder.
    {"PictureFolderDenied", nullptr, PictureFolder, ERROR_ACCESS_DENIED, "Data\\Picture", false, RC(0x80070005),
     nullptr, false, true, false},
};

void PrintTo(const ContentsRow& row, std::ostream* os) { *os << row.name; }

class RestoreContentsFailure : public RestoreSteps, public ::testing::WithParamInterface<ContentsRow> {};

TEST_P(RestoreContentsFailure, EndsTheStepAndLeavesWhatTheRowSays) {
    const ContentsRow& row = GetParam();
    if (row.moduleFault) zrtest::SetRegDword(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, row.moduleFault, 0x80004005);
    if (row.removeFromBackup) {
        const std::string path = m_backupData + "\\" + row.removeFromBackup;
        if (zrtest::FolderExists(path)) {
            zrtest::RemoveTree(path);
        } else {
            ASSERT_TRUE(DeleteFileA(path.c_str())) << path;
        }
    }

    CJob job;
    ASSERT_EQ(0, job.Initialize());
    if (row.cancelBefore) job.engine.RequestCancel();
    zrtest::CTraceCapture trace;
    HRESULT hr;
    {
        zr::CBackupRestore& engine = job.engine;
        CFileFaults faults(
            [&](const FileCall& call, int) { return row.fail && row.fail(call, engine); },
            row.error ? row.error : ERROR_WRITE_FAULT);
        zr::CRestorePlan plan(m_backupData, m_dest);
        hr = job.engine.RestoreNmlContents(plan);
    }

    EXPECT_EQ(row.expected, hr);
    for (const char* text : {"\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists2 failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents CONTENTS_DB_PATH failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents CONTENTSDATA_DB_PATH failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents m_builder.MountHDD failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents !MakeSureDirectoryPathExists failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents CopyFolder failed\n\n",
                             "\n\nCBackupRestore::RestoreNmlContents m_builder.UnmountHDD failed\n\n"}) {
        EXPECT_EQ(row.trace && std::string(row.trace) == text, trace.Has(text)) << text;
    }
    std::vector<std::string> siblings = {"databases"};
    if (row.temporaryLeft) siblings.push_back("databases.tmp");
    EXPECT_EQ(siblings, Siblings());
    EXPECT_EQ(row.restoreDataLeft, zrtest::FolderExists(m_dest + "\\RestoreData"));
    EXPECT_EQ(row.stillMounted, job.engine.Builder().Volume() != nullptr);
    ExpectLiveUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreContentsFailure, ::testing::ValuesIn(kContentsRows),
                         [](const ::testing::TestParamInfo<ContentsRow>& info) { return info.param.name; });

// ---- RestoreNmlContents: what a good run leaves, and the edge cases

TEST_F(RestoreSteps, ContentsArePreparedBesideTheLiveLibraryAndPointIntoRestoreData) {
    const std::vector<hostsim::TrackRow> backup = zrtest::LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db");
    // Two folders taken already: the step takes the next number.
    zrtest::MakeFolder(m_dest + "\\RestoreData");
    zrtest::MakeFolder(m_dest + "\\RestoreData00000");
    // A missing mirs.db is no failure.
    ASSERT_TRUE(DeleteFileA((m_backupData + "\\DB\\NMLDB\\mirs.db").c_str()));

    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zr::CRestorePlan plan(m_backupData, m_dest);
    ASSERT_EQ(0, job.engine.RestoreNmlContents(plan));

    const std::string restoreData = m_dest + "\\RestoreData00001";
    EXPECT_EQ(m_live + ".tmp", plan.m_strNewDatabasesFolder);
    EXPECT_EQ(nullptr, job.engine.Builder().Volume());
    EXPECT_EQ(zrtest::Snapshot(m_backupData), zrtest::Snapshot(restoreData));
    ExpectLiveUnchanged();

    // One progress post per copied file, up to the number of tracks.
    const auto posts = job.runner.Collect();
    ASSERT_EQ(backup.size(), posts.size());
    for (std::size_t i = 0; i < posts.size(); ++i) {
        EXPECT_EQ(i + 1, posts[i].first);
        EXPECT_EQ(static_cast<LPARAM>(backup.size()), posts[i].second);
    }

    const std::vector<hostsim::TrackRow> prepared = zrtest::LoadTracks(m_live + ".tmp\\contents.db");
    ASSERT_EQ(backup.size(), prepared.size());
    bool sawSecure = false;
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        const hostsim::TrackRow& was = backup[i];
        const hostsim::TrackRow& now = prepared[i];
        EXPECT_EQ(restoreData + "\\Data\\Audio\\" + was.path, now.path);
        EXPECT_TRUE(zrtest::FileExists(now.path)) << now.path;
        ASSERT_EQ(3u, was.pictures.size());
        ASSERT_EQ(was.pictures.size(), now.pictures.size());
        if (IsSecure(was)) {
            // Rights-protected content: its pictures are left as they were.
            sawSecure = true;
            EXPECT_EQ(was.pictures, now.pictures);
            EXPECT_EQ(was.pictureState, now.pictureState);
            continue;
        }
        for (std::size_t k = 0; k < was.pictures.size(); ++k) {
            EXPECT_EQ(restoreData + "\\Data\\Picture\\" + zr::FileNamePart(was.pictures[k]), now.pictures[k]);
            EXPECT_TRUE(zrtest::FileExists(now.pictures[k])) << now.pictures[k];
        }
        EXPECT_EQ(0u, now.pictureState);
    }
    EXPECT_TRUE(sawSecure);
}

// Read once for the space it needs, the backup tree is walked again by the
// copy: a folder listed twice costs a tree's worth of file-system calls.
TEST_F(RestoreSteps, AWholeRestoreListsEachFolderOfTheBackupOnce) {
    std::map<std::string, int> listed;
    const std::string below = zr::FoldCase(m_backupData);
    HRESULT hr;
    {
        CJob job;
        enginetest::CFileFaults counter([&](const FileCall& c, int) {
            if (c.op == FileOp::FindFirstFile && zr::FoldCase(c.path).compare(0, below.size(), below) == 0) {
                ++listed[zr::FoldCase(c.path)];
            }
            return false;
        });
        hr = zrtest::Restore(job, m_backupData, m_dest);
    }
    ASSERT_EQ(0, hr);
    EXPECT_GE(listed.size(), 6u) << "BackupData, GUI(new), UPL, DB, NMLDB, Data...";
    for (const auto& folder : listed) {
        // The GUI data's own copy reads its playlist folder again, from the backup's GUI folder.
        if (folder.first.find("\\UPL") != std::string::npos) continue;
        EXPECT_EQ(1, folder.second) << folder.first;
    }
}

TEST_F(RestoreSteps, ADestinationTooLongForItsBufferCreatesNothing) {
    // With "\RestoreData00000\" it would need more than 259 bytes.
    const std::string dest = m_sandbox.Path(std::string(259 - 18 - m_sandbox.Folder().size(), 'd'));
    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zrtest::CTraceCapture trace;
    zr::CRestorePlan tooLong(m_backupData, dest);
    EXPECT_EQ(RC(0x80004005), job.engine.RestoreNmlContents(tooLong));
    EXPECT_EQ(std::vector<std::string>{"databases"}, Siblings());
    EXPECT_FALSE(zrtest::FolderExists(dest));
    EXPECT_EQ(nullptr, job.engine.Builder().Volume());
    // One byte shorter fits.
    const std::string fits = dest.substr(0, dest.size() - 1);
    zr::CRestorePlan fitting(m_backupData, fits);
    EXPECT_NE(RC(0x80004005), job.engine.RestoreNmlContents(fitting));
    EXPECT_TRUE(zrtest::FolderExists(fits + "\\RestoreData"));
}

// Its stored path would stay the backup's: the track is listed and kept out
// of the prepared library, the others all point into RestoreData.
TEST_F(RestoreSteps, ATrackTheModuleWillNotRegisterIsListedAndKeptOut) {
    const std::vector<hostsim::TrackRow> backup = zrtest::LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db");
    const hostsim::TrackRow& refused = backup[3];
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, "Register", "0x80004005|" + refused.title);
    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zrtest::CTraceCapture trace;
    zr::CRestorePlan plan(m_backupData, m_dest);
    EXPECT_EQ(0, job.engine.RestoreNmlContents(plan));
    EXPECT_TRUE(trace.Has("CBackupRestore::RestoreNmlContents pTrack->Register() failed\n"));
    EXPECT_EQ(std::vector<std::string>{refused.title}, job.engine.FailedTitles());
    EXPECT_EQ(std::vector<zr::ItemCode>{zr::ItemCode::NotRegistered}, job.engine.FailedCodes());
    const std::vector<hostsim::TrackRow> prepared = zrtest::LoadTracks(m_live + ".tmp\\contents.db");
    ASSERT_EQ(backup.size() - 1, prepared.size());
    for (std::size_t i = 0, k = 0; i < backup.size(); ++i) {
        if (i == 3) continue;
        EXPECT_EQ(m_dest + "\\RestoreData\\Data\\Audio\\" + backup[i].path, prepared[k++].path);
    }
}

// ---- RestoreNmlDatabases and DeleteUnusableContents

struct SwapRow {
    const char* name;
    bool failLiveMove;  // else the prepared folder's move fails
};

void PrintTo(const SwapRow& row, std::ostream* os) { *os << row.name; }

class RestoreSwapFailure : public RestoreSteps, public ::testing::WithParamInterface<SwapRow> {};

// Either way the host keeps its library under the live name, and the prepared
// folder stays for a look.
TEST_P(RestoreSwapFailure, LeavesTheOldLibraryLive) {
    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zr::CRestorePlan plan(m_backupData, m_dest);
    ASSERT_EQ(0, job.engine.RestoreNmlContents(plan));
    const std::string prepared = plan.m_strNewDatabasesFolder;
    const std::string source = GetParam().failLiveMove ? m_live : prepared;
    HRESULT hr;
    {
        CFileFaults faults([&](const FileCall& c, int) {
            return c.op == FileOp::MoveFile && zr::FoldCase(c.path) == zr::FoldCase(source);
        });
        hr = job.engine.RestoreNmlDatabases(plan);
    }
    EXPECT_EQ(RC(0x80004005), hr);
    EXPECT_EQ((std::vector<std::string>{"databases", "databases.tmp"}), Siblings());
    ExpectLiveUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreSwapFailure,
                         ::testing::Values(SwapRow{"LiveFolderCannotBeMovedAside", true},
                                           SwapRow{"PreparedFolderCannotBeMovedIn", false}),
                         [](const ::testing::TestParamInfo<SwapRow>& info) { return info.param.name; });

TEST_F(RestoreSteps, TheOldLibraryGoesToTheFirstFreeBakName) {
    zrtest::MakeFolder(m_live + ".bak");
    zrtest::MakeFolder(m_live + ".bak00000");
    const std::vector<hostsim::TrackRow> old = zrtest::LoadTracks(m_host.contentsDb);
    std::vector<bool> existed;
    for (const hostsim::TrackRow& row : old) existed.push_back(zrtest::FileExists(row.path));
    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zr::CRestorePlan plan(m_backupData, m_dest);
    ASSERT_EQ(0, job.engine.RestoreNmlContents(plan));
    ASSERT_EQ(0, job.engine.RestoreNmlDatabases(plan));
    EXPECT_EQ(m_live + ".bak00001", plan.m_strOldDatabasesFolder);
    EXPECT_EQ(m_liveDb, zrtest::ReadTextFile(m_live + ".bak00001\\contents.db"));
    EXPECT_EQ((std::vector<std::string>{"databases", "databases.bak", "databases.bak00000", "databases.bak00001"}),
              Siblings());

    // Once the rights were replaced, the replaced library's secure content
    // goes; every other file stays.
    plan.m_bRightsReplaced = true;
    ASSERT_EQ(0, job.engine.DeleteUnusableContents(plan));
    std::size_t secure = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (IsSecure(old[i])) {
            ++secure;
            EXPECT_FALSE(zrtest::FileExists(old[i].path)) << old[i].path;
        } else {
            EXPECT_EQ(existed[i], zrtest::FileExists(old[i].path)) << old[i].path;
        }
    }
    EXPECT_EQ(2u, secure);
}

TEST_F(RestoreSteps, WithoutALibraryInTheBakFolderNothingIsDeleted) {
    const std::vector<hostsim::TrackRow> old = zrtest::LoadTracks(m_host.contentsDb);
    CJob job;
    ASSERT_EQ(0, job.Initialize());
    zr::CRestorePlan plan(m_backupData, m_dest);
    plan.m_strOldDatabasesFolder = m_sandbox.Path("EmptyBak");
    plan.m_bRightsReplaced = true;
    zrtest::MakeFolder(plan.m_strOldDatabasesFolder);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), job.engine.DeleteUnusableContents(plan));
    EXPECT_EQ(nullptr, job.engine.Builder().Volume());
    for (const hostsim::TrackRow& row : old) {
        if (IsSecure(row)) {
            EXPECT_TRUE(zrtest::FileExists(row.path)) << row.path;
        }
    }
}

// A replaced library whose secure tracks name their files relative to no
// folder (as a backup's database does) deletes nothing from the current folder.
TEST_F(RestoreSteps, ARelativePathOfTheReplacedLibraryIsNeverDeleted) {
    const std::string audio = m_backupData + "\\Data\\Audio";
    std::vector<std::string> secure;
    for (const hostsim::TrackRow& row : zrtest::LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db")) {
        if (IsSecure(row)) secure.push_back(row.path);
    }
    ASSERT_EQ(2u, secure.size());
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(previous), previous);
    ASSERT_TRUE(SetCurrentDirectoryA(audio.c_str()));
    HRESULT hr;
    {
        CJob job;
        hr = job.Initialize();
        zr::CRestorePlan plan(m_backupData, m_dest);
        plan.m_strOldDatabasesFolder = m_backupData + "\\DB\\NMLDB";
        plan.m_bRightsReplaced = true;
        if (hr == 0) hr = job.engine.DeleteUnusableContents(plan);
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(0, hr);
    for (const std::string& path : secure) EXPECT_TRUE(zrtest::FileExists(audio + "\\" + path)) << path;
}

class RestoreStepsRelocated : public RestoreSteps {
protected:
    RestoreStepsRelocated() { m_relocate = true; }
};

TEST_F(RestoreStepsRelocated, TheRelocatedFolderIsTheOneReplaced) {
    ASSERT_NE(m_host.libraryFolder + "\\databases", m_live);
    CJob job;
    ASSERT_EQ(0, zrtest::Restore(job, m_backupData, m_dest));
    EXPECT_EQ(m_live + ".tmp", job.plan->m_strNewDatabasesFolder);
    EXPECT_EQ(m_live + ".bak", job.plan->m_strOldDatabasesFolder);
    EXPECT_EQ((std::vector<std::string>{"databases", "databases.bak"}), Siblings());
    EXPECT_EQ(m_liveDb, zrtest::ReadTextFile(m_live + ".bak\\contents.db"));
    for (const hostsim::TrackRow& row : zrtest::LoadTracks(m_live + "\\contents.db")) {
        EXPECT_TRUE(zrtest::FileExists(row.path)) << row.path;
    }
    EXPECT_FALSE(zrtest::FolderExists(m_host.libraryFolder + "\\databases.bak"));
}

}  // namespace
