// BackupNmlData against the fake component with real files: the layout of
// Data\Audio and Data\Picture, the paths written back into the backup's
// database, the failed items, progress, cancel and the failure table.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "common/ResultCodes.h"
#include "job/JobMessages.h"
#include "support/FileTree.h"
#include "support/HostRegistry.h"
#include "support/TraceCapture.h"

using enginetest::CFakeEngineTest;
using Files = std::vector<std::string>;
using Log = std::vector<std::string>;

namespace {

class NmlBackupTest : public CFakeEngineTest {
protected:
    void SetUp() override {
        CFakeEngineTest::SetUp();
        Bind();
        zrtest::MakeFolder(m_backupData);
    }
    void TearDown() override {
        EndJob();
        EXPECT_EQ(Log{}, m_fake.Leaks());
    }

    // A track whose content file exists below the sandbox's "src" folder.
    fake::CFakeTrack& Track(const std::string& title, const std::string& relative, DWORD attributes = 0) {
        return m_fake.AddTrack(title, MakeFile("src\\" + relative, "audio " + title), attributes);
    }

    std::string Audio(const std::string& relative = "") const {
        return m_backupData + "\\Data\\Audio" + (relative.empty() ? "" : "\\" + relative);
    }
    std::string Picture(const std::string& relative = "") const {
        return m_backupData + "\\Data\\Picture" + (relative.empty() ? "" : "\\" + relative);
    }
    std::string Ini(const char* key) const {
        return zrtest::ReadIni(m_backupData + "\\BackupRestore.ini", "BackupData", key);
    }
    std::vector<std::pair<std::string, zr::ItemCode>> FailedItems() const {
        std::vector<std::pair<std::string, zr::ItemCode>> items;
        EXPECT_EQ(m_engine.FailedTitles().size(), m_engine.FailedCodes().size());
        for (std::size_t i = 0; i < m_engine.FailedTitles().size(); ++i) {
            items.emplace_back(m_engine.FailedTitles()[i], m_engine.FailedCodes()[i]);
        }
        return items;
    }
};

using Failed = std::vector<std::pair<std::string, zr::ItemCode>>;
constexpr zr::ItemCode kMissing = zr::ItemCode::Missing;

TEST_F(NmlBackupTest, GroupsTracksBySourceFolderAndRewritesTheirPaths) {
    auto& t1 = Track("T1", "A\\Album\\01.wma");
    auto& t2 = Track("T2", "B\\Album\\02.wma");
    auto& t3 = Track("T3", "A\\Album\\03.wma");
    auto& t4 = Track("T4", "B\\Album\\04.wma");
    auto& t5 = Track("T5", "音楽\\表\\ソ.wma");  // trail bytes 0x5C in both names
    zrtest::CTraceCapture traces;

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));

    EXPECT_EQ((Files{"Album00000\\", "Album00000\\02.wma", "Album00000\\04.wma", "Album\\", "Album\\01.wma",
                     "Album\\03.wma", "表\\", "表\\ソ.wma"}),
              zrtest::ListTree(Audio()));
    EXPECT_EQ("audio T2", zrtest::ReadTextFile(Audio("Album00000\\02.wma")));
    EXPECT_EQ("Album\\01.wma", t1.m_registeredPath);
    EXPECT_EQ("Album00000\\02.wma", t2.m_registeredPath);
    EXPECT_EQ("Album\\03.wma", t3.m_registeredPath);
    EXPECT_EQ("Album00000\\04.wma", t4.m_registeredPath);
    EXPECT_EQ("表\\ソ.wma", t5.m_registeredPath);

    // The database copies, and the volume opened on the backup's copy only.
    for (const char* name : kDatabaseFiles) {
        EXPECT_EQ(std::string("db:") + name, zrtest::ReadTextFile(m_backupData + "\\DB\\NMLDB\\" + name));
    }
    EXPECT_EQ((Log{"Volume.SetPictureFolder(" + m_engine.PictureFolder() + ")",
                   "Volume.OpenDatabase(" + m_backupData + "\\DB\\NMLDB\\contents.db)"}),
              m_fake.log.Starting({"Volume.SetPictureFolder", "Volume.OpenDatabase"}));
    EXPECT_EQ(nullptr, m_engine.Builder().Volume());

    EXPECT_EQ("0", Ini("SecureContents"));
    EXPECT_EQ("SERIAL-0001", Ini("SdTalvSerial"));
    EXPECT_TRUE(traces.Has("Title = T1, Path = " + m_sandbox.Path("src\\A\\Album\\01.wma") + "\n"));
    EXPECT_TRUE(traces.Has("pTrack->GetFilePath = Album\\01.wma\n"));
    EXPECT_EQ(Failed{}, FailedItems());
}

