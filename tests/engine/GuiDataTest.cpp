// GUI data by host and version: which folder of the backup tree holds which
// installation's data, and where a restore puts it back. The shared and
// per-user data folders are pointed into each test's sandbox.
#include <gtest/gtest.h>

#include "common/ResultCodes.h"
#include "engine/BackupRestore.h"
#include "support/FileTree.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"
#include "support/StepsOnly.h"
#include "support/TraceCapture.h"

using Files = std::vector<std::string>;

namespace {

const char kPlaylist[] = "ユーザープレイリスト";

class GuiDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        zrtest::RedirectShellFolders(m_sandbox.Folder());
        m_hostFolder = m_sandbox.Path("Talvane");
        m_corvellFolder = m_sandbox.Path("Corvell");
        m_backupData = m_sandbox.Path("Backup\\BackupData");
    }

    // The installed hosts; 0 for no first host. The engine learns the first
    // host's folder as Initialize would.
    void Install(unsigned major, unsigned minor, bool corvell) {
        if (major) zrtest::InstallTalvane(m_hostFolder, major, minor);
        if (corvell) zrtest::InstallCorvell(m_corvellFolder, 1, 1);
        m_engine.UseFolders({major ? m_hostFolder : "", "", ""});
    }

    std::string Shared(const std::string& item) const { return m_sandbox.Path("Common\\Nerith\\SDTL\\" + item); }
    std::string Host(const std::string& item) const { return m_hostFolder + "\\" + item; }
    std::string HostRule() const { return m_sandbox.Path("AppData\\SDTalvane\\SDProducerRule.dat"); }

    // The four items of each layout, every file holding the tag.
    void FillShared(const std::string& tag) {
        zrtest::MakeTextFile(Shared("UserPlaylist\\" + tag + ".m3u"), tag);
        zrtest::MakeTextFile(Shared("UserPlaylist\\sub\\list.m3u"), tag);
        zrtest::MakeTextFile(Shared("mirs.dat"), tag);
        zrtest::MakeTextFile(Shared("usrdic.dic"), tag);
        zrtest::MakeTextFile(Shared("SDProducerRule.dat"), tag);
    }
    void FillHostFolder(const std::string& tag) {
        zrtest::MakeTextFile(Host(std::string(kPlaylist) + "\\" + tag + ".m3u"), tag);
        zrtest::MakeTextFile(Host(std::string(kPlaylist) + "\\sub\\list.m3u"), tag);
        zrtest::MakeTextFile(Host("mirs.dat"), tag);
        zrtest::MakeTextFile(Host("usrdic.dic"), tag);
        zrtest::MakeTextFile(HostRule(), tag);
    }
    // A GUI folder of the backup tree ("GUI(new)", "GUI(old)" or "Talvane").
    void FillBackup(const std::string& folder, const std::string& tag) {
        const std::string root = m_backupData + "\\" + folder;
        zrtest::MakeTextFile(root + "\\UPL\\" + tag + ".m3u", tag);
        zrtest::MakeTextFile(root + "\\mirs.dat", tag);
        zrtest::MakeTextFile(root + "\\usrdic.dic", tag);
        zrtest::MakeTextFile(root + "\\SDProducerRule.dat", tag);
    }

    // A playlist folder's listing as filled above, or as a restore from the backup leaves it.
    static Files Playlist(const std::string& tag) {
        return tag == "current" ? Files{"current.m3u", "sub\\", "sub\\list.m3u"} : Files{tag + ".m3u"};
    }

    static Files GuiFolder(const std::string& folder, const std::string& tag) {
        return {folder + "\\",
                folder + "\\SDProducerRule.dat",
                folder + "\\UPL\\",
                folder + "\\UPL\\" + tag + ".m3u",
                folder + "\\UPL\\sub\\",
                folder + "\\UPL\\sub\\list.m3u",
                folder + "\\mirs.dat",
                folder + "\\usrdic.dic"};
    }

    zrtest::CSandbox m_sandbox;
    zr::CBackupRestore m_engine;
    std::string m_hostFolder;
    std::string m_corvellFolder;
    std::string m_backupData;
};

struct BackupRow {
    const char* name;
    unsigned major;
    unsigned minor;
    bool corvell;
    bool wantOld;  // GUI(old) from the host's program folder
    bool wantNew;  // GUI(new) from the shared folder
};

class BackupGuiDataTest : public GuiDataTest, public ::testing::WithParamInterface<BackupRow> {};

