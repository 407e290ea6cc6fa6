// The library side of the module: the three contracts the tool relies on,
// pictures, unregistering, and what it refuses.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>

#include "ModuleFixture.h"

namespace hostsimtest {
namespace {

using hostsim::TrackRow;

class LibraryTest : public CModuleTest {
protected:
    void SetUp() override {
        m_db = m_sandbox.Path("databases\\contents.db");
        zrtest::MakeFolder(m_sandbox.Path("databases"));
    }
    std::string m_db;
};

TEST_F(LibraryTest, ChangesGoToTheOpenedCopyOnly) {
    MakeLibrary(m_db, SampleTracks(5));
    const std::string original = zrtest::ReadTextFile(m_db);
    std::string copy = m_sandbox.Path("BackupData\\DB\\NMLDB\\contents.db");
    zrtest::MakeFolder(m_sandbox.Path("BackupData\\DB\\NMLDB"));
    ASSERT_TRUE(CopyFileA(m_db.c_str(), copy.c_str(), FALSE));

    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), copy, volume));
    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    ASSERT_EQ(5u, tracks.size());
    for (auto& track : tracks) {
        track->SetFilePath((std::string("Album\\") + track->GetTitle() + ".wma").c_str());
        EXPECT_EQ(S_OK, track->Register());
    }
    tracks[4]->Unregister();
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());
    volume.Reset();

    EXPECT_EQ(original, zrtest::ReadTextFile(m_db)) << "the host's own database changed";
    std::vector<TrackRow> rows = ReadLibrary(copy);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ("Album\\Track 1.wma", rows[0].path);
    EXPECT_EQ("Album\\Track 4.wma", rows[3].path);
}

struct EnumerationCase {
    const char* name;
    int tracks;
};

class EnumerationTest : public LibraryTest, public ::testing::WithParamInterface<EnumerationCase> {};

TEST_P(EnumerationTest, VisitsEveryTrackOnceAndCountMatches) {
    std::vector<TrackRow> rows = SampleTracks(GetParam().tracks);
    MakeLibrary(m_db, rows);

    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
    EXPECT_EQ(static_cast<DWORD>(rows.size()), volume->GetContentCount());
    EXPECT_EQ(nullptr, volume->GetFirstContent(zr::IID_INMPicture)) << "only tracks are enumerated";

    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    std::set<std::string> titles;
    for (size_t i = 0; i < tracks.size(); ++i) {
        titles.insert(tracks[i]->GetTitle());
        CRef<INMPictureList> pictures = tracks[i].Query<INMPictureList>(zr::IID_INMPictureList);
        ASSERT_TRUE(pictures);
        EXPECT_EQ(2u, pictures->GetCount());
        NM_TRACK_ATTRIBUTES attributes;
        std::memset(&attributes, 0xCC, sizeof(attributes));
        ASSERT_EQ(&attributes, tracks[i]->GetAttributes(&attributes));
        EXPECT_EQ(28u, attributes.cbSize);
        EXPECT_EQ(rows[i].attributes, attributes.dwFlags) << rows[i].title;
    }
    EXPECT_EQ(rows.size(), tracks.size());
    EXPECT_EQ(rows.size(), titles.size()) << "a track was visited twice";
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());
}

INSTANTIATE_TEST_SUITE_P(Counts, EnumerationTest,
                         ::testing::Values(EnumerationCase{"Empty", 0}, EnumerationCase{"One", 1},
                                           EnumerationCase{"Many", 301}),
                         [](const ::testing::TestParamInfo<EnumerationCase>& info) { return info.param.name; });

