// Crafted stored paths in a backup's library: each restored, then a clean
// backup of the same host restored on top. Whatever a path says, the first
// restore's library points only at files inside its RestoreData or the item
// is listed; and the second restore, which deletes the replaced library's
// secure files, deletes nothing outside them.
#include <gtest/gtest.h>

#include "hostsim/core/Faults.h"
#include "hostsim/core/StoredPath.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"

namespace {

using zrtest::CJob;

constexpr HRESULT RC(unsigned long code) { return static_cast<HRESULT>(code); }

enum class Aim { SecureTrack, OrdinaryTrack, Picture };

const char* AimName(Aim aim) {
    return aim == Aim::SecureTrack ? "SecureTrack" : aim == Aim::OrdinaryTrack ? "OrdinaryTrack" : "Picture";
}

// Stored paths. "{up}" climbs from the restored item's folder to the
// sandbox (RestoreData\Data\Audio\<folder> or RestoreData\Data\Picture below
// Dest), "{sandbox}" is the sandbox's full path.
struct Form {
    const char* name;
    const char* path;
};

const Form kForms[] = {
    {"ForwardSlashEscape", "Disc 1\\{up}Sentinel/keep.wma"},
    {"AtTheLiveLibrary", "Disc 1\\{up}Host/Nerith/SD-NML/databases/contents.db"},
    {"DotDotFolder", "..\\keep.wma"},
    {"DotDotName", "Disc 1\\.."},
    {"Absolute", "{sandbox}\\Sentinel\\keep.wma"},
    {"DriveRelative", "C:keep.wma"},
    {"Rooted", "\\Sentinel\\keep.wma"},
    {"Unc", "\\\\server\\share\\keep.wma"},
    {"Stream", "Disc 1\\a:b"},
    {"Name240Bytes", "Disc 1\\{long}"},
};

struct HostileRow {
    std::string name;
    Aim aim;
    std::string path;         // empty: the stored path stays
    bool registerRefused;     // the module refuses the aimed track's Register
    bool unregisterRefused;   // and its Unregister
    zr::ItemCode listedWith;  // the aimed track's code in the failed items (0: not listed)
};

void PrintTo(const HostileRow& row, std::ostream* os) { *os << row.name; }

std::vector<HostileRow> Rows() {
    std::vector<HostileRow> rows;
    for (Aim aim : {Aim::SecureTrack, Aim::OrdinaryTrack, Aim::Picture}) {
        for (const Form& form : kForms) {
            rows.push_back(HostileRow{std::string(AimName(aim)) + form.name, aim, form.path, false, false,
                                      aim == Aim::Picture ? zr::ItemCode::NoPicture : zr::ItemCode::BadName});
        }
    }
    rows.push_back(HostileRow{"SecureTrackRegisterRefused", Aim::SecureTrack, "", true, false, zr::ItemCode::NotRegistered});
    rows.push_back(
        HostileRow{"OrdinaryTrackRegisterRefused", Aim::OrdinaryTrack, "", true, false, zr::ItemCode::NotRegistered});
    rows.push_back(
        HostileRow{"SecureTrackAbsoluteRegisterRefused", Aim::SecureTrack, "{sandbox}\\Sentinel\\keep.wma", true, false,
                   zr::ItemCode::BadName});
    // The component will not keep the track out of the restored library either.
    rows.push_back(HostileRow{"SecureTrackAbsoluteUnregisterRefused", Aim::SecureTrack,
                              "{sandbox}\\Sentinel\\keep.wma", false, true, zr::ItemCode{}});
    return rows;
}

std::string Expand(std::string path, const std::string& sandbox, Aim aim) {
    const std::string up = aim == Aim::Picture ? "../../../../" : "../../../../../";
    const std::pair<std::string, std::string> tokens[] = {
        {"{up}", up}, {"{sandbox}", sandbox}, {"{long}", std::string(236, 'n') + ".wma"}};
    for (const auto& token : tokens) {
        for (std::size_t at; (at = path.find(token.first)) != std::string::npos;) {
            path.replace(at, token.first.size(), token.second);
        }
    }
    return path;
}

class HostileBackup : public zrtest::CBackedUpHost, public ::testing::WithParamInterface<HostileRow> {
protected:
    void SetUp() override {
        CBackedUpHost::SetUp();
        if (HasFatalFailure()) return;
        m_clean = m_sandbox.Path("Clean\\BackupData");
        ASSERT_TRUE(zrtest::BackUp(m_clean));
        m_sentinel = m_sandbox.Path("Sentinel\\keep.wma");
        zrtest::MakeFolder(m_sandbox.Path("Sentinel"));
        zrtest::WriteTextFile(m_sentinel, "a file of nobody's library");
    }

