// The simulated host installation, library generator and lister, checked
// against the tool's own readers in a sandboxed registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/settings/HostSettings.h"
#include "common/PathUtil.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "hostsim/core/LibraryList.h"
#include "hostsim/core/RightsDb.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"

namespace {

using hostsim::HostKind;
using hostsim::InstalledHost;
using hostsim::InstallOptions;
using hostsim::LibraryOptions;
using zrtest::CSandbox;

// The module built beside hostsim.exe.
std::string ModulePath() { return zrtest::BuiltPath("hostsim/cli/NerithMediaLibrary.dll"); }

InstallOptions Options(const CSandbox& box, HostKind host, unsigned major, unsigned minor, unsigned level = 0) {
    InstallOptions o;
    o.host = host;
    o.major = major;
    o.minor = minor;
    o.level = level;
    o.root = box.Path("HostSim");
    o.moduleSource = ModulePath();
    return o;
}

std::string CommonAppData() { return hostsim::SpecialFolder(CSIDL_COMMON_APPDATA); }

bool TalvaneFound() { return zr::CheckTalvaneVersion(); }
bool CorvellFound() { return zr::CheckCorvellVersion(); }

// ---------------------------------------------------------------------------
// Installation per host version

struct VersionCase {
    const char* name;
    HostKind host;
    unsigned major, minor, level;
    bool supported;
    const char* settingsKey;
    bool sharedGui;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class HostVersion : public testing::TestWithParam<VersionCase> {};

TEST_P(HostVersion, ToolReadersFindWhatWasInstalled) {
    const VersionCase& c = GetParam();
    CSandbox box;
    InstalledHost h;
    std::string error;
    ASSERT_TRUE(hostsim::Install(Options(box, c.host, c.major, c.minor, c.level), h, error)) << error;

    const bool talvane = c.host == HostKind::Talvane;
    EXPECT_EQ(c.supported && talvane, zr::CheckTalvaneVersion());
    EXPECT_EQ(c.supported && !talvane, zr::CheckCorvellVersion());
    EXPECT_EQ(c.settingsKey, h.settingsKey);

    // The program folder is found whatever the version; support is the version check's call.
    std::string program;
    EXPECT_TRUE(talvane ? zr::GetTalvaneProgramPath(program) : zr::GetCorvellProgramPath(program));
    EXPECT_EQ(h.programFolder, program);
    zr::DeviceVersion v = zr::ReadDeviceVersion(program);
    EXPECT_EQ(c.major, v.major);
    EXPECT_EQ(c.minor, v.minor);
    EXPECT_EQ(c.level, v.level);

    if (c.supported) {
        std::string media = "unset";
        zr::GetMediaPath(media);
        EXPECT_EQ(h.mediaFolder, media);
        EXPECT_TRUE(hostsim::IsFolder(media + "\\Picture"));
    }
    std::string library = "unset", core = "unset", relocated = "unset", serial;
    zr::GetNmlProgramPath(library);
    zr::GetCoreProgramPath(core);
    zr::FindNewDbPath(library + "\\databases", relocated);
    zrtest::MakeFolder(box.Path("ini"));
    zr::SaveSerialToIni(box.Path("ini"), serial);
    EXPECT_EQ(h.libraryFolder, library);
    EXPECT_EQ(h.coreFolder + "\\", core);  // stored with its backslash; the tool uses it as it is
    EXPECT_EQ("", relocated);
    EXPECT_EQ("HSIM-0001-0002", serial);
    EXPECT_EQ(h.databasesFolder, library + "\\databases");

    EXPECT_TRUE(zrtest::FileExists(library + "\\NerithMediaLibrary.dll"));
    EXPECT_TRUE(zrtest::FolderExists(library + "\\Plugins"));
    for (const char* name : hostsim::kCompanionFiles) EXPECT_TRUE(zrtest::FileExists(h.databasesFolder + "\\" + name));
    hostsim::CLibraryDb db;
    std::vector<hostsim::TrackRow> rows;
    ASSERT_TRUE(db.Open(h.contentsDb));
    ASSERT_TRUE(db.LoadAll(rows));
    EXPECT_TRUE(rows.empty());
    db.Close();

    // GUI data where this version keeps it.
    EXPECT_EQ(c.sharedGui, h.sharedGuiLayout);
    std::string shared = CommonAppData() + "\\Nerith\\SDTL";
    if (c.sharedGui) {
        EXPECT_EQ(shared + "\\UserPlaylist", h.playlistFolder);
        EXPECT_EQ(shared + "\\SDProducerRule.dat", h.producerRule);
    } else {
        EXPECT_EQ(program + "\\ユーザープレイリスト", h.playlistFolder);
        EXPECT_EQ(program + "\\usrdic.dic", h.usrdicDic);
        EXPECT_EQ(hostsim::SpecialFolder(CSIDL_APPDATA) + "\\SDTalvane\\SDProducerRule.dat", h.producerRule);
    }
    for (const std::string& f : {h.mirsDat, h.usrdicDic, h.producerRule, h.playlistFolder + "\\Favorites.m3u",
                                 h.playlistFolder + "\\お気に入りソ表.m3u", h.playlistFolder + "\\Live\\ライブ表\\夏ソ.m3u"})
        EXPECT_TRUE(zrtest::FileExists(f)) << f;

    hostsim::Uninstall(h);
    EXPECT_FALSE(TalvaneFound());
    EXPECT_FALSE(CorvellFound());
    for (const std::string& key : {h.uninstallKey, h.settingsKey, std::string(hostsim::kNmlKey),
                                   std::string(hostsim::kCoreKey), std::string(hostsim::kHostSimKey)})
        EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    EXPECT_FALSE(hostsim::KeyExists(HKEY_CURRENT_USER, h.userSettingsKey));
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr"));
    EXPECT_FALSE(hostsim::PathExists(h.root));
    EXPECT_FALSE(hostsim::PathExists(h.mirsDat));
    EXPECT_FALSE(hostsim::PathExists(h.producerRule));
    EXPECT_FALSE(hostsim::PathExists(shared));
}

const char kV5[] = "SOFTWARE\\Dovr\\SD-TalvaneV5\\Settings";
const char kV6[] = "SOFTWARE\\Dovr\\SD-TalvaneV6\\Settings";
const char kV7[] = "SOFTWARE\\Dovr\\SD-Talvane\\Settings";
const char kCorvell[] = "SOFTWARE\\Dovr\\SD-Corvell\\Settings";

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostVersion,
    testing::Values(VersionCase{"Talvane53", HostKind::Talvane, 5, 3, 0, true, kV5, false},
                    VersionCase{"Talvane66", HostKind::Talvane, 6, 6, 0, true, kV6, false},
                    VersionCase{"Talvane67", HostKind::Talvane, 6, 7, 0, true, kV7, true},
                    VersionCase{"Talvane70", HostKind::Talvane, 7, 0, 0, true, kV7, true},
                    VersionCase{"Corvell11", HostKind::Corvell, 1, 1, 0, true, kCorvell, true},
                    VersionCase{"Corvell10Level50", HostKind::Corvell, 1, 0, 50, true, kCorvell, true},
                    VersionCase{"Talvane52Refused", HostKind::Talvane, 5, 2, 0, false, kV5, false},
                    VersionCase{"Talvane65Refused", HostKind::Talvane, 6, 5, 0, false, kV6, false},
                    VersionCase{"Talvane80Refused", HostKind::Talvane, 8, 0, 0, false, kV7, true},
                    VersionCase{"Corvell20Refused", HostKind::Corvell, 2, 0, 0, false, kCorvell, true}),
    [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Parts left out: each one makes exactly its reader come back empty.

bool ProgramPathFound() {
    std::string p;
    return zr::GetTalvaneProgramPath(p);
}
bool MediaPathFound() {
    std::string p;
    zr::GetMediaPath(p);
    return !p.empty();
}
bool NmlPathFound() {
    std::string p;
    zr::GetNmlProgramPath(p);
    return !p.empty();
}
bool CorePathFound() {
    std::string p;
    zr::GetCoreProgramPath(p);
    return !p.empty();
}
bool SerialFound() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string folder = std::string(temp) + "hostsim_serial_probe_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string p;
    zr::SaveSerialToIni(folder, p);
    zrtest::RemoveTree(folder);
    return !p.empty();
}

struct OmitCase {
    const char* name;
    unsigned omit;
    bool (*found)();
};

void PrintTo(const OmitCase& c, std::ostream* os) { *os << c.name; }

class LeftOut : public testing::TestWithParam<OmitCase> {};

TEST_P(LeftOut, OnlyThatReaderComesBackEmpty) {
    const OmitCase& c = GetParam();
    CSandbox box;
    InstallOptions o = Options(box, HostKind::Talvane, 7, 0);
    InstalledHost h;
    std::string error;
    {
        // The same installation in full finds everything.
        ASSERT_TRUE(hostsim::Install(o, h, error)) << error;
        EXPECT_TRUE(c.found());
        hostsim::Uninstall(h);
    }
    o.omit = c.omit;
    ASSERT_TRUE(hostsim::Install(o, h, error)) << error;
    EXPECT_FALSE(c.found());
    hostsim::Uninstall(h);
    EXPECT_FALSE(hostsim::PathExists(h.root));
}

INSTANTIATE_TEST_SUITE_P(
    Parts, LeftOut,
    testing::Values(OmitCase{"DeviceIni", hostsim::kPartDeviceIni, TalvaneFound},
                    OmitCase{"UninstallKey", hostsim::kPartUninstallKey, TalvaneFound},
                    OmitCase{"SettingsKey", hostsim::kPartSettingsKey, ProgramPathFound},
                    OmitCase{"TalvNumber", hostsim::kPartTalvNumber, ProgramPathFound},
                    OmitCase{"MediaPath", hostsim::kPartMediaPath, MediaPathFound},
                    OmitCase{"NmlKey", hostsim::kPartNmlKey, NmlPathFound},
                    OmitCase{"CoreKey", hostsim::kPartCoreKey, CorePathFound},
                    OmitCase{"Serial", hostsim::kPartSerial, SerialFound}),
    [](const testing::TestParamInfo<OmitCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

TEST(HostInstall, RelocatedDatabasesAreFoundThroughTheRelocationList) {
    CSandbox box;
    InstallOptions o = Options(box, HostKind::Talvane, 6, 6);
    o.relocateDatabases = true;
    InstalledHost h;
    std::string error;
    ASSERT_TRUE(hostsim::Install(o, h, error)) << error;

    std::string library, relocated;
    zr::GetNmlProgramPath(library);
    zr::FindNewDbPath(library + "\\databases", relocated);
    EXPECT_EQ(h.databasesFolder, relocated);
    EXPECT_NE(library + "\\databases", relocated);
    EXPECT_TRUE(zrtest::FileExists(relocated + "\\contents.db"));
    EXPECT_FALSE(zrtest::FolderExists(library + "\\databases"));

    // hostsim's own reader follows the same list.
    std::vector<InstalledHost> found;
    ASSERT_TRUE(hostsim::FindInstalledHosts(found, error)) << error;
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(h.contentsDb, found[0].contentsDb);
    EXPECT_EQ(h.oldDatabasesFolder, found[0].oldDatabasesFolder);

    hostsim::Uninstall(found[0]);
    EXPECT_FALSE(hostsim::PathExists(h.root));
}

TEST(HostInstall, BadRequestsAreRefusedAndLeaveNothing) {
    CSandbox box;
    InstalledHost h;
    std::string error;

    InstallOptions o = Options(box, HostKind::Talvane, 7, 0);
    o.root = "C:\\";
    EXPECT_FALSE(hostsim::Install(o, h, error));
    EXPECT_NE(std::string::npos, error.find("drive root")) << error;

    o = Options(box, HostKind::Talvane, 0, 0);
    EXPECT_FALSE(hostsim::Install(o, h, error));
    EXPECT_NE(std::string::npos, error.find("version")) << error;

    // Fails after the host's own keys and GUI data were written: all of it goes again.
    o = Options(box, HostKind::Talvane, 6, 6);
    o.moduleSource = box.Path("no-such.dll");
    EXPECT_FALSE(hostsim::Install(o, h, error));
    EXPECT_NE(std::string::npos, error.find("no-such.dll")) << error;
    EXPECT_FALSE(TalvaneFound());
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr"));
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, hostsim::kTalvaneUninstallKey));
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, hostsim::kHostSimKey));
    EXPECT_FALSE(hostsim::PathExists(o.root));
}

