// The tool's window flows as a person meets them: the main dialog, the folder
// dialogs with the shell's folder browser, their messages, the user manual,
// and a whole backup and restore. Each test starts the real tool against a
// stand-in host in a throw-away prefix and saves screenshots of what it shows
// (build/<target>/screenshots/dialogs).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "resource.h"
#include "common/PathUtil.h"
#include "common/ResString.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "hostsim/core/StoredPath.h"
#include "support/FileTree.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "support/ToolWindows.h"
#include "support/UiDriver.h"

namespace {

using namespace zrui;

const char kTestRoot[] = "C:\\ZRDialogTest";

std::string TestPath(const std::string& relative) { return std::string(kTestRoot) + "\\" + relative; }

// At another display scale than 96 DPI: screenshots/dpi<N>/dialogs.
std::string ScreenshotFolder() {
    const std::string scale = ScreenDpi() == 96 ? std::string() : "/dpi" + std::to_string(ScreenDpi());
    return zrtest::BuiltPath("screenshots" + scale + "/dialogs");
}

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
hostsim::LibrarySummary g_library;

// One stand-in host for the whole run, and the folders the tests browse to.
class HostEnvironment : public testing::Environment {
public:
    void SetUp() override {
        hostsim::InstallOptions options;
        options.moduleSource = zrtest::BuiltPath("hostsim/module/NerithMediaLibrary.dll");
        std::string error;
        ASSERT_TRUE(hostsim::Install(options, g_host, error)) << error;
        hostsim::LibraryOptions library;
        library.tracks = 8;
        library.folders = 3;
        library.fileSize = 512;
        ASSERT_TRUE(hostsim::CreateLibrary(g_host, library, error, &g_library)) << error;

        zrtest::RemoveTree(kTestRoot);
        for (const std::string& folder :
             {TestPath("Backup"), TestPath("Other"), PathOfBytes(150), PathOfBytes(151), DoubleBytePath(),
              TestPath("歌ソ"), TestPath("Holds\\BackupData\\Sub"), TestPath("Empty"),
              g_host.playlistFolder + "\\Kept\\BackupData"})
            zrtest::MakeFolder(folder);
        zrtest::MakeFolder(ScreenshotFolder());
        // There is no window manager under Xvfb: Wine draws the title bars
        // itself (so screenshots show them) and does not wait for a manager
        // to withdraw each closed window (two seconds every time).
        zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Decorated", "N");
        zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Managed", "N");
    }
};

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new HostEnvironment);

// The tool started afresh with its main dialog open.
class ToolWindowTest : public testing::Test {
protected:
    void SetUp() override { StartTool(BuiltToolPath(), std::string()); }

    void StartTool(const std::string& program, const std::string& workingFolder) {
        tool_ = std::make_unique<CToolProcess>(program, workingFolder);
        ASSERT_TRUE(tool_->Started()) << tool_->Error();
        main_ = WaitForMainDialog(tool_->Pid());
        ASSERT_NE(nullptr, main_);
    }

    void TearDown() override {
        // Every test ends with the tool idle again: whatever it opened has
        // closed (a window left over the main one keeps it disabled), and it
        // quits the way a person quits it, with exit code 0.
        if (tool_ && tool_->Started() && tool_->WaitExit(0) == STILL_ACTIVE && main_) {
            for (int i = 0; i < 200 && IsWindow(main_) && !IsWindowEnabled(main_); ++i) Sleep(50);
            HWND over = FindOwnedWindow(Pid(), main_);
            EXPECT_TRUE(IsWindowEnabled(main_)) << "the main window is still disabled under \"" << GetText(over) << "\"";
            if (IsWindowEnabled(main_)) {
                EXPECT_TRUE(ClickButton(main_, IDCANCEL));
            }
        }
        if (tool_ && tool_->Started()) {
            EXPECT_EQ(0u, tool_->WaitExit(20000)) << "the tool did not quit cleanly";
        }
        tool_.reset();
    }

    DWORD Pid() const { return tool_->Pid(); }

    void Shot(HWND window, const std::string& name) {
        EXPECT_TRUE(SaveScreenshot(window, ScreenshotFolder() + "\\" + name + ".png")) << name;
    }

    // Screenshots named after what the flow met, with a prefix.
    WindowSeen ShotAs(const std::string& prefix) {
        return [this, prefix](HWND window, const std::string& name) { Shot(window, prefix + name); };
    }