TEST_F(LibraryTest, RegisteredPathIsStoredAsGivenAlsoRelativeAndDoubleByte) {
    MakeLibrary(m_db, SampleTracks(3));
    // "表" ends in the byte 0x5C: it must survive as part of the name.
    const std::string relative = "Album00001\\track01.wma";
    const std::string japanese = "表示\\曲.wma";

    CBoundHost host;
    BindHost(host);
    {
        CRef<INMHddVolume> volume;
        ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
        std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
        ASSERT_EQ(3u, tracks.size());
        tracks[0]->SetFilePath(relative.c_str());
        tracks[1]->SetFilePath(japanese.c_str());
        tracks[2]->SetFilePath("not registered.wma");
        EXPECT_EQ(relative, tracks[0]->GetFilePath());
        EXPECT_EQ(S_OK, tracks[0]->Register());
        EXPECT_EQ(S_OK, tracks[1]->Register());
        tracks.clear();
        EXPECT_EQ(S_OK, volume->CloseDatabase());
        host.manager->RemoveDevice(volume.Get());
    }
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    ASSERT_EQ(3u, tracks.size());
    EXPECT_EQ(relative, tracks[0]->GetFilePath());
    EXPECT_EQ(japanese, tracks[1]->GetFilePath());
    EXPECT_EQ("C:\\Music\\Album\\track03.wma", std::string(tracks[2]->GetFilePath())) << "only Register stores";
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
}

TEST_F(LibraryTest, RestorePictureMovesKeepOrderAndPersist) {
    std::vector<TrackRow> rows = SampleTracks(1);
    rows[0].pictures = {"C:\\P\\a.jpg", "C:\\P\\b.jpg", "C:\\P\\c.jpg"};
    MakeLibrary(m_db, rows);

    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    ASSERT_EQ(1u, tracks.size());
    INMTrack* track = tracks[0].Get();
    CRef<INMPictureList> list = tracks[0].Query<INMPictureList>(zr::IID_INMPictureList);
    ASSERT_TRUE(list);

    // The restore's loop: re-point, remove, re-insert at -1, 1, 2.
    const DWORD zero = 0;
    DWORD n = list->GetCount();
    ASSERT_EQ(3u, n);
    for (DWORD i = 1; i <= n; ++i) {
        INMPicture* picture = list->GetItem(i);
        ASSERT_NE(nullptr, picture);
        picture->AddRef();
        std::string name = std::string(picture->GetFilePath()).substr(5);
        picture->SetFilePath(("D:\\RestoreData\\Data\\Picture\\" + name).c_str());
        track->RemovePicture(picture);
        EXPECT_EQ(n - 1, list->GetCount()) << "the list is a live view";
        track->InsertPicture(picture, i == 1 ? -1 : static_cast<LONG>(i - 1));
        picture->Release();
        track->SetTrackProperty(NM_TRACK_PROP_PICTURE_STATE, &zero);
    }
    EXPECT_EQ(nullptr, list->GetItem(0));
    EXPECT_EQ(nullptr, list->GetItem(4));
    EXPECT_EQ(S_OK, track->Register());
    list.Reset();
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());

    rows = ReadLibrary(m_db);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"D:\\RestoreData\\Data\\Picture\\a.jpg",
                                        "D:\\RestoreData\\Data\\Picture\\b.jpg",
                                        "D:\\RestoreData\\Data\\Picture\\c.jpg"}),
              rows[0].pictures);
    EXPECT_EQ(0u, rows[0].pictureState);
}

TEST_F(LibraryTest, InsertPicturePositions) {
    std::vector<TrackRow> rows = SampleTracks(1);
    rows[0].pictures = {"a", "b", "c"};
    MakeLibrary(m_db, rows);
    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    ASSERT_EQ(1u, tracks.size());
    CRef<INMPictureList> list = tracks[0].Query<INMPictureList>(zr::IID_INMPictureList);
    auto order = [&] {
        std::string s;
        for (DWORD i = 1; i <= list->GetCount(); ++i) s += list->GetItem(i)->GetFilePath();
        return s;
    };
    CRef<INMPicture> c(list->GetItem(3));
    c->AddRef();
    struct {
        LONG position;
        const char* expected;
    } cases[] = {{-1, "cab"}, {0, "cab"}, {1, "acb"}, {2, "abc"}, {99, "abc"}};
    for (const auto& row : cases) {
        tracks[0]->RemovePicture(c.Get());
        ASSERT_EQ("ab", order());
        tracks[0]->InsertPicture(c.Get(), row.position);
        EXPECT_EQ(row.expected, order()) << "position " << row.position;
    }
    tracks[0]->InsertPicture(c.Get(), 0);
    EXPECT_EQ("cab", order()) << "inserting a picture already listed moves it";
    c.Reset();
    list.Reset();
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
}