TEST_P(BackupGuiDataTest, WritesTheFoldersOfTheInstalledLayouts) {
    const BackupRow& row = GetParam();
    Install(row.major, row.minor, row.corvell);
    FillShared("shared");
    FillHostFolder("host");
    zrtest::MakeFolder(m_backupData);

    EXPECT_EQ(0, m_engine.BackupGuiData(m_backupData));

    Files expected;
    if (row.wantNew) expected = GuiFolder("GUI(new)", "shared");
    if (row.wantOld) {
        Files old = GuiFolder("GUI(old)", "host");
        expected.insert(expected.end(), old.begin(), old.end());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, zrtest::ListTree(m_backupData));
    if (row.wantOld) {
        EXPECT_EQ("host", zrtest::ReadTextFile(m_backupData + "\\GUI(old)\\SDProducerRule.dat"));
    }
    if (row.wantNew) {
        EXPECT_EQ("shared", zrtest::ReadTextFile(m_backupData + "\\GUI(new)\\mirs.dat"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BackupGuiDataTest,
                         ::testing::Values(BackupRow{"Talvane53", 5, 3, false, true, false},
                                           BackupRow{"Talvane66AndCorvell", 6, 6, true, true, true},
                                           BackupRow{"Talvane67", 6, 7, false, false, true},
                                           BackupRow{"Talvane70AndCorvell", 7, 0, true, false, true},
                                           BackupRow{"CorvellOnly", 0, 0, true, false, true},
                                           BackupRow{"UnsupportedTalvane80", 8, 0, false, false, false},
                                           BackupRow{"NoHost", 0, 0, false, false, false}),
                         [](const ::testing::TestParamInfo<BackupRow>& info) { return std::string(info.param.name); });

TEST_F(GuiDataTest, BackupWithoutAnyGuiDataStillMakesTheFolders) {
    Install(7, 0, false);
    EXPECT_EQ(0, m_engine.BackupGuiData(m_backupData));
    EXPECT_EQ((Files{"GUI(new)\\", "GUI(new)\\UPL\\"}), zrtest::ListTree(m_backupData));
}

TEST_F(GuiDataTest, BackupReportsAGuiFolderThatCannotBeMade) {
    Install(7, 0, false);
    FillShared("shared");
    zrtest::MakeTextFile(m_backupData, "a file in the way");
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.BackupGuiData(m_backupData));
}

// An item that is there but cannot be copied fails the step: a backup
// without the user's playlists must not pass for complete, since its restore
// would delete the playlists of the target PC. Missing items stay ignored.
// (Access denied, which Wine gives only on a read-only medium, is in the
// media fault tests.)
enum class Block { HeldFile, HeldPlaylistEntry, HeldRuleFile };

struct CopyFailureRow {
    const char* name;
    Block block;
    HRESULT result;
};

class BackupGuiCopyFailureTest : public GuiDataTest, public ::testing::WithParamInterface<CopyFailureRow> {};

TEST_P(BackupGuiCopyFailureTest, FailsTheStep) {
    const CopyFailureRow& row = GetParam();
    Install(7, 0, false);
    FillShared("shared");
    const std::string held = row.block == Block::HeldFile            ? Shared("usrdic.dic")
                             : row.block == Block::HeldPlaylistEntry ? Shared("UserPlaylist\\sub\\list.m3u")
                                                                     : Shared("SDProducerRule.dat");
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(row.result, m_engine.BackupGuiData(m_backupData));
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BackupGuiCopyFailureTest,
    ::testing::Values(CopyFailureRow{"HeldFile", Block::HeldFile, zr::RC_E_FILE_COPY},
                      CopyFailureRow{"HeldPlaylistEntry", Block::HeldPlaylistEntry, zr::RC_E_FILE_COPY},
                      CopyFailureRow{"HeldRuleFile", Block::HeldRuleFile, zr::RC_E_FILE_COPY}),
    [](const ::testing::TestParamInfo<CopyFailureRow>& info) { return std::string(info.param.name); });

struct RestoreRow {
    const char* name;
    Files backupFolders;  // among "Talvane", "GUI(new)", "GUI(old)"; each holds its name as tag
    unsigned major;
    unsigned minor;
    bool corvell;
    const char* hostFolderGets;  // the tag now in the host's program folder ("current": untouched)
    const char* sharedGets;      // the tag now in the shared folder
};

class RestoreGuiDataTest : public GuiDataTest, public ::testing::WithParamInterface<RestoreRow> {};

TEST_P(RestoreGuiDataTest, PutsEachLayoutsDataBack) {
    const RestoreRow& row = GetParam();
    Install(row.major, row.minor, row.corvell);
    FillShared("current");
    FillHostFolder("current");
    for (const std::string& folder : row.backupFolders) FillBackup(folder, folder);
    zrtest::SetSerial("OLD");
    zrtest::WriteTextFile(m_backupData + "\\BackupRestore.ini", "[BackupData]\r\nSdTalvSerial=NEW-SERIAL\r\n");

    ASSERT_EQ(0, m_engine.RestoreGuiData(zr::CRestorePlan(m_backupData, "")));

    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    EXPECT_EQ("NEW-SERIAL", serial);

    const std::string host = row.hostFolderGets;
    EXPECT_EQ(host, zrtest::ReadTextFile(Host("mirs.dat")));
    EXPECT_EQ(host, zrtest::ReadTextFile(HostRule()));
    const std::string shared = row.sharedGets;
    EXPECT_EQ(shared, zrtest::ReadTextFile(Shared("mirs.dat")));
    EXPECT_EQ(shared, zrtest::ReadTextFile(Shared("SDProducerRule.dat")));
    // A playlist folder is replaced as a whole, not merged.
    EXPECT_EQ(Playlist(host), zrtest::ListTree(Host(kPlaylist)));
    EXPECT_EQ(Playlist(shared), zrtest::ListTree(Shared("UserPlaylist")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreGuiDataTest,
    ::testing::Values(RestoreRow{"BothOnto67TakesNew", {"GUI(new)", "GUI(old)"}, 6, 7, false, "current", "GUI(new)"},
                      RestoreRow{"BothOnto66TakesOld", {"GUI(new)", "GUI(old)"}, 6, 6, false, "GUI(old)", "current"},
                      RestoreRow{"BothOnto66AndCorvell", {"GUI(new)", "GUI(old)"}, 6, 6, true, "GUI(old)", "GUI(new)"},
                      RestoreRow{"OldOnlyOnto70", {"GUI(old)"}, 7, 0, false, "current", "GUI(old)"},
                      RestoreRow{"NewOnlyOnto66AndCorvell", {"GUI(new)"}, 6, 6, true, "GUI(new)", "GUI(new)"},
                      RestoreRow{"TalvaneFolderFirst", {"Talvane", "GUI(new)", "GUI(old)"}, 7, 0, true, "current",
                                 "Talvane"},
                      RestoreRow{"BothOntoCorvellOnly", {"GUI(new)", "GUI(old)"}, 0, 0, true, "current", "GUI(new)"}),
    [](const ::testing::TestParamInfo<RestoreRow>& info) { return std::string(info.param.name); });

// A file the backup lacks, the host it came from had none of; a playlist
// folder it lacks cannot be read, so the host keeps its own and it is listed.
TEST_F(GuiDataTest, RestoreRemovesFilesTheBackupLacksAndKeepsPlaylistsItCannotGive) {
    Install(7, 0, false);
    FillShared("current");
    const Files playlists = zrtest::ListTree(Shared("UserPlaylist"));
    zrtest::MakeTextFile(m_backupData + "\\GUI(new)\\mirs.dat", "backup");
    zrtest::WriteTextFile(m_backupData + "\\BackupRestore.ini", "[BackupData]\r\nSdTalvSerial=S\r\n");
    ASSERT_EQ(0, m_engine.RestoreGuiData(zr::CRestorePlan(m_backupData, "")));
    EXPECT_EQ("backup", zrtest::ReadTextFile(Shared("mirs.dat")));
    EXPECT_FALSE(zrtest::FileExists(Shared("usrdic.dic")));
    EXPECT_EQ(playlists, zrtest::ListTree(Shared("UserPlaylist")));
    EXPECT_EQ(std::vector<std::string>{"UserPlaylist"}, m_engine.FailedTitles());
    EXPECT_EQ(std::vector<zr::ItemCode>{zr::ItemCode::NotRestored}, m_engine.FailedCodes());
}

TEST_F(GuiDataTest, RestoreWithoutSerialFailsAndTouchesNothing) {
    Install(7, 0, false);
    FillShared("current");
    FillBackup("GUI(new)", "backup");
    zrtest::SetSerial("OLD");
    zrtest::CTraceCapture traces;

    EXPECT_EQ(zr::RC_E_FAIL, m_engine.RestoreGuiData(zr::CRestorePlan(m_backupData, "")));
    EXPECT_TRUE(traces.Has("CBackupRestore::RestoreGuiData serial is empty"));
    EXPECT_EQ("current", zrtest::ReadTextFile(Shared("mirs.dat")));
    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    EXPECT_EQ("OLD", serial);
}

TEST_F(GuiDataTest, RestoreWithoutGuiDataWritesTheSerialAndAnswersOne) {
    Install(7, 0, false);
    FillShared("current");
    zrtest::MakeFolder(m_backupData);
    zrtest::WriteTextFile(m_backupData + "\\BackupRestore.ini", "[BackupData]\r\nSdTalvSerial=NEW\r\n");
    zrtest::SetSerial("OLD");
    EXPECT_EQ(1, m_engine.RestoreGuiData(zr::CRestorePlan(m_backupData, "")));
    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    EXPECT_EQ("NEW", serial);
    EXPECT_EQ("current", zrtest::ReadTextFile(Shared("mirs.dat")));
}

}  // namespace
