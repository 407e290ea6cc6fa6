// Whole restores in the job runner's order: a backup made by the engine on one
// simulated PC, restored onto another with other host versions; and the same
// restore with the Nth file-system operation failing, for every N.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "FileFaults.h"
#include "common/PathUtil.h"
#include "hostsim/core/LibraryList.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

using enginetest::FileCall;
using enginetest::FileOp;
using zrtest::IsSecure;

namespace {

std::string RightsPart(const std::string& listing) { return listing.substr(listing.find("\r\nrights")); }

// What the first PC had, kept after it is gone.
struct FirstPc {
    std::vector<hostsim::TrackRow> tracks;
    std::map<std::string, std::string> contentOf;  // title -> bytes (present tracks only)
    std::map<std::string, std::string> pictureBytes;  // picture path -> bytes
    std::string rights;
    std::string serial;
    std::string mirsDat;
};

void BackUpFirstPc(const std::string& backupData, FirstPc& pc) {
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost host;
    hostsim::LibraryOptions library;
    library.tracks = 24;
    library.folders = 6;  // "Disc 1" and "Disc 2" again under every artist, each with its own cover.jpg
    library.fileSize = 700;
    library.picturesPerTrack = 2;
    library.secureTracks = 3;
    library.missingTracks = 2;
    ASSERT_TRUE(zrtest::InstallHostWithLibrary(sandbox, library, host));
    ASSERT_TRUE(zrtest::BackUp(backupData));

    pc.tracks = zrtest::LoadTracks(host.contentsDb);
    for (const hostsim::TrackRow& row : pc.tracks) {
        if (zrtest::FileExists(row.path)) pc.contentOf[row.title] = zrtest::ReadTextFile(row.path);
        for (const std::string& picture : row.pictures) pc.pictureBytes[picture] = zrtest::ReadTextFile(picture);
    }
    pc.rights = RightsPart(zrtest::ListWithRights(host.contentsDb, host.coreFolder));
    pc.serial = host.serial;
    pc.mirsDat = zrtest::ReadTextFile(host.mirsDat);
}

// The second PC: the first host 6.6 (GUI data in its program folder) and the
// second host beside it, sharing one library with a few secure tracks.
struct SecondPc {
    zrtest::CSandbox sandbox;
    hostsim::InstalledHost talvane;
    hostsim::InstalledHost corvell;
    std::vector<hostsim::TrackRow> oldTracks;
    std::string oldDb;
    std::string dest;

