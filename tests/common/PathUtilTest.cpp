#include "common/PathUtil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/ResultCodes.h"
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

// Names the file system takes as one only when they differ in single-byte
// letters. A trail byte in the range of the ASCII letters is no letter:
// "ア" is 0x83 0x41 and "ヂ" 0x83 0x61, "セ" 0x83 0x5A and "ホ" 0x83 0x7A.
struct FoldPair {
    const char* name;
    std::string a, b;
    bool same;
};

void PrintTo(const FoldPair& pair, std::ostream* os) { *os << pair.name; }

class CaseFolding : public testing::TestWithParam<FoldPair> {};

TEST_P(CaseFolding, FoldsSingleByteLettersOnly) {
    const FoldPair& pair = GetParam();
    EXPECT_EQ(pair.same, zr::FoldCase(pair.a) == zr::FoldCase(pair.b));
    EXPECT_EQ(pair.a.size(), zr::FoldCase(pair.a).size());
}

INSTANTIATE_TEST_SUITE_P(
    Names, CaseFolding,
    testing::Values(FoldPair{"AsciiLetters", "C:\\Music\\Data", "c:\\MUSIC\\data", true},
                    FoldPair{"LetterAfterADoubleByte", "アb.wma", "アB.WMA", true},
                    FoldPair{"TrailByteAOrLowerA", "ア", "ヂ", false},
                    FoldPair{"TrailByteZOrLowerZ", "セ", "ホ", false},
                    FoldPair{"TrailByteInAFolderName", "C:\\ディスク\\a.wma", "C:\\ェィスク\\a.wma", false},
                    FoldPair{"TrailBytesThenLetters", "ヂヂx", "アアX", false}),
    [](const testing::TestParamInfo<FoldPair>& info) { return std::string(info.param.name); });

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