TEST(HostInstall, SameHostTwiceIsRefusedAndTheFirstStays) {
    CSandbox box;
    InstalledHost first, second;
    std::string error;
    ASSERT_TRUE(hostsim::Install(Options(box, HostKind::Talvane, 7, 0), first, error)) << error;
    InstallOptions o = Options(box, HostKind::Talvane, 6, 6);
    o.root = box.Path("Other");
    EXPECT_FALSE(hostsim::Install(o, second, error));
    EXPECT_NE(std::string::npos, error.find("already installed")) << error;
    EXPECT_TRUE(TalvaneFound());
    EXPECT_TRUE(zrtest::FileExists(first.contentsDb));
    EXPECT_FALSE(hostsim::PathExists(o.root));
    hostsim::Uninstall(first);
}

TEST(HostInstall, SecondHostSharesTheLibraryAndBothAreFound) {
    CSandbox box;
    InstallOptions o = Options(box, HostKind::Talvane, 6, 6);
    o.relocateDatabases = true;
    InstalledHost talvane, corvell;
    std::string error;
    ASSERT_TRUE(hostsim::Install(o, talvane, error)) << error;
    ASSERT_TRUE(hostsim::Install(Options(box, HostKind::Corvell, 1, 1), corvell, error)) << error;

    EXPECT_TRUE(TalvaneFound());
    EXPECT_TRUE(CorvellFound());
    EXPECT_EQ(talvane.contentsDb, corvell.contentsDb);
    EXPECT_EQ(talvane.coreFolder, corvell.coreFolder);
    // 6.6 keeps its GUI data in its program folder, the second host in the shared one.
    EXPECT_FALSE(talvane.sharedGuiLayout);
    EXPECT_TRUE(corvell.sharedGuiLayout);
    EXPECT_TRUE(zrtest::FileExists(talvane.mirsDat));
    EXPECT_TRUE(zrtest::FileExists(corvell.mirsDat));
    EXPECT_NE(zrtest::ReadTextFile(talvane.mirsDat), zrtest::ReadTextFile(corvell.mirsDat));

    std::vector<InstalledHost> found;
    ASSERT_TRUE(hostsim::FindInstalledHosts(found, error)) << error;
    ASSERT_EQ(2u, found.size());
    const InstalledHost* made[] = {&talvane, &corvell};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(hostsim::HostName(made[i]->host));
        const InstalledHost& f = found[i];
        EXPECT_EQ(made[i]->host, f.host);
        EXPECT_EQ(made[i]->major, f.major);
        EXPECT_EQ(made[i]->minor, f.minor);
        EXPECT_EQ(made[i]->root, f.root);
        EXPECT_EQ(made[i]->programFolder, f.programFolder);
        EXPECT_EQ(made[i]->settingsKey, f.settingsKey);
        EXPECT_EQ(made[i]->mediaFolder, f.mediaFolder);
        EXPECT_EQ(made[i]->libraryFolder, f.libraryFolder);
        EXPECT_EQ(made[i]->contentsDb, f.contentsDb);
        EXPECT_EQ(made[i]->coreFolder, f.coreFolder);
        EXPECT_EQ(made[i]->serial, f.serial);
        EXPECT_EQ(made[i]->playlistFolder, f.playlistFolder);
        EXPECT_EQ(made[i]->producerRule, f.producerRule);
    }
    for (const InstalledHost& f : found) hostsim::Uninstall(f);
    EXPECT_FALSE(hostsim::PathExists(talvane.root));
    EXPECT_FALSE(hostsim::PathExists(corvell.mirsDat));
    EXPECT_FALSE(hostsim::FindInstalledHosts(found, error));
}

