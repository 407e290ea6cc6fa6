// The folder and path operations every step uses, on real folders.
#include <gtest/gtest.h>

#include "common/ResultCodes.h"
#include "engine/BackupRestore.h"
#include "support/FileTree.h"
#include "support/ImportSlots.h"
#include "support/FakeComponent.h"
#include "support/Sandbox.h"
#include "support/StepsOnly.h"

using Files = std::vector<std::string>;

namespace {

class SharedOpsTest : public ::testing::Test {
protected:
    std::string Make(const std::string& relative, const std::string& content = "x") {
        const std::string path = m_sandbox.Path(relative);
        zrtest::MakeTextFile(path, content);
        return path;
    }

    zrtest::CSandbox m_sandbox;
    zr::CBackupRestore m_engine;
};

TEST_F(SharedOpsTest, CopyFolderReproducesATreeAndOverwrites) {
    Make("src\\a.txt", "new a");
    Make("src\\sub\\b.txt", "b");
    Make("src\\sub\\deeper\\c.txt", "c");
    zrtest::MakeFolder(m_sandbox.Path("src\\empty"));
    Make("dst\\a.txt", "old a");

    EXPECT_EQ(0, m_engine.CopyFolder(m_sandbox.Path("src"), m_sandbox.Path("dst")));
    EXPECT_EQ((Files{"a.txt", "empty\\", "sub\\", "sub\\b.txt", "sub\\deeper\\", "sub\\deeper\\c.txt"}),
              zrtest::ListTree(m_sandbox.Path("dst")));
    EXPECT_EQ("new a", zrtest::ReadTextFile(m_sandbox.Path("dst\\a.txt")));
}

TEST_F(SharedOpsTest, CopyFolderOfAMissingSourceCopiesNothing) {
    zrtest::MakeFolder(m_sandbox.Path("dst"));
    EXPECT_EQ(0, m_engine.CopyFolder(m_sandbox.Path("nothing"), m_sandbox.Path("dst")));
    EXPECT_EQ(Files{}, zrtest::ListTree(m_sandbox.Path("dst")));
}

TEST_F(SharedOpsTest, CopyFolderStopsOnCancelEvenInAnEmptyFolder) {
    zrtest::MakeFolder(m_sandbox.Path("empty"));
    Make("src\\a.txt");
    zrtest::MakeFolder(m_sandbox.Path("dst"));
    m_engine.RequestCancel();
    EXPECT_EQ(1, m_engine.CopyFolder(m_sandbox.Path("empty"), m_sandbox.Path("dst")));
    EXPECT_EQ(1, m_engine.CopyFolder(m_sandbox.Path("src"), m_sandbox.Path("dst")));
    EXPECT_EQ(Files{}, zrtest::ListTree(m_sandbox.Path("dst")));
}

TEST_F(SharedOpsTest, CopyFolderFailures) {
    Make("src\\a.txt");
    // No destination folder: the file cannot be created.
    EXPECT_EQ(zr::RC_E_FILE_COPY, m_engine.CopyFolder(m_sandbox.Path("src"), m_sandbox.Path("missing")));

    // A file where a parent of a subfolder must go.
    Make("src2\\sub\\deep\\b.txt");
    Make("dst2\\sub");
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.CopyFolder(m_sandbox.Path("src2"), m_sandbox.Path("dst2")));

    // A subfolder whose copy would be too long for the system.
    const std::string name(100, 'd');
    Make("src3\\" + name + "\\c.txt");
    const std::string deepDestination = m_sandbox.Path(std::string(MAX_PATH - 60 - m_sandbox.Folder().size(), 'e'));
    zrtest::MakeFolder(deepDestination);
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.CopyFolder(m_sandbox.Path("src3"), deepDestination));

    // A source too long for the system's search is an error, not an empty folder.
    EXPECT_EQ(zr::RC_E_FILE_COPY,
              m_engine.CopyFolder(m_sandbox.Path(std::string(MAX_PATH, 'a')), m_sandbox.Path("dst2")));
}