    // Expects the message box with string `id` over owner, saves it as `shot`
    // unless that is empty, and answers it.
    void ExpectAndAnswer(HWND owner, UINT id, const char* buttons, UINT icon, int answer,
                         const std::string& shot = std::string()) {
        std::string error;
        WindowSeen seen;
        if (!shot.empty()) seen = [this, shot](HWND window, const std::string&) { Shot(window, shot); };
        EXPECT_TRUE(AnswerToolMessage(Pid(), owner, id, buttons, icon, answer, error, seen)) << error;
    }

    // No window of the tool over `window` once things settle.
    void ExpectNothingOver(HWND window) {
        // The second round lets a modal loop the first one met show its window.
        ASSERT_TRUE(Sync(window));
        ASSERT_TRUE(Sync(window));
        HWND over = FindOwnedWindow(Pid(), window);
        EXPECT_EQ(nullptr, over) << GetText(over);
        EXPECT_TRUE(IsWindowEnabled(window));
    }

    HWND OpenBackupFolderDialog() {
        std::string error;
        HWND dialog = zrui::OpenBackupFolderDialog(Pid(), main_, error);
        EXPECT_NE(nullptr, dialog) << error;
        return dialog;
    }

    HWND OpenRestoreFolderDialog() {
        std::string error;
        HWND dialog = zrui::OpenRestoreFolderDialog(Pid(), main_, error);
        EXPECT_NE(nullptr, dialog) << error;
        return dialog;
    }

    // Presses the browse button and waits for the browser.
    HWND Browse(HWND dialog, int browseButton) {
        EXPECT_TRUE(ClickButton(dialog, browseButton));
        HWND browser = WaitForFolderBrowser(Pid(), dialog);
        EXPECT_NE(nullptr, browser);
        return browser;
    }

    // Browses to the folder (empty: "My Computer", which has no file-system
    // path) and returns once the dialog has handled the choice.
    void BrowseTo(HWND dialog, int browseButton, const std::string& folder) {
        std::string error;
        ASSERT_TRUE(BrowseFolderField(Pid(), dialog, browseButton, folder, error)) << error;
    }

    // The restore dialog opened while the host's media folder setting is
    // `media` (nullptr: no setting): page 2 proposes it, and 実行 refuses it
    // with `message`.
    void ExpectProposedDestinationRefused(const char* media, UINT message, const std::string& shot = std::string()) {
        std::string mediaPath;
        ASSERT_TRUE(zrtest::ReadRegString(HKEY_CURRENT_USER, g_host.userSettingsKey, "MediaPath", mediaPath));
        if (media) {
            zrtest::SetRegString(HKEY_CURRENT_USER, g_host.userSettingsKey, "MediaPath", media);
        } else {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegOpenKeyExA(HKEY_CURRENT_USER, g_host.userSettingsKey.c_str(), 0, KEY_SET_VALUE, &key));
            RegDeleteValueA(key, "MediaPath");
            RegCloseKey(key);
        }
        HWND dialog = OpenRestoreFolderDialog();
        zrtest::SetRegString(HKEY_CURRENT_USER, g_host.userSettingsKey, "MediaPath", mediaPath);
        ASSERT_NE(nullptr, dialog);
        GoToPage2(dialog, TestPath("Holds"));
        EXPECT_EQ(media ? media : "", GetItemText(dialog, IDC_FOLDER_EDIT));
        ASSERT_TRUE(ClickButton(dialog, IDC_NEXT));
        ExpectAndAnswer(dialog, message, "OK", MB_ICONERROR, IDOK, shot);
        ExpectPage(dialog, 2);
        ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
        ASSERT_TRUE(WaitForWindowGone(dialog));
        ExpectNothingOver(main_);
    }

    // Page 1 with a folder that holds "BackupData", then Next.
    void GoToPage2(HWND dialog, const std::string& source) {
        std::string error;
        ASSERT_TRUE(ShowRestorePage2(Pid(), dialog, source, error)) << error;
    }

    void ExpectPage(HWND dialog, int page) {
        const int page1[] = {IDC_SOURCE_GROUP, IDC_SOURCE_TEXT, IDC_SOURCE_EDIT, IDC_BROWSE_SOURCE};
        const int page2[] = {IDC_DEST_GROUP, IDC_DEST_TEXT, IDC_FOLDER_EDIT, IDC_BROWSE_FOLDER};
        for (int id : page1) EXPECT_EQ(page == 1, IsItemVisible(dialog, id)) << id;
        for (int id : page2) EXPECT_EQ(page == 2, IsItemVisible(dialog, id)) << id;
        EXPECT_EQ(page == 2, IsItemEnabled(dialog, IDC_BACK));
        EXPECT_EQ(zr::LoadResString(page == 2 ? IDS_BUTTON_EXECUTE : IDS_BUTTON_NEXT), GetItemText(dialog, IDC_NEXT));
    }

    std::unique_ptr<CToolProcess> tool_;
    HWND main_ = nullptr;
};