// ---------------------------------------------------------------------------
// Library generation and listing

struct ListedTrack {
    std::string title, path, attr, state, file;
    std::vector<std::string> pictures;
};

struct Listing {
    std::vector<ListedTrack> tracks;
    std::vector<std::vector<std::string>> rights;  // path, title, bytes
    std::vector<std::string> lines;
};

std::vector<std::string> Split(const std::string& text, const std::string& sep) {
    std::vector<std::string> parts;
    std::string::size_type start = 0, at;
    while ((at = text.find(sep, start)) != std::string::npos) {
        parts.push_back(text.substr(start, at - start));
        start = at + sep.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

Listing Parse(const std::string& text) {
    Listing l;
    l.lines = Split(text, "\r\n");
    for (const std::string& line : l.lines) {
        std::vector<std::string> f = Split(line, "\t");
        if (f[0].rfind("track ", 0) == 0 && f.size() >= 6) {
            ListedTrack t{f[1], f[2], f[3], f[4], f[5], {}};
            for (size_t i = 6; i < f.size(); ++i) {
                if (f[i].rfind("pic=", 0) == 0) t.pictures.push_back(f[i].substr(4));
            }
            l.tracks.push_back(t);
        } else if (f[0] == "right" && f.size() == 4) {
            l.rights.push_back({f[1], f[2], f[3]});
        }
    }
    return l;
}

std::string List(const InstalledHost& h) {
    std::string text, error;
    EXPECT_TRUE(hostsim::ListLibrary(h.contentsDb, h.coreFolder, text, error)) << error;
    return text;
}

int CountFiles(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (FindNextFileA(find, &data));
    FindClose(find);
    return n;
}

class Library : public testing::Test {
protected:
    void Install(unsigned omit = 0) {
        InstallOptions o = Options(box_, HostKind::Talvane, 7, 0);
        o.omit = omit;
        std::string error;
        ASSERT_TRUE(hostsim::Install(o, host_, error)) << error;
    }
    void TearDown() override { hostsim::Uninstall(host_); }

    CSandbox box_;
    InstalledHost host_;
};

TEST_F(Library, ListsEveryKindOfTrack) {
    Install();
    LibraryOptions o;
    o.tracks = 24;
    o.folders = 7;
    o.fileSize = 300;
    o.picturesPerTrack = 2;
    o.secureTracks = 3;
    o.missingTracks = 2;
    o.driveRootTrack = true;
    hostsim::LibrarySummary summary;
    std::string error;
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error, &summary)) << error;
    EXPECT_EQ(22u, summary.filesWritten);

    Listing l = Parse(List(host_));
    ASSERT_EQ(24u, l.tracks.size());
    EXPECT_NE(l.lines.end(), std::find(l.lines.begin(), l.lines.end(), "tracks 24"));

    std::map<std::string, std::set<std::string>> parentsOfFolderName;
    std::map<std::string, int> pictureUse;
    std::set<std::string> titles, covers;
    std::vector<std::string> missing, driveRoot;
    std::set<std::string> securePaths;
    int secureA = 0, secureB = 0, otherFlags = 0;
    bool japaneseFolder = false, japaneseTitle = false, japaneseFile = false;
    for (const ListedTrack& t : l.tracks) {
        titles.insert(t.title);
        std::string folder = zr::FolderPart(t.path);
        parentsOfFolderName[zr::FileNamePart(folder)].insert(zr::FolderPart(folder));
        if (folder.size() == 2 && folder[1] == ':') driveRoot.push_back(t.path);
        if (t.file == "file=missing") missing.push_back(t.path);
        else EXPECT_EQ("file=ok", t.file) << t.path;
        if (t.attr == "attr=0x00000008") ++secureA;
        if (t.attr == "attr=0x00000010") ++secureB;
        if (t.attr == "attr=0x00000024") ++otherFlags;
        if (t.attr == "attr=0x00000008" || t.attr == "attr=0x00000010") securePaths.insert(t.path);
        // A folder name ending in 表 (second byte 0x5C) right before the separator.
        japaneseFolder |= folder.find("表\\") != std::string::npos && zrtest::FolderExists(folder);
        japaneseTitle |= t.title.find("ソ") != std::string::npos;
        japaneseFile |= zr::FileNamePart(t.path).find("ソ表") != std::string::npos;
        EXPECT_EQ("state=1", t.state);
        ASSERT_EQ(2u, t.pictures.size()) << t.path;
        for (const std::string& pic : t.pictures) {
            ++pictureUse[pic];
            EXPECT_TRUE(zrtest::FileExists(pic)) << pic;
            if (zr::FileNamePart(pic) == "cover.jpg") covers.insert(pic);
        }
    }
    EXPECT_EQ(24u, titles.size());
    EXPECT_GE(parentsOfFolderName["Disc 1"].size(), 3u);  // "Artist 1\Disc 1", "Artist 2\Disc 1", ...
    EXPECT_TRUE(japaneseFolder);
    EXPECT_TRUE(japaneseTitle);
    EXPECT_TRUE(japaneseFile);

    // The drive-root track is real and remembered for clean-up.
    ASSERT_EQ(1u, driveRoot.size());
    EXPECT_EQ(summary.driveRootFile, driveRoot[0]);
    EXPECT_TRUE(zrtest::FileExists(driveRoot[0]));
    ASSERT_EQ(1u, host_.driveRootFiles.size());
    EXPECT_EQ(driveRoot[0], host_.driveRootFiles[0]);

    ASSERT_EQ(2u, missing.size());
    for (const std::string& path : missing) EXPECT_FALSE(hostsim::PathExists(path)) << path;

    EXPECT_EQ(3, secureA + secureB);
    EXPECT_GE(secureA, 1);
    EXPECT_GE(secureB, 1);
    EXPECT_GE(otherFlags, 1);
    ASSERT_EQ(3u, l.rights.size());
    for (const auto& r : l.rights) {
        EXPECT_EQ(1u, securePaths.count(r[0])) << r[0];
        EXPECT_EQ(32u, r[2].size());  // 16 bytes in hex
    }

    // One cover.jpg shared by a folder's tracks; other folders have their own, different ones.
    int shared = 0;
    for (const auto& use : pictureUse) shared += use.second > 1;
    EXPECT_GE(shared, 1);
    ASSERT_GE(covers.size(), 3u);
    std::set<std::string> coverBytes;
    for (const std::string& c : covers) coverBytes.insert(zrtest::ReadTextFile(c));
    EXPECT_EQ(covers.size(), coverBytes.size());

    // Content: the size asked for, and bytes that differ per track.
    std::set<std::string> contents;
    for (const ListedTrack& t : l.tracks) {
        if (t.file != "file=ok") continue;
        std::string bytes = zrtest::ReadTextFile(t.path);
        EXPECT_EQ(300u, bytes.size()) << t.path;
        EXPECT_EQ(0u, bytes.rfind("HOSTSIM TRACK ", 0)) << t.path;
        contents.insert(bytes);
    }
    EXPECT_EQ(22u, contents.size());

    hostsim::Uninstall(host_);
    EXPECT_FALSE(hostsim::PathExists(driveRoot[0]));
    EXPECT_FALSE(hostsim::PathExists(host_.musicRoot));
    EXPECT_FALSE(hostsim::PathExists(host_.root));
}

