// Backups made by a real backup and then damaged, restored in the job's own
// order: either the restore is refused and the host is exactly as before
// (nothing made, when the backup check catches it), or a whole library is
// restored with what could not be restored listed. The backup never changes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "support/FileTree.h"
#include "support/HostFixture.h"

namespace {

using zrtest::CJob;

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

enum class Outcome {
    RefusedBeforeAnything,  // the host as before, no folder made
    RefusedHostUnchanged,   // the host as before; the restore's own folders may stay
    Restored,               // a whole library, every path inside RestoreData
};

struct DamageRow {
    const char* name;
    void (*damage)(const std::string& backupData, const std::vector<hostsim::TrackRow>& tracks);
    HRESULT expected;
    Outcome outcome;
    bool oneTrackListed;  // the first track listed as missing (code 1) and kept out
};

void PrintTo(const DamageRow& row, std::ostream* os) { *os << row.name; }

using Tracks = std::vector<hostsim::TrackRow>;

void Remove(const std::string& path) {
    if (zrtest::FolderExists(path)) {
        zrtest::RemoveTree(path);
    } else {
        EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
    }
}

const char kBkd[] = "\\DB\\SDCOREDB\\MovePlugIn.bkd";

void NoBackupData(const std::string& b, const Tracks&) { Remove(b); }
void BackupDataIsAFile(const std::string& b, const Tracks&) {
    Remove(b);
    zrtest::WriteTextFile(b, "not a folder");
}
void NoAudio(const std::string& b, const Tracks&) { Remove(b + "\\Data\\Audio"); }
void NoData(const std::string& b, const Tracks&) { Remove(b + "\\Data"); }
void OneTrackFileMissing(const std::string& b, const Tracks& tracks) { Remove(b + "\\Data\\Audio\\" + tracks[0].path); }
void NoIni(const std::string& b, const Tracks&) { Remove(b + "\\BackupRestore.ini"); }
void GarbageIni(const std::string& b, const Tracks&) {
    zrtest::WriteTextFile(b + "\\BackupRestore.ini", "\x01\x02 garbage");
}
void NoGuiData(const std::string& b, const Tracks&) { Remove(b + "\\GUI(new)"); }
void NoPlaylistFolder(const std::string& b, const Tracks&) { Remove(b + "\\GUI(new)\\UPL"); }
// The host had none of these files: a backup without them is a lawful one.
void NoGuiFiles(const std::string& b, const Tracks&) {
    for (const char* file : {"\\mirs.dat", "\\usrdic.dic", "\\SDProducerRule.dat"}) Remove(b + "\\GUI(new)" + file);
}
// A rename that changes only the case, through another name: the system
// takes a name that differs only so for the same item and keeps it as it was.
void RenameCase(const std::string& folder, const std::string& from, const std::string& to) {
    const std::string aside = folder + "\\renamed-" + to;
    ASSERT_TRUE(MoveFileA((folder + "\\" + from).c_str(), aside.c_str())) << from;
    ASSERT_TRUE(MoveFileA(aside.c_str(), (folder + "\\" + to).c_str())) << to;
}

// A copy that changed the names' case, as some copy programs and media do:
// the system finds the same files, so the backup is whole.
void InCapitals(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find) << folder;
    do {
        if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, "..")) names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    for (const std::string& name : names) {
        std::string upper = name;
        CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
        const std::string path = folder + "\\" + upper;
        if (upper != name) RenameCase(folder, name, upper);
        if (zrtest::FolderExists(path)) InCapitals(path);
    }
}
void DataTreeInCapitals(const std::string& b, const Tracks&) {
    RenameCase(b, "Data", "DATA");
    InCapitals(b + "\\DATA");
    const std::vector<std::string> top = zrtest::Names(b);
    EXPECT_EQ(1, std::count(top.begin(), top.end(), "DATA"));
    EXPECT_EQ((std::vector<std::string>{"AUDIO", "PICTURE"}), zrtest::Names(b + "\\DATA"));
}
void NoContentsDb(const std::string& b, const Tracks&) { Remove(b + "\\DB\\NMLDB\\contents.db"); }
void NoCdb(const std::string& b, const Tracks&) { Remove(b + "\\DB\\NMLDB\\5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb"); }
void BkdEmpty(const std::string& b, const Tracks&) { zrtest::WriteTextFile(b + kBkd, ""); }
void BkdHeaderOnly(const std::string& b, const Tracks&) {
    zrtest::WriteTextFile(b + kBkd, zrtest::ReadTextFile(b + kBkd).substr(0, 60));
}
void BkdCutInHalf(const std::string& b, const Tracks&) {
    const std::string bytes = zrtest::ReadTextFile(b + kBkd);
    zrtest::WriteTextFile(b + kBkd, bytes.substr(0, bytes.size() / 2));
}
void BkdGarbage(const std::string& b, const Tracks&) { zrtest::WriteTextFile(b + kBkd, std::string(1000, '\x5A')); }
void BkdIsAFolder(const std::string& b, const Tracks&) {
    Remove(b + kBkd);
    zrtest::MakeFolder(b + kBkd);
}
void NoBkd(const std::string& b, const Tracks&) { Remove(b + kBkd); }
void NoSecureFolder(const std::string& b, const Tracks&) { Remove(b + "\\DB\\SDCOREDB"); }