// --- Backup flow ---

TEST_F(ToolWindowTest, CancelOnBackupWarningShowsNoFolderDialog) {
    Shot(main_, "main-dialog");
    ASSERT_TRUE(ClickButton(main_, IDC_BACKUP));
    ExpectAndAnswer(main_, IDS_BACKUP_WARNING, "OK+Cancel", MB_ICONWARNING, IDCANCEL, "message-147-backup-warning");
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
    Shot(dialog, "backup-folder-dialog-chosen");
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
    ExpectAndAnswer(dialog, IDS_SELECT_FOLDER, "OK", MB_ICONERROR, IDOK, "message-131-select-folder");
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
    EXPECT_TRUE(WaitForItemText(dialog, IDC_FOLDER_EDIT, "")) << GetItemText(dialog, IDC_FOLDER_EDIT);
    ExpectNothingOver(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
}

// --- The browse rules of the three folder fields ---

enum class Field { Backup, RestoreSource, RestoreDestination };

// One folder chosen in a field's browser after a good one.
// Stand for the stand-in host's live databases folder and playlist folder,
// known once it is installed.
const char kLiveDatabases[] = "<live databases>";
const char kPlaylists[] = "<playlists>";

std::string HostFolder(const std::string& folder) {
    if (folder == kLiveDatabases) return g_host.databasesFolder;
    if (folder.compare(0, sizeof(kPlaylists) - 1, kPlaylists) == 0) {
        return g_host.playlistFolder + folder.substr(sizeof(kPlaylists) - 1);
    }
    return folder;
}

struct BrowseCase {
    const char* name;
    Field field;
    std::string folder;  // empty: "My Computer", an item without a file-system path
    UINT message;        // 0: no message
    std::string shown;   // the field afterwards when there is no message
};

std::string CaseName(const testing::TestParamInfo<BrowseCase>& info) { return info.param.name; }
void PrintTo(const BrowseCase& row, std::ostream* out) { *out << row.name; }

class BrowseRule : public ToolWindowTest, public testing::WithParamInterface<BrowseCase> {};

TEST_P(BrowseRule, AcceptsOrRefusesKeepingTheEarlierFolder) {
    const BrowseCase& row = GetParam();
    HWND dialog = nullptr;
    int browse = 0, edit = 0;
    std::string good;
    switch (row.field) {
    case Field::Backup:
        dialog = OpenBackupFolderDialog();
        browse = IDC_BROWSE_FOLDER, edit = IDC_FOLDER_EDIT, good = TestPath("Backup");
        break;
    case Field::RestoreSource:
        dialog = OpenRestoreFolderDialog();
        browse = IDC_BROWSE_SOURCE, edit = IDC_SOURCE_EDIT, good = TestPath("Holds");
        break;
    case Field::RestoreDestination:
        dialog = OpenRestoreFolderDialog();
        ASSERT_NE(nullptr, dialog);
        GoToPage2(dialog, TestPath("Holds"));
        browse = IDC_BROWSE_FOLDER, edit = IDC_FOLDER_EDIT, good = TestPath("Other");
        break;
    }
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, browse, good);
    ASSERT_EQ(good, GetItemText(dialog, edit));

    BrowseTo(dialog, browse, HostFolder(row.folder));
    if (row.message) {
        ExpectAndAnswer(dialog, row.message, "OK", MB_ICONERROR, IDOK, std::string("browse-") + row.name);
        EXPECT_EQ(good, GetItemText(dialog, edit));
    } else {
        EXPECT_EQ(nullptr, FindOwnedWindow(Pid(), dialog));
        EXPECT_EQ(row.shown, GetItemText(dialog, edit));
    }
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BrowseRule,
    testing::Values(
        BrowseCase{"BackupNoFileSystemPath", Field::Backup, "", IDS_SELECT_BACKUP_FOLDER, ""},
        BrowseCase{"BackupExactly150Bytes", Field::Backup, PathOfBytes(150), 0, PathOfBytes(150)},
        BrowseCase{"BackupOver150Bytes", Field::Backup, PathOfBytes(151), IDS_PATH_TOO_LONG, ""},
        BrowseCase{"BackupDoubleByteOver150Bytes", Field::Backup, DoubleBytePath(), IDS_PATH_TOO_LONG, ""},
        BrowseCase{"BackupDriveRoot", Field::Backup, "C:\\", IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"BackupEndsInTrailByte5C", Field::Backup, TestPath("歌ソ"), 0, TestPath("歌ソ")},
        BrowseCase{"SourceNoFileSystemPath", Field::RestoreSource, "", IDS_SELECT_BACKUP_SOURCE, ""},
        BrowseCase{"SourceOver150Bytes", Field::RestoreSource, PathOfBytes(151), IDS_PATH_TOO_LONG, ""},
        BrowseCase{"SourceDriveRoot", Field::RestoreSource, "C:\\", IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"SourceWithoutBackupData", Field::RestoreSource, TestPath("Empty"), IDS_NO_BACKUPDATA, ""},
        BrowseCase{"DestinationNoFileSystemPath", Field::RestoreDestination, "", 0, ""},
        BrowseCase{"DestinationDriveRoot", Field::RestoreDestination, "C:\\", IDS_FOLDER_WRITE_FORBIDDEN, ""},
        // The copy would go into the backup itself, or into the library it replaces.
        BrowseCase{"DestinationIsTheBackupData", Field::RestoreDestination, TestPath("Holds\\BackupData"),
                   IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"DestinationInsideTheBackupData", Field::RestoreDestination, TestPath("Holds\\BackupData\\Sub"),
                   IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"DestinationIsTheLiveDatabases", Field::RestoreDestination, kLiveDatabases,
                   IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"DestinationHoldsTheBackupData", Field::RestoreDestination, TestPath("Holds"), 0,
                   TestPath("Holds")},
        // Inside the playlists a restore replaces (or a backup copies): gone with them.
        BrowseCase{"DestinationInsideThePlaylists", Field::RestoreDestination, kPlaylists,
                   IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"SourceInsideThePlaylists", Field::RestoreSource, std::string(kPlaylists) + "\\Kept",
                   IDS_FOLDER_WRITE_FORBIDDEN, ""},
        BrowseCase{"BackupInsideThePlaylists", Field::Backup, kPlaylists, IDS_FOLDER_WRITE_FORBIDDEN, ""}),
    CaseName);