// The listing format is what people and tests diff: pinned here, with the
// sandbox's root written as <ROOT>.
TEST_F(Library, ListingIsByteStable) {
    Install();
    LibraryOptions o;
    o.tracks = 5;
    o.folders = 2;
    o.fileSize = 10;
    o.picturesPerTrack = 2;
    o.secureTracks = 2;
    o.missingTracks = 1;
    std::string error;
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    std::string first = List(host_);
    EXPECT_EQ(first, List(host_));

    std::string text = first;
    for (std::string::size_type at; (at = text.find(host_.root)) != std::string::npos;)
        text.replace(at, host_.root.size(), "<ROOT>");
    const char* expected =
        "hostsim library\r\n"
        "track 1\tTrack 00000\t<ROOT>\\Music\\Artist 1\\Disc 1\\01 Track.wma\tattr=0x00000008\tstate=1\tfile=ok"
        "\tpic=<ROOT>\\Music\\Artist 1\\Disc 1\\cover.jpg\tpicfile=ok\tpic=<ROOT>\\Media\\Picture\\0000\\00000-2.jpg\tpicfile=ok\r\n"
        "track 2\tTrack 00001\t<ROOT>\\Music\\Artist 1\\Disc 1\\02 Track.wma\tattr=0x00000010\tstate=1\tfile=ok"
        "\tpic=<ROOT>\\Music\\Artist 1\\Disc 1\\cover.jpg\tpicfile=ok\tpic=<ROOT>\\Media\\Picture\\0000\\00001-2.jpg\tpicfile=ok\r\n"
        "track 3\tTrack 00002\t<ROOT>\\Music\\Artist 1\\Disc 1\\03 Track.wma\tattr=0x00000000\tstate=1\tfile=ok"
        "\tpic=<ROOT>\\Music\\Artist 1\\Disc 1\\cover.jpg\tpicfile=ok\tpic=<ROOT>\\Media\\Picture\\0000\\00002-2.jpg\tpicfile=ok\r\n"
        "track 4\t曲00003 ソ表\t<ROOT>\\Music\\Artist 1\\Disc 2\\01 曲ソ表.wma\tattr=0x00000000\tstate=1\tfile=missing"
        "\tpic=<ROOT>\\Music\\Artist 1\\Disc 2\\cover.jpg\tpicfile=ok\tpic=<ROOT>\\Media\\Picture\\0000\\00003-2 表紙ソ.jpg\tpicfile=ok\r\n"
        "track 5\tTrack 00004\t<ROOT>\\Music\\Artist 1\\Disc 2\\02 Track.wma\tattr=0x00000000\tstate=1\tfile=ok"
        "\tpic=<ROOT>\\Music\\Artist 1\\Disc 2\\cover.jpg\tpicfile=ok\tpic=<ROOT>\\Media\\Picture\\0000\\00004-2.jpg\tpicfile=ok\r\n"
        "tracks 5\r\n"
        "rights\r\n"
        "right\t<ROOT>\\Music\\Artist 1\\Disc 1\\01 Track.wma\tTrack 00000\t00070e151c232a31383f464d545b6269\r\n"
        "right\t<ROOT>\\Music\\Artist 1\\Disc 1\\02 Track.wma\tTrack 00001\t1f262d343b424950575e656c737a8188\r\n"
        "rights-records 2\r\n";
    EXPECT_EQ(expected, text);

    // The same options give the same library again.
    hostsim::Uninstall(host_);
    Install();
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    EXPECT_EQ(first, List(host_));
}

