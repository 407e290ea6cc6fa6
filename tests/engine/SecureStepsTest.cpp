// The secure database steps: what the Move component is asked, with which
// stream and identifier, and what each failure leaves behind.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineFixture.h"
#include "common/ResultCodes.h"
#include "support/FileTree.h"
#include "support/HostRegistry.h"
#include "support/TraceCapture.h"

using enginetest::CFakeEngineTest;
using Files = std::vector<std::string>;
using Log = std::vector<std::string>;

namespace {

class SecureStepsTest : public CFakeEngineTest {
protected:
    void SetUp() override {
        CFakeEngineTest::SetUp();
        Bind();
        m_s1 = m_fake.AddTrack("S1", "M:\\music\\s1.wma", NM_ATTR_SECURE_A).m_path;
        m_fake.AddTrack("Plain", "M:\\music\\plain.wma", 0x04);
        m_s2 = m_fake.AddTrack("S2", "M:\\music\\s2.wma", NM_ATTR_SECURE_B).m_path;
        zrtest::MakeFolder(m_backupData);
    }
    void TearDown() override {
        EndJob();
        EXPECT_EQ(Log{}, m_fake.Leaks());
        // No step left the component holding a stream that is gone.
        EXPECT_EQ(Log{}, m_fake.log.Containing("(stream held)"));
    }

