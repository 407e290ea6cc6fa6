// What lies at a job's edges, through the job's own step sequence on a stand-in
// host: folders chosen inside what a restore replaces or a backup deletes,
// GUI data that cannot be put back, an earlier backup that holds the host's
// own files, a component that opens only copies, a track the library will
// not register, a backup on read-only media, odd names beside the library.
// Every row is refused with the host, the backup and the folders exactly as
// before, or done with nothing of the user's lost.
#include <gtest/gtest.h>

#include <memory>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "hostsim/core/Faults.h"
#include "hostsim/core/StoredPath.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"

namespace {

using enginetest::CFileFaults;
using enginetest::FileCall;
using enginetest::FileOp;
using hostsim::TrackRow;
using zrtest::CJob;

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

// What a row works on; its arrangement may move the backup, pick another
// destination or relocate the host's library.
struct Scene {
    hostsim::InstalledHost& host;
    const zrtest::CSandbox& sandbox;
    std::string backupData;  // the tree the job writes (backup) or reads (restore)
    std::string restoreTo;
    std::vector<TrackRow> backupTracks;  // the fixture's backup, before the row changed anything
    std::unique_ptr<CFileFaults> faults;  // failures while the job runs
    const CJob* job = nullptr;            // once the job has run
};

enum class Job { Backup, Restore };
enum class Outcome {
    Refused,  // the host, the backup and the chosen folders as before
    Done,     // the job completed; the row's check says what it kept
};

struct EdgeRow {
    const char* name;
    unsigned major, minor;  // the first host's version
    bool relocated;         // the library in a relocated databases folder
    Job job;
    void (*arrange)(Scene& scene);
    HRESULT expected;
    Outcome outcome;
    void (*check)(Scene& scene);  // Done rows
};

void PrintTo(const EdgeRow& row, std::ostream* os) { *os << row.name; }

std::string Live(const Scene& s) { return s.host.databasesFolder; }
std::string LiveParent(const Scene& s) { return zr::FolderPart(Live(s)); }

void MoveTree(const std::string& from, const std::string& to) {
    zrtest::MakeFolder(zr::FolderPart(to));
    ASSERT_TRUE(MoveFileExA(from.c_str(), to.c_str(), 0)) << from << " -> " << to;
}

// The backup moved to `folder`\BackupData.
void MoveBackupTo(Scene& s, const std::string& folder) {
    const std::string moved = folder + "\\BackupData";
    MoveTree(s.backupData, moved);
    s.backupData = moved;
}

// The host's library moved into `folder` and listed as relocated there.
void RelocateLibraryTo(Scene& s, const std::string& folder) {
    MoveTree(Live(s), folder);
    zrtest::ListRelocation(s.host, folder);
}

// The first track of the live library with a file and, when asked, pictures
// and no secure flag (1-based, as the listing numbers it).
unsigned LiveTrack(const Scene& s, bool ordinaryWithPictures) {
    const std::vector<TrackRow> tracks = zrtest::LoadTracks(s.host.contentsDb);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (!zrtest::FileExists(tracks[i].path)) continue;
        if (ordinaryWithPictures && (zrtest::IsSecure(tracks[i]) || tracks[i].pictures.empty())) continue;
        return static_cast<unsigned>(i + 1);
    }
    ADD_FAILURE() << "no such track";
    return 1;
}

// A file of the live library (a track's own, or its first picture) moved
// into the earlier backup, and the library pointed at it there.
void MoveLibraryFileIntoBackup(Scene& s, unsigned picture) {
    const unsigned track = LiveTrack(s, picture > 0);
    const TrackRow row = zrtest::LoadTracks(s.host.contentsDb)[track - 1];
    const std::string from = picture ? row.pictures[0] : row.path;
    const std::string to = s.backupData + "\\Kept\\" + zr::FileNamePart(from);
    zrtest::MakeFolder(zr::FolderPart(to));
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), TRUE));
    std::string error;
    ASSERT_TRUE(hostsim::SetStoredPath(s.host.contentsDb, track, picture, to, error)) << error;
}

void Fault(const char* name, const std::string& value) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, value);
}

// Copies into the host's GUI item at `target` (to any name that begins with
// it) fail, as a copy from a worn disc does.
void FailCopiesInto(Scene& s, const std::string& target) {
    const std::string prefix = zr::FoldCase(target);
    s.faults = std::make_unique<CFileFaults>(
        [prefix](const FileCall& c, int) {
            return c.op == FileOp::CopyFile && zr::FoldCase(c.target).compare(0, prefix.size(), prefix) == 0;
        },
        ERROR_CRC);
}