// Digests tell whether a file's bytes arrived unchanged: the listing with them
// is the plain one plus a sum per present file, and one changed byte changes
// that file's sum alone.
TEST_F(Library, DigestsFollowTheFilesBytes) {
    Install();
    LibraryOptions o;
    o.tracks = 4;
    o.folders = 1;
    o.fileSize = 100;
    o.picturesPerTrack = 1;
    o.secureTracks = 0;
    o.missingTracks = 1;
    std::string error;
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    std::string plain = List(host_), digests;
    ASSERT_TRUE(hostsim::ListLibrary(host_.contentsDb, host_.coreFolder, digests, error, true)) << error;

    std::string stripped = digests;
    for (const char* field : {"\tsum=", "\tpicsum="}) {
        for (std::string::size_type at; (at = stripped.find(field)) != std::string::npos;)
            stripped.erase(at, std::string(field).size() + 16);
    }
    EXPECT_EQ(plain, stripped);
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (std::string::size_type at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
        return n;
    };
    EXPECT_EQ(3u, count(digests, "\tsum="));  // the missing track has none
    EXPECT_EQ(4u, count(digests, "\tpicsum="));

    // One byte changed in the file of the first track that has one.
    std::string::size_type lineStart = digests.rfind("\ntrack ", digests.find("\tsum=")) + 1;
    std::string::size_type lineEnd = digests.find("\r\n", lineStart);
    std::string line = digests.substr(lineStart, lineEnd - lineStart);
    std::string::size_type pathStart = line.find('\t', line.find('\t') + 1) + 1;
    std::string path = line.substr(pathStart, line.find('\t', pathStart) - pathStart);
    std::string bytes = zrtest::ReadTextFile(path);
    ASSERT_EQ(100u, bytes.size()) << path;
    bytes[50] = static_cast<char>(bytes[50] ^ 1);
    ASSERT_TRUE(hostsim::WriteWholeFile(path, bytes, error)) << error;
    std::string changed;
    ASSERT_TRUE(hostsim::ListLibrary(host_.contentsDb, host_.coreFolder, changed, error, true)) << error;
    ASSERT_EQ(digests.size(), changed.size());
    EXPECT_NE(digests.substr(lineStart, lineEnd - lineStart), changed.substr(lineStart, lineEnd - lineStart));
    EXPECT_EQ(digests.substr(0, lineStart), changed.substr(0, lineStart));
    EXPECT_EQ(digests.substr(lineEnd), changed.substr(lineEnd));
}

