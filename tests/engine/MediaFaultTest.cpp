// The engine's steps on real faulty media, mapped as drives of the prefix by
// with-test-drives.sh: a full disk, a read-only medium holding an old backup,
// and a scratch drive whose root must survive every delete.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "common/ResultCodes.h"
#include "hostsim/core/LibraryGen.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/TraceCapture.h"

using enginetest::CFakeEngineTest;
using Files = std::vector<std::string>;

namespace {

std::string DriveOf(const char* variable) {
    char value[16] = {};
    GetEnvironmentVariableA(variable, value, sizeof(value));
    return value;
}

// Content that does not fit the full disk.
const std::string kBig(100 * 1024, 'x');

class MediaFaultTest : public CFakeEngineTest {
protected:
    void SetUp() override {
        m_full = DriveOf("ZR_FULL_DRIVE");
        m_readOnly = DriveOf("ZR_READONLY_DRIVE");
        if (m_full.empty() || m_readOnly.empty()) {
            GTEST_SKIP() << "!!! SKIPPED: no full-disk or read-only drive; run through tests/engine/with-test-drives.sh"
                            " as root !!!";
        }
        CFakeEngineTest::SetUp();
        // The first host 7.0: its GUI data lives in the shared folder, in the sandbox.
        zrtest::RedirectShellFolders(m_sandbox.Folder());
        zrtest::InstallTalvane(m_sandbox.Path("Talvane"), 7, 0);
        Bind(m_sandbox.Path("Talvane"));
        m_shared = m_sandbox.Path("Common\\Nerith\\SDTL");
        MakeFile("Common\\Nerith\\SDTL\\UserPlaylist\\list.m3u", "list");
        MakeFile("Common\\Nerith\\SDTL\\mirs.dat", "mirs");
    }
    void TearDown() override {
        if (IsSkipped()) return;
        EndJob();
        zrtest::RemoveTree(m_full + "\\Backup");
    }