// --- Restore flow ---

TEST_F(ToolWindowTest, CancelOnRestoreWarningShowsNoFolderDialog) {
    ASSERT_TRUE(ClickButton(main_, IDC_RESTORE));
    ExpectAndAnswer(main_, IDS_RESTORE_WARNING, "OK+Cancel", MB_ICONWARNING, IDCANCEL, "message-134-restore-warning");
    ExpectNothingOver(main_);
}

TEST_F(ToolWindowTest, RestorePagesCheckTheBackupFolderEachTimeNextIsPressed) {
    HWND dialog = OpenRestoreFolderDialog();
    ASSERT_NE(nullptr, dialog);
    ExpectPage(dialog, 1);
    EXPECT_EQ("", GetItemText(dialog, IDC_SOURCE_EDIT));
    Shot(dialog, "restore-folder-dialog-page1");

    ASSERT_TRUE(ClickButton(dialog, IDC_NEXT));
    ExpectAndAnswer(dialog, IDS_SELECT_FOLDER, "OK", MB_ICONERROR, IDOK);
    ExpectPage(dialog, 1);

    zrtest::MakeFolder(TestPath("Twice\\BackupData"));
    GoToPage2(dialog, TestPath("Twice"));
    ExpectPage(dialog, 2);
    EXPECT_EQ(g_host.mediaFolder, GetItemText(dialog, IDC_FOLDER_EDIT));
    Shot(dialog, "restore-folder-dialog-page2");

    ASSERT_TRUE(ClickButton(dialog, IDC_BACK));
    ASSERT_TRUE(Sync(dialog));
    ExpectPage(dialog, 1);
    // The pressed Back button is disabled now; the keyboard focus moved on.
    EXPECT_EQ(GetDlgItem(dialog, IDC_NEXT), GetFocusOf(dialog));
    EXPECT_EQ(TestPath("Twice"), GetItemText(dialog, IDC_SOURCE_EDIT));

    // The backup folder lost its "BackupData" after it was chosen.
    zrtest::RemoveTree(TestPath("Twice\\BackupData"));
    ASSERT_TRUE(ClickButton(dialog, IDC_NEXT));
    ExpectAndAnswer(dialog, IDS_NO_BACKUPDATA, "OK", MB_ICONERROR, IDOK, "message-143-no-backupdata");
    ExpectPage(dialog, 1);
    ASSERT_TRUE(SendSystemCommand(dialog, SC_CLOSE));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    ExpectNothingOver(main_);
}