TEST_F(Library, RelocatedLibraryIsTheOneFilled) {
    InstallOptions io = Options(box_, HostKind::Talvane, 7, 0);
    io.relocateDatabases = true;
    std::string error;
    ASSERT_TRUE(hostsim::Install(io, host_, error)) << error;
    LibraryOptions o;
    o.tracks = 3;
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    std::string relocated;
    zr::FindNewDbPath(host_.libraryFolder + "\\databases", relocated);
    std::string text;
    ASSERT_TRUE(hostsim::ListLibrary(relocated + "\\contents.db", "", text, error)) << error;
    EXPECT_NE(std::string::npos, text.find("tracks 3\r\nrights none\r\nrights-records 0\r\n")) << text;
}

TEST_F(Library, RefusedRequestsWriteNothing) {
    struct Case {
        const char* name;
        unsigned omit;
        LibraryOptions options;
        const char* message;
    };
    LibraryOptions tooManySpecial;
    tooManySpecial.tracks = 4;
    tooManySpecial.secureTracks = 3;
    tooManySpecial.missingTracks = 2;
    LibraryOptions secure;
    secure.secureTracks = 1;
    LibraryOptions plain;
    LibraryOptions driveRootOnly;
    driveRootOnly.tracks = 0;
    driveRootOnly.secureTracks = driveRootOnly.missingTracks = 0;
    driveRootOnly.driveRootTrack = true;
    const Case cases[] = {
        {"specials exceed tracks", 0, tooManySpecial, "exceed"},
        {"secure without core", hostsim::kPartCoreKey, secure, "secure core"},
        {"no library", hostsim::kPartLibrary, plain, "no library database"},
        {"drive root without tracks", 0, driveRootOnly, "at least one track"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install(c.omit);
        std::string error;
        EXPECT_FALSE(hostsim::CreateLibrary(host_, c.options, error));
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
        EXPECT_FALSE(hostsim::PathExists(host_.root + "\\Music"));
        hostsim::Uninstall(host_);
    }

    // A library that already has tracks, and a music root with files in it.
    Install();
    std::string error;
    LibraryOptions o;
    o.tracks = 2;
    o.secureTracks = o.missingTracks = 0;
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    std::string before = List(host_);
    o.musicRoot = box_.Path("Music2");
    EXPECT_FALSE(hostsim::CreateLibrary(host_, o, error));
    EXPECT_NE(std::string::npos, error.find("already")) << error;
    EXPECT_EQ(before, List(host_));
    EXPECT_FALSE(hostsim::PathExists(o.musicRoot));

    zrtest::MakeFolder(box_.Path("Busy"));
    zrtest::WriteTextFile(box_.Path("Busy\\keep.txt"), "mine");
    InstalledHost other = host_;
    other.musicRoot.clear();
    o.musicRoot = box_.Path("Busy");
    EXPECT_FALSE(hostsim::CreateLibrary(other, o, error));
    EXPECT_NE(std::string::npos, error.find("already holds files")) << error;
    EXPECT_EQ("mine", zrtest::ReadTextFile(box_.Path("Busy\\keep.txt")));
}

TEST_F(Library, FailureHalfWayTakesEverythingBack) {
    Install();
    // A folder where the last track's own picture must go makes the file
    // writes fail late, after the drive-root track was written.
    const std::string obstacle = host_.pictureFolder + "\\0000\\00005-2.jpg";
    zrtest::MakeFolder(obstacle);
    LibraryOptions o;
    o.tracks = 6;
    o.picturesPerTrack = 2;
    o.secureTracks = 1;
    o.missingTracks = 1;
    o.driveRootTrack = true;
    InstalledHost before = host_;
    const std::string driveRootPattern = hostsim::DriveRootOf(host_.root) + "hostsim-*.wma";
    const int driveRootFilesBefore = CountFiles(driveRootPattern);
    std::string error;
    EXPECT_FALSE(hostsim::CreateLibrary(host_, o, error));
    EXPECT_NE(std::string::npos, error.find("00005-2.jpg")) << error;

    Listing l = Parse(List(host_));
    EXPECT_TRUE(l.tracks.empty());
    EXPECT_TRUE(l.rights.empty());
    EXPECT_FALSE(hostsim::PathExists(host_.root + "\\Music"));
    EXPECT_FALSE(hostsim::PathExists(host_.pictureFolder + "\\0000\\00000-2.jpg"));
    EXPECT_FALSE(hostsim::PathExists(host_.pictureFolder + "\\cover.jpg"));
    EXPECT_TRUE(host_.driveRootFiles.empty());
    EXPECT_EQ(driveRootFilesBefore, CountFiles(driveRootPattern));
    EXPECT_EQ(before.musicRoot, host_.musicRoot);
    std::vector<std::string> drive;
    hostsim::CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, hostsim::kHostSimKey));
    EXPECT_TRUE(!key.GetMultiString("DriveRootFiles", drive) || drive.empty());

    // With the obstacle gone the same request succeeds.
    RemoveDirectoryA(obstacle.c_str());
    ASSERT_TRUE(hostsim::CreateLibrary(host_, o, error)) << error;
    EXPECT_EQ(6u, Parse(List(host_)).tracks.size());
}

