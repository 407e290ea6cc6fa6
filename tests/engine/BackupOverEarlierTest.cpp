// A backup onto an earlier one, ended in every way it can end, through the
// job's own step sequence on a stand-in host: a cancel at several moments,
// the stand-in's faults, the disk failing, no serial, the music's drive gone,
// the earlier backup holding the library through a second drive letter or
// holding a link to the user's own files. Whatever happens, the chosen folder
// holds exactly one whole BackupData (the earlier one, or the new one once it
// is whole), which a second PC restores whole, and nothing of the host or of
// the user's outside what the tool owns changed.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "engine/JobJournal.h"
#include "engine/Recovery.h"
#include "engine/SwapBeside.h"
#include "hostsim/core/Faults.h"
#include "hostsim/core/StoredPath.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/UnixLinks.h"

namespace {

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;
using Snapshot = std::map<std::string, std::string>;

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

// The job runner's side as the progress dialog has it: a cancel confirmed
// at a chosen moment sets both flags; a failed or cancelled job's tree is
// deleted afterwards, as the dialog deletes it.
struct CDialogLikeRunner : zrtest::CStepsOnly {
    bool IsCancelled() override {
        ++m_nChecks;
        if (m_nCancelAtCheck && m_nChecks == m_nCancelAtCheck) Cancel();
        return m_bCancelled;
    }
    void BackupTreeTouched(const std::string& tree) override { m_strTree = tree; }
    zr::IJournal* Journal() override { return m_pJournal; }
    void Cancel() {
        m_bCancelled = true;
        if (m_pEngine) m_pEngine->RequestCancel();
    }
    void EndJob(HRESULT result) {
        if (result != zr::RC_OK && !m_strTree.empty()) zr::CBackupRestore::DeleteFolder(m_strTree);
    }

    zr::CBackupRestore* m_pEngine = nullptr;
    zr::IJournal* m_pJournal = nullptr;
    int m_nCancelAtCheck = 0;  // the runner's own check between steps: 1 after the check, 5 at the database phase
    int m_nChecks = 0;
    bool m_bCancelled = false;
    std::string m_strTree;
};

// The first PC, its earlier backup made, about to be backed up again.
struct Scene {
    hostsim::InstalledHost host;
    std::string chosen;      // the folder the user chose
    std::string backupData;  // chosen + "\BackupData"
    std::string music;       // where the library's content files are now
    CDialogLikeRunner* runner = nullptr;
    std::unique_ptr<CFileFaults> faults;
    std::function<void()> undo;  // puts the row's own change back
    std::unique_ptr<zrtest::CExtraDrive> drive;
};

enum class Ends {
    EarlierKept,  // the earlier backup, as it was
    NewOne,       // the new backup, whole
};

struct BackupRow {
    const char* name;
    void (*arrange)(Scene& s);
    HRESULT expected;
    Ends ends;
};

void PrintTo(const BackupRow& row, std::ostream* os) { *os << row.name; }

void Fault(const char* name, const std::string& value) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, value);
}

bool Contains(const std::string& s, const std::string& part) {
    return zr::FoldCase(s).find(zr::FoldCase(part)) != std::string::npos;
}

// ---- Arrangements

