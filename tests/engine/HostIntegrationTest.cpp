// The engine against the stand-in host: a real module, a real library
// database and real content, rights and GUI data, installed into the sandbox.
// A backup in job order, checked file by file, then a restore of the secure
// database and the GUI data from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "common/PathUtil.h"
#include "engine/BackupRestore.h"
#include "hostsim/core/Faults.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "hostsim/core/LibraryList.h"
#include "hostsim/core/RightsDb.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

using Files = std::vector<std::string>;

namespace {

// The live library's state: its listing with rights, its database files
// and every content and picture file.
struct LiveState {
    std::string listing;
    std::map<std::string, std::string> databases;
    std::map<std::string, std::string> music;
    std::map<std::string, std::string> pictures;
    std::string driveRootFile;
};

bool operator==(const LiveState& a, const LiveState& b) {
    return a.listing == b.listing && a.databases == b.databases && a.music == b.music && a.pictures == b.pictures &&
           a.driveRootFile == b.driveRootFile;
}

class HostIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostsim::LibraryOptions library;
        library.tracks = 41;
        library.folders = 12;  // "Disc 1" and "Disc 2" under every artist
        library.fileSize = 3000;
        library.picturesPerTrack = 2;  // the folder's shared cover.jpg and one of the track's own
        library.secureTracks = 4;
        library.missingTracks = 3;
        library.driveRootTrack = true;
        ASSERT_TRUE(zrtest::InstallHostWithLibrary(m_sandbox, library, m_host));
        m_installed = true;
        m_backupData = m_sandbox.Path("Backup\\BackupData");
    }

    void TearDown() override {
        if (m_installed) hostsim::Uninstall(m_host);
    }

    LiveState Live() const {
        LiveState s;
        s.listing = zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder);
        s.databases = zrtest::Snapshot(m_host.databasesFolder);
        s.music = zrtest::Snapshot(m_host.musicRoot);
        s.pictures = zrtest::Snapshot(m_host.pictureFolder);
        for (const std::string& f : m_host.driveRootFiles) s.driveRootFile += zrtest::ReadTextFile(f);
        return s;
    }

    zrtest::CSandbox m_sandbox;
    hostsim::InstalledHost m_host;
    bool m_installed = false;
    std::string m_backupData;
};