void ForEachFile(const std::string& folder, void (*action)(const std::string& path)) {
    for (const auto& file : zrtest::Snapshot(folder)) action(folder + "\\" + file.first);
}

void ExpectWritable(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << path;
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY) << path;
}

zr::ItemCode Listed(const Scene& s, const std::string& title) { return zrtest::ListedWith(*s.job, title); }

std::vector<TrackRow> LiveTracks(const Scene& s) { return zrtest::LoadTracks(s.host.contentsDb); }

// ---- Arrangements and checks, by the row that uses them.

// A restore's folders inside what it replaces or moves.
void IntoThePlaylistFolder(Scene& s) {
    s.restoreTo = s.host.playlistFolder + "\\Sub";
    zrtest::MakeFolder(s.restoreTo);
}
void IntoADatabasesBakFolder(Scene& s) {
    s.restoreTo = LiveParent(s) + "\\databases.bak00002\\Music";
    zrtest::MakeFolder(s.restoreTo);
}
void IntoADatabasesTmpFolder(Scene& s) {
    s.restoreTo = zr::FoldCase(Live(s)) + ".TMP";
    zrtest::MakeFolder(s.restoreTo);
}
void FromInsideThePlaylistFolder(Scene& s) { MoveBackupTo(s, s.host.playlistFolder + "\\Kept"); }
void FromInsideTheLiveLibrary(Scene& s) { MoveBackupTo(s, Live(s) + "\\Kept"); }
void FromABackupHoldingTheLiveLibrary(Scene& s) { RelocateLibraryTo(s, s.backupData + "\\Library\\databases"); }

// GUI data that cannot be put back.
void BackupMirsDatIsAFolder(Scene& s) {
    const std::string item = s.backupData + "\\GUI(new)\\mirs.dat";
    ASSERT_TRUE(DeleteFileA(item.c_str()));
    zrtest::MakeFolder(item);
}
void MirsDatCopyFails(Scene& s) { FailCopiesInto(s, s.host.mirsDat); }
void PlaylistCopyFails(Scene& s) { FailCopiesInto(s, s.host.playlistFolder); }

// An earlier backup, about to be replaced, that holds the host's own files.
void EarlierBackupHoldsATrackFile(Scene& s) { MoveLibraryFileIntoBackup(s, 0); }
void EarlierBackupHoldsAPicture(Scene& s) { MoveLibraryFileIntoBackup(s, 1); }
void EarlierBackupHoldsTheLiveLibrary(Scene& s) { FromABackupHoldingTheLiveLibrary(s); }
// A host before 6.7 keeps its GUI data in its program folder: moved into the
// earlier backup, that folder holds no library file, only the GUI data.
void EarlierBackupHoldsTheProgramFolder(Scene& s) {
    ASSERT_FALSE(s.host.sharedGuiLayout);
    const std::string moved = s.backupData + "\\Kept\\" + zr::FileNamePart(s.host.programFolder);
    MoveTree(s.host.programFolder, moved);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, s.host.settingsKey, "Dovr_Program_Path", moved);
    s.host.programFolder = moved;
    s.host.deviceIni = moved + "\\" + zr::FileNamePart(s.host.deviceIni);
    for (std::string* item : {&s.host.playlistFolder, &s.host.mirsDat, &s.host.usrdicDic}) {
        *item = moved + "\\" + zr::FileNamePart(*item);
    }
}
void BackupIntoThePlaylistFolder(Scene& s) { s.backupData = s.host.playlistFolder + "\\Sub\\BackupData"; }

// A fresh backup folder for rows that back up the host again.
void NewBackupFolder(Scene& s) { s.backupData = s.sandbox.Path("Second\\BackupData"); }

void StrictComponent(Scene& s) {
    NewBackupFolder(s);
    Fault("StrictLiveDatabase", "0x80070005|" + s.host.contentsDb);
}
void BackedUpWhole(Scene& s) {
    EXPECT_EQ(std::vector<std::string>{}, s.job->engine.FailedTitles());
    EXPECT_EQ(s.backupTracks.size(), zrtest::LoadTracks(s.backupData + "\\DB\\NMLDB\\contents.db").size());
}