void Nothing(Scene&) {}
void CancelAt(Scene& s, int check) { s.runner->m_nCancelAtCheck = check; }
void CancelAfterTheCheck(Scene& s) { CancelAt(s, 1); }
void CancelAfterTheTreeIsMade(Scene& s) { CancelAt(s, 2); }
void CancelAfterTheGuiData(Scene& s) { CancelAt(s, 3); }
void CancelAfterTheTracks(Scene& s) { CancelAt(s, 4); }
void CancelAsTheDatabasePhaseBegins(Scene& s) { CancelAt(s, 5); }
// The user says yes while the third track's file is being copied.
void CancelMidwayThroughTheTracks(Scene& s) {
    auto copies = std::make_shared<int>(0);
    CDialogLikeRunner* runner = s.runner;
    s.faults = std::make_unique<CFileFaults>([copies, runner](const FileCall& c, int) {
        if (c.op == FileOp::CopyFile && Contains(c.target, "\\Data\\Audio\\") && ++*copies == 3) runner->Cancel();
        return false;
    });
}
void DiskFailsWritingATrack(Scene& s) {
    auto copies = std::make_shared<int>(0);
    s.faults = std::make_unique<CFileFaults>(
        [copies](const FileCall& c, int) {
            return c.op == FileOp::CopyFile && Contains(c.target, "\\Data\\Audio\\") && ++*copies == 3;
        },
        ERROR_DISK_FULL);
}
void DiskFailsWritingTheSecureDatabase(Scene& s) {
    s.faults = std::make_unique<CFileFaults>(
        [](const FileCall& c, int) { return c.op == FileOp::WriteFile; }, ERROR_DISK_FULL);
    // Only the stream writes through WriteFile; the copies go by CopyFileA.
}
// The first move onto the name fails (the earlier one, moved aside, comes back).
void NewTreeCannotTakeTheName(Scene& s) {
    const std::string backupData = s.backupData;
    auto failed = std::make_shared<bool>(false);
    s.faults = std::make_unique<CFileFaults>([backupData, failed](const FileCall& c, int) {
        if (*failed || c.op != FileOp::MoveFile || zr::FoldCase(c.target) != zr::FoldCase(backupData)) return false;
        return *failed = true;
    });
}
void EarlierCannotGoAside(Scene& s) {
    const std::string backupData = s.backupData;
    s.faults = std::make_unique<CFileFaults>([backupData](const FileCall& c, int) {
        return c.op == FileOp::MoveFile && zr::FoldCase(c.path) == zr::FoldCase(backupData);
    });
}
void ModuleOpenDatabaseFails(Scene&) { Fault("OpenDatabase", "0x80004005"); }
void ModuleCloseDatabaseFails(Scene&) { Fault("CloseDatabase", "0x80004005"); }
void ModuleCreateDeviceFails(Scene&) { Fault("CreateDevice1", "0x80004005"); }
void ModuleRefusesATrack(Scene& s) { Fault("Register", "0x80004005|" + zrtest::LoadTracks(s.host.contentsDb)[2].title); }
void ModuleRefusesASecureTrack(Scene&) { Fault("AddMoveContent", "0x80004005"); }
void NoSerial(Scene& s) {
    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial");
    s.undo = [serial] { zrtest::SetSerial(serial); };
}
// The drive with the music is not plugged in: no track's file is there.
void MusicDriveGone(Scene& s) {
    const std::string away = s.host.musicRoot + ".away";
    ASSERT_TRUE(MoveFileA(s.host.musicRoot.c_str(), away.c_str()));
    const std::string root = s.host.musicRoot;
    s.undo = [root, away] { MoveFileA(away.c_str(), root.c_str()); };
}
// The earlier backup holds the library's music, which the library reaches
// through a second drive letter for that backup.
void MusicInTheEarlierBackupThroughASecondDrive(Scene& s) {
    const std::string inside = s.backupData + "\\Music";
    ASSERT_TRUE(MoveFileA(s.host.musicRoot.c_str(), inside.c_str()));
    s.drive = std::make_unique<zrtest::CExtraDrive>(s.backupData);
    ASSERT_TRUE(s.drive->Ok());
    const std::vector<hostsim::TrackRow> tracks = zrtest::LoadTracks(s.host.contentsDb);
    for (unsigned i = 0; i < tracks.size(); ++i) {
        if (tracks[i].path.rfind(s.host.musicRoot, 0) != 0) continue;
        const std::string moved = s.drive->Root() + "Music" + tracks[i].path.substr(s.host.musicRoot.size());
        std::string error;
        ASSERT_TRUE(hostsim::SetStoredPath(s.host.contentsDb, i + 1, 0, moved, error)) << error;
    }
    s.music = inside;
}
// A link inside the earlier backup to a folder of the user's own files.
const char kUsersOwn[] = "\\Own";
void LinkToTheUsersFiles(Scene& s) {
    const std::string own = zr::FolderPart(s.chosen) + kUsersOwn;
    zrtest::MakeTextFile(own + "\\letter.txt", "the user's");
    ASSERT_TRUE(zrtest::MakeUnixLink(s.backupData + "\\Data\\Audio\\Own", own));
    // Wherever the earlier backup went, the link goes before the scratch folder.
    const std::string backupData = s.backupData;
    s.undo = [backupData] {
        for (const std::string& tree : {backupData, backupData + ".bak"}) {
            if (zrtest::FolderExists(tree + "\\Data\\Audio\\Own")) zrtest::RemoveUnixLink(tree + "\\Data\\Audio\\Own");
        }
    };
}

// ---- The table

