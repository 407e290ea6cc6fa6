// The result view as a person sees it: a real dialog on a thread of its own,
// read back through the list control and from the screen.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "resource.h"
#include "common/ResString.h"
#include "job/JobUi.h"
#include "support/UiDriver.h"
#include "ui/results/ResultView.h"

namespace {

using jobtest::CUiThread;

// A code as the engine lists an item with it; any number shows.
zr::ItemCode Code(unsigned long number) { return static_cast<zr::ItemCode>(static_cast<LONG>(number)); }

struct DetailCase {
    const char* name;
    zr::ItemCode code;
    UINT message;
    const char* digits;
};

class FormatResultDetailTest : public testing::TestWithParam<DetailCase> {};

TEST_P(FormatResultDetailTest, MessageThenCodeInHex) {
    const DetailCase& c = GetParam();
    EXPECT_EQ(zr::LoadResString(c.message) + " (" + c.digits + ")", zr::FormatResultDetail(c.code));
}

INSTANTIATE_TEST_SUITE_P(Codes, FormatResultDetailTest,
                         testing::Values(DetailCase{"MissingContent", Code(1), IDS_DETAIL_NO_CONTENT, "00000001"},
                                         DetailCase{"SecureContent", Code(0x80004005),
                                                    IDS_DETAIL_SECURE_FAILED, "80004005"},
                                         DetailCase{"MissingPicture", Code(0x80070057),
                                                    IDS_DETAIL_NO_PICTURE, "80070057"},
                                         DetailCase{"GuiItemNotRestored", Code(0x86FF0006),
                                                    IDS_DETAIL_NOT_RESTORED, "86FF0006"},
                                         // A crafted stored path, a track the library would not re-point.
                                         DetailCase{"StoredPathOfNoBackupShape", Code(0x8007007B),
                                                    IDS_DETAIL_FAILED, "8007007B"},
                                         DetailCase{"TrackNotRegistered", Code(0x800710D9),
                                                    IDS_DETAIL_FAILED, "800710D9"},
                                         DetailCase{"OtherPositive", Code(2), IDS_DETAIL_FAILED, "00000002"},
                                         DetailCase{"OtherFailure", Code(0x86FF0002),
                                                    IDS_DETAIL_FAILED, "86FF0002"}),
                         [](const testing::TestParamInfo<DetailCase>& info) { return std::string(info.param.name); });

const std::vector<std::string> kTitles = {"Opening", "\x83\x65\x83\x58\x83\x67\x8B\xC8", "Third track", "Last",
                                          "mirs.dat"};
const std::vector<zr::ItemCode> kCodes = {Code(1), Code(0x80004005), Code(0x80070057), Code(2),
                                     Code(0x86FF0006)};

const char kCaption[] = "\x8C\x8B\x89\xCA";  // "結果"

// A result view with the rows above (or others), open on a thread of its
// own, over an owner window at `owner` when one is given.
class OpenResultView {
public:
    // caption: the view's, or empty for a child whose code page cannot show it.
    explicit OpenResultView(const std::string& caption = kCaption, const RECT* owner = nullptr,
                            const std::vector<std::string>& titles = kTitles,
                            const std::vector<zr::ItemCode>& codes = kCodes)
        : m_thread([owner = owner ? std::make_shared<RECT>(*owner) : nullptr, titles, codes] {
              std::unique_ptr<jobtest::COwnerWindow> window;
              if (owner) window = std::make_unique<jobtest::COwnerWindow>(*owner);
              zr::CResultView view(window ? window->get() : nullptr);
              view.SetResults(titles, codes);
              view.DoModal();
          }) {
        m_view = jobtest::WaitForWindow(m_thread.Id(), caption);
        m_list = m_view ? GetDlgItem(m_view, IDC_RESULT_LIST) : nullptr;
    }
    ~OpenResultView() {
        if (m_view) jobtest::Click(m_view, IDOK);
    }
    bool Closed(DWORD ms) { return m_thread.Join(ms); }
    HWND View() const { return m_view; }
    HWND List() const { return m_list; }