TEST_F(SharedOpsTest, CopyFolderPostsProgressUpToTheTotal) {
    Make("src\\a.txt");
    Make("src\\b.txt");
    Make("src\\sub\\c.txt");
    zrtest::MakeFolder(m_sandbox.Path("dst"));
    // The progress goes to the job's runner.
    fake::CFakeComponent component;
    zrtest::CStepsOnly runner;
    ASSERT_EQ(0, m_engine.BindLibrary(component.NewLibraryRef(), &runner));
    m_engine.BeginCopyProgress(2);

    EXPECT_EQ(0, m_engine.CopyFolder(m_sandbox.Path("src"), m_sandbox.Path("dst")));
    EXPECT_EQ(2u, m_engine.CopyProgressDone());
    using Post = std::pair<WPARAM, LPARAM>;
    EXPECT_EQ((std::vector<Post>{{1, 2}, {2, 2}}), runner.Collect());

    // Not during a backup.
    m_engine.EndCopyProgress();
    EXPECT_EQ(0, m_engine.CopyFolder(m_sandbox.Path("src"), m_sandbox.Path("dst")));
    EXPECT_EQ(0u, runner.Collect().size());
    m_engine.ReleaseJob();
}

struct UniqueCase {
    const char* name;
    Files existing;  // folders (or "file:" + a file name) below the sandbox
    const char* expected;
};

class CreateUniqueFolderNameTest : public SharedOpsTest, public ::testing::WithParamInterface<UniqueCase> {};

TEST_P(CreateUniqueFolderNameTest, PicksTheFirstFreeName) {
    for (const std::string& item : GetParam().existing) {
        if (item.compare(0, 5, "file:") == 0) {
            Make(item.substr(5));
        } else {
            zrtest::MakeFolder(m_sandbox.Path(item));
        }
    }
    std::string result;
    EXPECT_EQ(0, m_engine.CreateUniqueFolderName(m_sandbox.Path("X\\Album"), result));
    EXPECT_EQ(m_sandbox.Path(GetParam().expected), result);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CreateUniqueFolderNameTest,
    ::testing::Values(UniqueCase{"Free", {"X"}, "X\\Album"},
                      UniqueCase{"Taken", {"X\\Album"}, "X\\Album00000"},
                      UniqueCase{"TwoTaken", {"X\\Album", "X\\Album00000"}, "X\\Album00001"},
                      UniqueCase{"GapIsUsed", {"X\\Album", "X\\Album00001"}, "X\\Album00000"},
                      // A file takes a name as much as a folder does.
                      UniqueCase{"FileTakesTheName", {"file:X\\Album"}, "X\\Album00000"},
                      UniqueCase{"FilesAndFolders", {"file:X\\Album", "X\\Album00000", "file:X\\Album00001"},
                                 "X\\Album00002"}),
    [](const ::testing::TestParamInfo<UniqueCase>& info) { return std::string(info.param.name); });

// Every name below `prefix` reported taken, as the program's own look-ups of
// names see it: 100,000 real folders would take too long to make.
class CNamesTaken {
public:
    explicit CNamesTaken(const std::string& prefix) {
        s_prefix = prefix;
        m_slots = zrtest::ImportSlots("kernel32.dll", "GetFileAttributesA");
        if (m_slots.empty()) return;
        s_real = reinterpret_cast<decltype(&GetFileAttributesA)>(*m_slots.front());
        for (void** slot : m_slots) zrtest::WriteSlot(slot, reinterpret_cast<void*>(&Taken));
    }
    ~CNamesTaken() {
        for (void** slot : m_slots) zrtest::WriteSlot(slot, reinterpret_cast<void*>(s_real));
    }
    bool Installed() const { return !m_slots.empty(); }

private:
    static DWORD WINAPI Taken(LPCSTR path) {
        if (path && std::string(path).compare(0, s_prefix.size(), s_prefix) == 0) return FILE_ATTRIBUTE_DIRECTORY;
        return s_real(path);
    }
    static inline std::string s_prefix;
    static inline decltype(&GetFileAttributesA) s_real = nullptr;
    std::vector<void**> m_slots;
};

TEST_F(SharedOpsTest, CreateUniqueFolderNameFailsWhenEveryNumberIsTaken) {
    const std::string path = m_sandbox.Path("X\\Album");
    std::string result;
    HRESULT hr;
    {
        CNamesTaken taken(path);
        ASSERT_TRUE(taken.Installed());
        hr = m_engine.CreateUniqueFolderName(path, result);
    }
    EXPECT_EQ(zr::RC_E_FAIL, hr);
    EXPECT_EQ(path, result);
}