// The numbering looks at the folders on disk; a name's search resumes where
// the last one ended, and still finds what the rule finds.
TEST_F(NmlBackupTest, NumberingGivesTheFirstFreeNumberOnDisk) {
    zrtest::MakeFolder(Audio("Album00000"));
    Track("T1", "A\\Album\\01.wma");
    Track("T2", "B\\Album\\02.wma");
    Track("T3", "C\\Album\\03.wma");
    auto& t4 = Track("T4", "D\\album\\04.wma");

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ((Files{"Album00000\\", "Album00001\\", "Album00001\\02.wma", "Album00002\\", "Album00002\\03.wma",
                     "Album\\", "Album\\01.wma", "album00003\\", "album00003\\04.wma"}),
              zrtest::ListTree(Audio()));
    EXPECT_EQ("album00003\\04.wma", t4.m_registeredPath);
}

TEST_F(NmlBackupTest, TrackAtADriveRootGoesToRoot) {
    char name[64];
    std::snprintf(name, sizeof(name), "zr_engine_%lu.wma", GetCurrentProcessId());
    const std::string path = std::string("C:\\") + name;
    zrtest::WriteTextFile(path, "root track");
    auto& t1 = m_fake.AddTrack("T1", path);

    const HRESULT hr = m_engine.BackupNmlData(m_backupData);
    DeleteFileA(path.c_str());
    ASSERT_EQ(0, hr);
    EXPECT_EQ((Files{"root\\", std::string("root\\") + name}), zrtest::ListTree(Audio()));
    EXPECT_EQ(std::string("root\\") + name, t1.m_registeredPath);
}

TEST_F(NmlBackupTest, MissingFilesAreListedAndLeaveTheBackupDatabase) {
    auto& gone = m_fake.AddTrack("Gone", m_sandbox.Path("src\\Gone\\x.wma"));
    auto& tooLong = m_fake.AddTrack("TooLong", m_sandbox.Path("src\\Long\\" + std::string(MAX_PATH, 'x') + ".wma"));
    zrtest::MakeFolder(m_sandbox.Path("src\\Dir\\folder.wma"));
    auto& folder = m_fake.AddTrack("Folder", m_sandbox.Path("src\\Dir\\folder.wma"));
    auto& kept = Track("Kept", "A\\Album\\01.wma");

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ((Failed{{"Gone", kMissing}, {"TooLong", kMissing}, {"Folder", kMissing}}), FailedItems());
    EXPECT_TRUE(gone.m_unregistered);
    EXPECT_EQ(0, gone.m_registerCount);
    EXPECT_TRUE(tooLong.m_unregistered);
    EXPECT_TRUE(folder.m_unregistered);
    EXPECT_FALSE(kept.m_unregistered);
    // The missing track's folder is still made.
    EXPECT_EQ((Files{"Album\\", "Album\\01.wma", "Dir\\", "Gone\\", "Long\\"}), zrtest::ListTree(Audio()));
}