    // The text as the list hands it to a buffer of `size` bytes.
    std::string CellText(int item, int column, int size = 512) const {
        char text[512] = {};
        LVITEMA info = {};
        info.iSubItem = column;
        info.pszText = text;
        info.cchTextMax = size;
        SendMessageA(m_list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info));
        return text;
    }
    int CellImage(int item, int column) const {
        LVITEMA info = {};
        info.mask = LVIF_IMAGE;
        info.iItem = item;
        info.iSubItem = column;
        info.iImage = -1;
        SendMessageA(m_list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
        return info.iImage;
    }
    std::wstring HeaderText(int column) const {
        wchar_t text[64] = {};
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        HWND header = reinterpret_cast<HWND>(SendMessageA(m_list, LVM_GETHEADER, 0, 0));
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
        return text;
    }

private:
    CUiThread m_thread;
    HWND m_view = nullptr;
    HWND m_list = nullptr;
};

std::wstring LoadWide(UINT id) {
    wchar_t text[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), id, text, 256);
    return text;
}

bool HasColour(const std::vector<DWORD>& pixels, COLORREF colour) {
    const DWORD rgb = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (DWORD p : pixels)
        if (p == rgb) return true;
    return false;
}

void CheckRows(const OpenResultView& view) {
    const int rows = static_cast<int>(kTitles.size());
    ASSERT_EQ(rows, SendMessageA(view.List(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < rows; ++i) {
        EXPECT_EQ("", view.CellText(i, 0));
        EXPECT_EQ(kTitles[i], view.CellText(i, 1));
        EXPECT_EQ(zr::FormatResultDetail(kCodes[i]), view.CellText(i, 2));
        EXPECT_EQ(4, view.CellImage(i, 0));
        EXPECT_EQ(-1, view.CellImage(i, 2));
    }
}

TEST(ResultView, ListsEveryRowRedOnWhiteWithTheFailedPicture) {
    OpenResultView view;
    ASSERT_NE(nullptr, view.List());
    CheckRows(view);
    EXPECT_EQ(LoadWide(IDS_COLUMN_RESULT), view.HeaderText(0));
    EXPECT_EQ(LoadWide(IDS_COLUMN_TITLE), view.HeaderText(1));  // a Japanese user language
    EXPECT_EQ(LoadWide(IDS_COLUMN_DETAIL), view.HeaderText(2));
    EXPECT_NE(0, SendMessageA(view.List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(0x4022, SendMessageA(view.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x4022);

    jobtest::SaveScreenshot(view.View(), "result_view");
    const std::vector<DWORD> list = jobtest::SaveScreenshot(view.List(), "result_view_list");
    EXPECT_TRUE(HasColour(list, RGB(255, 0, 0))) << "red row text";
    EXPECT_TRUE(HasColour(list, RGB(0xE0, 0, 0))) << "the failed picture";
    EXPECT_TRUE(HasColour(list, RGB(128, 128, 128))) << "the dotted separator";

    // A selected row keeps its state colours, with or without the focus.
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(view.List(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    SendMessageA(view.View(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(view.List()), TRUE);
    ASSERT_EQ(view.List(), zrui::GetFocusOf(view.View()));
    const std::vector<DWORD> selected = jobtest::SaveScreenshot(view.List(), "result_view_selected");
    EXPECT_FALSE(HasColour(selected, GetSysColor(COLOR_ACTIVECAPTION)));
    EXPECT_TRUE(HasColour(selected, RGB(255, 0, 0)));
}

// A title cut to a short buffer ends on a whole character: "テスト曲" is four
// double-byte characters, and half of one would draw as garbage.
TEST(ResultView, ATextCutShortEndsOnAWholeCharacter) {
    OpenResultView view;
    ASSERT_NE(nullptr, view.List());
    const std::string& title = kTitles[1];
    for (int size = 1; size <= 9; ++size) {
        EXPECT_EQ(title.substr(0, static_cast<std::size_t>((size - 1) / 2 * 2)), view.CellText(1, 1, size))
            << "buffer of " << size << " bytes";
    }
}

TEST(ResultView, CloseButtonEndsIt) {
    OpenResultView view;
    ASSERT_NE(nullptr, view.View());
    jobtest::Click(view.View(), IDOK);
    EXPECT_TRUE(view.Closed(10000));
}

// ---- Where it opens ----

struct PlacementCase {
    const char* name;
    bool owned;
    jobtest::OwnerPlace owner;
};

void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

class ResultViewPlacement : public testing::TestWithParam<PlacementCase> {};

TEST_P(ResultViewPlacement, CentredOverItsOwnerAndWhollyOnTheWorkArea) {
    const PlacementCase& c = GetParam();
    const RECT owner = jobtest::OwnerRect(c.owner);
    OpenResultView view(kCaption, c.owned ? &owner : nullptr);
    ASSERT_NE(nullptr, view.View());
    HWND shown = GetWindow(view.View(), GW_OWNER);
    EXPECT_EQ(c.owned, shown != nullptr);
    EXPECT_EQ("", zrui::PlacementError(view.View(), shown));
}

INSTANTIATE_TEST_SUITE_P(
    Owners, ResultViewPlacement,
    testing::Values(PlacementCase{"WithoutOwner", false, jobtest::OwnerPlace::Middle},
                    PlacementCase{"OwnerInTheMiddle", true, jobtest::OwnerPlace::Middle},
                    PlacementCase{"OwnerNearTheBottomRightCorner", true, jobtest::OwnerPlace::NearBottomRight},
                    PlacementCase{"OwnerPastTheTopLeftCorner", true, jobtest::OwnerPlace::PastTopLeft}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

// ---- At the display's scale ----

// Column widths and picture size, given for 96 DPI, at each scale checked.
struct ScaleCase {
    int dpi;
    int columns[3];
    int imageWidth, imageHeight;
};

const ScaleCase kScales[] = {
    {96, {50, 125, 600}, 18, 16}, {144, {75, 188, 900}, 27, 24}, {192, {100, 250, 1200}, 36, 32}};

// The scale the run was started at (ZR_WINE_DPI, see CMakeLists.txt), 96 without one.
int StartedDpi() {
    const char* dpi = std::getenv("ZR_WINE_DPI");
    return dpi && *dpi ? std::atoi(dpi) : 96;
}

// Width and height of the first picture drawn in that colour: every row's
// picture lies at the same x, and rows are apart by more than a pixel.
SIZE FirstPictureExtent(const std::vector<DWORD>& pixels, int width, DWORD rgb) {
    LONG left = LONG_MAX, right = -1, top = -1, bottom = -1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != rgb) continue;
        const LONG x = static_cast<LONG>(i % width), y = static_cast<LONG>(i / width);
        left = std::min(left, x), right = std::max(right, x + 1);
        if (top < 0) top = y;
        if (y == bottom || (bottom < 0 && y == top)) bottom = y + 1;
    }
    return SIZE{right - left, bottom - top};
}

TEST(ResultViewScale, ColumnsAndPicturesFollowTheDisplayScale) {
    const int dpi = StartedDpi();
    ASSERT_EQ(dpi, zrui::ScreenDpi()) << "the display does not have the scale the run was started at";
    const ScaleCase* scale = nullptr;
    for (const ScaleCase& c : kScales)
        if (c.dpi == dpi) scale = &c;
    ASSERT_NE(nullptr, scale) << dpi;

    const std::vector<std::string> titles = {
        "とても長いタイトルの曲 - A Title Far Longer Than Its Column, Cut Short With An Ellipsis",
        "Another Very Long Title Of A Track Whose Picture Could Not Be Saved (Live)", "短い"};
    OpenResultView view(kCaption, nullptr, titles,
                        {Code(0x80004005), Code(0x80070057), Code(1)});
    ASSERT_NE(nullptr, view.List());
    for (int column = 0; column < 3; ++column)
        EXPECT_EQ(scale->columns[column], SendMessageA(view.List(), LVM_GETCOLUMNWIDTH, column, 0)) << column;
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(view.List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &width, &height));
    EXPECT_EQ(scale->imageWidth, width);
    EXPECT_EQ(scale->imageHeight, height);

    jobtest::SaveScreenshot(view.View(), "result_view_long_titles");
    int shotWidth = 0;
    const std::vector<DWORD> list = jobtest::SaveScreenshot(view.List(), "result_view_long_titles_list", &shotWidth);
    // The red disc of the failed picture is 15 of its 18 x 16 pixels wide and
    // high; stretched, it keeps magenta out of sight.
    const SIZE disc = FirstPictureExtent(list, shotWidth, 0xE00000);
    EXPECT_NEAR(15 * dpi / 96, disc.cx, 1);
    EXPECT_NEAR(15 * dpi / 96, disc.cy, 1);
    EXPECT_FALSE(HasColour(list, RGB(255, 0, 255)));
}

// ---- Runs as a process of its own (see below and CMakeLists.txt); skipped in a normal run. ----

std::string ChildMode() {
    const char* mode = std::getenv("ZR_RESULT_VIEW_CHILD");
    return mode ? mode : "";
}

TEST(ResultViewChild, Report) {
    if (ChildMode().empty()) GTEST_SKIP() << "runs only as a process of its own";
    OpenResultView view("");  // the caption may not survive another code page
    ASSERT_NE(nullptr, view.List());
    if (ChildMode() == "english") {
        // Started with an English user language and the Japanese code page.
        ASSERT_EQ(LANG_ENGLISH, PRIMARYLANGID(GetUserDefaultLangID()));
        EXPECT_EQ(LoadWide(IDS_COLUMN_TITLE_HALFWIDTH), view.HeaderText(1));
        jobtest::SaveScreenshot(view.View(), "result_view_english_user");
    } else if (ChildMode() == "nobitmap") {
        // Without a picture the list still shows every row, in red, without images.
        EXPECT_EQ(LoadWide(IDS_COLUMN_TITLE), view.HeaderText(1));
        CheckRows(view);
        EXPECT_EQ(0, SendMessageA(view.List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        const std::vector<DWORD> list = jobtest::SaveScreenshot(view.List(), "result_view_no_bitmap");
        EXPECT_TRUE(HasColour(list, RGB(255, 0, 0)));
        EXPECT_FALSE(HasColour(list, RGB(0xE0, 0, 0)));
    }
}

// Runs exe's ResultViewChild test in mode; its exit code.
DWORD RunChild(const std::string& exe, const std::string& mode) {
    SetEnvironmentVariableA("ZR_RESULT_VIEW_CHILD", mode.c_str());
    // This run may be one shard of the program's tests; the child runs its one test whole.
    char shards[32] = {}, index[32] = {};
    GetEnvironmentVariableA("GTEST_TOTAL_SHARDS", shards, sizeof(shards));
    GetEnvironmentVariableA("GTEST_SHARD_INDEX", index, sizeof(index));
    SetEnvironmentVariableA("GTEST_TOTAL_SHARDS", nullptr);
    SetEnvironmentVariableA("GTEST_SHARD_INDEX", nullptr);
    std::string cmd = "\"" + exe + "\" --gtest_filter=ResultViewChild.*";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("ZR_RESULT_VIEW_CHILD", nullptr);
    if (shards[0]) SetEnvironmentVariableA("GTEST_TOTAL_SHARDS", shards);
    if (index[0]) SetEnvironmentVariableA("GTEST_SHARD_INDEX", index);
    if (!started) return GetLastError() | 0x10000000;
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(ResultViewProcess, OpensWhenAPictureCannotBeLoaded) {
    // This very program with one of the seven pictures broken.
    char path[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    GetTempPathA(sizeof(temp), temp);
    const std::string copy = std::string(temp) + "zr_result_view_nobitmap.exe";
    ASSERT_TRUE(CopyFileA(path, copy.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    // Four bytes in place of the picture: no bitmap can be loaded from it.
    char broken[4] = {'n', 'o', 'n', 'e'};
    ASSERT_TRUE(UpdateResourceA(update, RT_BITMAP, "LIST_ANIMATION_SC", MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT),
                                broken, sizeof(broken)));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));

    EXPECT_EQ(0u, RunChild(copy, "nobitmap"));
    DeleteFileA(copy.c_str());
}

}  // namespace