TEST(LibraryList, UnreadableDatabasesAreErrors) {
    CSandbox box;
    std::string text = "old", error;
    EXPECT_FALSE(hostsim::ListLibrary(box.Path("none.db"), "", text, error));
    EXPECT_NE(std::string::npos, error.find("none.db")) << error;
    EXPECT_TRUE(text.empty());

    zrtest::WriteTextFile(box.Path("contents.db"), "not a database");
    EXPECT_FALSE(hostsim::ListLibrary(box.Path("contents.db"), "", text, error));
    EXPECT_NE(std::string::npos, error.find("cannot be read")) << error;

    // A good library with a broken rights database is an error too, not an empty list.
    hostsim::CLibraryDb db;
    ASSERT_TRUE(db.Create(box.Path("good.db")));
    db.Close();
    zrtest::MakeFolder(box.Path("core"));
    zrtest::WriteTextFile(hostsim::RightsDbPath(box.Path("core")), "not a database");
    EXPECT_FALSE(hostsim::ListLibrary(box.Path("good.db"), box.Path("core"), text, error));
    EXPECT_NE(std::string::npos, error.find("rights")) << error;
    ASSERT_TRUE(hostsim::ListLibrary(box.Path("good.db"), box.Path("nocore"), text, error)) << error;
    EXPECT_EQ("hostsim library\r\ntracks 0\r\nrights empty\r\nrights-records 0\r\n", text);
}

}  // namespace