    // The backup's track the row aims at (1-based, as the listing numbers it).
    unsigned AimedTrack(Aim aim) const {
        const std::vector<hostsim::TrackRow> tracks = BackupTracks();
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const bool secure = zrtest::IsSecure(tracks[i]);
            if ((aim == Aim::SecureTrack) == secure && (aim != Aim::Picture || !tracks[i].pictures.empty())) {
                return static_cast<unsigned>(i + 1);
            }
        }
        return 0;
    }

    std::string m_clean;
    std::string m_sentinel;
};

TEST_P(HostileBackup, RestoresOnlyInsideRestoreDataAndDeletesNothingOutside) {
    const HostileRow& row = GetParam();
    const unsigned track = AimedTrack(row.aim);
    ASSERT_NE(0u, track);
    const std::string title = BackupTracks()[track - 1].title;
    if (!row.path.empty()) {
        std::string error;
        ASSERT_TRUE(hostsim::SetStoredPath(m_backupData + "\\DB\\NMLDB\\contents.db", track,
                                           row.aim == Aim::Picture ? 1 : 0,
                                           Expand(row.path, m_sandbox.Folder(), row.aim), error))
            << error;
    }
    if (row.registerRefused) {
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, "Register", "0x80004005|" + title);
    }
    if (row.unregisterRefused) {
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, "Unregister", "0x80004005|" + title);
    }
    const auto backup = zrtest::Snapshot(m_backupData);
    const std::string liveDb = m_host.contentsDb;

    {
        CJob job;
        const HRESULT hr = zrtest::Restore(job, m_backupData, m_dest);
        EXPECT_TRUE(backup == zrtest::Snapshot(m_backupData)) << "the backup changed";
        if (row.unregisterRefused) {
            // The track cannot be kept out of the library: nothing is swapped in.
            EXPECT_EQ(RC(0x80004005), hr);
            EXPECT_EQ(m_hostBefore, zrtest::HostState(m_host));
            return;
        }
        ASSERT_EQ(0, hr);
        EXPECT_EQ(row.listedWith, zrtest::ListedWith(job, title)) << title;
        ExpectLibraryInside(m_dest + "\\RestoreData");
        bool present = false;
        for (const hostsim::TrackRow& now : zrtest::LoadTracks(liveDb)) present = present || now.title == title;
        EXPECT_EQ(row.aim == Aim::Picture, present) << title;
    }
    // The clean backup's track of that title goes through.
    HKEY faults = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, 0, KEY_SET_VALUE, &faults) == ERROR_SUCCESS) {
        RegDeleteValueA(faults, "Register");
        RegCloseKey(faults);
    }

    {
        CJob job;
        ASSERT_EQ(0, zrtest::Restore(job, m_clean, m_dest));
    }
    EXPECT_EQ("a file of nobody's library", zrtest::ReadTextFile(m_sentinel));
    ASSERT_TRUE(zrtest::FileExists(liveDb));
    EXPECT_EQ(BackupTracks().size(), zrtest::LoadTracks(liveDb).size());
    ExpectLibraryInside(m_dest + "\\RestoreData00000");
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileBackup, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<HostileRow>& info) { return info.param.name; });

}  // namespace
