// Copies that fail halfway: a folder listing that breaks off, and GUI data of
// the host that cannot be read. Neither may pass for a whole copy, and the
// latter is no fault of the user's backup folder.
#include <gtest/gtest.h>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/BackupRestore.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

namespace {

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;

bool Contains(const std::string& s, const std::string& part) {
    return zr::FoldCase(s).find(zr::FoldCase(part)) != std::string::npos;
}

TEST(CopyFolderListing, ThatBreaksOffFailsTheCopy) {
    zrtest::CSandbox sandbox;
    for (const char* file : {"src\\a.txt", "src\\b.txt", "src\\sub\\c.txt", "src\\sub\\d.txt"}) {
        zrtest::MakeFolder(zr::FolderPart(sandbox.Path(file)));
        zrtest::WriteTextFile(sandbox.Path(file), file);
    }
    // The listing of the top folder, then of its subfolder, breaks off.
    const char* const patterns[] = {"\\src\\*", "\\sub\\*"};
    for (int i = 0; i < 2; ++i) {
        const char* where = patterns[i];
        SCOPED_TRACE(where);
        const std::string destination = sandbox.Path("dst" + std::to_string(i));
        zrtest::MakeFolder(destination);
        zr::CBackupRestore engine;
        HRESULT hr;
        zr::CopyFailure failure;
        {
            // The network went away, say: the entries after the first are never seen.
            CFileFaults faults(
                [&](const FileCall& c, int) { return c.op == FileOp::FindNextFile && Contains(c.path, where); },
                ERROR_NETNAME_DELETED);
            hr = engine.CopyFolder(sandbox.Path("src"), destination, &failure);
        }
        EXPECT_EQ(zr::RC_E_FILE_COPY, hr);
        EXPECT_TRUE(failure.sourceUnreadable);
    }
}

// The first host 7.0 with all four items of GUI data in the shared folder.
class GuiBackupSource : public ::testing::Test {
protected:
    void SetUp() override {
        zrtest::RedirectShellFolders(m_sandbox.Folder());
        zrtest::InstallTalvane(m_sandbox.Path("Talvane"), 7, 0);
        m_engine.UseFolders({m_sandbox.Path("Talvane"), "", ""});
        for (const char* item : {"UserPlaylist\\list.m3u", "mirs.dat", "usrdic.dic", "SDProducerRule.dat"}) {
            const std::string path = m_sandbox.Path(std::string("Common\\Nerith\\SDTL\\") + item);
            zrtest::MakeFolder(zr::FolderPart(path));
            zrtest::WriteTextFile(path, item);
        }
    }

    zrtest::CSandbox m_sandbox;
    zr::CBackupRestore m_engine;
};

struct SourceRow {
    const char* name;
    bool (*fail)(const FileCall& call);
    HRESULT expected;
};

void PrintTo(const SourceRow& row, std::ostream* os) { *os << row.name; }

// A host file nobody may read: the copy and any other opening of it are denied.
bool MirsDatUnreadable(const FileCall& c) {
    return (c.op == FileOp::CopyFile || c.op == FileOp::CreateFile) && Contains(c.path, "\\SDTL\\mirs.dat");
}
bool PlaylistEntryUnreadable(const FileCall& c) {
    return (c.op == FileOp::CopyFile || c.op == FileOp::CreateFile) && Contains(c.path, "\\UserPlaylist\\list.m3u");
}
bool PlaylistFolderUnreadable(const FileCall& c) {
    return c.op == FileOp::FindFirstFile && Contains(c.path, "\\UserPlaylist\\");
}
// The backup's folder refuses the file: that one is the user's choice of folder.
bool BackupRefusesTheFile(const FileCall& c) {
    return c.op == FileOp::CopyFile && Contains(c.target, "\\GUI(new)\\mirs.dat");
}

class GuiBackupSourceFailure : public GuiBackupSource, public ::testing::WithParamInterface<SourceRow> {};

TEST_P(GuiBackupSourceFailure, IsAFailedCopyUnlessTheBackupRefusedIt) {
    const SourceRow& row = GetParam();
    HRESULT hr;
    {
        CFileFaults faults([&](const FileCall& c, int) { return row.fail(c); }, ERROR_ACCESS_DENIED);
        hr = m_engine.BackupGuiData(m_sandbox.Path("Backup\\BackupData"));
    }
    EXPECT_EQ(row.expected, hr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GuiBackupSourceFailure,
    ::testing::Values(SourceRow{"HostFileUnreadable", MirsDatUnreadable, zr::RC_E_FILE_COPY},
                      SourceRow{"PlaylistEntryUnreadable", PlaylistEntryUnreadable, zr::RC_E_FILE_COPY},
                      SourceRow{"PlaylistFolderUnreadable", PlaylistFolderUnreadable, zr::RC_E_FILE_COPY},
                      SourceRow{"BackupRefusesTheFile", BackupRefusesTheFile, zr::RC_E_ACCESSDENIED}),
    [](const ::testing::TestParamInfo<SourceRow>& info) { return std::string(info.param.name); });

}  // namespace