    std::string m_full;
    std::string m_readOnly;
    std::string m_shared;
};

// ---- A full disk: every step that copies fails with 0x86FF0002 ----

enum class Big { GuiFile, Playlist, Database, Content, FolderCopy };

struct FullRow {
    const char* name;
    Big big;
    const char* trace;  // expected in the trace, or nullptr
};

class FullDiskTest : public MediaFaultTest, public ::testing::WithParamInterface<FullRow> {};

TEST_P(FullDiskTest, FailsTheStepWithAFailedCopy) {
    const FullRow& row = GetParam();
    const std::string backupData = m_full + "\\Backup\\BackupData";
    ASSERT_EQ(0, m_engine.InitBackupDataFolder(backupData)) << "folders are still made on a full disk";
    zrtest::CTraceCapture traces;
    HRESULT hr = 0;
    switch (row.big) {
        case Big::GuiFile:
            zrtest::WriteTextFile(m_shared + "\\usrdic.dic", kBig);
            hr = m_engine.BackupGuiData(backupData);
            break;
        case Big::Playlist:
            zrtest::WriteTextFile(m_shared + "\\UserPlaylist\\big.m3u", kBig);
            hr = m_engine.BackupGuiData(backupData);
            break;
        case Big::Database:
            zrtest::WriteTextFile(m_libraryFolder + "\\databases\\contents.db", kBig);
            hr = m_engine.BackupNmlData(backupData);
            break;
        case Big::Content:
            m_fake.AddTrack("Big", MakeFile("src\\Album\\big.wma", kBig));
            hr = m_engine.BackupNmlData(backupData);
            break;
        case Big::FolderCopy: {
            // The restore's copy of a backup's folder tree.
            MakeFile("tree\\sub\\big.wma", kBig);
            zrtest::MakeFolder(backupData + "\\Copy");
            hr = m_engine.CopyFolder(m_sandbox.Path("tree"), backupData + "\\Copy");
            break;
        }
    }
    EXPECT_EQ(zr::RC_E_FILE_COPY, hr);
    if (row.trace) {
        EXPECT_TRUE(traces.Has(row.trace)) << row.trace;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FullDiskTest,
    ::testing::Values(FullRow{"GuiFile", Big::GuiFile, nullptr}, FullRow{"Playlist", Big::Playlist, nullptr},
                      FullRow{"Database", Big::Database, "\n\nCBackupRestore::BackupNmlData CONTENTS_DB_PATH failed\n\n"},
                      FullRow{"Content", Big::Content, "\n\nCBackupRestore::BackupNmlData !CopyFile1 failed\n\n"},
                      FullRow{"FolderCopy", Big::FolderCopy, nullptr}),
    [](const ::testing::TestParamInfo<FullRow>& info) { return std::string(info.param.name); });

// The backup's steps in the job's order: the first that meets the full disk ends it.
TEST_F(MediaFaultTest, ABackupOntoAFullDiskFailsWithAFailedCopy) {
    m_fake.AddTrack("Small", MakeFile("src\\Album\\small.wma", "small"));
    m_fake.AddTrack("Big", MakeFile("src\\Album\\big.wma", kBig));
    const std::string backupData = m_full + "\\Backup\\BackupData";
    HRESULT hr = m_engine.InitBackupDataFolder(backupData);
    if (hr == 0) hr = m_engine.BackupGuiData(backupData);
    if (hr == 0) hr = m_engine.BackupNmlData(backupData);
    if (hr == 0) hr = m_engine.BackupMoveSecureDB(backupData);
    EXPECT_EQ(zr::RC_E_FILE_COPY, hr);
}

// The restore's copy onto a full disk fails before the host's library is touched.
TEST(MediaFaultRestore, ARestoreOntoAFullDiskLeavesTheLibraryAsItWas) {
    const std::string full = DriveOf("ZR_FULL_DRIVE");
    if (full.empty()) {
        GTEST_SKIP() << "!!! SKIPPED: no full-disk drive; run through tests/engine/with-test-drives.sh as root !!!";
    }
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost host;
    hostsim::LibraryOptions library;
    library.tracks = 4;
    library.folders = 2;
    library.fileSize = 40 * 1024;  // four of them need more than the disk has
    library.secureTracks = 1;
    library.missingTracks = 0;
    ASSERT_TRUE(zrtest::InstallHostWithLibrary(sandbox, library, host));
    const std::string backupData = sandbox.Path("Backup\\BackupData");
    ASSERT_TRUE(zrtest::BackUp(backupData));
    const std::string before = zrtest::ListWithRights(host.contentsDb, host.coreFolder);
    const auto databases = zrtest::Snapshot(host.databasesFolder);

    HRESULT hr = 0;
    {
        zrtest::CJob job;
        hr = zrtest::Restore(job, backupData, full + "\\Restore");
    }
    zrtest::RemoveTree(full + "\\Restore");
    EXPECT_EQ(zr::RC_E_FILE_COPY, hr);
    EXPECT_EQ(before, zrtest::ListWithRights(host.contentsDb, host.coreFolder));
    EXPECT_TRUE(databases == zrtest::Snapshot(host.databasesFolder)) << "the host's databases changed";
}

// ---- A read-only medium: the system says access denied ----

TEST_F(MediaFaultTest, ABackupOntoAReadOnlyMediumIsRefused) {
    EXPECT_EQ(zr::RC_E_ACCESSDENIED, m_engine.InitBackupDataFolder(m_readOnly + "\\New\\BackupData"));

    // An old backup there cannot be cleared: nothing new may go on top of it.
    const std::string old = m_readOnly + "\\Old\\BackupData";
    EXPECT_EQ(zr::RC_E_ACCESSDENIED, m_engine.InitBackupDataFolder(old));
    EXPECT_EQ((Files{"BackupRestore.ini", "DB\\", "DB\\NMLDB\\", "DB\\NMLDB\\contents.db", "GUI(new)\\",
                     "GUI(new)\\UPL\\"}),
              zrtest::ListTree(old));

    // Its GUI folders exist, so the GUI step reaches the copies.
    EXPECT_EQ(zr::RC_E_ACCESSDENIED, m_engine.BackupGuiData(old));
}

// ---- A drive root is never deleted ----

struct RootRow {
    const char* name;
    const char* path;  // "S:" stands for the scratch drive
};

class DeleteFolderRootTest : public ::testing::TestWithParam<RootRow> {};

TEST_P(DeleteFolderRootTest, LeavesTheDriveAsItIs) {
    const std::string drive = DriveOf("ZR_SCRATCH_DRIVE");
    if (drive.empty()) GTEST_SKIP() << "!!! SKIPPED: no scratch drive; run through tests/engine/with-test-drives.sh !!!";
    const std::string root = drive + "\\";
    zrtest::MakeFolder(root + "sub");
    zrtest::WriteTextFile(root + "keep.txt", "keep");
    zrtest::WriteTextFile(root + "sub\\keep.txt", "keep");
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryA((root + "sub").c_str()));

    std::string path = GetParam().path;
    if (path.compare(0, 2, "S:") == 0) path = drive + path.substr(2);
    if (path.compare(0, 2, "s:") == 0) path = std::string(1, static_cast<char>(drive[0] - 'A' + 'a')) + path.substr(1);
    zr::CBackupRestore::DeleteFolder(path);

    SetCurrentDirectoryA(current);
    EXPECT_TRUE(zrtest::FileExists(root + "keep.txt"));
    EXPECT_TRUE(zrtest::FileExists(root + "sub\\keep.txt"));
}

INSTANTIATE_TEST_SUITE_P(Rows, DeleteFolderRootTest,
                         ::testing::Values(RootRow{"Empty", ""}, RootRow{"Root", "S:\\"}, RootRow{"DriveOnly", "S:"},
                                           RootRow{"LowerCase", "s:\\"}, RootRow{"Slash", "S:/"},
                                           RootRow{"TwoBackslashes", "S:\\\\"}, RootRow{"UpAgain", "S:\\sub\\.."},
                                           RootRow{"Dot", "S:\\."}, RootRow{"CurrentDriveRoot", "\\"},
                                           RootRow{"CurrentDriveRootSlash", "/"}),
                         [](const ::testing::TestParamInfo<RootRow>& info) { return std::string(info.param.name); });

}  // namespace
