// Jobs on a real small drive (T:, a tmpfs of 1 MiB mapped by
// with-test-drives.sh): a backup that does not fit leaves the earlier backup
// there as it was; one that fits beside the earlier one replaces it only once
// whole; one that fits only once the earlier is deleted asks first, and goes
// through or changes nothing as the user answers; a restore whose
// destination, or whose library's drive, cannot hold what it puts there
// changes nothing, and writes nothing on that drive.
#include <gtest/gtest.h>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

namespace {

constexpr HRESULT kFileCopyFailed = static_cast<HRESULT>(0x86FF0002);
constexpr HRESULT kOtherFolder = static_cast<HRESULT>(0x86FF0007);

std::string TightDrive() {
    char value[16] = {};
    GetEnvironmentVariableA("ZR_TIGHT_DRIVE", value, sizeof(value));
    return value;
}

struct SpaceRow {
    const char* name;
    bool backup;            // else a restore
    unsigned tracks;        // of 64 KiB each
    unsigned earlierKiB;    // an earlier BackupData on the drive
    unsigned fillerKiB;     // another file on the drive
    bool destinationOnDrive;  // a restore's destination (a backup always goes onto the drive)
    bool libraryOnDrive;      // the library's databases folder relocated onto the drive
    unsigned indexKiB;        // the backup's index file (contents.fdb) grown to this: large database files
    HRESULT expected;
    int asked;                // times the user is asked to delete the earlier backup first
    bool deleteFirst;         // the answer
};

void PrintTo(const SpaceRow& row, std::ostream* os) { *os << row.name; }

const SpaceRow kRows[] = {
    // 12 tracks need about 850 KiB: more than the free 200 KiB and the earlier 400 KiB together.
    {"BackupThatDoesNotFit", true, 12, 400, 400, true, false, 0, kFileCopyFailed, 0, false},
    // 4 tracks need about 330 KiB: more than is free, less than the earlier backup frees.
    {"BackupThatFitsInTheEarliersPlaceDeletingItFirst", true, 4, 400, 400, true, false, 0, 0, 1, true},
    {"BackupThatFitsInTheEarliersPlaceInAnotherFolder", true, 4, 400, 400, true, false, 0, kOtherFolder, 1, false},
    // 4 tracks (about 330 KiB) fit into the 500 KiB free beside the earlier backup.
    {"BackupThatFitsBesideTheEarlier", true, 4, 200, 300, true, false, 0, 0, 0, false},
    {"RestoreThatDoesNotFit", false, 8, 0, 800, true, false, 0, kFileCopyFailed, 0, false},
    // The tree (about 520 KiB) fits in the 660 KiB left; with the database
    // files put beside the library too (about 220 KiB more) it does not.
    {"RestoreWithTheLibraryOnTheSameDrive", false, 4, 0, 330, true, true, 192, kFileCopyFailed, 0, false},
    // The destination has room; the library's drive, 140 KiB free, cannot take
    // the database files (about 220 KiB).
    {"RestoreWithTheLibrarysDriveTooSmall", false, 4, 0, 860, false, true, 192, kFileCopyFailed, 0, false},
};

void WriteKiB(const std::string& path, unsigned kib) {
    zrtest::MakeFolder(zr::FolderPart(path));
    zrtest::WriteTextFile(path, std::string(kib * 1024, 'e'));
}

class SpaceTest : public ::testing::TestWithParam<SpaceRow> {
protected:
    void SetUp() override {
        m_drive = TightDrive();
        if (m_drive.empty()) {
            GTEST_SKIP() << "!!! SKIPPED: no small drive; run through tests/engine/with-test-drives.sh as root !!!";
        }
        for (const std::string& name : zrtest::Names(m_drive)) zrtest::RemoveTree(m_drive + "\\" + name);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        for (const std::string& name : zrtest::Names(m_drive)) zrtest::RemoveTree(m_drive + "\\" + name);
    }