TEST_F(LibraryTest, UnregisterRemovesTheTrackAndEnumerationGoesOn) {
    MakeLibrary(m_db, SampleTracks(3));
    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));

    // As the backup does: unregister the current entry, then ask it for the next.
    CRef<INMContent> first(volume->GetFirstContent(zr::IID_INMTrack));
    CRef<INMContent> second(first->GetNextContent(zr::IID_INMTrack));
    CRef<INMTrack> track = second.Query<INMTrack>(zr::IID_INMTrack);
    ASSERT_TRUE(track);
    track->Unregister();
    track->Unregister();
    EXPECT_EQ(2u, volume->GetContentCount());
    CRef<INMContent> third(second->GetNextContent(zr::IID_INMTrack));
    ASSERT_TRUE(third);
    EXPECT_STREQ("Track 3", third.Query<INMTrack>(zr::IID_INMTrack)->GetTitle());
    EXPECT_EQ(2u, Tracks(volume.Get()).size()) << "a new walk skips the removed track";
    first.Reset();
    second.Reset();
    third.Reset();
    track.Reset();
    EXPECT_EQ(S_OK, volume->CloseDatabase());

    std::vector<TrackRow> rows = ReadLibrary(m_db);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("Track 1", rows[0].title);
    EXPECT_EQ("Track 3", rows[1].title);
}

TEST_F(LibraryTest, WritesWithoutCloseDatabaseAreDiscarded) {
    MakeLibrary(m_db, SampleTracks(2));
    const std::string before = zrtest::ReadTextFile(m_db);
    CBoundHost host;
    BindHost(host);
    {
        CRef<INMHddVolume> volume;
        ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
        std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
        tracks[0]->SetFilePath("elsewhere.wma");
        EXPECT_EQ(S_OK, tracks[0]->Register());
        tracks[1]->Unregister();
        host.manager->RemoveDevice(volume.Get());
        // A track kept past its volume's database can no longer register.
        EXPECT_GT(0, tracks[0]->Register());
        EXPECT_EQ(nullptr, tracks[0].Query<INMContent>(zr::IID_INMContent)->GetNextContent(zr::IID_INMTrack));
    }
    EXPECT_EQ(before, zrtest::ReadTextFile(m_db));
    EXPECT_FALSE(zrtest::FileExists(m_db + "-journal"));
}

struct BadDatabaseCase {
    const char* name;
    const char* content;  // nullptr: no file; "rights": an SQLite file of another kind
};

class BadDatabaseTest : public LibraryTest, public ::testing::WithParamInterface<BadDatabaseCase> {};

TEST_P(BadDatabaseTest, OpenDatabaseFailsAndLeavesTheFileAlone) {
    const BadDatabaseCase& c = GetParam();
    if (c.content && std::string(c.content) == "rights") {
        hostsim::CRightsDb rights;
        ASSERT_TRUE(rights.Open(m_sandbox.Path("databases"), true));
        m_db = hostsim::RightsDbPath(m_sandbox.Path("databases"));
    } else if (c.content) {
        zrtest::WriteTextFile(m_db, c.content);
    }
    const std::string before = zrtest::ReadTextFile(m_db);

    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    EXPECT_GT(0, Mount(host.manager.Get(), m_db, volume));
    EXPECT_FALSE(volume);
    EXPECT_EQ(c.content != nullptr, zrtest::FileExists(m_db)) << "a missing database must not be created";
    EXPECT_EQ(before, zrtest::ReadTextFile(m_db));
}

