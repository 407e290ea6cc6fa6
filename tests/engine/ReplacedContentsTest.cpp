// What a restore's finishing step may delete: the audio files of the replaced
// library's secure tracks, and nothing else, however a replaced track's path
// is spelt. Each row points a secure track of the live library somewhere and
// restores a backup on top.
#include <gtest/gtest.h>

#include "hostsim/core/StoredPath.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"

namespace {

// "{sandbox}", "{live}" (the live databases folder), "{dest}" and "{backup}"
// stand for those folders; "{nodrive}" for the sandbox without its drive.
struct DeletionRow {
    const char* name;
    const char* path;  // empty: the track's own file
    const char* file;  // the file that path names
    bool deleted;
    bool leftover;     // the file is there before the restore, as an earlier one left it
};

void PrintTo(const DeletionRow& row, std::ostream* os) { *os << row.name; }

const DeletionRow kRows[] = {
    {"OwnFile", "", "", true, false},
    {"DotDot", "{sandbox}\\Host\\Music\\..\\..\\Sentinel\\keep.wma", "{sandbox}\\Sentinel\\keep.wma", false, false},
    {"ForwardSlash", "{sandbox}/Sentinel/keep.wma", "{sandbox}\\Sentinel\\keep.wma", false, false},
    {"Rooted", "{nodrive}\\Sentinel\\keep.wma", "{sandbox}\\Sentinel\\keep.wma", false, false},
    {"DriveRelative", "C:keep.wma", "{sandbox}\\Sentinel\\keep.wma", false, false},
    {"Relative", "keep.wma", "{sandbox}\\Sentinel\\keep.wma", false, false},
    {"TheRestoredLibrary", "{live}\\contents.db", "{live}\\contents.db", false, false},
    {"TheReplacedLibrary", "{live}.bak\\mirs.db", "{live}.bak\\mirs.db", false, false},
    // An interrupted restore's prepared library, which this restore names around.
    {"ATemporaryLibrary", "{live}.tmp\\mirs.db", "{live}.tmp\\mirs.db", false, true},
    {"ThisRestoreData", "{dest}\\RestoreData\\BackupRestore.ini", "{dest}\\RestoreData\\BackupRestore.ini", false,
     false},
    {"TheBackup", "{backup}\\BackupRestore.ini", "{backup}\\BackupRestore.ini", false, false},
};

class ReplacedContents : public zrtest::CBackedUpHost, public ::testing::WithParamInterface<DeletionRow> {
protected:
    std::string Expand(std::string path) const {
        const std::string sandbox = m_sandbox.Folder();
        const std::pair<std::string, std::string> tokens[] = {{"{sandbox}", sandbox},
                                                              {"{nodrive}", sandbox.substr(2)},
                                                              {"{live}", m_host.databasesFolder},
                                                              {"{dest}", m_dest},
                                                              {"{backup}", m_backupData}};
        for (const auto& token : tokens) {
            for (std::size_t at; (at = path.find(token.first)) != std::string::npos;) {
                path.replace(at, token.first.size(), token.second);
            }
        }
        return path;
    }
};

TEST_P(ReplacedContents, DeletesOnlyTheReplacedSecureFiles) {
    const DeletionRow& row = GetParam();
    zrtest::MakeFolder(m_sandbox.Path("Sentinel"));
    zrtest::WriteTextFile(m_sandbox.Path("Sentinel\\keep.wma"), "a file of nobody's library");
    // The first secure track of the live library names the row's file.
    const std::vector<hostsim::TrackRow> live = zrtest::LoadTracks(m_host.contentsDb);
    unsigned secure = 0;
    while (secure < live.size() && !zrtest::IsSecure(live[secure])) ++secure;
    ASSERT_LT(secure, live.size());
    const std::string file = *row.file ? Expand(row.file) : live[secure].path;
    if (row.leftover) zrtest::MakeTextFile(file, "a library an earlier restore left");
    if (*row.path) {
        std::string error;
        ASSERT_TRUE(hostsim::SetStoredPath(m_host.contentsDb, secure + 1, 0, Expand(row.path), error)) << error;
    }
    const auto backup = zrtest::Snapshot(m_backupData);

    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(previous), previous);
    ASSERT_TRUE(SetCurrentDirectoryA(m_sandbox.Path("Sentinel").c_str()));
    HRESULT hr;
    {
        zrtest::CJob job;
        hr = zrtest::Restore(job, m_backupData, m_dest);
    }
    SetCurrentDirectoryA(previous);
    ASSERT_EQ(0, hr);
    EXPECT_EQ(!row.deleted, zrtest::FileExists(file)) << file;
    EXPECT_TRUE(zrtest::FileExists(m_sandbox.Path("Sentinel\\keep.wma")));
    EXPECT_TRUE(backup == zrtest::Snapshot(m_backupData)) << "the backup changed";
    ExpectLibraryInside(m_dest + "\\RestoreData");
}

INSTANTIATE_TEST_SUITE_P(Rows, ReplacedContents, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DeletionRow>& info) { return std::string(info.param.name); });

}  // namespace
