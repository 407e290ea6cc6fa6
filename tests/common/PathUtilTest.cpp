#include "common/PathUtil.h"

#include <gtest/gtest.h>

#include "support/Sandbox.h"

namespace {

// "ソ" in Shift-JIS is 0x83 0x5C: its trail byte is the backslash code.
const char kSo[] = "\x83\x5C";

TEST(PathUtil, LastBackslashSkipsTrailBytes) {
    std::string path = std::string("C:\\Music\\") + kSo + "ng" + kSo;
    const char* last = zr::FindLastBackslash(path.c_str());
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(8, last - path.c_str());
    EXPECT_EQ(nullptr, zr::FindLastBackslash(kSo));
    EXPECT_EQ(std::string("ng") + kSo, zr::FileNamePart(path).substr(2));
    EXPECT_EQ("C:\\Music", zr::FolderPart(path));
}

struct TrailingCase {
    const char* name;
    std::string path;
    bool trailing;
};

class TrailingBackslash : public testing::TestWithParam<TrailingCase> {};

TEST_P(TrailingBackslash, IsSingleByteOnly) {
    EXPECT_EQ(GetParam().trailing, zr::HasTrailingBackslash(GetParam().path));
    std::string s = GetParam().path;
    EXPECT_EQ(GetParam().trailing, zr::RemoveTrailingBackslash(s));
    EXPECT_EQ(GetParam().path.size() - (GetParam().trailing ? 1 : 0), s.size());
}

INSTANTIATE_TEST_SUITE_P(Paths, TrailingBackslash,
                         testing::Values(TrailingCase{"DriveRoot", "C:\\", true},
                                         TrailingCase{"Folder", "C:\\Music", false},
                                         TrailingCase{"FolderWithSlash", "C:\\Music\\", true},
                                         TrailingCase{"DoubleByteTrail5C", std::string("C:\\") + kSo, false},
                                         TrailingCase{"DoubleByteThenSlash", std::string("C:\\") + kSo + "\\", true},
                                         TrailingCase{"Empty", "", false}),
                         [](const testing::TestParamInfo<TrailingCase>& info) { return std::string(info.param.name); });

TEST(PathUtil, BoundedCopyAndAppendNeverOverflow) {
    char buffer[8];
    EXPECT_TRUE(zr::CopyBounded(buffer, sizeof(buffer), "abc"));
    EXPECT_TRUE(zr::AppendBounded(buffer, sizeof(buffer), "defg"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_FALSE(zr::AppendBounded(buffer, sizeof(buffer), "h"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_FALSE(zr::CopyBounded(buffer, sizeof(buffer), "12345678"));
    EXPECT_STREQ("abcdefg", buffer);
}

TEST(PathUtil, MakeSureFolderPathExistsKeepsDoubleByteNames) {
    zrtest::CSandbox sandbox;
    std::string deep = sandbox.Path(std::string(kSo) + "\\a" + kSo + "\\b");
    ASSERT_TRUE(zr::MakeSureFolderPathExists((deep + "\\").c_str()));
    EXPECT_TRUE(zrtest::FolderExists(deep));
    EXPECT_TRUE(zrtest::FolderExists(sandbox.Path(kSo)));
    // Without the trailing backslash the last component is a file name.
    std::string file = sandbox.Path("x\\y");
    ASSERT_TRUE(zr::MakeSureFolderPathExists(file.c_str()));
    EXPECT_TRUE(zrtest::FolderExists(sandbox.Path("x")));
    EXPECT_FALSE(zrtest::FolderExists(file));
    // A file in the way is a failure with the system's error.
    zrtest::WriteTextFile(sandbox.Path("file"), "x");
    EXPECT_FALSE(zr::MakeSureFolderPathExists((sandbox.Path("file") + "\\sub\\").c_str()));
    EXPECT_NE(0u, GetLastError());
    EXPECT_FALSE(zr::MakeSureFolderPathExists((sandbox.Path("file") + "\\").c_str()));
    EXPECT_NE(0u, GetLastError());
}

}  // namespace
