// Restore destinations a user may pick: inside the backup or inside the live
// library they are refused before anything changes; next to either they get a
// whole library. The backup is never written to.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/PathUtil.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"

namespace {

enum class Where { BackupData, InsideBackupData, BackupDataSpeltOtherwise, LiveDatabases, LiveDatabasesParent,
                   FolderHoldingBackupData, ProgramFolder };

struct DestinationRow {
    const char* name;
    Where where;
    bool relocated;  // the host keeps its library in a relocated databases folder
    bool refused;
};

void PrintTo(const DestinationRow& row, std::ostream* os) { *os << row.name; }

const DestinationRow kRows[] = {
    {"TheBackupData", Where::BackupData, false, true},
    {"InsideTheBackupData", Where::InsideBackupData, false, true},
    {"TheBackupDataSpeltOtherwise", Where::BackupDataSpeltOtherwise, false, true},
    {"TheLiveDatabasesFolder", Where::LiveDatabases, false, true},
    {"TheRelocatedDatabasesFolder", Where::LiveDatabases, true, true},
    {"TheLiveDatabasesParent", Where::LiveDatabasesParent, false, false},
    {"TheFolderHoldingBackupData", Where::FolderHoldingBackupData, false, false},
    {"TheProgramFolder", Where::ProgramFolder, false, false},
};

class RestoreDestination : public zrtest::CBackedUpHost, public ::testing::WithParamInterface<DestinationRow> {
protected:
    void SetUp() override {
        m_relocate = GetParam().relocated;
        CBackedUpHost::SetUp();
    }

    std::string Destination(Where where) const {
        switch (where) {
        case Where::BackupData: return m_backupData;
        case Where::InsideBackupData: return m_backupData + "\\Data";
        case Where::BackupDataSpeltOtherwise: {
            std::string path = m_backupData + "\\";
            std::transform(path.begin(), path.end(), path.begin(), [](char c) {
                return c == '\\' ? '/' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            });
            return path;
        }
        case Where::LiveDatabases: return m_host.databasesFolder;
        case Where::LiveDatabasesParent: return zr::FolderPart(m_host.databasesFolder);
        case Where::FolderHoldingBackupData: return zr::FolderPart(m_backupData);
        case Where::ProgramFolder: return m_host.programFolder;
        }
        return std::string();
    }
};

TEST_P(RestoreDestination, IsRefusedBeforeAnyChangeOrGetsAWholeLibrary) {
    const DestinationRow& row = GetParam();
    const std::string dest = Destination(row.where);
    const auto backup = zrtest::Snapshot(m_backupData);
    const std::vector<std::string> before = zrtest::ListTree(dest);

    zrtest::CJob job;
    const HRESULT hr = zrtest::Restore(job, m_backupData, dest);
    EXPECT_TRUE(backup == zrtest::Snapshot(m_backupData)) << "the backup changed";
    if (row.refused) {
        EXPECT_EQ(static_cast<HRESULT>(0x80070057), hr);
        EXPECT_EQ(m_hostBefore, zrtest::HostState(m_host));
        EXPECT_EQ(before, zrtest::ListTree(dest));
        EXPECT_EQ(std::vector<std::string>{"databases"}, DatabasesFolders());
        return;
    }
    ASSERT_EQ(0, hr);
    EXPECT_EQ(BackupTracks().size(), zrtest::LoadTracks(m_host.contentsDb).size());
    ExpectLibraryInside(dest + "\\RestoreData");
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreDestination, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DestinationRow>& info) { return std::string(info.param.name); });

}  // namespace