std::string RefusedTitle(const Scene& s) { return s.backupTracks[1].title; }
void RegisterRefused(Scene& s) {
    NewBackupFolder(s);
    Fault("Register", "0x80004005|" + RefusedTitle(s));
}
void ListedAndKeptOut(Scene& s, const std::string& title) {
    EXPECT_EQ(zr::ItemCode::NotRegistered, Listed(s, title));
    const std::vector<TrackRow> backup = zrtest::LoadTracks(s.backupData + "\\DB\\NMLDB\\contents.db");
    EXPECT_EQ(s.backupTracks.size() - 1, backup.size());
    for (const TrackRow& row : backup) {
        EXPECT_NE(title, row.title);
        EXPECT_FALSE(zr::IsPlainAbsolutePath(row.path)) << row.path;
    }
}
void ListedAndKeptOut(Scene& s) { ListedAndKeptOut(s, RefusedTitle(s)); }

// A track whose picture's copy took a name of its own in the fixture's
// backup (another folder's picture of the same name came first), so that its
// picture path changed and the track was registered a second time.
std::string RenamedPictureTitle(const Scene& s) {
    const std::vector<TrackRow> live = LiveTracks(s);
    for (const TrackRow& row : s.backupTracks) {
        for (const TrackRow& was : live) {
            if (was.title != row.title || was.pictures.size() != row.pictures.size()) continue;
            for (std::size_t i = 0; i < row.pictures.size(); ++i) {
                if (zr::FileNamePart(row.pictures[i]) != zr::FileNamePart(was.pictures[i])) return row.title;
            }
        }
    }
    ADD_FAILURE() << "no picture was renamed in the backup";
    return std::string();
}
void SecondRegisterRefused(Scene& s) {
    const std::string title = RenamedPictureTitle(s);
    ASSERT_FALSE(title.empty());
    NewBackupFolder(s);
    Fault("RegisterNewPicturePath", "0x80004005|" + title);
}
void RenamedTrackListedAndKeptOut(Scene& s) { ListedAndKeptOut(s, RenamedPictureTitle(s)); }

// Two tracks' own pictures in one folder, named apart only by a trail byte
// ("ア" is 0x83 0x41, "ヂ" 0x83 0x61): two files, each backed up with its bytes.
const char* const kTrailBytePictures[] = {"ア.jpg", "ヂ.jpg"};
void PicturesNamedApartByATrailByte(Scene& s) {
    NewBackupFolder(s);
    const std::vector<TrackRow> tracks = LiveTracks(s);
    unsigned named = 0;
    for (unsigned i = 0; i < tracks.size() && named < 2; ++i) {
        if (zrtest::IsSecure(tracks[i]) || tracks[i].pictures.size() < 2) continue;
        const std::string own = s.host.pictureFolder + "\\" + kTrailBytePictures[named++];
        ASSERT_TRUE(CopyFileA(tracks[i].pictures[1].c_str(), own.c_str(), TRUE)) << own;
        std::string error;
        ASSERT_TRUE(hostsim::SetStoredPath(s.host.contentsDb, i + 1, 2, own, error)) << error;
    }
    ASSERT_EQ(2u, named);
}
void TrailBytePicturesKeptApart(Scene& s) {
    BackedUpWhole(s);
    const std::vector<TrackRow> backup = zrtest::LoadTracks(s.backupData + "\\DB\\NMLDB\\contents.db");
    unsigned seen = 0;
    for (const TrackRow& live : LiveTracks(s)) {
        if (live.pictures.size() < 2) continue;
        const std::string name = zr::FileNamePart(live.pictures[1]);
        if (name != kTrailBytePictures[0] && name != kTrailBytePictures[1]) continue;
        for (const TrackRow& row : backup) {
            if (row.title != live.title) continue;
            ASSERT_EQ(live.pictures.size(), row.pictures.size()) << live.title;
            const std::string copy = s.backupData + "\\Data\\Picture\\" + zr::FileNamePart(row.pictures[1]);
            EXPECT_EQ(zrtest::ReadTextFile(live.pictures[1]), zrtest::ReadTextFile(copy)) << live.title << ": " << copy;
            ++seen;
        }
    }
    EXPECT_EQ(2u, seen);
}