const BackupRow kRows[] = {
    {"Completes", Nothing, 0, Ends::NewOne},
    {"CancelAfterTheCheck", CancelAfterTheCheck, 1, Ends::EarlierKept},
    {"CancelAfterTheTreeIsMade", CancelAfterTheTreeIsMade, 1, Ends::EarlierKept},
    {"CancelAfterTheGuiData", CancelAfterTheGuiData, 1, Ends::EarlierKept},
    {"CancelAfterTheTracks", CancelAfterTheTracks, 1, Ends::EarlierKept},
    {"CancelAsTheDatabasePhaseBegins", CancelAsTheDatabasePhaseBegins, 1, Ends::EarlierKept},
    {"CancelMidwayThroughTheTracks", CancelMidwayThroughTheTracks, 1, Ends::EarlierKept},
    {"DiskFailsWritingATrack", DiskFailsWritingATrack, RC(0x86FF0002), Ends::EarlierKept},
    {"DiskFailsWritingTheSecureDatabase", DiskFailsWritingTheSecureDatabase, RC(0x8F000005), Ends::EarlierKept},
    {"NewTreeCannotTakeTheName", NewTreeCannotTakeTheName, RC(0x80004005), Ends::EarlierKept},
    {"EarlierCannotGoAside", EarlierCannotGoAside, RC(0x80004005), Ends::EarlierKept},
    {"ModuleOpenDatabaseFails", ModuleOpenDatabaseFails, RC(0x80004005), Ends::EarlierKept},
    {"ModuleCloseDatabaseFails", ModuleCloseDatabaseFails, RC(0x80004005), Ends::EarlierKept},
    {"ModuleCreateDeviceFails", ModuleCreateDeviceFails, RC(0x80004005), Ends::EarlierKept},
    {"ModuleRefusesATrack", ModuleRefusesATrack, 0, Ends::NewOne},
    {"ModuleRefusesASecureTrack", ModuleRefusesASecureTrack, 0, Ends::NewOne},
    {"NoSerial", NoSerial, RC(0x80004005), Ends::EarlierKept},
    {"MusicDriveGone", MusicDriveGone, RC(0x80004005), Ends::EarlierKept},
    {"MusicInTheEarlierBackupThroughASecondDrive", MusicInTheEarlierBackupThroughASecondDrive, RC(0x86FF0005),
     Ends::EarlierKept},
    {"LinkToTheUsersFilesInTheEarlier", LinkToTheUsersFiles, 0, Ends::NewOne},
};

// A small library: three tracks in one folder, one of them secure, all there.
hostsim::LibraryOptions SmallLibrary() {
    hostsim::LibraryOptions library;
    library.tracks = 3;
    library.folders = 1;
    library.fileSize = 100;
    library.picturesPerTrack = 1;
    library.secureTracks = 1;
    library.missingTracks = 0;
    return library;
}

// What the second PC shows of a restored library: each track's title and
// content, the GUI file that tells the two backups apart.
struct Restored {
    std::vector<std::string> tracks;  // "title=bytes", in the library's order
    std::string mirsDat;
};

Restored LibraryOf(const hostsim::InstalledHost& host) {
    Restored r;
    for (const hostsim::TrackRow& row : zrtest::LoadTracks(host.contentsDb)) {
        r.tracks.push_back(row.title + "=" + (zrtest::FileExists(row.path) ? zrtest::ReadTextFile(row.path) : "<none>"));
    }
    r.mirsDat = zrtest::ReadTextFile(host.mirsDat);
    return r;
}

// Restores a backup on a second PC of its own and shows what it got.
::testing::AssertionResult RestoreOnASecondPc(const std::string& backupData, Restored& got) {
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost host;
    hostsim::LibraryOptions library = SmallLibrary();
    library.musicRoot = sandbox.Path("OtherMusic");
    if (!zrtest::InstallHostWithLibrary(sandbox, library, host)) return ::testing::AssertionFailure() << "no host";
    zrtest::MakeFolder(sandbox.Path("Dest"));
    zrtest::CJob job;
    const HRESULT hr = zrtest::Restore(job, backupData, sandbox.Path("Dest"));
    if (hr != 0) return ::testing::AssertionFailure() << "the restore failed with 0x" << std::hex << hr;
    got = LibraryOf(host);
    return ::testing::AssertionSuccess();
}

class BackupOverEarlier : public ::testing::TestWithParam<BackupRow> {};