    void Install() {
        zrtest::RedirectShellFolders(sandbox.Folder());
        ASSERT_TRUE(zrtest::InstallHost(sandbox.Path("Host"), hostsim::HostKind::Talvane, 6, 6, talvane));
        ASSERT_TRUE(zrtest::InstallHost(sandbox.Path("Host"), hostsim::HostKind::Corvell, 1, 1, corvell));
        hostsim::LibraryOptions library;
        library.tracks = 8;
        library.folders = 2;
        library.fileSize = 100;
        library.picturesPerTrack = 1;
        library.secureTracks = 3;
        library.missingTracks = 0;
        library.musicRoot = sandbox.Path("OtherMusic");
        ASSERT_TRUE(zrtest::MakeLibrary(talvane, library));
        oldTracks = zrtest::LoadTracks(talvane.contentsDb);
        oldDb = zrtest::ReadTextFile(talvane.contentsDb);
        dest = sandbox.Path("Dest");
        zrtest::MakeFolder(dest);
    }
};

TEST(RestoreJob, OntoAnotherPcWithOtherHosts) {
    zrtest::CScratch scratch("restore");
    const std::string backupData = scratch.Folder() + "\\BackupData";
    FirstPc first;
    BackUpFirstPc(backupData, first);
    if (HasFatalFailure()) return;

    SecondPc pc;
    pc.Install();
    if (HasFatalFailure()) return;
    const std::map<std::string, std::string> backupBefore = zrtest::Snapshot(backupData);
    {
        zrtest::CJob job;
        ASSERT_EQ(0, zrtest::Restore(job, backupData, pc.dest));
    }
    const std::string restoreData = pc.dest + "\\RestoreData";
    const std::string live = pc.talvane.databasesFolder;

    // Every track of the backup (the missing ones aside) points into RestoreData
    // and its file there holds the original bytes.
    const std::vector<hostsim::TrackRow> restored = zrtest::LoadTracks(live + "\\contents.db");
    std::vector<const hostsim::TrackRow*> present;
    for (const hostsim::TrackRow& row : first.tracks) {
        if (first.contentOf.count(row.title)) present.push_back(&row);
    }
    ASSERT_EQ(present.size(), restored.size());
    ASSERT_EQ(22u, restored.size());
    std::set<std::string> pictureNames;
    for (std::size_t i = 0; i < restored.size(); ++i) {
        const hostsim::TrackRow& was = *present[i];
        const hostsim::TrackRow& now = restored[i];
        EXPECT_EQ(was.title, now.title);
        EXPECT_EQ(0u, now.path.rfind(restoreData + "\\Data\\Audio\\", 0)) << now.path;
        EXPECT_EQ(first.contentOf.at(was.title), zrtest::ReadTextFile(now.path)) << now.path;
        ASSERT_EQ(was.pictures.size(), now.pictures.size());
        for (std::size_t k = 0; k < now.pictures.size(); ++k) {
            if (IsSecure(was)) {
                EXPECT_EQ(was.pictures[k], now.pictures[k]);
                continue;
            }
            // At its restored name, with the bytes of the picture it was.
            EXPECT_EQ(restoreData + "\\Data\\Picture\\", now.pictures[k].substr(0, restoreData.size() + 14));
            EXPECT_EQ(first.pictureBytes.at(was.pictures[k]), zrtest::ReadTextFile(now.pictures[k]))
                << now.pictures[k];
            pictureNames.insert(zr::FoldCase(now.pictures[k]));
        }
    }
    // Six different cover.jpg files and one picture of each track's own: none shares a name.
    EXPECT_EQ(6u + 19u, pictureNames.size());

    // Rights, GUI data of both hosts and the serial are the first PC's.
    EXPECT_EQ(first.rights, RightsPart(zrtest::ListWithRights(live + "\\contents.db", pc.talvane.coreFolder)));
    EXPECT_EQ(first.mirsDat, zrtest::ReadTextFile(pc.talvane.mirsDat));
    EXPECT_EQ(first.mirsDat, zrtest::ReadTextFile(pc.corvell.mirsDat));
    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    EXPECT_EQ(first.serial, serial);

    // The replaced library is kept in databases.bak; its secure content is gone, the rest stays.
    EXPECT_EQ(pc.oldDb, zrtest::ReadTextFile(live + ".bak\\contents.db"));
    EXPECT_TRUE(zrtest::FolderExists(live + ".bak"));
    EXPECT_FALSE(zrtest::FolderExists(live + ".tmp"));
    std::size_t secure = 0;
    for (const hostsim::TrackRow& row : pc.oldTracks) {
        secure += IsSecure(row);
        EXPECT_EQ(!IsSecure(row), zrtest::FileExists(row.path)) << row.path;
        for (const std::string& picture : row.pictures) EXPECT_TRUE(zrtest::FileExists(picture)) << picture;
    }
    EXPECT_EQ(3u, secure);
    EXPECT_EQ(backupBefore, zrtest::Snapshot(backupData));
}

// ---- No restore may leave the host without a whole library.

enum class Outcome { Old, Restored, OldLeftInBak, NoLibrary, Broken };

const char* OutcomeName(Outcome o) {
    switch (o) {
    case Outcome::Old: return "old library";
    case Outcome::Restored: return "restored library";
    case Outcome::OldLeftInBak: return "old library in .bak, move back refused too";
    case Outcome::NoLibrary: return "NO LIBRARY";
    default: return "BROKEN";
    }
}

// The fixture's host with a smaller library, a missing track among it.
class RestoreFaults : public zrtest::CBackedUpHost {
protected:
    RestoreFaults() {
        m_library.tracks = 6;
        m_library.fileSize = 64;
        m_library.missingTracks = 1;
    }
    void SetUp() override {
        CBackedUpHost::SetUp();
        m_backup = zrtest::Snapshot(m_backupData);
        m_backupTracks = BackupTracks();
        m_oldTracks = zrtest::LoadTracks(m_host.contentsDb);
        m_oldFiles = zrtest::Snapshot(m_host.musicRoot);
        m_oldDb = zrtest::ReadTextFile(m_host.contentsDb);
        m_live = m_host.databasesFolder;
    }