// A backup read from a disc, its files read-only.
void ReadOnlyBackup(Scene& s) {
    ForEachFile(s.backupData, [](const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY); });
}
void EverythingRestoredIsWritable(Scene& s) {
    ForEachFile(s.restoreTo + "\\RestoreData", ExpectWritable);
    ForEachFile(Live(s), ExpectWritable);
    ForEachFile(s.host.playlistFolder, ExpectWritable);
    for (const std::string& file : {s.host.mirsDat, s.host.usrdicDic, s.host.producerRule}) ExpectWritable(file);
    ForEachFile(s.backupData, [](const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); });
}

void RelocationEndsInABackslash(Scene& s) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "Db_Path_00_New", Live(s) + "\\");
}
void NothingMadeInsideTheLibrary(Scene& s) {
    EXPECT_EQ(s.backupTracks.size(), LiveTracks(s).size());
    for (const std::string& name : zrtest::Names(Live(s))) EXPECT_NE('.', name[0]) << name;
}

// Files that hold the names a restore makes beside the library and in the destination.
const char kUsersFile[] = "a file of the user's";
void FileNamedDatabasesBak(Scene& s) { zrtest::WriteTextFile(LiveParent(s) + "\\databases.bak", kUsersFile); }
void FileNamedDatabasesTmp(Scene& s) { zrtest::WriteTextFile(LiveParent(s) + "\\databases.tmp", kUsersFile); }
void FileNamedRestoreData(Scene& s) { zrtest::WriteTextFile(s.restoreTo + "\\RestoreData", kUsersFile); }
void ExpectUsersFile(const std::string& path) { EXPECT_EQ(kUsersFile, zrtest::ReadTextFile(path)) << path; }
void DatabasesBakKept(Scene& s) {
    ExpectUsersFile(LiveParent(s) + "\\databases.bak");
    EXPECT_TRUE(zrtest::FileExists(LiveParent(s) + "\\databases.bak00000\\contents.db"));
}
void DatabasesTmpKept(Scene& s) { ExpectUsersFile(LiveParent(s) + "\\databases.tmp"); }
void RestoreDataKept(Scene& s) {
    ExpectUsersFile(s.restoreTo + "\\RestoreData");
    EXPECT_EQ(s.backupTracks.size(), LiveTracks(s).size());
    for (const TrackRow& row : LiveTracks(s)) {
        EXPECT_TRUE(zr::IsSameOrInside(row.path, s.restoreTo + "\\RestoreData00000")) << row.path;
    }
}

// Secure tracks' pictures are neither backed up nor re-pointed: they keep
// the paths they had on the PC the backup came from.
void Nothing(Scene&) {}
void SecurePicturesKeepTheirPaths(Scene& s) {
    std::size_t seen = 0;
    for (const TrackRow& now : LiveTracks(s)) {
        if (!zrtest::IsSecure(now)) continue;
        for (const TrackRow& was : s.backupTracks) {
            if (was.title != now.title) continue;
            EXPECT_EQ(was.pictures, now.pictures) << now.title;
            seen += now.pictures.size();
        }
    }
    EXPECT_GT(seen, 0u) << "no secure track with pictures";
}

// A track whose pictures are all missing from the backup.
std::string PictureLessTitle(const Scene& s) {
    for (const TrackRow& row : s.backupTracks) {
        if (!zrtest::IsSecure(row) && !row.pictures.empty()) return row.title;
    }
    return std::string();
}
void PicturesMissingFromTheBackup(Scene& s) {
    for (const TrackRow& row : s.backupTracks) {
        if (row.title != PictureLessTitle(s)) continue;
        for (const std::string& picture : row.pictures) {
            DeleteFileA((s.backupData + "\\Data\\Picture\\" + zr::PlatformFileName(picture)).c_str());
        }
    }
}
void PictureStateSetOnce(Scene& s) {
    EXPECT_EQ(zr::ItemCode::NoPicture, Listed(s, PictureLessTitle(s)));
    for (const TrackRow& row : LiveTracks(s)) {
        if (row.title != PictureLessTitle(s)) continue;
        EXPECT_EQ(std::vector<std::string>{}, row.pictures);
        EXPECT_EQ(0u, row.pictureState);
    }
}