// The file name ends at the last "\\", "/" or ":" as the platform finds it; the
// folder is the path up to its last backslash, named by its own last part.
TEST_F(NmlBackupTest, NamesAreTakenAsThePlatformSplitsThem) {
    MakeFile("src\\A\\Album\\01.wma", "slash");
    auto& slash = m_fake.AddTrack("Slash", m_sandbox.Path("src\\A\\Album/01.wma"));
    MakeFile("src\\B\\02.wma", "drive relative");
    auto& relative = m_fake.AddTrack("Relative", m_sandbox.Folder().substr(0, 2) + "02.wma");
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryA(m_sandbox.Path("src\\B").c_str()));

    const HRESULT hr = m_engine.BackupNmlData(m_backupData);
    SetCurrentDirectoryA(current);
    ASSERT_EQ(0, hr);
    EXPECT_EQ((Files{"02.wma\\", "02.wma\\02.wma", "A\\", "A\\01.wma"}), zrtest::ListTree(Audio()));
    EXPECT_EQ("slash", zrtest::ReadTextFile(Audio("A\\01.wma")));
    EXPECT_EQ("A\\01.wma", slash.m_registeredPath);
    EXPECT_EQ("02.wma\\02.wma", relative.m_registeredPath);
    EXPECT_EQ(Failed{}, FailedItems());
}

TEST_F(NmlBackupTest, SecureTracksKeepTheirPicturesBehind) {
    auto& a = Track("SecureA", "A\\Album\\01.wma", NM_ATTR_SECURE_A);
    a.AddPicture(MakeFile("pic\\a.jpg"));
    auto& b = Track("SecureB", "A\\Album\\02.wma", NM_ATTR_SECURE_B | 0x04);
    b.AddPicture(MakeFile("pic\\b.jpg"));

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ(Log{}, m_fake.log.Containing(".GetCount"));
    EXPECT_FALSE(zrtest::FolderExists(Picture()));
    EXPECT_EQ("Album\\02.wma", b.m_registeredPath);
    EXPECT_EQ("1", Ini("SecureContents"));
}

// One flat picture folder: a file shared by tracks is copied once; another
// file of a name already taken gets a name of its own, which its path in the
// backup's database then carries.
TEST_F(NmlBackupTest, PicturesAreCopiedOnceAndCollisionsRenamed) {
    const std::string coverA = MakeFile("pic\\A\\cover.jpg", "cover A");
    const std::string backA = MakeFile("pic\\A\\back.jpg", "back A");
    const std::string coverB = MakeFile("pic\\B\\cover.jpg", "cover B");
    const std::string coverC = MakeFile("pic\\C\\Cover.jpg", "cover C");
    const std::string takenD = MakeFile("pic\\D\\cover_00001.jpg", "cover D");
    auto& t1 = Track("T1", "A\\Album\\01.wma");
    t1.AddPicture(coverA);
    t1.AddPicture(backA);
    auto& t2 = Track("T2", "A\\Album\\02.wma");
    t2.AddPicture(coverA);
    auto& t3 = Track("T3", "A\\Album\\03.wma");
    t3.AddPicture(m_sandbox.Path("PIC\\a\\COVER.JPG"));  // the same file, spelt otherwise
    auto& t4 = Track("T4", "B\\Album\\04.wma");
    t4.AddPicture(coverB);
    auto& t5 = Track("T5", "C\\Album\\05.wma");
    t5.AddPicture(coverC);
    t5.AddPicture(coverB);
    auto& t6 = Track("T6", "D\\Album\\06.wma");
    t6.AddPicture(takenD);

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));

    EXPECT_EQ((Files{"Cover_00002.jpg", "back.jpg", "cover.jpg", "cover_00001.jpg", "cover_00001_00001.jpg"}),
              zrtest::ListTree(Picture()));
    EXPECT_EQ("cover A", zrtest::ReadTextFile(Picture("cover.jpg")));
    EXPECT_EQ("cover B", zrtest::ReadTextFile(Picture("cover_00001.jpg")));
    EXPECT_EQ("cover C", zrtest::ReadTextFile(Picture("Cover_00002.jpg")));
    EXPECT_EQ("cover D", zrtest::ReadTextFile(Picture("cover_00001_00001.jpg")));

    EXPECT_EQ((Files{coverA, backA}), t1.m_registeredPictures);
    EXPECT_EQ((Files{coverA}), t2.m_registeredPictures);
    EXPECT_EQ((Files{m_sandbox.Path("PIC\\a\\COVER.JPG")}), t3.m_registeredPictures);
    EXPECT_EQ((Files{m_sandbox.Path("pic\\B\\cover_00001.jpg")}), t4.m_registeredPictures);
    EXPECT_EQ((Files{m_sandbox.Path("pic\\C\\Cover_00002.jpg"), m_sandbox.Path("pic\\B\\cover_00001.jpg")}),
              t5.m_registeredPictures);
    EXPECT_EQ((Files{m_sandbox.Path("pic\\D\\cover_00001_00001.jpg")}), t6.m_registeredPictures);
    // Renamed pictures are stored by registering the track once more.
    EXPECT_EQ(1, t1.m_registerCount);
    EXPECT_EQ(2, t4.m_registerCount);
    EXPECT_EQ(Failed{}, FailedItems());
}