TEST_F(HostIntegrationTest, BackupThenRestoreTheSecureDatabaseAndGuiData) {
    const LiveState before = Live();
    const std::vector<hostsim::TrackRow> live = zrtest::LoadTracks(m_host.contentsDb);
    ASSERT_EQ(41u, live.size());

    {
        zrtest::CJob job;
        ASSERT_EQ(0, job.Initialize());
        ASSERT_EQ(0, job.engine.InitBackupDataFolder(m_backupData));
        ASSERT_EQ(0, job.engine.BackupGuiData(m_backupData));
        ASSERT_EQ(0, job.engine.BackupNmlData(m_backupData));
        ASSERT_EQ(0, job.engine.BackupMoveSecureDB(m_backupData));

        // Exactly the tracks without a content file are listed, in library order.
        Files missing;
        for (const hostsim::TrackRow& row : live) {
            if (!zrtest::FileExists(row.path)) missing.push_back(row.title);
        }
        ASSERT_EQ(3u, missing.size());
        EXPECT_EQ(missing, job.engine.FailedTitles());
        EXPECT_EQ(std::vector<zr::ItemCode>(3, zr::ItemCode::Missing), job.engine.FailedCodes());
    }
    // The host's own library and files are read, never written.
    EXPECT_TRUE(before == Live());

    // Where each source folder's files must be, in library order: the
    // generator's twelve folders ("Disc 1" and "Disc 2" under six artists,
    // two of them Japanese), then the drive root. A name another folder took
    // is numbered from 00000.
    const Files audioFolders = {"Disc 1",      "Disc 2",      "Disc 100000", "Disc 200000", "ディスク1表",
                                "Disc 200001", "Disc 100001", "Disc 200002", "Disc 100002", "ディスク2表",
                                "Disc 100003", "Disc 200003", "root"};
    std::map<std::string, std::string> folderOf;
    Files expectedTree;
    for (const hostsim::TrackRow& row : live) {
        const std::string dir = zr::FolderPart(row.path);
        if (folderOf.count(dir)) continue;
        ASSERT_LT(folderOf.size(), audioFolders.size()) << dir;
        const std::string& folder = audioFolders[folderOf.size()];
        folderOf[dir] = folder;
        expectedTree.push_back("Data\\Audio\\" + folder + "\\");
    }
    EXPECT_EQ(audioFolders.size(), folderOf.size());

    // The backup's database: present tracks point into Data\Audio, their files are copies.
    const std::vector<hostsim::TrackRow> backup = zrtest::LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db");
    std::size_t b = 0;
    std::map<std::string, std::string> pictureCopyOf;  // upper-cased live picture path -> copy name
    bool anySecure = false;
    for (const hostsim::TrackRow& row : live) {
        if (!zrtest::FileExists(row.path)) continue;
        ASSERT_LT(b, backup.size());
        const hostsim::TrackRow& copy = backup[b++];
        const std::string expectedPath = folderOf[zr::FolderPart(row.path)] + "\\" + zr::FileNamePart(row.path);
        EXPECT_EQ(row.title, copy.title);
        EXPECT_EQ(expectedPath, copy.path);
        expectedTree.push_back("Data\\Audio\\" + expectedPath);
        EXPECT_EQ(zrtest::ReadTextFile(row.path), zrtest::ReadTextFile(m_backupData + "\\Data\\Audio\\" + copy.path));

        ASSERT_EQ(row.pictures.size(), copy.pictures.size());
        const bool secure = zrtest::IsSecure(row);
        anySecure = anySecure || secure;
        for (std::size_t k = 0; k < row.pictures.size(); ++k) {
            if (secure) {
                EXPECT_EQ(row.pictures[k], copy.pictures[k]);
                continue;
            }
            // Same folder; the file name is that of the picture's one copy.
            EXPECT_EQ(zr::FolderPart(row.pictures[k]), zr::FolderPart(copy.pictures[k]));
            const std::string copyName = zr::FileNamePart(copy.pictures[k]);
            auto known = pictureCopyOf.emplace(zr::FoldCase(row.pictures[k]), copyName);
            EXPECT_EQ(known.first->second, copyName);
            EXPECT_EQ(zrtest::ReadTextFile(row.pictures[k]),
                      zrtest::ReadTextFile(m_backupData + "\\Data\\Picture\\" + copyName));
        }
    }
    EXPECT_EQ(backup.size(), b);
    // As the lister sees it: every track of the backup names a file relative to Data\Audio.
    const std::string listing = zrtest::ListWithRights(m_backupData + "\\DB\\NMLDB\\contents.db", "");
    std::size_t relative = 0;
    for (std::size_t at = listing.find("\tfile=relative"); at != std::string::npos;
         at = listing.find("\tfile=relative", at + 1)) {
        ++relative;
    }
    EXPECT_EQ(backup.size(), relative) << listing;
    std::set<std::string> copyNames;
    for (const auto& entry : pictureCopyOf) {
        EXPECT_TRUE(copyNames.insert(zr::FoldCase(entry.second)).second) << "two pictures share " << entry.second;
        expectedTree.push_back("Data\\Picture\\" + entry.second);
    }
    EXPECT_GT(copyNames.size(), 12u) << "every folder's cover.jpg needs a name of its own";
    ASSERT_TRUE(anySecure);

    // The whole tree, file by file.
    for (const char* item : {"BackupRestore.ini", "DB\\", "DB\\NMLDB\\", "DB\\SDCOREDB\\",
                             "DB\\SDCOREDB\\MovePlugIn.bkd", "Data\\", "Data\\Audio\\", "Data\\Picture\\",
                             "GUI(new)\\", "GUI(new)\\UPL\\", "GUI(new)\\mirs.dat", "GUI(new)\\usrdic.dic",
                             "GUI(new)\\SDProducerRule.dat"}) {
        expectedTree.push_back(item);
    }
    for (const std::string& name : zrtest::ListTree(m_host.databasesFolder)) {
        expectedTree.push_back("DB\\NMLDB\\" + name);
        if (name.back() != '\\' && name != "contents.db") {
            EXPECT_EQ(before.databases.at(name), zrtest::ReadTextFile(m_backupData + "\\DB\\NMLDB\\" + name));
        }
    }
    for (const std::string& item : zrtest::ListTree(m_host.playlistFolder)) {
        expectedTree.push_back("GUI(new)\\UPL\\" + item);
    }
    std::sort(expectedTree.begin(), expectedTree.end());
    EXPECT_EQ(expectedTree, zrtest::ListTree(m_backupData));

    EXPECT_EQ(zrtest::ReadTextFile(m_host.mirsDat), zrtest::ReadTextFile(m_backupData + "\\GUI(new)\\mirs.dat"));
    EXPECT_EQ("1", zrtest::ReadIni(m_backupData + "\\BackupRestore.ini", "BackupData", "SecureContents"));
    EXPECT_EQ(m_host.serial, zrtest::ReadIni(m_backupData + "\\BackupRestore.ini", "BackupData", "SdTalvSerial"));

    // Another state of the host: rights, GUI data and serial lost.
    const std::string mirs = zrtest::ReadTextFile(m_host.mirsDat);
    {
        hostsim::CRightsDb rights;
        ASSERT_TRUE(rights.Open(m_host.coreFolder, false));
        ASSERT_TRUE(rights.ReplaceAll({}));
    }
    ASSERT_NE(before.listing, zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder));
    DeleteFileA(m_host.mirsDat.c_str());
    zrtest::SetSerial("SOMETHING-ELSE");

    {
        zrtest::CJob job;
        ASSERT_EQ(0, job.Initialize());
        zr::CRestorePlan plan(m_backupData, "");
        EXPECT_EQ(0, job.engine.RestoreMoveSecureDB(plan));
        EXPECT_EQ(0, job.engine.RestoreGuiData(plan));
    }
    EXPECT_EQ(before.listing, zrtest::ListWithRights(m_host.contentsDb, m_host.coreFolder));
    EXPECT_EQ(mirs, zrtest::ReadTextFile(m_host.mirsDat));
    std::string serial;
    ASSERT_TRUE(zrtest::ReadRegString(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "SD-TalvSerial", serial));
    EXPECT_EQ(m_host.serial, serial);
}

// The secure export started, then the library could not be opened: the step
// fails with the module's code, the job ends cleanly, and the next job's
// export works with the same components.
TEST_F(HostIntegrationTest, AFailedSecureBackupLeavesNoStreamBehind) {
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, hostsim::FaultName(hostsim::Fault::OpenDatabase),
                        0x80004005);
    {
        zrtest::CJob job;
        ASSERT_EQ(0, job.Initialize());
        ASSERT_EQ(0, job.engine.InitBackupDataFolder(m_backupData));
        EXPECT_EQ(static_cast<HRESULT>(0x80004005), job.engine.BackupMoveSecureDB(m_backupData));
    }
    // A later job still works with the same components.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey);
    zrtest::CJob job;
    ASSERT_EQ(0, job.Initialize());
    EXPECT_EQ(0, job.engine.BackupMoveSecureDB(m_backupData));
}

}  // namespace
