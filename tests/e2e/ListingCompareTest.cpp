// The end-to-end run's assertion: a restored listing against the backed-up one.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "e2e/ListingCompare.h"

namespace {

using zre2e::CompareListings;
using zre2e::Listing;
using zre2e::ListingComparison;
using zre2e::ParseListing;

const char kBefore[] =
    "hostsim library\r\n"
    "track 1\tTrack 00000\tC:\\HostSim\\Music\\Artist 1\\Disc 1\\01 Track.wma\tattr=0x00000008\tstate=1\tfile=ok"
    "\tsum=00000000000000a1\tpic=C:\\HostSim\\Music\\Artist 1\\Disc 1\\cover.jpg\tpicfile=ok\tpicsum=00000000000000c1\r\n"
    "track 2\t曲00001 ソ表\tC:\\HostSim\\Music\\歌手1ソ表\\02 曲ソ表.wma\tattr=0x00000000\tstate=1\tfile=ok"
    "\tsum=00000000000000a2\tpic=C:\\HostSim\\Music\\歌手1ソ表\\cover.jpg\tpicfile=ok\tpicsum=00000000000000c2\r\n"
    "track 3\tTrack 00002\tC:\\HostSim\\Music\\Artist 1\\Disc 1\\03 Track.wma\tattr=0x00000000\tstate=0\tfile=missing\r\n"
    "tracks 3\r\n"
    "rights\r\n"
    "right\tC:\\HostSim\\Music\\Artist 1\\Disc 1\\01 Track.wma\tTrack 00000\t00070e15\r\n"
    "rights-records 1\r\n";

// The same library restored below another folder, without the track whose file
// was missing; the secure track keeps its picture's old path, not there on this PC.
const char kAfter[] =
    "hostsim library\r\n"
    "track 1\tTrack 00000\tC:\\HostSim\\Media\\RestoreData\\Data\\Audio\\Disc 1\\01 Track.wma\tattr=0x00000008\tstate=1"
    "\tfile=ok\tsum=00000000000000a1\tpic=C:\\HostSim\\Music\\Artist 1\\Disc 1\\cover.jpg\tpicfile=missing\r\n"
    "track 2\t曲00001 ソ表\tC:\\HostSim\\Media\\RestoreData\\Data\\Audio\\歌手1ソ表\\02 曲ソ表.wma\tattr=0x00000000\tstate=1"
    "\tfile=ok\tsum=00000000000000a2\tpic=C:\\HostSim\\Media\\RestoreData\\Data\\Picture\\cover_00001.jpg"
    "\tpicfile=ok\tpicsum=00000000000000c2\r\n"
    "tracks 2\r\n"
    "rights\r\n"
    "right\tC:\\HostSim\\Media\\RestoreData\\Data\\Audio\\Disc 1\\01 Track.wma\tTrack 00000\t00070e15\r\n"
    "rights-records 1\r\n";

void Replace(std::string& text, const std::string& from, const std::string& to) {
    std::string::size_type at = text.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    text.replace(at, from.size(), to);
}

struct Case {
    const char* name;
    std::function<void(std::string&)> damage;  // applied to the restored listing
    const char* problem;                       // nullptr: the comparison passes
};

class CompareCase : public testing::TestWithParam<Case> {};

TEST_P(CompareCase, FindsWhatARestoreLost) {
    const Case& c = GetParam();
    std::string after = kAfter;
    c.damage(after);
    Listing b, a;
    std::string error;
    ASSERT_TRUE(ParseListing(kBefore, b, error)) << error;
    ASSERT_TRUE(ParseListing(after, a, error)) << error;
    ListingComparison result = CompareListings(b, a);
    EXPECT_EQ(2u, result.expected);
    ASSERT_EQ(1u, result.notBackedUp.size());
    EXPECT_EQ("Track 00002", result.notBackedUp[0]);
    if (!c.problem) {
        EXPECT_TRUE(result.Passed()) << result.problems[0];
        EXPECT_EQ(2u, result.bytesEqual);
        return;
    }
    ASSERT_EQ(1u, result.problems.size());
    EXPECT_NE(std::string::npos, result.problems[0].find(c.problem)) << result.problems[0];
}

const Case kCases[] = {
    {"WholeRestoreAtOtherPaths", [](std::string&) {}, nullptr},
    {"TrackLost",
     [](std::string& t) {
         std::string::size_type from = t.find("track 2\t"), to = t.find("tracks 2");
         t.erase(from, to - from);
         Replace(t, "tracks 2", "tracks 1");
     },
     "曲00001 ソ表: not in the restored library"},
    {"FileNotThere", [](std::string& t) { Replace(t, "file=ok\tsum=00000000000000a2", "file=missing"); },
     "曲00001 ソ表: its file is not there"},
    {"BytesDiffer", [](std::string& t) { Replace(t, "sum=00000000000000a2", "sum=00000000000000ff"); },
     "its bytes differ"},
    {"SecureFlagLost", [](std::string& t) { Replace(t, "attr=0x00000008", "attr=0x00000000"); },
     "Track 00000: attributes 0x00000008 became 0x00000000"},
    {"TrackOfTheReplacedLibraryLeft",
     [](std::string& t) {
         Replace(t, "tracks 2", "track 3\tOld 1\tC:\\HostSim\\Music\\old.wma\tattr=0x00000000\tstate=0\tfile=ok\r\ntracks 3");
     },
     "Old 1: in the restored library but not in the backed-up one"},
    {"PictureNotThere", [](std::string& t) { Replace(t, "picfile=ok\tpicsum=00000000000000c2", "picfile=missing"); },
     "曲00001 ソ表: picture 1 is not there"},
    {"CollidingPictureMixedUp", [](std::string& t) { Replace(t, "picsum=00000000000000c2", "picsum=00000000000000c1"); },
     "曲00001 ソ表: picture 1 has other bytes"},
    {"RightsLost",
     [](std::string& t) {
         std::string::size_type from = t.find("right\t"), to = t.find("rights-records");
         t.erase(from, to - from);
         Replace(t, "rights-records 1", "rights-records 0");
     },
     "Track 00000: its rights record was not restored"},
};

INSTANTIATE_TEST_SUITE_P(Listings, CompareCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Pictures of a secure track are told apart, not asserted.
TEST(CompareListings, CountsPicturesOfSecureTracksApart) {
    Listing b, a;
    std::string error;
    ASSERT_TRUE(ParseListing(kBefore, b, error)) << error;
    ASSERT_TRUE(ParseListing(kAfter, a, error)) << error;
    ListingComparison result = CompareListings(b, a);
    EXPECT_TRUE(result.Passed());
    EXPECT_EQ(1u, result.pictures);
    EXPECT_EQ(1u, result.picturesEqual);
    EXPECT_EQ(1u, result.securePictures);
    EXPECT_EQ(0u, result.securePicturesThere);
    EXPECT_EQ(1u, result.rightsKept);
}

// A track whose stored path the backup was given to climb out: the restore
// must leave it out, never point it anywhere.
TEST(CompareListings, ATrackLeftOutMustBeAbsent) {
    Listing b, a;
    std::string error;
    ASSERT_TRUE(ParseListing(kBefore, b, error)) << error;
    ASSERT_TRUE(ParseListing(kAfter, a, error)) << error;
    ListingComparison result = CompareListings(b, a, "Track 00000");
    ASSERT_EQ(1u, result.problems.size());
    EXPECT_NE(std::string::npos,
              result.problems[0].find("Track 00000: in the restored library though its path was refused"));

    std::string without = kAfter;
    std::string::size_type from = without.find("track 1\t"), to = without.find("track 2\t");
    without.erase(from, to - from);
    Replace(without, "tracks 2", "tracks 1");
    ASSERT_TRUE(ParseListing(without, a, error)) << error;
    result = CompareListings(b, a, "Track 00000");
    EXPECT_TRUE(result.Passed()) << result.problems[0];
    EXPECT_EQ(1u, result.leftOut);
    EXPECT_EQ(1u, result.expected);
}

TEST(ParseListing, RefusesWhatIsNoWholeListing) {
    Listing out;
    std::string error;
    EXPECT_FALSE(ParseListing("", out, error));
    EXPECT_FALSE(ParseListing(std::string(kBefore).substr(0, 200), out, error));
    std::string wrongCount = kBefore;
    Replace(wrongCount, "tracks 3", "tracks 4");
    EXPECT_FALSE(ParseListing(wrongCount, out, error));
}

}  // namespace