// Full-width letters differ only in case for the file system: such names
// share no folder and no picture file.
TEST_F(NmlBackupTest, NamesTheFileSystemFoldsTogetherStayApart) {
    auto& t1 = Track("T1", "E\\ａｌｂｕｍ\\01.wma");
    t1.AddPicture(MakeFile("pic\\E\\ｃｏｖｅｒ.jpg", "cover E"));
    auto& t2 = Track("T2", "F\\ＡＬＢＵＭ\\02.wma");
    t2.AddPicture(MakeFile("pic\\F\\ＣＯＶＥＲ.jpg", "cover F"));

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ("ａｌｂｕｍ\\01.wma", t1.m_registeredPath);
    EXPECT_EQ("ＡＬＢＵＭ00000\\02.wma", t2.m_registeredPath);
    EXPECT_EQ("cover E", zrtest::ReadTextFile(Picture("ｃｏｖｅｒ.jpg")));
    EXPECT_EQ("cover F", zrtest::ReadTextFile(Picture("ＣＯＶＥＲ_00001.jpg")));
    EXPECT_EQ((Files{m_sandbox.Path("pic\\F\\ＣＯＶＥＲ_00001.jpg")}), t2.m_registeredPictures);
}

TEST_F(NmlBackupTest, APictureThatCannotBeCopiedLeavesItsTrack) {
    const std::string missing = m_sandbox.Path("pic\\missing.jpg");
    const std::string ok = MakeFile("pic\\ok.jpg");
    auto& t1 = Track("T1", "A\\Album\\01.wma");
    t1.AddPicture(missing);
    t1.AddPicture(ok);
    auto& t2 = Track("T2", "A\\Album\\02.wma");
    t2.AddPicture(missing);

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ((Log{"T1.SetFilePath(Album\\01.wma)", "T1.Register", "T1.RemovePicture(T1.Pic1)", "T1.Register",
                   "T2.SetFilePath(Album\\02.wma)", "T2.Register", "T2.RemovePicture(T2.Pic1)", "T2.Register"}),
              m_fake.log.Starting({"T1.SetFilePath", "T1.Register", "T1.RemovePicture", "T2.SetFilePath",
                                   "T2.Register", "T2.RemovePicture"}));
    // The picture after the failed one is still copied, though the list renumbered.
    EXPECT_EQ((Files{ok}), t1.m_registeredPictures);
    EXPECT_EQ(Files{}, t2.m_registeredPictures);
    EXPECT_EQ((Files{"ok.jpg"}), zrtest::ListTree(Picture()));
    EXPECT_EQ((Failed{{"T1", zr::ItemCode::NoPicture}, {"T2", zr::ItemCode::NoPicture}}), FailedItems());
    EXPECT_FALSE(t1.m_unregistered);
}

TEST_F(NmlBackupTest, PostsOneProgressMessagePerTrack) {
    Track("T1", "A\\Album\\01.wma");
    m_fake.AddTrack("Gone", m_sandbox.Path("src\\Gone\\x.wma"));
    Track("T3", "A\\Album\\03.wma");

    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    using Post = std::pair<WPARAM, LPARAM>;
    EXPECT_EQ((std::vector<Post>{{1, 3}, {2, 3}, {3, 3}}), m_runner.Collect());
    // The walk's first entry is taken before the count.
    EXPECT_EQ((Log{"Volume.GetFirstContent(INMTrack)", "Volume.GetContentCount"}),
              m_fake.log.Starting({"Volume.GetFirstContent", "Volume.GetContentCount"}));
}

