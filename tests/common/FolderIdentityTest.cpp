#include "common/FolderIdentity.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/PathUtil.h"
#include "support/Sandbox.h"
#include "support/UnixLinks.h"

namespace {

// "表" in Shift-JIS is 0x95 0x5C: its trail byte is the backslash code.
const char kOmote[] = "\x95\x5C";

// One scene for every test that only looks, since a drive letter takes Wine
// up to a second to show and as long to forget:
//   Library\表\Album\Track.txt, Library\表Extra, Library\LongFolderName\Inner
//   Second\表                      another folder of the same name
//   Other\Link     -> Library\表     a link to a folder inside another folder
//   Other\DeepLink -> Library\表\Album
//   Other\FileLink -> Library\表\Album\Track.txt
//   drive X:       -> Library
// and, where the test may mount (as root):
//   Bound          =  Plain (Plain\Inner), bind mounted
//   Other\BoundLink -> Bound\Inner
//   FsA\Music, FsB\Music  on two tmpfs, folders of one file index
struct Scene {
    Scene() {
        const std::string library = sandbox.Path("Library");
        zrtest::MakeTextFile(library + "\\" + kOmote + "\\Album\\Track.txt", "track");
        zrtest::MakeFolder(library + "\\" + kOmote + "Extra");
        zrtest::MakeFolder(library + "\\LongFolderName\\Inner");
        zrtest::MakeFolder(sandbox.Path(std::string("Second\\") + kOmote));
        zrtest::MakeFolder(sandbox.Path("Other"));
        linksMade = zrtest::MakeUnixLink(sandbox.Path("Other\\Link"), library + "\\" + kOmote) &&
                    zrtest::MakeUnixLink(sandbox.Path("Other\\DeepLink"), library + "\\" + kOmote + "\\Album") &&
                    zrtest::MakeUnixLink(sandbox.Path("Other\\FileLink"),
                                         library + "\\" + kOmote + "\\Album\\Track.txt");
        drive.reset(new zrtest::CExtraDrive(library));
        zrtest::MakeFolder(sandbox.Path("Plain\\Inner"));
        zrtest::MakeFolder(sandbox.Path("Bound"));
        mounts.emplace_back(new zrtest::CUnixMount({"--bind", zrtest::UnixPathOf(sandbox.Path("Plain"))},
                                                   sandbox.Path("Bound")));
        for (const char* fileSystem : {"FsA", "FsB"}) {
            zrtest::MakeFolder(sandbox.Path(fileSystem));
            mounts.emplace_back(new zrtest::CUnixMount({"-t", "tmpfs", "-o", "size=64k", "tmpfs"},
                                                       sandbox.Path(fileSystem)));
            zrtest::MakeFolder(sandbox.Path(std::string(fileSystem) + "\\Music"));
        }
        if (Mounted()) {
            linksMade =
                linksMade && zrtest::MakeUnixLink(sandbox.Path("Other\\BoundLink"), sandbox.Path("Bound\\Inner"));
        }
    }
    bool Mounted() const {
        for (const auto& mount : mounts) {
            if (!mount->Ok()) return false;
        }
        return true;
    }
    // The sandbox's removal would follow the links.
    ~Scene() {
        for (const char* link : {"Other\\Link", "Other\\DeepLink", "Other\\FileLink", "Other\\BoundLink"}) {
            zrtest::RemoveUnixLink(sandbox.Path(link));
        }
        mounts.clear();
        drive.reset();
    }

    zrtest::CSandbox sandbox;
    bool linksMade = false;
    std::unique_ptr<zrtest::CExtraDrive> drive;
    std::vector<std::unique_ptr<zrtest::CUnixMount>> mounts;
};

std::unique_ptr<Scene> g_scene;

// The scene goes with the last test, while the process can still start the
// program that removes its drive.
class SceneEnvironment : public testing::Environment {
public:
    void TearDown() override { g_scene.reset(); }
};
testing::Environment* const g_sceneEnvironment = testing::AddGlobalTestEnvironment(new SceneEnvironment);

class FolderIdentityScene : public testing::Test {
protected:
    void SetUp() override {
        if (!zrtest::UnderWine()) GTEST_SKIP() << "links and drive letters are made through Wine's Unix side";
        if (!g_scene) g_scene.reset(new Scene());
        ASSERT_TRUE(g_scene->linksMade) << "the scene's Unix links could not be made";
        ASSERT_TRUE(g_scene->drive->Ok()) << "the scene's drive letter could not be made";
    }