    std::string m_drive;
};

TEST_P(SpaceTest, FailsBeforeAnythingIsDeletedOrCopied) {
    const SpaceRow& row = GetParam();
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost host;
    hostsim::LibraryOptions library;
    library.tracks = row.tracks;
    library.folders = 2;
    library.fileSize = 64 * 1024;
    library.secureTracks = 1;
    library.missingTracks = 0;
    ASSERT_TRUE(zrtest::InstallHostWithLibrary(sandbox, library, host));

    const std::string backupData = row.backup ? m_drive + "\\Backup\\BackupData" : sandbox.Path("Backup\\BackupData");
    if (!row.backup) {
        ASSERT_TRUE(zrtest::BackUp(backupData));
    }
    if (row.indexKiB) WriteKiB(backupData + "\\DB\\NMLDB\\contents.fdb", row.indexKiB);
    if (row.libraryOnDrive) {
        const std::string moved = m_drive + "\\Library\\databases";
        zrtest::MakeFolder(moved);
        for (const std::string& name : zrtest::Names(host.databasesFolder)) {
            const std::string from = host.databasesFolder + "\\" + name, to = moved + "\\" + name;
            ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), TRUE)) << name;
        }
        zrtest::ListRelocation(host, moved);
    }
    if (row.earlierKiB) {
        for (unsigned i = 0; i < 4; ++i) {
            WriteKiB(backupData + "\\Data\\Audio\\Old\\" + std::to_string(i) + ".wma", row.earlierKiB / 4);
        }
    }
    if (row.fillerKiB) WriteKiB(m_drive + "\\filler.bin", row.fillerKiB);
    const auto earlier = zrtest::Snapshot(backupData);
    const std::string hostBefore = zrtest::HostState(host);

    const std::string restoreTo = row.destinationOnDrive ? m_drive + "\\Restore" : sandbox.Path("Restore");
    if (!row.backup) zrtest::MakeFolder(restoreTo);
    HRESULT hr = 0;
    std::vector<std::string> written;  // what the job made, copied, moved or deleted on the drive
    {
        zrtest::CJob job;
        ASSERT_EQ(0, job.Initialize());
            enginetest::CFileFaults watch([&](const enginetest::FileCall& call, int) {
            const bool writes = call.op == enginetest::FileOp::CopyFile || call.op == enginetest::FileOp::MoveFile ||
                                call.op == enginetest::FileOp::DeleteFile ||
                                call.op == enginetest::FileOp::CreateDirectory ||
                                call.op == enginetest::FileOp::ShellDelete ||
                                call.op == enginetest::FileOp::RemoveDirectory;
            for (const std::string* path : {&call.path, &call.target}) {
                if (writes && _strnicmp(path->c_str(), m_drive.c_str(), m_drive.size()) == 0) {
                    written.push_back(std::string(enginetest::FileOpName(call.op)) + " " + *path);
                }
            }
            return false;
        });
        job.runner.m_bReplaceFirst = row.deleteFirst;
        hr = row.backup ? zr::RunBackupSteps(job.engine, backupData, job.runner)
                        : zr::RunRestoreSteps(job.engine, backupData, restoreTo, job.runner);
        EXPECT_EQ(row.asked, job.runner.m_nAskedReplaceFirst);
    }
    EXPECT_EQ(row.expected, hr);
    EXPECT_EQ(hostBefore, zrtest::HostState(host));
    if (row.expected == 0) {
        EXPECT_TRUE(zrtest::FileExists(backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd"));
        // The new backup alone: the earlier one and the working tree are gone.
        EXPECT_EQ(std::vector<std::string>{"BackupData"}, zrtest::Names(zr::FolderPart(backupData)));
        EXPECT_FALSE(zrtest::FolderExists(backupData + "\\Data\\Audio\\Old"));
        return;
    }
    EXPECT_TRUE(earlier == zrtest::Snapshot(backupData)) << "the earlier backup changed";
    EXPECT_EQ(std::vector<std::string>{}, written);
    if (!row.backup) {
        EXPECT_EQ(std::vector<std::string>{}, zrtest::ListTree(restoreTo));
        std::vector<std::string> databases;
        for (const std::string& name : zrtest::Names(zr::FolderPart(host.databasesFolder))) {
            if (name.rfind("databases", 0) == 0) databases.push_back(name);
        }
        EXPECT_EQ(std::vector<std::string>{"databases"}, databases);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SpaceTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<SpaceRow>& info) { return std::string(info.param.name); });

}  // namespace