TEST_F(NmlBackupTest, AnEmptyLibraryStillWritesTheSettings) {
    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ(0u, m_runner.Collect().size());
    EXPECT_EQ("0", Ini("SecureContents"));
    EXPECT_EQ("SERIAL-0001", Ini("SdTalvSerial"));
}

TEST_F(NmlBackupTest, OptionalDatabaseFilesMayBeMissing) {
    for (const char* name : {"mirs.db", "contents.fdb", "5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb"}) {
        DeleteFileA((m_libraryFolder + "\\databases\\" + name).c_str());
    }
    EXPECT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ((Files{"5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb", "contents.db"}),
              zrtest::ListTree(m_backupData + "\\DB\\NMLDB"));
}

TEST_F(NmlBackupTest, UsesTheRelocatedDatabasesFolder) {
    const std::string moved = m_sandbox.Path("Moved\\databases");
    zrtest::MakeFolder(moved);
    for (const char* name : kDatabaseFiles) zrtest::WriteTextFile(moved + "\\" + name, "moved");
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "Db_Path_00_Old", m_libraryFolder + "\\DATABASES");
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "Db_Path_00_New", moved);
    ASSERT_EQ(0, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ("moved", zrtest::ReadTextFile(m_backupData + "\\DB\\NMLDB\\contents.db"));
}

TEST_F(NmlBackupTest, CancelBeforeTheWalkMountsNothing) {
    Track("T1", "A\\Album\\01.wma");
    zrtest::CTraceCapture traces;
    m_engine.RequestCancel();
    EXPECT_EQ(1, m_engine.BackupNmlData(m_backupData));
    EXPECT_TRUE(traces.Has("\n\nCBackupRestore::BackupNmlData m_bCancelFlag failed\n\n"));
    EXPECT_EQ(Log{}, m_fake.log.Containing("Volume."));
}