// The GUI item kept as the host had it, and listed under its own name.
void GuiItemKept(Scene& s, const std::string& item, const std::string& title) {
    EXPECT_EQ(std::vector<std::string>{title}, s.job->engine.FailedTitles());
    EXPECT_EQ(std::vector<zr::ItemCode>{zr::ItemCode::NotRestored}, s.job->engine.FailedCodes());
    const std::string before = s.sandbox.Path("GuiBefore\\" + zr::FileNamePart(item));
    if (zrtest::FolderExists(before)) {
        EXPECT_TRUE(zrtest::Snapshot(before) == zrtest::Snapshot(item)) << item;
    } else {
        EXPECT_EQ(zrtest::ReadTextFile(before), zrtest::ReadTextFile(item)) << item;
    }
}
void MirsDatKept(Scene& s) { GuiItemKept(s, s.host.mirsDat, "mirs.dat"); }
void PlaylistsKept(Scene& s) { GuiItemKept(s, s.host.playlistFolder, "UserPlaylist"); }

const EdgeRow kRows[] = {
    // Folders inside what a restore replaces or moves.
    {"RestoreIntoTheProgramFolderPlaylists", 6, 6, false, Job::Restore, IntoThePlaylistFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreIntoTheSharedPlaylists", 7, 0, false, Job::Restore, IntoThePlaylistFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreIntoADatabasesBakFolder", 7, 0, false, Job::Restore, IntoADatabasesBakFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreIntoADatabasesTmpFolder", 7, 0, true, Job::Restore, IntoADatabasesTmpFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreFromInsideThePlaylists", 6, 6, false, Job::Restore, FromInsideThePlaylistFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreFromInsideTheLiveLibrary", 7, 0, false, Job::Restore, FromInsideTheLiveLibrary, RC(0x80070057),
     Outcome::Refused, nullptr},
    {"RestoreFromABackupHoldingTheLiveLibrary", 7, 0, false, Job::Restore, FromABackupHoldingTheLiveLibrary,
     RC(0x80070057), Outcome::Refused, nullptr},
    // GUI data put back only whole.
    {"BackupMirsDatIsAFolder", 7, 0, false, Job::Restore, BackupMirsDatIsAFolder, RC(0x80004005), Outcome::Refused,
     nullptr},
    {"MirsDatCannotBeCopied", 7, 0, false, Job::Restore, MirsDatCopyFails, 0, Outcome::Done, MirsDatKept},
    {"PlaylistsCannotBeCopied", 7, 0, false, Job::Restore, PlaylistCopyFails, 0, Outcome::Done, PlaylistsKept},
    // An earlier backup that holds the host's own files is not replaced.
    {"BackupOverOneHoldingATrackFile", 7, 0, false, Job::Backup, EarlierBackupHoldsATrackFile, RC(0x86FF0005),
     Outcome::Refused, nullptr},
    {"BackupOverOneHoldingAPicture", 7, 0, false, Job::Backup, EarlierBackupHoldsAPicture, RC(0x86FF0005),
     Outcome::Refused, nullptr},
    {"BackupOverOneHoldingTheLiveLibrary", 7, 0, false, Job::Backup, EarlierBackupHoldsTheLiveLibrary,
     RC(0x86FF0005), Outcome::Refused, nullptr},
    {"BackupOverOneHoldingTheProgramFolder", 6, 6, false, Job::Backup, EarlierBackupHoldsTheProgramFolder,
     RC(0x86FF0005), Outcome::Refused, nullptr},
    {"BackupIntoThePlaylists", 6, 6, false, Job::Backup, BackupIntoThePlaylistFolder, RC(0x80070057),
     Outcome::Refused, nullptr},
    // The host's live database is opened only by the secure export.
    {"BackupWithAStrictComponent", 7, 0, false, Job::Backup, StrictComponent, 0, Outcome::Done, BackedUpWhole},
    {"BackupRegisterRefused", 7, 0, false, Job::Backup, RegisterRefused, 0, Outcome::Done, ListedAndKeptOut},
    {"BackupRegisterRefusedAfterAPictureRename", 7, 0, false, Job::Backup, SecondRegisterRefused, 0,
     Outcome::Done, RenamedTrackListedAndKeptOut},
    {"RestoreFromReadOnlyFiles", 6, 6, false, Job::Restore, ReadOnlyBackup, 0, Outcome::Done,
     EverythingRestoredIsWritable},
    {"RelocationEndsInABackslash", 7, 0, true, Job::Restore, RelocationEndsInABackslash, 0, Outcome::Done,
     NothingMadeInsideTheLibrary},
    // Names taken by files.
    {"FileNamedDatabasesBak", 7, 0, false, Job::Restore, FileNamedDatabasesBak, 0, Outcome::Done, DatabasesBakKept},
    {"FileNamedDatabasesTmp", 7, 0, false, Job::Restore, FileNamedDatabasesTmp, 0, Outcome::Done, DatabasesTmpKept},
    {"FileNamedRestoreData", 7, 0, false, Job::Restore, FileNamedRestoreData, 0, Outcome::Done, RestoreDataKept},
    // Pictures.
    {"BackupPicturesNamedApartByATrailByte", 7, 0, false, Job::Backup, PicturesNamedApartByATrailByte, 0,
     Outcome::Done, TrailBytePicturesKeptApart},
    {"SecureTracksPicturesKeepTheirPaths", 7, 0, false, Job::Restore, Nothing, 0, Outcome::Done,
     SecurePicturesKeepTheirPaths},
    {"PicturesMissingFromTheBackup", 7, 0, false, Job::Restore, PicturesMissingFromTheBackup, 0, Outcome::Done,
     PictureStateSetOnce},
};