const DamageRow kRows[] = {
    {"NoBackupData", NoBackupData, RC(0x86FF0004), Outcome::RefusedBeforeAnything, false},
    {"BackupDataIsAFile", BackupDataIsAFile, RC(0x86FF0004), Outcome::RefusedBeforeAnything, false},
    {"NoAudioFolder", NoAudio, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"NoDataFolder", NoData, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"OneTrackFileMissing", OneTrackFileMissing, 0, Outcome::Restored, true},
    {"NoIni", NoIni, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"GarbageIni", GarbageIni, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"NoGuiData", NoGuiData, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"NoPlaylistFolder", NoPlaylistFolder, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"NoGuiFilesLawful", NoGuiFiles, 0, Outcome::Restored, false},
    {"DataTreeInCapitals", DataTreeInCapitals, 0, Outcome::Restored, false},
    {"NoContentsDb", NoContentsDb, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"NoCdb", NoCdb, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"StreamEmpty", BkdEmpty, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"StreamHeaderOnly", BkdHeaderOnly, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"StreamIsAFolder", BkdIsAFolder, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    {"StreamFolderMissing", NoSecureFolder, RC(0x80004005), Outcome::RefusedBeforeAnything, false},
    // Whole containers with damaged content: the component refuses them before it applies anything.
    {"StreamCutInHalf", BkdCutInHalf, RC(0x8007000D), Outcome::RefusedHostUnchanged, false},
    {"StreamGarbage", BkdGarbage, RC(0x8007000D), Outcome::RefusedHostUnchanged, false},
    // No secure database in the backup: the restore goes on without one, and
    // the host's rights stay with the secure files they are for.
    {"StreamAbsent", NoBkd, 0, Outcome::Restored, false},
};

class DamagedBackup : public zrtest::CBackedUpHost, public ::testing::WithParamInterface<DamageRow> {};

TEST_P(DamagedBackup, IsRefusedWithTheHostAsBeforeOrRestoredWhole) {
    const DamageRow& row = GetParam();
    const Tracks tracks = BackupTracks();
    row.damage(m_backupData, tracks);
    const auto backup = zrtest::Snapshot(m_backupData);
    // Without rights in the backup the host keeps its own, and so the
    // replaced library's secure files: listed, never deleted.
    const bool rightsKept = row.damage == NoBkd;
    std::vector<std::string> kept, keptTitles;
    for (const hostsim::TrackRow& old : zrtest::LoadTracks(m_host.contentsDb)) {
        if (!rightsKept || !zrtest::IsSecure(old) || !zrtest::FileExists(old.path)) continue;
        kept.push_back(old.path);
        keptTitles.push_back(old.title);
    }

    CJob job;
    const HRESULT hr = zrtest::Restore(job, m_backupData, m_dest);
    EXPECT_EQ(row.expected, hr) << std::hex << hr;
    EXPECT_TRUE(backup == zrtest::Snapshot(m_backupData)) << "the backup changed";

    if (row.outcome != Outcome::Restored) {
        EXPECT_EQ(m_hostBefore, zrtest::HostState(m_host));
        if (row.outcome == Outcome::RefusedBeforeAnything) {
            EXPECT_EQ(std::vector<std::string>{}, zrtest::Names(m_dest));
            EXPECT_EQ(std::vector<std::string>{"databases"}, DatabasesFolders());
        }
        return;
    }
    ExpectLibraryInside(m_dest + "\\RestoreData");
    const Tracks restored = zrtest::LoadTracks(m_host.contentsDb);
    EXPECT_EQ(tracks.size() - (row.oneTrackListed ? 1 : 0), restored.size());
    if (row.oneTrackListed) {
        EXPECT_EQ(std::vector<std::string>{tracks[0].title}, job.engine.FailedTitles());
        EXPECT_EQ(std::vector<zr::ItemCode>{zr::ItemCode::Missing}, job.engine.FailedCodes());
    } else {
        EXPECT_EQ(keptTitles, job.engine.FailedTitles());
        EXPECT_EQ(std::vector<zr::ItemCode>(keptTitles.size(), zr::ItemCode::KeptNoRights), job.engine.FailedCodes());
    }
    for (const std::string& file : kept) EXPECT_TRUE(zrtest::FileExists(file)) << file;
    if (rightsKept) {
        EXPECT_FALSE(kept.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, DamagedBackup, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DamageRow>& info) { return std::string(info.param.name); });

}  // namespace