INSTANTIATE_TEST_SUITE_P(Files, BadDatabaseTest,
                         ::testing::Values(BadDatabaseCase{"Missing", nullptr}, BadDatabaseCase{"Empty", ""},
                                           BadDatabaseCase{"Text", "contents of some other program\r\n"},
                                           BadDatabaseCase{"OtherSqliteFile", "rights"}),
                         [](const ::testing::TestParamInfo<BadDatabaseCase>& info) { return info.param.name; });

// A creation record that is not one.
struct CForeignInfo : INMCreateInfo {
    BOOL STDMETHODCALLTYPE IsKindOf(REFGUID) override { return FALSE; }
};

TEST_F(LibraryTest, DeviceCreationChecksRecordTypeAndManagerState) {
    CBoundHost host;
    BindHost(host);
    NMCreateDeviceInfo hdd(NM_DEVICE_HDD_VOLUME), secure(NM_DEVICE_SECURE);
    CForeignInfo foreign;
    CRef<IUnknown> device;
    EXPECT_GT(0, host.manager->CreateDevice(zr::IID_INMHddVolume, &foreign, device.PutVoid(), 0, 0));
    EXPECT_GT(0, host.manager->CreateDevice(zr::IID_INMHddVolume, &secure, device.PutVoid(), 0, 0));
    EXPECT_GT(0, host.manager->CreateDevice(zr::IID_INMSecureDevice, &hdd, device.PutVoid(), 0, 0));
    EXPECT_GT(0, host.manager->CreateDevice(zr::IID_INMTrack, &hdd, device.PutVoid(), 0, 0));
    EXPECT_FALSE(device);
    EXPECT_EQ(S_OK, host.manager->CreateDevice(zr::IID_INMSecureDevice, &secure, device.PutVoid(), 0, 0));
    EXPECT_TRUE(device.Query<INMSecureDevice>(zr::IID_INMSecureDevice));
    host.manager->Close();
    EXPECT_GT(0, host.manager->CreateDevice(zr::IID_INMHddVolume, &hdd, device.PutVoid(), 0, 0));
    EXPECT_FALSE(device);

    CRef<INMDeviceManager> other;
    EXPECT_EQ(E_NOINTERFACE, host.services->QueryService(zr::IID_INMDeviceManager, other.Put()));
    EXPECT_FALSE(other);
}

TEST_F(LibraryTest, LoadPluginsNeedsTheFolder) {
    CRef<INMLibrary> library;
    ASSERT_EQ(S_OK, CreateLibrary(library));
    EXPECT_EQ(S_OK, library->LoadPlugins(m_pluginFolder.c_str()));
    EXPECT_GT(0, library->LoadPlugins(m_sandbox.Path("NML\\NoPlugins").c_str()));
    library->Terminate();
}

// Measures the large-library path once; run by hand with
// --gtest_also_run_disabled_tests --gtest_filter=*LargeLibrary*
TEST_F(LibraryTest, DISABLED_LargeLibraryTiming) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };
    const int kTracks = 50000;
    Clock::time_point start = Clock::now();
    MakeLibrary(m_db, SampleTracks(kTracks));
    std::printf("create %d tracks: %.2f s\n", kTracks, seconds(start));

    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    start = Clock::now();
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
    std::printf("open: %.2f s\n", seconds(start));
    Clock::time_point walk = Clock::now();
    int n = 0;
    CRef<INMContent> entry(volume->GetFirstContent(zr::IID_INMTrack));
    while (entry) {
        CRef<INMTrack> track = entry.Query<INMTrack>(zr::IID_INMTrack);
        std::string path = std::string("Album00001\\") + track->GetTitle() + ".wma";
        track->SetFilePath(path.c_str());
        ASSERT_EQ(S_OK, track->Register());
        ++n;
        entry = CRef<INMContent>(entry->GetNextContent(zr::IID_INMTrack));
    }
    std::printf("walk and register %d: %.2f s\n", n, seconds(walk));
    Clock::time_point close = Clock::now();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    std::printf("close (commit): %.2f s\n", seconds(close));
    std::printf("open + walk + register + close: %.2f s\n", seconds(start));
    EXPECT_EQ(kTracks, n);
}

}  // namespace
}  // namespace hostsimtest