TEST_F(NmlBackupTest, CancelDuringATrackStopsBeforeTheNext) {
    Track("T1", "A\\Album\\01.wma");
    Track("T2", "A\\Album\\02.wma");
    Track("T3", "A\\Album\\03.wma");
    m_fake.log.onCall = [this](const std::string& entry) {
        if (entry == "T2.GetFilePath") m_engine.RequestCancel();
    };

    EXPECT_EQ(1, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ((Files{"Album\\", "Album\\01.wma", "Album\\02.wma"}), zrtest::ListTree(Audio()));
    EXPECT_EQ(Log{"T3.Release"}, m_fake.log.Containing("T3."));  // handed over by T2, never looked at
    EXPECT_EQ(2u, m_runner.Collect().size());
    EXPECT_EQ(nullptr, m_engine.Builder().Volume());
    EXPECT_FALSE(zrtest::FileExists(m_backupData + "\\BackupRestore.ini"));
}

TEST_F(NmlBackupTest, CancelDuringTheLastTrackUnmountsAndWritesNoSettings) {
    Track("T1", "A\\Album\\01.wma");
    Track("T2", "A\\Album\\02.wma");
    m_fake.log.onCall = [this](const std::string& entry) {
        if (entry == "T2.GetFilePath") m_engine.RequestCancel();
    };
    EXPECT_EQ(1, m_engine.BackupNmlData(m_backupData));
    EXPECT_EQ(1u, m_fake.log.Containing("Volume.CloseDatabase").size());
    EXPECT_TRUE(zrtest::FileExists(Audio("Album\\02.wma")));
    EXPECT_FALSE(zrtest::FileExists(m_backupData + "\\BackupRestore.ini"));
}

enum class Setup {
    DbFolderBlocked,
    NoContentsDb,
    NoCdb,
    MountFails,
    AudioFolderBlocked,
    ContentNotCopied,
    DestinationTooLong,
    RegisterFails,
    NoSerial,
};

struct FailureRow {
    const char* name;
    Setup setup;
    HRESULT result;
    const char* trace;
};

class NmlBackupFailureTest : public NmlBackupTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(NmlBackupFailureTest, EndsWithItsCodeAndTrace) {
    const FailureRow& row = GetParam();
    std::string fileName = "01.wma";
    switch (row.setup) {
        case Setup::DbFolderBlocked:
            MakeFile("Backup\\BackupData\\DB");
            break;
        case Setup::NoContentsDb:
            DeleteFileA((m_libraryFolder + "\\databases\\contents.db").c_str());
            break;
        case Setup::NoCdb:
            DeleteFileA((m_libraryFolder + "\\databases\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb").c_str());
            break;
        case Setup::MountFails:
            m_fake.log.Fail("Volume.OpenDatabase", static_cast<HRESULT>(0x8ABC0003));
            break;
        case Setup::AudioFolderBlocked:
            MakeFile("Backup\\BackupData\\Data\\Audio");
            break;
        case Setup::ContentNotCopied:
            break;  // the source is held open below
        case Setup::DestinationTooLong:
            // The source just fits the system's limit; its copy below the backup tree would not.
            fileName = std::string(MAX_PATH - 2 - m_sandbox.Path("src\\A\\Album\\").size(), 'n');
            ASSERT_GT(Audio("Album\\" + fileName).size(), static_cast<std::size_t>(MAX_PATH));
            break;
        case Setup::RegisterFails:
            m_fake.log.Fail("T1.Register", zr::RC_E_FAIL);
            break;
        case Setup::NoSerial:
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial");
            break;
    }
    Track("T1", "A\\Album\\" + fileName);
    HANDLE held = INVALID_HANDLE_VALUE;
    if (row.setup == Setup::ContentNotCopied) {
        held = CreateFileA(m_fake.tracks[0]->m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
    }
    zrtest::CTraceCapture traces;

    EXPECT_EQ(row.result, m_engine.BackupNmlData(m_backupData));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_TRUE(traces.Has(row.trace)) << row.trace;
    if (row.setup == Setup::NoSerial) {
        EXPECT_TRUE(zrtest::FileExists(Audio("Album\\01.wma")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NmlBackupFailureTest,
    ::testing::Values(
        FailureRow{"DbFolderBlocked", Setup::DbFolderBlocked, zr::RC_E_FOLDER_CREATE,
                   "\n\nCBackupRestore::BackupNmlData MakeSureDirectoryPathExists failed\n\n"},
        FailureRow{"NoContentsDb", Setup::NoContentsDb, zr::RC_E_FILE_COPY,
                   "\n\nCBackupRestore::BackupNmlData CONTENTS_DB_PATH failed\n\n"},
        FailureRow{"NoCdb", Setup::NoCdb, zr::RC_E_FILE_COPY,
                   "\n\nCBackupRestore::BackupNmlData CONTENTSDATA_DB_PATH failed\n\n"},
        FailureRow{"MountFails", Setup::MountFails, static_cast<HRESULT>(0x8ABC0003),
                   "\n\nCBackupRestore::BackupNmlData m_builder.MountHDD failed\n\n"},
        FailureRow{"AudioFolderBlocked", Setup::AudioFolderBlocked, zr::RC_E_FOLDER_CREATE,
                   "\n\nCBackupRestore::BackupNmlData !MakeSureDirectoryPathExists failed\n\n"},
        FailureRow{"ContentNotCopied", Setup::ContentNotCopied, zr::RC_E_FILE_COPY,
                   "\n\nCBackupRestore::BackupNmlData !CopyFile1 failed\n\n"},
        FailureRow{"DestinationTooLong", Setup::DestinationTooLong, zr::RC_E_FILE_COPY,
                   "\n\nCBackupRestore::BackupNmlData !CopyFile1 failed\n\n"},
        FailureRow{"RegisterFailsButGoesOn", Setup::RegisterFails, 0,
                   "CBackupRestore::BackupNmlData pTrack->Register() failed\n"},
        FailureRow{"NoSerial", Setup::NoSerial, zr::RC_E_FAIL,
                   "\n\nCBackupRestore::BackupNmlData SdTalvSerial is empty\n\n"}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

}  // namespace
