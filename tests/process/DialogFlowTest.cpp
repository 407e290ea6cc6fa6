// The tool's window flows as a person meets them: the main dialog, the folder
// dialogs with the shell's folder browser, and their messages. Each test
// starts the real tool against a stand-in host in a throw-away prefix and
// saves screenshots of what it shows (build/<target>/screenshots/dialogs).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "../../res/resource.h"
#include "common/ResString.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryGen.h"
#include "support/Sandbox.h"
#include "support/ToolProcess.h"
#include "support/UiDriver.h"

namespace {

using namespace zrui;

const char kMainCaption[] = "SD-Talvane Backup&Restoreツール";
const char kFolderCaption[] = "SD-Talvane Backup&Restoreツール";
const char kTestRoot[] = "C:\\ZRDialogTest";
// Long enough for the modal chain of a click to settle in Wine.
const DWORD kSettleMs = 500;

std::string TestPath(const std::string& relative) { return std::string(kTestRoot) + "\\" + relative; }

std::string BinDir() {
    char bin[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("ZR_BIN_DIR", bin, sizeof(bin));
    return n > 0 && n < sizeof(bin) ? std::string(bin) : std::string();
}

std::string ScreenshotFolder() { return WinePathOf(BinDir() + "/screenshots/dialogs"); }

// A folder below the test root whose whole path has exactly `bytes` bytes.
std::string PathOfBytes(size_t bytes) {
    std::string path = TestPath("");
    return path + std::string(bytes - path.size(), 'L');
}

// 100 characters, 60 of them double-byte: 160 bytes.
std::string DoubleBytePath() {
    std::string path = TestPath("");
    path += std::string(40 - path.size(), 'd');
    for (int i = 0; i < 60; ++i) path += "表";
    return path;
}

hostsim::InstalledHost g_host;

// One stand-in host for the whole run, and the folders the tests browse to.
class HostEnvironment : public testing::Environment {
public:
    void SetUp() override {
        hostsim::InstallOptions options;
        options.moduleSource = WinePathOf(BinDir() + "/hostsim/module/NerithMediaLibrary.dll");
        std::string error;
        ASSERT_TRUE(hostsim::Install(options, g_host, error)) << error;
        hostsim::LibraryOptions library;
        library.tracks = 8;
        library.folders = 3;
        library.fileSize = 512;
        ASSERT_TRUE(hostsim::CreateLibrary(g_host, library, error)) << error;

        zrtest::RemoveTree(kTestRoot);
        for (const std::string& folder :
             {TestPath("Backup"), TestPath("Other"), PathOfBytes(150), PathOfBytes(151), DoubleBytePath(),
              TestPath("歌ソ"), TestPath("Holds\\BackupData"), TestPath("Empty")})
            zrtest::MakeFolder(folder);
        zrtest::MakeFolder(ScreenshotFolder());
        // Without a window manager Wine draws the title bars itself, so screenshots show them.
        zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Decorated", "N");
    }
};

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new HostEnvironment);

// The tool started afresh with its main dialog open.
class ToolWindowTest : public testing::Test {
protected:
    void SetUp() override {
        tool_ = std::make_unique<CToolProcess>(BuiltToolPath());
        ASSERT_TRUE(tool_->Started()) << tool_->Error();
        WindowQuery query;
        query.pid = tool_->Pid();
        query.title = kMainCaption;
        query.requiredItem = IDC_BACKUP;
        main_ = WaitForWindow(query);
        ASSERT_NE(nullptr, main_);
    }

    void TearDown() override {
        // Exit the way a person would when the tool is idle; otherwise it is ended.
        if (main_ && IsWindowEnabled(main_) && ClickButton(main_, IDCANCEL)) {
            EXPECT_EQ(0u, tool_->WaitExit(20000));
        }
        tool_.reset();
    }

    DWORD Pid() const { return tool_->Pid(); }

    void Shot(HWND window, const std::string& name) {
        EXPECT_TRUE(SaveScreenshot(window, ScreenshotFolder() + "\\" + name + ".png")) << name;
    }

