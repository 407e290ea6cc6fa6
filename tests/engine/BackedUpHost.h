// A host of the stand-in kind with a small library, backed up by the tool's
// own step sequence, for the tests that hand a restore a damaged, crafted or
// misplaced backup; and what they look at afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/PathUtil.h"
#include "hostsim/core/Faults.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

namespace enginetest {

class CBackedUpHost : public ::testing::Test {
protected:
    void SetUp() override {
        hostsim::LibraryOptions library;
        library.tracks = 8;
        library.folders = 2;
        library.fileSize = 300;
        library.picturesPerTrack = 2;
        library.secureTracks = 2;
        library.missingTracks = 0;
        ASSERT_TRUE(zrtest::InstallHostWithLibrary(m_sandbox, library, m_host, m_relocate));
        m_backupData = m_sandbox.Path("Backup\\BackupData");
        ASSERT_TRUE(zrtest::BackUp(m_backupData));
        m_dest = m_sandbox.Path("Dest");
        zrtest::MakeFolder(m_dest);
        m_hostBefore = zrtest::HostState(m_host);
    }

    // The backup's own tracks, in the library's order.
    std::vector<hostsim::TrackRow> BackupTracks() const {
        return zrtest::LoadTracks(m_backupData + "\\DB\\NMLDB\\contents.db");
    }
    static bool IsSecure(const hostsim::TrackRow& row) {
        return (row.attributes & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) != 0;
    }

    // The live library: every track's file, and every picture of a track
    // without a secure flag, is a file below that RestoreData.
    void ExpectLibraryInside(const std::string& restoreData) {
        const std::vector<hostsim::TrackRow> rows = zrtest::LoadTracks(m_host.contentsDb);
        for (const hostsim::TrackRow& row : rows) {
            EXPECT_TRUE(zr::IsSameOrInside(row.path, restoreData + "\\Data\\Audio")) << row.title << ": " << row.path;
            EXPECT_TRUE(zrtest::FileExists(row.path)) << row.title << ": " << row.path;
            if (IsSecure(row)) continue;
            for (const std::string& picture : row.pictures) {
                EXPECT_TRUE(zr::IsSameOrInside(picture, restoreData + "\\Data\\Picture"))
                    << row.title << ": " << picture;
                EXPECT_TRUE(zrtest::FileExists(picture)) << row.title << ": " << picture;
            }
        }
    }

    // The live databases folder and the folders a restore makes beside it.
    std::vector<std::string> DatabasesFolders() const {
        std::vector<std::string> names;
        for (const std::string& name : zrtest::Names(zr::FolderPart(m_host.databasesFolder))) {
            if (name.rfind("databases", 0) == 0) names.push_back(name);
        }
        return names;
    }

    // The code an item was listed with, or 0 when it was not listed.
    static HRESULT ListedWith(const zrtest::CJob& job, const std::string& title) {
        for (std::size_t i = 0; i < job.engine.m_vecFailedItemTitle.size(); ++i) {
            if (job.engine.m_vecFailedItemTitle[i] == title) return job.engine.m_vecFailedItemCode[i];
        }
        return 0;
    }

    bool m_relocate = false;  // the library in a relocated databases folder
    zrtest::CSandbox m_sandbox;
    hostsim::InstalledHost m_host;
    std::string m_backupData;
    std::string m_dest;
    std::string m_hostBefore;
};

}  // namespace enginetest