TEST_P(BackupOverEarlier, LeavesOneWholeBackup) {
    const BackupRow& row = GetParam();
    zrtest::CScratch scratch("backup");
    Scene s;
    s.chosen = scratch.Folder() + "\\Chosen";
    s.backupData = s.chosen + "\\BackupData";
    zrtest::MakeTextFile(s.chosen + "\\notes.txt", "the user's notes");

    Restored before;    // the library as it was backed up
    Snapshot earlier;   // the earlier backup, once the row arranged it
    HRESULT hr = E_FAIL;
    std::vector<zr::FailedItem> listed;
    {
        zrtest::CSandbox sandbox;
        hostsim::LibraryOptions library;
        library.tracks = 6;
        library.folders = 2;
        library.fileSize = 300;
        library.picturesPerTrack = 1;
        library.secureTracks = 2;
        library.missingTracks = 0;
        ASSERT_TRUE(zrtest::InstallHostWithLibrary(sandbox, library, s.host));
        s.music = s.host.musicRoot;
        zrtest::WriteTextFile(s.host.mirsDat, "earlier");
        ASSERT_TRUE(zrtest::BackUp(s.backupData));
        zrtest::WriteTextFile(s.host.mirsDat, "new");
        before = LibraryOf(s.host);

        CDialogLikeRunner runner;
        s.runner = &runner;
        row.arrange(s);
        if (HasFatalFailure()) return;
        earlier = zrtest::Snapshot(s.backupData);
        const std::string hostBefore = zrtest::HostState(s.host);
        const Snapshot musicBefore = zrtest::Snapshot(s.music);
        {
            zr::CBackupRestore engine;
            runner.m_pEngine = &engine;
            hr = engine.Initialize(runner);
            ASSERT_EQ(0, hr);
            hr = zr::RunBackupSteps(engine, s.backupData, runner);
            engine.ReleaseJob();
            listed = engine.FailedItems();
        }
        s.faults.reset();
        runner.EndJob(hr);
        EXPECT_EQ(row.expected, hr) << std::hex << hr;
        // Nothing of the host changed, its music included.
        EXPECT_EQ(hostBefore, zrtest::HostState(s.host));
        EXPECT_TRUE(musicBefore == zrtest::Snapshot(s.music)) << "the music changed";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey);
        if (s.undo) s.undo();
        s.drive.reset();
    }

    // Exactly one BackupData beside the user's own file. Under Wine no call
    // removes a link itself: the earlier backup's folder then stays beside the
    // new one with the link alone in it, and the job says so.
    const bool linkRow = row.arrange == LinkToTheUsersFiles;
    std::vector<std::string> expectedNames = {"BackupData", "notes.txt"};
    if (linkRow && zrtest::FolderExists(s.backupData + ".bak")) {
        expectedNames.insert(expectedNames.begin() + 1, "BackupData.bak");
        EXPECT_EQ(std::vector<std::string>{"Data"}, zrtest::Names(s.backupData + ".bak"));
        bool told = false;
        for (const zr::FailedItem& item : listed) told = told || item.code == zr::ItemCode::NotRemoved;
        EXPECT_TRUE(told) << "the earlier backup's remains were not listed";
    }
    EXPECT_EQ(expectedNames, zrtest::Names(s.chosen));
    if (linkRow) {
        EXPECT_EQ("the user's", zrtest::ReadTextFile(zr::FolderPart(s.chosen) + kUsersOwn + "\\letter.txt"));
    }
    EXPECT_EQ("the user's notes", zrtest::ReadTextFile(s.chosen + "\\notes.txt"));
    if (row.ends == Ends::EarlierKept) {
        EXPECT_TRUE(earlier == zrtest::Snapshot(s.backupData)) << "the earlier backup changed";
    }

    // A second PC restores it whole: the library as it was, and the GUI data
    // of the backup that is there.
    if (row.ends == Ends::EarlierKept && row.arrange == MusicInTheEarlierBackupThroughASecondDrive) return;
    Restored restored;
    ASSERT_TRUE(RestoreOnASecondPc(s.backupData, restored));
    EXPECT_EQ(row.ends == Ends::NewOne ? "new" : "earlier", restored.mirsDat);
    std::vector<std::string> expectedTracks = before.tracks;
    if (row.arrange == ModuleRefusesATrack && row.ends == Ends::NewOne) expectedTracks.erase(expectedTracks.begin() + 2);
    EXPECT_EQ(expectedTracks, restored.tracks);
}