TEST_F(ToolWindowTest, WithoutMediaFolderSettingTheDestinationStartsEmpty) {
    ExpectProposedDestinationRefused(nullptr, IDS_SELECT_FOLDER);
}

// The proposed destination is checked too when the job is to start: here the
// media folder lies inside the chosen backup.
TEST_F(ToolWindowTest, ExecuteRefusesAProposedDestinationInsideTheBackup) {
    const std::string inside = TestPath("Holds\\BackupData\\Sub");
    ExpectProposedDestinationRefused(inside.c_str(), IDS_FOLDER_WRITE_FORBIDDEN, "message-123-destination-inside-backup");
}

TEST_F(ToolWindowTest, SecondRestoreStartsWithTheDefaultDestination) {
    HWND dialog = OpenRestoreFolderDialog();
    ASSERT_NE(nullptr, dialog);
    GoToPage2(dialog, TestPath("Holds"));
    BrowseTo(dialog, IDC_BROWSE_FOLDER, TestPath("Other"));
    EXPECT_EQ(TestPath("Other"), GetItemText(dialog, IDC_FOLDER_EDIT));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    ExpectNothingOver(main_);

    dialog = OpenRestoreFolderDialog();
    ASSERT_NE(nullptr, dialog);
    ExpectPage(dialog, 1);
    EXPECT_EQ("", GetItemText(dialog, IDC_SOURCE_EDIT));
    EXPECT_EQ(g_host.mediaFolder, GetItemText(dialog, IDC_FOLDER_EDIT));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
}

// Folders that vanish between their choice and the start of the job.
struct VanishCase {
    const char* name;
    bool backupGone;
    bool destinationGone;
    UINT message;
};

std::string VanishName(const testing::TestParamInfo<VanishCase>& info) { return info.param.name; }
void PrintTo(const VanishCase& row, std::ostream* out) { *out << row.name; }

class VanishedFolder : public ToolWindowTest, public testing::WithParamInterface<VanishCase> {};

TEST_P(VanishedFolder, ShowsOneMessageAndStartsNoJob) {
    const VanishCase& row = GetParam();
    const std::string source = TestPath(std::string("Vanish\\") + row.name + "\\Source");
    const std::string destination = TestPath(std::string("Vanish\\") + row.name + "\\Destination");
    zrtest::MakeFolder(source + "\\BackupData");
    zrtest::MakeFolder(destination);

    HWND dialog = OpenRestoreFolderDialog();
    ASSERT_NE(nullptr, dialog);
    GoToPage2(dialog, source);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, destination);
    if (row.backupGone) zrtest::RemoveTree(source + "\\BackupData");
    if (row.destinationGone) zrtest::RemoveTree(destination);
    ASSERT_TRUE(ClickButton(dialog, IDC_NEXT));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    ExpectAndAnswer(main_, row.message, "OK", MB_ICONERROR, IDOK,
                    "message-" + std::to_string(row.message) + "-" + row.name);
    ExpectNothingOver(main_);
}

INSTANTIATE_TEST_SUITE_P(Restore, VanishedFolder,
                         testing::Values(VanishCase{"BackupGone", true, false, IDS_BACKUP_FOLDER_MISSING},
                                         VanishCase{"BothGone", true, true, IDS_BACKUP_FOLDER_MISSING},
                                         VanishCase{"DestinationGone", false, true, IDS_RESTORE_FOLDER_MISSING}),
                         VanishName);

// --- A whole backup and restore through the window ---

size_t CountFiles(const std::string& folder) {
    size_t count = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            count += CountFiles(folder + "\\" + name);
        else
            ++count;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
}