    // Puts the host back as it was before a run: its library, content files and no leftovers.
    void Reset() {
        const std::string parent = zr::FolderPart(m_live);
        for (const std::string& name : zrtest::Names(parent)) {
            if (name.rfind("databases", 0) == 0) zrtest::RemoveTree(parent + "\\" + name);
        }
        zrtest::MakeFolder(m_live);
        for (const auto& file : zrtest::Snapshot(m_pristineDatabases)) {
            zrtest::WriteTextFile(m_live + "\\" + file.first, file.second);
        }
        for (const auto& file : m_oldFiles) zrtest::WriteTextFile(m_host.musicRoot + "\\" + file.first, file.second);
        zrtest::RemoveTree(m_dest);
        zrtest::MakeFolder(m_dest);
        if (m_guiFolder.empty()) return;
        zrtest::RemoveTree(m_guiFolder);
        for (const auto& file : m_pristineGui) zrtest::MakeTextFile(m_guiFolder + "\\" + file.first, file.second);
    }

    // The host's GUI data: the backup came from this host, so whichever
    // items a run put back or kept, they read the same; a missing one was lost.
    std::string GuiData(const std::string& playlistFolder) const {
        std::string state;
        for (const auto& file : zrtest::Snapshot(playlistFolder)) state += file.first + "=" + file.second + "\n";
        for (const std::string& file : {m_host.mirsDat, m_host.usrdicDic, m_host.producerRule}) {
            state += file + "=" + (zrtest::FileExists(file) ? zrtest::ReadTextFile(file) : "<missing>") + "\n";
        }
        return state;
    }