// Everything below root, sorted: files as "a\\b", folders as "a\\".
void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((root + relative + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(relative + name + "\\");
            ListInto(root, relative + name + "\\", out);
        } else {
            out.push_back(relative + name);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}
std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    ListInto(root + "\\", "", out);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PathUtil, MakeSureFolderPathExistsKeepsDoubleByteNames) {
    zrtest::CSandbox sandbox;
    std::string deep = sandbox.Path(std::string(kSo) + "\\a" + kSo + "\\b");
    ASSERT_TRUE(zr::MakeSureFolderPathExists((deep + "\\").c_str()));
    // Exactly these folders: none cut off at a trail byte.
    const std::string so = kSo;
    EXPECT_EQ((std::vector<std::string>{so + "\\", so + "\\a" + so + "\\", so + "\\a" + so + "\\b\\"}),
              ListTree(sandbox.Folder()));
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

// The separator search under each language's code page. 0x95 0x5C is one
// character in 932, 950 and 936; 0xB3 is a single-byte character in 932 but a
// lead byte in 950 and 936.
struct CodePageCase {
    const char* name;
    unsigned short language;
    unsigned codePage;
    std::string path;
    std::string folder;  // the path cut at its last real backslash
};

void PrintTo(const CodePageCase& c, std::ostream* os) { *os << c.name; }

class LanguageCodePage : public testing::TestWithParam<CodePageCase> {};

TEST_P(LanguageCodePage, CutsAtTheLastRealBackslash) {
    const CodePageCase& row = GetParam();
    EXPECT_EQ(row.codePage, zr::SeparatorCodePage(row.language));
    const char* last = zr::FindLastBackslashIn(row.path.c_str(), zr::SeparatorCodePage(row.language));
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(row.folder, row.path.substr(0, static_cast<std::size_t>(last - row.path.c_str())));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageCodePage,
    testing::Values(CodePageCase{"Japanese", 0x0411, 932, "C:\\a\\\x95\x5C", "C:\\a"},
                    CodePageCase{"JapaneseSingleByteKana", 0x0411, 932, "C:\\a\\\xB3\x5C", "C:\\a\\\xB3"},
                    CodePageCase{"TraditionalChinese", 0x0404, 950, "C:\\a\\\xB3\x5C", "C:\\a"},
                    CodePageCase{"SimplifiedChinese", 0x0804, 936, "C:\\a\\\xB3\x5C", "C:\\a"},
                    CodePageCase{"HongKongChinese", 0x0C04, 936, "C:\\a\\\x95\x5C", "C:\\a"},
                    CodePageCase{"English", 0x0409, 0, "C:\\a\\\x95\x5C", "C:\\a\\\x95"},
                    CodePageCase{"Neutral", 0x0000, 0, "C:\\a\\\xB3\x5C", "C:\\a\\\xB3"}),
    [](const testing::TestParamInfo<CodePageCase>& info) { return std::string(info.param.name); });

// Folder creation failures: access denied or write protection is the user's
// choice of folder, anything else the disk or the name.
struct FolderErrorCase {
    const char* name;
    DWORD error;
    HRESULT code;
};

class FolderErrorMapping : public testing::TestWithParam<FolderErrorCase> {};

TEST_P(FolderErrorMapping, MapsTheSystemsError) {
    EXPECT_EQ(GetParam().code, zr::FolderCreateError(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FolderErrorMapping,
    testing::Values(FolderErrorCase{"AccessDenied", ERROR_ACCESS_DENIED, zr::RC_E_ACCESSDENIED},
                    FolderErrorCase{"WriteProtect", ERROR_WRITE_PROTECT, zr::RC_E_ACCESSDENIED},
                    FolderErrorCase{"PathNotFound", ERROR_PATH_NOT_FOUND, zr::RC_E_FOLDER_CREATE},
                    FolderErrorCase{"DiskFull", ERROR_DISK_FULL, zr::RC_E_FOLDER_CREATE},
                    FolderErrorCase{"AlreadyExists", ERROR_ALREADY_EXISTS, zr::RC_E_FOLDER_CREATE}),
    [](const testing::TestParamInfo<FolderErrorCase>& info) { return std::string(info.param.name); });

// A cut never leaves the lead byte of a double-byte character alone at the end.
TEST(PathUtil, CopyCutAtCharacterKeepsWholeCharacters) {
    const std::string text = std::string("ab") + kSo + "c" + kSo;  // a b ソ c ソ: 7 bytes
    const struct {
        std::size_t size;
        std::string copied;
    } cuts[] = {{1, ""}, {3, "ab"}, {4, "ab"}, {5, "ab" + std::string(kSo)}, {7, "ab" + std::string(kSo) + "c"},
                {8, text}, {20, text}};
    for (const auto& cut : cuts) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof(buffer));
        zr::CopyCutAtCharacter(buffer, cut.size, text.c_str());
        EXPECT_EQ(cut.copied, std::string(buffer)) << "size " << cut.size;
    }
}

struct AbsoluteCase {
    const char* name;
    std::string path;
    bool plain;
};

class PlainAbsolutePath : public testing::TestWithParam<AbsoluteCase> {};

TEST_P(PlainAbsolutePath, TakesOnlyADriveOrShareAndPlainNames) {
    EXPECT_EQ(GetParam().plain, zr::IsPlainAbsolutePath(GetParam().path)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PlainAbsolutePath,
    testing::Values(AbsoluteCase{"Drive", "C:\\Music\\a.wma", true},
                    AbsoluteCase{"Share", "\\\\server\\share\\a.wma", true},
                    AbsoluteCase{"DoubleByteTrail5C", std::string("C:\\") + kSo + "\\a.wma", true},
                    AbsoluteCase{"DotDot", "C:\\Music\\..\\a.wma", false},
                    AbsoluteCase{"Dot", "C:\\.\\a.wma", false},
                    AbsoluteCase{"ForwardSlash", "C:\\Music/a.wma", false},
                    AbsoluteCase{"DriveRelative", "C:a.wma", false},
                    AbsoluteCase{"Rooted", "\\Music\\a.wma", false},
                    AbsoluteCase{"Relative", "Music\\a.wma", false},
                    AbsoluteCase{"Stream", "C:\\Music\\a.wma:b", false},
                    AbsoluteCase{"DeviceNamespace", "\\\\?\\C:\\a.wma", false},
                    AbsoluteCase{"ShareWithoutFile", "\\\\server\\share", false},
                    AbsoluteCase{"DoubleSeparator", "C:\\Music\\\\a.wma", false},
                    AbsoluteCase{"DriveRoot", "C:\\", false}),
    [](const testing::TestParamInfo<AbsoluteCase>& info) { return std::string(info.param.name); });

}  // namespace