TEST_F(ToolWindowTest, WholeBackupOverAnEarlierOneThenRestore) {
    const std::string folder = TestPath("Whole");
    const std::string backupData = folder + "\\BackupData";
    zrtest::MakeFolder(backupData);
    zrtest::WriteTextFile(backupData + "\\earlier.txt", "an earlier backup");

    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, folder);
    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ExpectAndAnswer(dialog, IDS_BACKUP_EXISTS, "Yes+No", MB_ICONWARNING, IDNO, "message-142-backup-exists");
    ExpectNothingOver(dialog);
    EXPECT_EQ(folder, GetItemText(dialog, IDC_FOLDER_EDIT));
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    EXPECT_TRUE(zrtest::FileExists(backupData + "\\earlier.txt"));

    // Again, and Yes this time.
    std::string error;
    ASSERT_TRUE(BackupThroughWindow(Pid(), main_, folder, error, ShotAs("backup-"))) << error;
    ExpectNothingOver(main_);
    EXPECT_FALSE(zrtest::FileExists(backupData + "\\earlier.txt"));
    for (const char* part : {"\\BackupRestore.ini", "\\DB\\NMLDB\\contents.db", "\\DB\\SDCOREDB\\MovePlugIn.bkd",
                             "\\GUI(new)\\mirs.dat"})
        EXPECT_TRUE(zrtest::FileExists(backupData + part)) << part;
    EXPECT_EQ(g_library.filesWritten, CountFiles(backupData + "\\Data\\Audio"));

    ASSERT_TRUE(RestoreThroughWindow(Pid(), main_, folder, std::string(), error, ShotAs("restore-"))) << error;
    ExpectNothingOver(main_);
    // The restore copies the backup tree below the proposed destination.
    EXPECT_EQ(g_library.filesWritten, CountFiles(g_host.mediaFolder + "\\RestoreData\\Data\\Audio"));
}

// An earlier backup that holds the host's own files is not replaced: the
// dialog sees the library's databases folder in it, the job a track's file.
class LibraryMoved {
public:
    // The live library moved into `folder` and listed as relocated there.
    explicit LibraryMoved(const std::string& folder) : m_from(g_host.databasesFolder), m_to(folder) {
        zrtest::MakeFolder(zr::FolderPart(m_to));
        m_moved = MoveFileExA(m_from.c_str(), m_to.c_str(), 0) != FALSE;
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Db_Path_00_Old", g_host.libraryFolder + "\\databases");
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Db_Path_00_New", m_to);
    }
    ~LibraryMoved() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNmlKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Db_Path_00_Old");
            RegDeleteValueA(key, "Db_Path_00_New");
            RegCloseKey(key);
        }
        if (m_moved) MoveFileExA(m_to.c_str(), m_from.c_str(), 0);
    }
    bool Moved() const { return m_moved; }

private:
    static constexpr const char* kNmlKey = "Software\\Nerith\\Kovex\\SD-NML";
    std::string m_from, m_to;
    bool m_moved = false;
};

TEST_F(ToolWindowTest, ExecuteRefusesToReplaceABackupHoldingTheLibrary) {
    const std::string folder = TestPath("HoldsLibrary");
    LibraryMoved moved(folder + "\\BackupData\\Library\\databases");
    ASSERT_TRUE(moved.Moved());
    const auto before = zrtest::Snapshot(folder);

    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, folder);
    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ExpectAndAnswer(dialog, IDS_BACKUP_HOLDS_HOST_DATA, "OK", MB_ICONERROR, IDOK, "message-160-backup-holds-library");
    ExpectNothingOver(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    EXPECT_TRUE(before == zrtest::Snapshot(folder));
}

// A track's file moved into the earlier backup, the library pointing at it there.
class TrackFileMoved {
public:
    explicit TrackFileMoved(const std::string& folder) {
        hostsim::CLibraryDb db;
        std::vector<hostsim::TrackRow> rows;
        if (!db.Open(g_host.contentsDb) || !db.LoadAll(rows)) return;
        for (const hostsim::TrackRow& row : rows) {
            ++m_track;
            if (!zrtest::FileExists(row.path)) continue;
            m_path = row.path;
            break;
        }
        db.Close();
        const std::string moved = folder + "\\" + zr::FileNamePart(m_path);
        zrtest::MakeFolder(folder);
        std::string error;
        m_moved = !m_path.empty() && MoveFileExA(m_path.c_str(), moved.c_str(), 0) &&
                  hostsim::SetStoredPath(g_host.contentsDb, m_track, 0, moved, error);
        m_at = moved;
    }
    ~TrackFileMoved() {
        if (!m_moved) return;
        std::string error;
        MoveFileExA(m_at.c_str(), m_path.c_str(), 0);
        hostsim::SetStoredPath(g_host.contentsDb, m_track, 0, m_path, error);
    }
    bool Moved() const { return m_moved; }

private:
    unsigned m_track = 0;
    std::string m_path, m_at;
    bool m_moved = false;
};