INSTANTIATE_TEST_SUITE_P(Rows, BackupOverEarlier, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<BackupRow>& info) { return std::string(info.param.name); });



// ---- A failure at any moment: the Nth file operation of a backup onto an
// earlier one fails (once, or every one from then on, as on a drive pulled
// out). The job's own end puts right what its record names, as the progress
// dialog's does; what it cannot (every operation failing) the next start or
// the next backup into the folder puts right. Either way the folder then
// holds one whole BackupData: the earlier one, or the new one.

class BackupFaults : public ::testing::TestWithParam<bool> {};

TEST_P(BackupFaults, TheNthFileOperationFails) {
    const bool persistent = GetParam();
    zrtest::CScratch scratch("backup");
    const std::string chosen = scratch.Folder() + "\\Chosen";
    const std::string backupData = chosen + "\\BackupData";
    const std::string pristine = scratch.Folder() + "\\Pristine";
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost host;
    ASSERT_TRUE(zrtest::InstallHostWithLibrary(sandbox, SmallLibrary(), host));
    zrtest::WriteTextFile(host.mirsDat, "earlier");
    ASSERT_TRUE(zrtest::BackUp(pristine + "\\BackupData"));
    const Snapshot earlier = zrtest::Snapshot(pristine + "\\BackupData");
    zrtest::WriteTextFile(host.mirsDat, "new");

    auto reset = [&] {
        zrtest::RemoveTree(chosen);
        for (const auto& file : earlier) zrtest::MakeTextFile(backupData + "\\" + file.first, file.second);
        zrtest::MakeTextFile(chosen + "\\notes.txt", "the user's notes");
    };
    // The new backup as a run without failures leaves it.
    reset();
    ASSERT_TRUE(zrtest::BackUp(backupData));
    const Snapshot whole = zrtest::Snapshot(backupData);
    ASSERT_FALSE(earlier == whole);

    int completedAfter = 0;
    std::map<std::string, int> seen;
    for (int n = 1; n < 1000; ++n) {
        reset();
        HRESULT hr;
        int calls = 0;
        std::string failedCall;
        {
            zr::CJobJournal journal;
            ASSERT_TRUE(journal.Open("backup", {backupData, ""}));
            CDialogLikeRunner runner;
            runner.m_pJournal = &journal;
            zr::CBackupRestore engine;
            ASSERT_EQ(0, engine.Initialize(runner));
            {
                CFileFaults faults([&](const FileCall& call, int number) {
                    if (number == n) failedCall = std::string(enginetest::FileOpName(call.op)) + " " + call.path;
                    return persistent ? number >= n : number == n;
                });
                hr = zr::RunBackupSteps(engine, backupData, runner);
                engine.ReleaseJob();
                calls = faults.Calls();
                // The job's end, on the same failing drive.
                zr::EndJobRecord(journal, hr == zr::RC_OK);
            }
            journal.Keep();
        }
        // The next backup into the folder, or the next start, with the drive back.
        zr::PutRightBackupsInto(backupData);
        SCOPED_TRACE("N=" + std::to_string(n) + ": " + failedCall);
        EXPECT_EQ((std::vector<std::string>{"BackupData", "notes.txt"}), zrtest::Names(chosen));
        const Snapshot now = zrtest::Snapshot(backupData);
        const bool isEarlier = now == earlier, isNew = now == whole;
        EXPECT_TRUE(isEarlier || isNew) << "the folder holds neither backup whole: "
                                         << ::testing::PrintToString(zrtest::ListTree(backupData));
        EXPECT_EQ(isNew, hr == zr::RC_OK) << std::hex << hr;
        ++seen[isNew ? "new backup" : "earlier backup"];
        EXPECT_EQ(0u, zr::CJobJournal::ReadLeftRecords().size())
            << "a record was left behind";
        if (calls < n) {
            completedAfter = calls;
            break;
        }
        if (HasFailure()) break;
    }
    EXPECT_GT(completedAfter, 30) << "a backup takes more file operations than that";
    std::printf("%s faults: the run with N = %d completed;", persistent ? "persistent" : "single", completedAfter + 1);
    for (const auto& entry : seen) std::printf(" %s %d runs;", entry.first.c_str(), entry.second);
    std::printf("\n");
}

INSTANTIATE_TEST_SUITE_P(Modes, BackupFaults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "FromThenOn" : "Once");
                         });

}  // namespace