    // "S\..." is the sandbox, "X:\..." the scene's drive; "{short}" the short
    // name of Library\LongFolderName.
    static std::string Resolve(const std::string& spec) {
        std::string path = spec;
        const std::string shortMark = "{short}";
        const std::size_t at = path.find(shortMark);
        if (at != std::string::npos) {
            char shortName[MAX_PATH] = {};
            GetShortPathNameA(g_scene->sandbox.Path("Library\\LongFolderName").c_str(), shortName, MAX_PATH);
            path.replace(at, shortMark.size(), zr::FileNamePart(shortName));
        }
        if (path.compare(0, 2, "S\\") == 0) return g_scene->sandbox.Path(path.substr(2));
        if (path.compare(0, 3, "X:\\") == 0) return g_scene->drive->Root() + path.substr(3);
        return path;
    }
};

struct PlaceCase {
    const char* name;
    std::string item;
    std::string folder;
    bool same;    // IsSameFolder(item, folder)
    bool inside;  // IsSameOrInsideFolder(item, folder)
    bool mounted = false;  // needs the scene's mounts
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class FolderPlaces : public FolderIdentityScene, public testing::WithParamInterface<PlaceCase> {};

TEST_P(FolderPlaces, ComparesWhatTheFoldersAre) {
    if (GetParam().mounted && !g_scene->Mounted()) GTEST_SKIP() << "the scene's mounts need root";
    const std::string item = Resolve(GetParam().item);
    const std::string folder = Resolve(GetParam().folder);
    EXPECT_EQ(GetParam().same, zr::IsSameFolder(item, folder)) << item << " / " << folder;
    EXPECT_EQ(GetParam().inside, zr::IsSameOrInsideFolder(item, folder)) << item << " in " << folder;
    // One cache asked about many items gives the answers of fresh ones.
    zr::CFolderIdentities shared;
    shared.IsSameOrInside(Resolve("S\\Other\\Link\\Album"), folder);
    EXPECT_EQ(GetParam().inside, shared.IsSameOrInside(item, folder));
    EXPECT_EQ(GetParam().same, shared.IsSame(item, folder));
}

const std::string kTrack = std::string(kOmote) + "\\Album\\Track.txt";

INSTANTIATE_TEST_SUITE_P(
    Names, FolderPlaces,
    testing::Values(
        PlaceCase{"SecondDriveLetter", std::string("X:\\") + kOmote, std::string("S\\Library\\") + kOmote, true, true},
        PlaceCase{"FolderThroughSecondDrive", std::string("S\\Library\\") + kOmote + "\\Album",
                  std::string("X:\\") + kOmote, false, true},
        PlaceCase{"ItemBelowSecondDrive", "X:\\" + kTrack, std::string("S\\Library\\") + kOmote, false, true},
        PlaceCase{"NotYetMadeBelowSecondDrive", std::string("X:\\") + kOmote + "\\Album\\New\\Deeper.txt",
                  std::string("S\\Library\\") + kOmote + "\\Album", false, true},
        PlaceCase{"LinkInAnotherFolder", "S\\Other\\Link", std::string("S\\Library\\") + kOmote, true, true},
        PlaceCase{"ItemBelowLink", "S\\Other\\Link\\Album\\Track.txt", std::string("S\\Library\\") + kOmote + "\\Album",
                  false, true},
        PlaceCase{"NotYetMadeBelowLink", "S\\Other\\Link\\Album\\New\\Deeper.txt",
                  std::string("S\\Library\\") + kOmote + "\\Album", false, true},
        PlaceCase{"FolderThroughLink", std::string("S\\Library\\") + kOmote + "\\Album", "S\\Other\\Link", false, true},
        // No name of the item's path is the folder's: only its real path is below it.
        PlaceCase{"LinkIntoTheFoldersDepth", "S\\Other\\DeepLink\\New", "S\\Library", false, true},
        PlaceCase{"LinkToAFile", "S\\Other\\FileLink", "S\\Library\\" + kTrack, true, true},
        PlaceCase{"ShortNameThroughSecondDrive", "X:\\{short}", "S\\Library\\LongFolderName", true, true},
        PlaceCase{"NotYetMadeBelowShortName", "X:\\{short}\\Inner\\New.txt", "S\\Library\\LongFolderName", false, true},
        // Only the volume serial and file index tell these.
        PlaceCase{"SecondNameTheSystemKeeps", "S\\Bound", "S\\Plain", true, true, true},
        PlaceCase{"NotYetMadeBelowSecondNameTheSystemKeeps", "S\\Bound\\Inner\\New.txt", "S\\Plain", false, true, true},
        // Only the real ancestors of where the link leads hold the folder's second name.
        PlaceCase{"LinkIntoSecondNameTheSystemKeeps", "S\\Other\\BoundLink\\New.txt", "S\\Plain", false, true, true},
        PlaceCase{"FoldersOnOneVolume", "S\\Other", "S\\Plain", false, false},
        // Wine gives a file system no drive's root lies on no volume serial.
        PlaceCase{"SameIndexOnTwoFileSystems", "S\\FsA\\Music", "S\\FsB\\Music", false, false, true},
        PlaceCase{"SameNameOnTwoDrives", std::string("X:\\") + kOmote, std::string("S\\Second\\") + kOmote, false,
                  false},
        PlaceCase{"NameSharingTheFoldersStart", std::string("X:\\") + kOmote + "Extra",
                  std::string("S\\Library\\") + kOmote, false, false},
        PlaceCase{"FolderInsideTheItem", "X:\\", std::string("S\\Library\\") + kOmote, false, false},
        PlaceCase{"MissingFolder", std::string("X:\\") + kOmote, std::string("S\\Library\\Gone"), false, false}),
    [](const testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

struct LinkCase {
    const char* name;
    std::string path;
    bool link;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class LinkPredicate : public FolderIdentityScene, public testing::WithParamInterface<LinkCase> {};

TEST_P(LinkPredicate, TellsLinksFromTheUsersItems) {
    EXPECT_EQ(GetParam().link, zr::IsLink(Resolve(GetParam().path)));
}

INSTANTIATE_TEST_SUITE_P(Items, LinkPredicate,
                         testing::Values(LinkCase{"LinkToFolder", "S\\Other\\Link", true},
                                         LinkCase{"LinkToFile", "S\\Other\\FileLink", true},
                                         LinkCase{"Folder", std::string("S\\Library\\") + kOmote, false},
                                         LinkCase{"File", "S\\Library\\" + kTrack, false},
                                         LinkCase{"FolderByShortName", "S\\Library\\{short}", false},
                                         LinkCase{"FolderThroughSecondDrive", std::string("X:\\") + kOmote, false},
                                         LinkCase{"ItemBelowLink", "S\\Other\\Link\\Album", false}),
                         [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// A listing, as a tree walk reads it: the link to a folder shows without a
// further call (a link to a file lists as a file under Wine), also in a
// buffer that held a tag of the user's own items before.
TEST_F(FolderIdentityScene, ListingShowsTheLinkToAFolder) {
    WIN32_FIND_DATAA data = {};
    data.dwReserved0 = IO_REPARSE_TAG_CLOUD_1;
    HANDLE find = zr::FindFirstEntry(Resolve("S\\Other\\*").c_str(), data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    int links = 0;
    do {
        const std::string name = data.cFileName;
        const bool link = name == "Link" || name == "DeepLink" || name == "BoundLink";
        EXPECT_EQ(link, zr::IsLinkEntry(data)) << name;
        links += link ? 1 : 0;
        data.dwReserved0 = IO_REPARSE_TAG_CLOUD_1;
    } while (zr::FindNextEntry(find, data));
    FindClose(find);
    EXPECT_EQ(g_scene->Mounted() ? 3 : 2, links);
    data.dwReserved0 = IO_REPARSE_TAG_CLOUD_1;
    find = zr::FindFirstEntry(Resolve("S\\Other\\Link").c_str(), data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    EXPECT_TRUE(zr::IsLinkEntry(data));
    // What Windows lists: a cloud file's placeholder is a reparse point of the user's own.
    EXPECT_FALSE(zr::IsLinkEntry(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_CLOUD_1));
    EXPECT_TRUE(zr::IsLinkEntry(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT));
    EXPECT_TRUE(zr::IsLinkEntry(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK));
}

// Removing links: what they lead to is never touched, whatever the system
// can or cannot remove.
class LinkRemoval : public testing::Test {
protected:
    void SetUp() override {
        if (!zrtest::UnderWine()) GTEST_SKIP() << "links are made through Wine's Unix side";
        zrtest::MakeTextFile(m_sandbox.Path("Target\\Full\\Song.txt"), "song");
        zrtest::MakeFolder(m_sandbox.Path("Target\\Empty"));
        zrtest::MakeFolder(m_sandbox.Path("Tree"));
    }
    // The sandbox's removal would follow a link that stayed.
    void TearDown() override {
        for (const std::string& link : m_links) zrtest::RemoveUnixLink(link);
    }
    bool MakeLink(const std::string& link, const std::string& target) {
        m_links.push_back(link);
        return zrtest::MakeUnixLink(link, target);
    }

    zrtest::CSandbox m_sandbox;
    std::vector<std::string> m_links;
};

TEST_F(LinkRemoval, RemovingALinkToAFolderLeavesTheFolder) {
    for (const char* target : {"Full", "Empty"}) {
        const std::string link = m_sandbox.Path(std::string("Tree\\To") + target);
        const std::string folder = m_sandbox.Path(std::string("Target\\") + target);
        ASSERT_TRUE(MakeLink(link, folder));
        SetLastError(ERROR_SUCCESS);
        const bool removed = zr::RemoveLinkItself(link);
        const DWORD error = GetLastError();
        EXPECT_TRUE(zrtest::FolderExists(folder)) << target;
        // Windows removes the link; Wine cannot, and says so.
        if (removed) {
            EXPECT_FALSE(zrtest::FolderExists(link)) << target;
        } else {
            EXPECT_EQ(DWORD(ERROR_NOT_A_REPARSE_POINT), error) << target;
            EXPECT_TRUE(zrtest::FolderExists(link)) << target;
        }
    }
    EXPECT_EQ("song", zrtest::ReadTextFile(m_sandbox.Path("Target\\Full\\Song.txt")));
}

TEST_F(LinkRemoval, DeletingAFileNeverDeletesWhatALinkLeadsTo) {
    const std::string song = m_sandbox.Path("Target\\Full\\Song.txt");
    const std::string link = m_sandbox.Path("Tree\\Song.txt");
    const std::string treeReal = zr::RealPath(m_sandbox.Path("Tree"));
    ASSERT_FALSE(treeReal.empty());
    ASSERT_TRUE(MakeLink(link, song));
    SetLastError(ERROR_SUCCESS);
    if (!zr::DeleteFileItself(link)) {
        EXPECT_EQ(DWORD(ERROR_NOT_A_REPARSE_POINT), GetLastError());
    }
    if (!zr::DeleteFileItself(link, treeReal)) {
        EXPECT_EQ(DWORD(ERROR_NOT_A_REPARSE_POINT), GetLastError());
    }
    EXPECT_EQ("song", zrtest::ReadTextFile(song));

    // The user's own files go, also by a short name or with the trail byte 0x5C last.
    const std::string plain = m_sandbox.Path("Tree\\LongFileNameOfASong.txt");
    const std::string so = m_sandbox.Path("Tree\\\x83\x5C");
    zrtest::WriteTextFile(plain, "x");
    zrtest::WriteTextFile(so, "x");
    char shortName[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(plain.c_str(), shortName, MAX_PATH));
    ASSERT_NE(plain, shortName);
    EXPECT_TRUE(zr::DeleteFileItself(shortName)) << shortName << " " << GetLastError();
    EXPECT_TRUE(zr::DeleteFileItself(so, treeReal)) << GetLastError();
    EXPECT_FALSE(zrtest::FileExists(plain));
    EXPECT_FALSE(zrtest::FileExists(so));
}

}  // namespace