    // The message box with text `id` owned by owner (any window of the tool when null).
    HWND ExpectMessage(HWND owner, UINT id, const char* buttons, const std::string& shot = std::string()) {
        HWND box = WaitForMessageBox(Pid(), owner);
        EXPECT_NE(nullptr, box) << "no message " << id;
        if (!box) return nullptr;
        EXPECT_EQ(zr::LoadResString(id), MessageBoxText(box)) << "message " << id;
        EXPECT_EQ(zr::LoadResString(IDS_APP_TITLE), GetText(box));
        EXPECT_EQ(buttons, MessageBoxButtons(box)) << "message " << id;
        if (!shot.empty()) Shot(box, shot);
        return box;
    }

    void ExpectAndAnswer(HWND owner, UINT id, const char* buttons, int answer, const std::string& shot = std::string()) {
        HWND box = ExpectMessage(owner, id, buttons, shot);
        if (box) {
            EXPECT_TRUE(AnswerMessageBox(box, answer));
        }
    }

    // No window of the tool over `window` once things settle.
    void ExpectNothingOver(HWND window) {
        ASSERT_TRUE(Sync(window));
        Sleep(kSettleMs);
        EXPECT_EQ(nullptr, FindOwnedWindow(Pid(), window)) << GetText(FindOwnedWindow(Pid(), window));
        EXPECT_TRUE(IsWindowEnabled(window));
    }

    HWND WaitForFolderDialog(int itemId) {
        WindowQuery query;
        query.pid = Pid();
        query.owner = main_;
        query.title = kFolderCaption;
        query.requiredItem = itemId;
        HWND dialog = WaitForWindow(query);
        EXPECT_NE(nullptr, dialog);
        return dialog;
    }

    HWND OpenBackupFolderDialog() {
        EXPECT_TRUE(ClickButton(main_, IDC_BACKUP));
        ExpectAndAnswer(main_, IDS_BACKUP_WARNING, "OK+Cancel", IDOK);
        return WaitForFolderDialog(IDC_FOLDER_EDIT);
    }

    HWND OpenRestoreFolderDialog() {
        EXPECT_TRUE(ClickButton(main_, IDC_RESTORE));
        ExpectAndAnswer(main_, IDS_RESTORE_WARNING, "OK+Cancel", IDOK);
        return WaitForFolderDialog(IDC_SOURCE_EDIT);
    }

    // Presses the browse button and opens the browser.
    HWND Browse(HWND dialog, int browseButton) {
        EXPECT_TRUE(ClickButton(dialog, browseButton));
        HWND browser = WaitForFolderBrowser(Pid(), dialog);
        EXPECT_NE(nullptr, browser);
        return browser;
    }

    // Browses to the folder and returns once the dialog has handled the choice.
    void BrowseTo(HWND dialog, int browseButton, const std::string& folder) {
        HWND browser = Browse(dialog, browseButton);
        ASSERT_NE(nullptr, browser);
        ASSERT_TRUE(ChooseInFolderBrowser(browser, folder)) << folder;
        ASSERT_TRUE(Sync(dialog));
    }

    std::unique_ptr<CToolProcess> tool_;
    HWND main_ = nullptr;
};

// --- Backup flow ---

TEST_F(ToolWindowTest, CancelOnBackupWarningShowsNoFolderDialog) {
    Shot(main_, "main-dialog");
    ASSERT_TRUE(ClickButton(main_, IDC_BACKUP));
    ExpectAndAnswer(main_, IDS_BACKUP_WARNING, "OK+Cancel", IDCANCEL, "message-147-backup-warning");
    ExpectNothingOver(main_);
}

TEST_F(ToolWindowTest, CancelledBackupFolderDialogStartsNoJob) {
    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("", GetItemText(dialog, IDC_FOLDER_EDIT));
    Shot(dialog, "backup-folder-dialog");
    BrowseTo(dialog, IDC_BROWSE_FOLDER, TestPath("Backup"));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    ExpectNothingOver(main_);
}

TEST_F(ToolWindowTest, SecondBackupStartsWithEmptyFolder) {
    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, TestPath("Backup"));
    EXPECT_EQ(TestPath("Backup"), GetItemText(dialog, IDC_FOLDER_EDIT));
    // The close box cancels too.
    ASSERT_TRUE(SendSystemCommand(dialog, SC_CLOSE));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    ExpectNothingOver(main_);

    dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("", GetItemText(dialog, IDC_FOLDER_EDIT));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
}

TEST_F(ToolWindowTest, ExecuteWithoutFolderShows131) {
    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ExpectAndAnswer(dialog, IDS_SELECT_FOLDER, "OK", IDOK, "message-131-select-folder");
    ExpectNothingOver(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
}

TEST_F(ToolWindowTest, CancelledBrowserClearsChosenFolder) {
    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, TestPath("Backup"));
    HWND browser = Browse(dialog, IDC_BROWSE_FOLDER);
    ASSERT_NE(nullptr, browser);
    Shot(browser, "folder-browser-backup");
    ASSERT_TRUE(CancelFolderBrowser(browser));
    ASSERT_TRUE(Sync(dialog));
    EXPECT_EQ("", GetItemText(dialog, IDC_FOLDER_EDIT));
    ExpectNothingOver(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
}

// One folder chosen in the backup folder dialog's browser after a good one.
struct BrowseCase {
    const char* name;
    std::string folder;  // empty: "My Computer", an item without a file-system path
    UINT message;        // 0: accepted
};

std::string CaseName(const testing::TestParamInfo<BrowseCase>& info) { return info.param.name; }
void PrintTo(const BrowseCase& row, std::ostream* out) { *out << row.name; }

class BackupBrowseRule : public ToolWindowTest, public testing::WithParamInterface<BrowseCase> {};

TEST_P(BackupBrowseRule, AcceptsOrRefusesKeepingTheEarlierFolder) {
    const BrowseCase& row = GetParam();
    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, TestPath("Backup"));

    HWND browser = Browse(dialog, IDC_BROWSE_FOLDER);
    ASSERT_NE(nullptr, browser);
    if (row.folder.empty())
        ASSERT_TRUE(ChooseSpecialInFolderBrowser(browser, CSIDL_DRIVES));
    else
        ASSERT_TRUE(ChooseInFolderBrowser(browser, row.folder));
    ASSERT_TRUE(Sync(dialog));
    if (row.message) {
        ExpectAndAnswer(dialog, row.message, "OK", IDOK, std::string("backup-browse-") + row.name);
        EXPECT_EQ(TestPath("Backup"), GetItemText(dialog, IDC_FOLDER_EDIT));
    } else {
        EXPECT_EQ(nullptr, FindOwnedWindow(Pid(), dialog));
        EXPECT_EQ(row.folder, GetItemText(dialog, IDC_FOLDER_EDIT));
    }
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BackupBrowseRule,
    testing::Values(BrowseCase{"NoFileSystemPath", "", IDS_SELECT_BACKUP_FOLDER},
                    BrowseCase{"Exactly150Bytes", PathOfBytes(150), 0},
                    BrowseCase{"Over150Bytes", PathOfBytes(151), IDS_PATH_TOO_LONG},
                    BrowseCase{"DoubleByteOver150Bytes", DoubleBytePath(), IDS_PATH_TOO_LONG},
                    BrowseCase{"DriveRoot", "C:\\", IDS_FOLDER_WRITE_FORBIDDEN},
                    BrowseCase{"EndsInTrailByte5C", TestPath("歌ソ"), 0}),
    CaseName);

// --- About ---

TEST_F(ToolWindowTest, AboutFromSystemMenu) {
    ASSERT_TRUE(SendSystemCommand(main_, IDM_ABOUTBOX));
    WindowQuery query;
    query.pid = Pid();
    query.owner = main_;
    query.title = "バージョン情報";
    HWND about = WaitForWindow(query);
    ASSERT_NE(nullptr, about);
    Shot(about, "about-dialog");
    ASSERT_TRUE(ClickButton(about, IDOK));
    ASSERT_TRUE(WaitForWindowGone(about));
    ExpectNothingOver(main_);
}

}  // namespace