TEST_F(ToolWindowTest, BackupOverOneHoldingATrackFileEndsWith160AndKeepsIt) {
    const std::string folder = TestPath("HoldsTrack");
    zrtest::MakeFolder(folder + "\\BackupData");
    zrtest::WriteTextFile(folder + "\\BackupData\\earlier.txt", "an earlier backup");
    TrackFileMoved moved(folder + "\\BackupData\\Kept");
    ASSERT_TRUE(moved.Moved());
    const auto before = zrtest::Snapshot(folder);

    HWND dialog = OpenBackupFolderDialog();
    ASSERT_NE(nullptr, dialog);
    BrowseTo(dialog, IDC_BROWSE_FOLDER, folder);
    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ExpectAndAnswer(dialog, IDS_BACKUP_EXISTS, "Yes+No", MB_ICONWARNING, IDYES);
    std::string error;
    ASSERT_TRUE(FollowJob(Pid(), main_, IDS_BACKUP_HOLDS_HOST_DATA, error, ShotAs("backup-holds-track-"))) << error;
    ExpectNothingOver(main_);
    EXPECT_TRUE(before == zrtest::Snapshot(folder)) << "the earlier backup changed";
}

// --- About ---

TEST_F(ToolWindowTest, AboutFromSystemMenu) {
    // Alt+Space opens the system menu; About is its last item, which End
    // selects wherever the menu's own first selection is (Up from the first
    // item once landed on Wine's item above it; both carry the accelerator A).
    ASSERT_TRUE(SendNotifyMessageA(main_, WM_SYSCOMMAND, SC_KEYMENU, ' '));
    WindowQuery menuQuery;
    menuQuery.pid = Pid();
    menuQuery.className = "#32768";
    HWND menu = WaitForWindow(menuQuery);
    ASSERT_NE(nullptr, menu);
    // Answered from inside the menu's loop: the menu is set up.
    ASSERT_TRUE(Sync(main_));
    ASSERT_TRUE(PostMessageA(menu, WM_KEYDOWN, VK_END, 0));
    ASSERT_TRUE(Sync(main_));
    Shot(main_, "system-menu");
    ASSERT_TRUE(PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0));

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

// --- Where the windows open ---

// Where the main dialog is before its dialogs open: as it opened, or moved
// (relative to the work area) mostly beyond its bottom-right corner or partly
// beyond its top-left corner.
enum class MainPlace { AsOpened, NearBottomRight, PastTopLeft };

struct PlacementCase {
    const char* name;
    MainPlace place;
};

std::string PlacementName(const testing::TestParamInfo<PlacementCase>& info) { return info.param.name; }
void PrintTo(const PlacementCase& row, std::ostream* out) { *out << row.name; }

class Placement : public ToolWindowTest, public testing::WithParamInterface<PlacementCase> {
protected:
    void MoveMain(MainPlace place) {
        RECT work = {}, rect = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(main_, &rect);
        const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
        LONG left = work.right - width / 3, top = work.bottom - height / 3;
        if (place == MainPlace::PastTopLeft) left = work.left - 2 * width / 3, top = work.top - height / 2;
        ASSERT_TRUE(SetWindowPos(main_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
        ASSERT_TRUE(Sync(main_));
        GetWindowRect(main_, &rect);
        ASSERT_EQ(left, rect.left);
        ASSERT_EQ(top, rect.top);
    }

    HWND OpenAbout() {
        WindowQuery query;
        query.pid = Pid();
        query.owner = main_;
        query.title = "バージョン情報";
        return SendSystemCommand(main_, IDM_ABOUTBOX) ? WaitForWindow(query) : nullptr;
    }
};

TEST_P(Placement, EveryDialogOpensCentredOverTheMainDialogAndWhollyOnScreen) {
    const PlacementCase& row = GetParam();
    const std::string prefix = std::string("placement-") + row.name + "-";
    if (row.place == MainPlace::AsOpened) {
        EXPECT_EQ("", PlacementError(main_, nullptr)) << "main dialog";
        Shot(main_, prefix + "main-dialog");
    } else {
        MoveMain(row.place);
    }
    // The tool's own dialogs; the message boxes and the folder browser are the system's.
    const struct {
        const char* name;
        std::function<HWND()> open;
    } dialogs[] = {{"backup-folder-dialog", [this] { return OpenBackupFolderDialog(); }},
                   {"restore-folder-dialog", [this] { return OpenRestoreFolderDialog(); }},
                   {"about-dialog", [this] { return OpenAbout(); }}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.name);
        HWND dialog = d.open();
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ("", PlacementError(dialog, main_));
        Shot(dialog, prefix + d.name);
        if (row.place != MainPlace::AsOpened) Shot(nullptr, prefix + d.name + "-screen");
        ASSERT_TRUE(SendSystemCommand(dialog, SC_CLOSE));
        ASSERT_TRUE(WaitForWindowGone(dialog));
        ASSERT_TRUE(WaitForEnabled(main_));
    }
}

INSTANTIATE_TEST_SUITE_P(MainDialog, Placement,
                         testing::Values(PlacementCase{"AsOpened", MainPlace::AsOpened},
                                         PlacementCase{"NearBottomRight", MainPlace::NearBottomRight},
                                         PlacementCase{"PastTopLeft", MainPlace::PastTopLeft}),
                         PlacementName);

// --- The user manual ---

const char kPdfClass[] = "ZRTest.PdfFile";

// The tool copied under a name that ends in a character with trail byte 0x5C,
// so that only a multibyte-aware search finds its folder, and started from
// another working folder; a harmless ".pdf" handler records what it was
// asked to open.
class ManualTest : public ToolWindowTest {
protected:
    void SetUp() override {
        zrtest::RemoveTree(programFolder_);
        zrtest::MakeFolder(programFolder_);
        const std::string program = programFolder_ + "\\ツールソ.exe";
        ASSERT_TRUE(CopyFileA(BuiltToolPath().c_str(), program.c_str(), FALSE));
        DeleteFileA(record_.c_str());
        StartTool(program, TestPath("Other"));
    }