TEST_F(SharedOpsTest, DeleteFolderRemovesATree) {
    Make("tree\\a.txt");
    Make("tree\\sub\\b.txt");
    zr::CBackupRestore::DeleteFolder(m_sandbox.Path("tree\\"));
    EXPECT_FALSE(zrtest::FolderExists(m_sandbox.Path("tree")));
    zr::CBackupRestore::DeleteFolder(m_sandbox.Path("tree"));  // gone already: nothing happens
    EXPECT_TRUE(zrtest::FolderExists(m_sandbox.Folder()));
}

struct StripCase {
    const char* name;
    const char* path;
    const char* expected;
};

class StripFileNameTest : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripFileNameTest, CutsAtTheLastRealSeparator) {
    ASSERT_EQ(0x411, GetUserDefaultLangID()) << "runs under a Japanese default language";
    std::string buffer = GetParam().path;
    EXPECT_EQ(1, zr::CBackupRestore::StripFileName(&buffer[0]));
    EXPECT_STREQ(GetParam().expected, buffer.c_str());
}

// "表" is 0x95 0x5C and "ソ" is 0x83 0x5C in code page 932.
INSTANTIATE_TEST_SUITE_P(Rows, StripFileNameTest,
                         ::testing::Values(StripCase{"DriveRoot", "C:\\song.wma", "C:"},
                                           StripCase{"Nested", "D:\\A\\Album\\01.wma", "D:\\A\\Album"},
                                           StripCase{"NoSeparator", "song.wma", "song.wma"},
                                           StripCase{"TrailByteAtEnd", "C:\\音楽\\表", "C:\\音楽"},
                                           StripCase{"TrailByteInFolder", "C:\\ソ\\表.wma", "C:\\ソ"},
                                           StripCase{"OnlyTrailBytes", "表ソ", "表ソ"}),
                         [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); });

TEST(StripFileName, RefusesNoBuffer) { EXPECT_EQ(0, zr::CBackupRestore::StripFileName(nullptr)); }

TEST_F(SharedOpsTest, InitBackupDataFolderLeavesAnEmptyFolder) {
    Make("Backup\\BackupData\\DB\\NMLDB\\contents.db");
    Make("Backup\\BackupData\\BackupRestore.ini");
    EXPECT_EQ(0, m_engine.InitBackupDataFolder(m_sandbox.Path("Backup\\BackupData")));
    EXPECT_TRUE(zrtest::FolderExists(m_sandbox.Path("Backup\\BackupData")));
    EXPECT_EQ(Files{}, zrtest::ListTree(m_sandbox.Path("Backup\\BackupData")));

    EXPECT_EQ(0, m_engine.InitBackupDataFolder(m_sandbox.Path("New\\Parent\\BackupData")));
    EXPECT_TRUE(zrtest::FolderExists(m_sandbox.Path("New\\Parent\\BackupData")));
}

// Parts of an old backup left below a new one could be restored later as if
// they were new: a tree that cannot be cleared fails the step. (A read-only
// medium, where the system says access denied, is in the media fault tests.)
TEST_F(SharedOpsTest, InitBackupDataFolderFailsWhenTheOldTreeStays) {
    const std::string backup = m_sandbox.Path("Backup\\BackupData");
    Make("Backup\\BackupData\\GUI(new)\\UPL\\old.m3u");
    const std::string held = Make("Backup\\BackupData\\DB\\NMLDB\\contents.db");
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.InitBackupDataFolder(backup));
    EXPECT_EQ((Files{"DB\\", "DB\\NMLDB\\", "DB\\NMLDB\\contents.db"}), zrtest::ListTree(backup));
    CloseHandle(h);

    EXPECT_EQ(0, m_engine.InitBackupDataFolder(backup));
    EXPECT_EQ(Files{}, zrtest::ListTree(backup));
}

TEST_F(SharedOpsTest, InitBackupDataFolderReportsAFolderThatCannotBeMade) {
    Make("Blocked");
    EXPECT_EQ(zr::RC_E_FOLDER_CREATE, m_engine.InitBackupDataFolder(m_sandbox.Path("Blocked\\BackupData")));
}

}  // namespace