    // The host's library after a run, checked whole.
    Outcome Judge() {
        const std::string db = m_live + "\\contents.db";
        if (!zrtest::FileExists(db)) return Outcome::NoLibrary;
        std::string listing, error;
        if (!hostsim::ListLibrary(db, "", listing, error)) return Outcome::Broken;
        if (zrtest::ReadTextFile(db) == m_oldDb) return Outcome::Old;
        const std::vector<hostsim::TrackRow> rows = zrtest::LoadTracks(db);
        if (rows.size() != m_backupTracks.size()) return Outcome::Broken;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].title != m_backupTracks[i].title || !zrtest::FileExists(rows[i].path)) return Outcome::Broken;
        }
        return Outcome::Restored;
    }

    void Run(bool persistent) {
        m_pristineDatabases = m_sandbox.Path("Pristine");
        zrtest::MakeFolder(m_pristineDatabases);
        for (const auto& file : zrtest::Snapshot(m_live)) {
            zrtest::WriteTextFile(m_pristineDatabases + "\\" + file.first, file.second);
        }
        m_dest = m_sandbox.Path("Dest");

        std::map<Outcome, std::vector<int>> seen;
        int last = 0;
        int lastCalls = 0;
        // Proof that the hooks see the engine's own calls: without it, a run
        // whose faults never reach the engine ends at N = 1 with a restored library.
        bool movedLive = false;
        bool copiedIntoRestoreData = false;
        const std::string restoreData = m_dest + "\\RestoreData";
        const std::string guiData = GuiData(m_host.playlistFolder);
        m_guiFolder = zr::FolderPart(m_host.mirsDat);
        m_pristineGui = zrtest::Snapshot(m_guiFolder);
        for (int n = 1;; ++n) {
            Reset();
            HRESULT hr;
            int calls;
            FileCall first{FileOp::CopyFile, "", ""};
            {
                zrtest::CJob job;
                enginetest::CFileFaults faults([&](const FileCall& call, int number) {
                    if (number == n) first = call;
                    movedLive = movedLive || (call.op == FileOp::MoveFile &&
                                              zr::FoldCase(call.path) == zr::FoldCase(m_live));
                    copiedIntoRestoreData = copiedIntoRestoreData || (call.op == FileOp::CopyFile &&
                                                                      zr::IsSameOrInside(call.target, restoreData));
                    return persistent ? number >= n : number == n;
                });
                hr = zrtest::Restore(job, m_backupData, m_dest);
                calls = faults.Calls();
                // The job end runs with the faults on, as it would.
                job.engine.ReleaseJob();
            }
            Outcome outcome = Judge();
            // With every operation failing once the live library went aside
            // (before the rights), the old library cannot be moved back either:
            // it stays whole beside the live name, and the job fails.
            if (outcome == Outcome::NoLibrary && persistent &&
                zrtest::ReadTextFile(m_live + ".bak\\contents.db") == m_oldDb) {
                outcome = Outcome::OldLeftInBak;
            }
            seen[outcome].push_back(n);
            EXPECT_TRUE(outcome == Outcome::Old || outcome == Outcome::Restored || outcome == Outcome::OldLeftInBak)
                << "N=" << n << ": " << OutcomeName(outcome) << ", result 0x" << std::hex << hr;
            EXPECT_EQ(outcome != Outcome::Restored, FAILED(hr) || hr == 1)
                << "N=" << n << ": " << OutcomeName(outcome) << ", result 0x" << std::hex << hr;
            EXPECT_TRUE(m_backup == zrtest::Snapshot(m_backupData)) << "N=" << n << ": the backup changed";
            // With every operation failing, playlists moved aside cannot come
            // back either: they stay whole beside their own name.
            const bool playlistsAside = persistent && !zrtest::FolderExists(m_host.playlistFolder) &&
                                        GuiData(m_host.playlistFolder + ".bak") == guiData;
            if (!playlistsAside) {
                EXPECT_EQ(guiData, GuiData(m_host.playlistFolder)) << "N=" << n << ": GUI data lost";
            }
            if (calls < n) {
                last = n;
                lastCalls = calls;
                break;
            }
            if (HasFailure() || n > 5000) break;
        }
        EXPECT_TRUE(movedLive) << "no run saw the live databases folder moved: " << m_live;
        EXPECT_TRUE(copiedIntoRestoreData) << "no run saw a copy into " << restoreData;
        EXPECT_GT(last, 50) << "a whole restore takes more file operations than that";
        std::printf("%s faults: N = 1..%d; the run with N = %d completed after %d file operations\n",
                    persistent ? "persistent" : "single", last, last, lastCalls);
        for (const auto& entry : seen) {
            std::printf("  %-17s %3zu runs:", OutcomeName(entry.first), entry.second.size());
            for (std::size_t i = 0; i < entry.second.size() && i < 40; ++i) std::printf(" %d", entry.second[i]);
            std::printf(entry.second.size() > 40 ? " ...\n" : "\n");
        }
    }

    std::map<std::string, std::string> m_backup;
    std::vector<hostsim::TrackRow> m_backupTracks;
    std::vector<hostsim::TrackRow> m_oldTracks;
    std::map<std::string, std::string> m_oldFiles;
    std::string m_oldDb;
    std::string m_live;
    std::string m_pristineDatabases;
    std::string m_guiFolder;  // the shared GUI data folder, put back before each run
    std::map<std::string, std::string> m_pristineGui;
};

TEST_F(RestoreFaults, TheNthFileOperationFailsOnce) { Run(false); }
TEST_F(RestoreFaults, EveryFileOperationFromTheNthOnFails) { Run(true); }

}  // namespace