    void TearDown() override {
        ToolWindowTest::TearDown();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".pdf");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kPdfClass);
    }

    void PlaceManual() {
        // The real manual when the build made one, else a stand-in file.
        std::string built = zrtest::BuiltPath("src/Lomvard2.pdf");
        if (!CopyFileA(built.c_str(), ManualPath().c_str(), FALSE))
            zrtest::WriteTextFile(ManualPath(), "%PDF-1.4\n% stand-in manual\n");
    }

    void RegisterViewer() {
        std::string viewer = zrtest::BuiltPath("tests/process/fake_pdf_viewer.exe");
        zrtest::SetRegString(HKEY_CLASSES_ROOT, ".pdf", "", kPdfClass);
        zrtest::SetRegString(HKEY_CLASSES_ROOT, std::string(kPdfClass) + "\\shell\\open\\command", "",
                             "\"" + viewer + "\" \"" + record_ + "\" \"%1\"");
    }

    std::string ManualPath() const { return programFolder_ + "\\Lomvard2.pdf"; }

    const std::string programFolder_ = TestPath("ツールソ");
    const std::string record_ = TestPath("viewer-opened.txt");
};

TEST_F(ManualTest, OpensTheManualNextToTheProgramWithTheRegisteredViewer) {
    PlaceManual();
    RegisterViewer();
    ASSERT_TRUE(ClickButton(main_, IDC_MANUAL));
    bool opened = false;
    for (int i = 0; i < 300 && !opened; ++i) {
        opened = zrtest::FileExists(record_);
        ASSERT_EQ(nullptr, FindOwnedWindow(Pid(), main_)) << "the tool did not open the manual";
        if (!opened) Sleep(100);
    }
    ASSERT_TRUE(opened);
    // The viewer may still be writing its record.
    std::string record;
    for (int i = 0; i < 100 && (record = zrtest::ReadTextFile(record_)) != ManualPath(); ++i) Sleep(50);
    EXPECT_EQ(ManualPath(), record);
    ExpectNothingOver(main_);
}

TEST_F(ManualTest, MissingManualShows153) {
    RegisterViewer();
    ASSERT_TRUE(ClickButton(main_, IDC_MANUAL));
    ExpectAndAnswer(main_, IDS_MANUAL_FAILED, "OK", MB_ICONERROR, IDOK, "message-153-manual-failed");
    ExpectNothingOver(main_);
    EXPECT_FALSE(zrtest::FileExists(record_));
}

TEST_F(ManualTest, NoViewerForPdfShows153) {
    PlaceManual();
    ASSERT_TRUE(ClickButton(main_, IDC_MANUAL));
    ExpectAndAnswer(main_, IDS_MANUAL_FAILED, "OK", MB_ICONERROR, IDOK);
    ExpectNothingOver(main_);
}

}  // namespace