    std::string MoveFile() const { return m_backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd"; }
    std::string Identifier() const {
        std::string hex;
        char byte[4];
        for (BYTE b : m_engine.SecureDb().m_moveIdentifier) {
            std::snprintf(byte, sizeof(byte), "%02X", b);
            hex += byte;
        }
        return hex + ",8";
    }
    Log MoveCalls() const {
        return m_fake.log.Starting({"Move.ExportTo", "Move.AddMoveContent", "Move.FinishExport", "Move.ImportFrom",
                                    "Move.ApplyImport", "Move.EndImport", "Volume.OpenDatabase",
                                    "Volume.CloseDatabase"});
    }

    std::string m_s1;
    std::string m_s2;
    // The restore's step on the backup as it stands.
    HRESULT RestoreMoveSecureDB() {
        zr::CRestorePlan plan(m_backupData, "");
        return m_engine.RestoreMoveSecureDB(plan);
    }
};

TEST_F(SecureStepsTest, BackupNamesEverySecureTrackToTheMoveComponent) {
    zrtest::CTraceCapture traces;
    ASSERT_EQ(0, m_engine.BackupMoveSecureDB(m_backupData));

    EXPECT_EQ((Log{"Move.ExportTo(" + Identifier() + ")",
                   "Volume.OpenDatabase(" + m_libraryFolder + "\\databases\\contents.db)",
                   "Move.AddMoveContent(" + m_s1 + ")", "Move.AddMoveContent(" + m_s2 + ")", "Volume.CloseDatabase",
                   "Move.FinishExport"}),
              MoveCalls());
    const std::string data = "paths:" + m_s1 + ";" + m_s2 + ";";
    EXPECT_EQ(48u + 32u + data.size(), zrtest::ReadTextFile(MoveFile()).size());
    EXPECT_EQ((Log{"*** BackupData Move ***\n", "Title = S1, Path = " + m_s1 + "\n",
                   "Title = S2, Path = " + m_s2 + "\n", "**********************\n"}),
              traces.Texts());
    EXPECT_EQ(nullptr, m_engine.Builder().Volume());
}

TEST_F(SecureStepsTest, BackupReturnsTheCodeOfFinishExport) {
    m_fake.log.Fail("Move.FinishExport", 2);
    EXPECT_EQ(2, m_engine.BackupMoveSecureDB(m_backupData));
    m_fake.log.Fail("Move.FinishExport", static_cast<HRESULT>(0x8ABC0010));
    EXPECT_EQ(static_cast<HRESULT>(0x8ABC0010), m_engine.BackupMoveSecureDB(m_backupData));
}

TEST_F(SecureStepsTest, ARefusedTrackIsListedOnceAndTheOthersStillGo) {
    m_fake.log.Fail("Move.AddMoveContent(" + m_s1 + ")", static_cast<HRESULT>(0x8ABC0011));
    ASSERT_EQ(0, m_engine.BackupMoveSecureDB(m_backupData));
    EXPECT_EQ((Files{"S1"}), m_engine.FailedTitles());
    EXPECT_EQ((std::vector<zr::ItemCode>{zr::ItemCode::RightsNotExported}), m_engine.FailedCodes());
    EXPECT_EQ((Files{m_s2}), m_fake.move.m_exported);
    EXPECT_FALSE(m_fake.tracks[0]->m_unregistered);
}

TEST_F(SecureStepsTest, AZeroIdentifierLeavesAnEmptyFileAndCallsNothing) {
    zr::SecureDbComponents& secureDb = m_engine.SecureDbForTest();
    std::memset(secureDb.m_moveIdentifier, 0, sizeof(secureDb.m_moveIdentifier));
    EXPECT_EQ(zr::RC_E_FAIL, m_engine.BackupMoveSecureDB(m_backupData));
    EXPECT_TRUE(zrtest::FileExists(MoveFile()));
    EXPECT_EQ("", zrtest::ReadTextFile(MoveFile()));
    EXPECT_EQ(Log{}, m_fake.log.Containing("Move."));
    EXPECT_EQ(Log{}, m_fake.log.Containing("Volume."));
}

TEST_F(SecureStepsTest, UnboundComponentsAreRefusedBeforeAnyCall) {
    m_engine.SecureDbForTest().Unbind();
    m_fake.log.Clear();
    EXPECT_EQ(zr::RC_E_FAIL, m_engine.BackupMoveSecureDB(m_backupData));
    EXPECT_EQ(zr::RC_E_FAIL, RestoreMoveSecureDB());
    EXPECT_EQ(Log{}, m_fake.log.Entries());
}

// A started export is finished even when the step gives up, so the component
// holds no stream once the step's stream is gone.
TEST_F(SecureStepsTest, BackupWithoutTheLibraryDatabaseFinishesTheExport) {
    DeleteFileA((m_libraryFolder + "\\databases\\contents.db").c_str());
    EXPECT_EQ(zr::RC_E_FAIL, m_engine.BackupMoveSecureDB(m_backupData));
    EXPECT_EQ((Log{"Move.ExportTo(" + Identifier() + ")", "Move.FinishExport"}), MoveCalls());
    EXPECT_EQ(nullptr, m_fake.move.m_stream);
}

TEST_F(SecureStepsTest, BackupFailures) {
    m_fake.log.Fail("Volume.OpenDatabase", static_cast<HRESULT>(0x8ABC0012));
    EXPECT_EQ(static_cast<HRESULT>(0x8ABC0012), m_engine.BackupMoveSecureDB(m_backupData));
    EXPECT_EQ(1u, m_fake.log.Containing("Move.FinishExport").size());
    // The stream was closed: the file opens exclusively again.
    HANDLE h = CreateFileA(MoveFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);

    m_fake.log.Fail("Move.ExportTo", static_cast<HRESULT>(0x8ABC0013));
    EXPECT_EQ(static_cast<HRESULT>(0x8ABC0013), m_engine.BackupMoveSecureDB(m_backupData));

    MakeFile("Blocked\\BackupData\\DB");
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.BackupMoveSecureDB(m_sandbox.Path("Blocked\\BackupData")));
}

TEST_F(SecureStepsTest, RestoreLoadsWhatTheBackupSaved) {
    ASSERT_EQ(0, m_engine.BackupMoveSecureDB(m_backupData));
    m_fake.log.Clear();
    ASSERT_EQ(0, RestoreMoveSecureDB());
    EXPECT_EQ((Log{"Move.ImportFrom(" + Identifier() + ")", "Move.ApplyImport", "Move.EndImport"}), MoveCalls());
    EXPECT_EQ("paths:" + m_s1 + ";" + m_s2 + ";", m_fake.move.m_imported);
}

// Only a backup that has the secure folder may lack the file: without the
// folder the backup is incomplete or foreign, and the restore must stop
// before the host's library is touched.
TEST_F(SecureStepsTest, RestoreWithoutTheFileOrItsFolder) {
    EXPECT_EQ(zr::StreamOpenError(ERROR_PATH_NOT_FOUND), RestoreMoveSecureDB());
    zrtest::MakeFolder(m_backupData + "\\DB\\SDCOREDB");
    EXPECT_EQ(zr::RC_E_STREAM_NOT_FOUND, RestoreMoveSecureDB());
    EXPECT_EQ(Log{}, m_fake.log.Entries());
}

struct ImportRow {
    const char* name;
    const char* failing;
    HRESULT result;
    Log calls;
};

class RestoreFailureTest : public SecureStepsTest, public ::testing::WithParamInterface<ImportRow> {};

TEST_P(RestoreFailureTest, EndsTheImportWhateverHappened) {
    ASSERT_EQ(0, m_engine.BackupMoveSecureDB(m_backupData));
    m_fake.log.Clear();
    m_fake.log.Fail(GetParam().failing, GetParam().result);
    EXPECT_EQ(GetParam().result, RestoreMoveSecureDB());
    Log calls = MoveCalls();
    ASSERT_FALSE(calls.empty());
    calls.erase(calls.begin());  // ImportFrom with its identifier
    EXPECT_EQ(GetParam().calls, calls);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreFailureTest,
    ::testing::Values(ImportRow{"ImportFails", "Move.ImportFrom", static_cast<HRESULT>(0x8ABC0020), {}},
                      ImportRow{"ApplyFails", "Move.ApplyImport", static_cast<HRESULT>(0x8ABC0021),
                                {"Move.ApplyImport", "Move.EndImport"}},
                      ImportRow{"EndFails", "Move.EndImport", static_cast<HRESULT>(0x8ABC0022),
                                {"Move.ApplyImport", "Move.EndImport"}},
                      ImportRow{"EndGivesACode", "Move.EndImport", 3, {"Move.ApplyImport", "Move.EndImport"}}),
    [](const ::testing::TestParamInfo<ImportRow>& info) { return std::string(info.param.name); });

// The backup steps as the job runs them, then the job end's releases.
TEST_F(SecureStepsTest, BackupStepsInJobOrder) {
    m_fake.tracks[0]->m_path = MakeFile("src\\A\\Album\\s1.wma");
    m_fake.tracks[1]->m_path = MakeFile("src\\A\\Album\\plain.wma");
    ASSERT_EQ(0, m_engine.InitBackupDataFolder(m_backupData));
    ASSERT_EQ(0, m_engine.BackupGuiData(m_backupData));
    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    ASSERT_EQ(0, m_engine.BackupMoveSecureDB(m_backupData));

    EXPECT_EQ((Files{"BackupRestore.ini", "DB\\", "DB\\NMLDB\\", "DB\\NMLDB\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb",
                     "DB\\NMLDB\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb", "DB\\NMLDB\\contents.db",
                     "DB\\NMLDB\\contents.fdb", "DB\\NMLDB\\mirs.db", "DB\\SDCOREDB\\", "DB\\SDCOREDB\\MovePlugIn.bkd",
                     "Data\\", "Data\\Audio\\", "Data\\Audio\\Album\\", "Data\\Audio\\Album\\plain.wma",
                     "Data\\Audio\\Album\\s1.wma", "Data\\Audio\\music\\", "Data\\Picture\\"}),
              zrtest::ListTree(m_backupData));
    EXPECT_EQ("1", zrtest::ReadIni(m_backupData + "\\BackupRestore.ini", "BackupData", "SecureContents"));
    // S2's file is missing from this library: listed once, by the content step.
    EXPECT_EQ((Files{"S2"}), m_engine.FailedTitles());
}

}  // namespace