class JobEdges : public zrtest::CBackedUpHost, public ::testing::WithParamInterface<EdgeRow> {
protected:
    void SetUp() override {
        m_major = GetParam().major;
        m_minor = GetParam().minor;
        m_relocate = GetParam().relocated;
        CBackedUpHost::SetUp();
    }

    // The GUI data as the host had it, kept aside for the rows that must find it unchanged.
    void KeepGuiData() {
        const std::string before = m_sandbox.Path("GuiBefore");
        for (const auto& file : zrtest::Snapshot(m_host.playlistFolder)) {
            zrtest::MakeTextFile(before + "\\" + zr::FileNamePart(m_host.playlistFolder) + "\\" + file.first,
                                 file.second);
        }
        for (const std::string& file : {m_host.mirsDat, m_host.usrdicDic, m_host.producerRule}) {
            zrtest::MakeTextFile(before + "\\" + zr::FileNamePart(file), zrtest::ReadTextFile(file));
        }
    }

    std::vector<std::string> Listing(const std::string& folder) const {
        return zrtest::FolderExists(folder) ? zrtest::ListTree(folder) : std::vector<std::string>{};
    }
};

TEST_P(JobEdges, IsRefusedWithEverythingAsBeforeOrLosesNothing) {
    const EdgeRow& row = GetParam();
    KeepGuiData();
    Scene scene{m_host, m_sandbox, m_backupData, m_dest, BackupTracks(), nullptr, nullptr};
    row.arrange(scene);
    if (HasFatalFailure()) return;

    const std::string hostBefore = zrtest::HostState(m_host);
    const auto backupBefore = zrtest::Snapshot(scene.backupData);
    const std::vector<std::string> destBefore = Listing(scene.restoreTo);
    const std::vector<std::string> besideBefore = zrtest::Names(zr::FolderPart(m_host.databasesFolder));

    CJob job;
    HRESULT hr = job.Initialize();
    ASSERT_EQ(0, hr);
    hr = row.job == Job::Backup ? zr::RunBackupSteps(job.engine, scene.backupData, job.runner)
                                : zr::RunRestoreSteps(job.engine, scene.backupData, scene.restoreTo, job.runner);
    scene.faults.reset();
    scene.job = &job;
    EXPECT_EQ(row.expected, hr) << std::hex << hr;

    if (row.outcome == Outcome::Refused) {
        EXPECT_EQ(hostBefore, zrtest::HostState(m_host));
        EXPECT_TRUE(backupBefore == zrtest::Snapshot(scene.backupData)) << "the backup changed";
        EXPECT_EQ(destBefore, Listing(scene.restoreTo));
        EXPECT_EQ(besideBefore, zrtest::Names(zr::FolderPart(m_host.databasesFolder)));
        return;
    }
    if (row.job == Job::Restore) {
        EXPECT_TRUE(backupBefore == zrtest::Snapshot(scene.backupData)) << "the backup changed";
        ExpectLibraryInside(zrtest::FolderExists(scene.restoreTo + "\\RestoreData00000")
                                ? scene.restoreTo + "\\RestoreData00000"
                                : scene.restoreTo + "\\RestoreData");
    }
    row.check(scene);
}

INSTANTIATE_TEST_SUITE_P(Rows, JobEdges, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<EdgeRow>& info) { return std::string(info.param.name); });

}  // namespace
