// Whole jobs through the progress dialog, driven as a person would: a real
// dialog on a thread of its own, the real engine, the stand-in host's module
// and library in the sandbox, message boxes read and answered on the screen.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "resource.h"
#include "common/PathUtil.h"
#include "common/ResString.h"
#include "job/JobMessages.h"
#include "hostsim/core/Faults.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "job/ExecuteBackupRestore.h"
#include "job/JobUi.h"
#include "support/FileTree.h"
#include "support/HostFixture.h"
#include "support/HostRegistry.h"
#include "support/ImportSlots.h"
#include "support/Sandbox.h"
#include "support/UiDriver.h"
#include "ui/results/ResultView.h"

namespace {

using jobtest::WaitForWindow;
using jobtest::WaitUntil;

// ---- What the dialog showed at each phase change, recorded on its own thread ----

struct PhaseState {
    std::string phase;
    bool cancelEnabled = false;
    int position = -1;
    std::string status;
    std::string caption;
    bool focusInDialog = false;  // the thread's keyboard focus is on the dialog or one of its controls
};

// Sent (without waiting) to the dialog to hold its thread until released, so
// that messages can pile up in its queue.
const UINT kHoldMessage = WM_APP + 0x77;

struct Recorder {
    std::mutex lock;
    std::vector<PhaseState> states;
    std::string shotPrefix;
    HANDLE held = nullptr;
    HANDLE release = nullptr;
    HHOOK before = nullptr, after = nullptr, getMessage = nullptr;
    // Set by a test: a cancel click is queued as the contents phase begins,
    // and the dialog's thread is held (held/release) once it takes the click.
    std::atomic<bool> clickAtContents{false};
    // Set by a test: a cancel click is taken just as the database phase begins,
    // before the dialog has disabled the button.
    std::atomic<bool> clickAtDatabase{false};
    // Set by a test: the cancel button takes the keyboard focus just before
    // the database phase is handled.
    std::atomic<bool> focusCancelAtDatabase{false};
    // Set by a test: a stale progress message (kStaleDone of kStaleTotal)
    // is posted once the database phase was handled.
    std::atomic<bool> staleAfterPhase{false};
    // Set by a test: the dialog's thread, about to handle the stale progress
    // message, waits until the database phase message is sent to it, then clears it.
    std::atomic<bool> staleUntilPhase{false};
} g_recorder;

const WPARAM kStaleDone = 1;
const LPARAM kStaleTotal = 1000;

void Record(HWND dialog, const char* phase) {
    PhaseState s;
    s.phase = phase;
    s.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_JOB_CANCEL)) != FALSE;
    s.position = static_cast<int>(SendDlgItemMessageA(dialog, IDC_JOB_PROGRESS, PBM_GETPOS, 0, 0));
    s.status = jobtest::WindowText(GetDlgItem(dialog, IDC_JOB_STATUS));
    s.caption = jobtest::WindowText(dialog);
    HWND focus = GetFocus();
    s.focusInDialog = focus && (focus == dialog || IsChild(dialog, focus));
    std::string prefix;
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        g_recorder.states.push_back(s);
        prefix = g_recorder.shotPrefix;
    }
    if (prefix.empty()) return;
    // A fast job reaches its first phases before the dialog's first idle moment shows it.
    if (!IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
    jobtest::SaveScreenshot(dialog, prefix + "_" + phase);
}

LRESULT CALLBACK BeforeProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_BR_CONTENTS_PHASE) Record(m->hwnd, "preparing");
    if (code == HC_ACTION && m->message == WM_BR_DATABASE_PHASE && g_recorder.clickAtDatabase.exchange(false)) {
        // The worker waits in its send until the question is answered.
        const HWND button = GetDlgItem(m->hwnd, IDC_JOB_CANCEL);
        SendMessageA(m->hwnd, WM_COMMAND, MAKEWPARAM(IDC_JOB_CANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    if (code == HC_ACTION && m->message == WM_BR_DATABASE_PHASE && g_recorder.focusCancelAtDatabase) {
        SetActiveWindow(m->hwnd);
        SetFocus(GetDlgItem(m->hwnd, IDC_JOB_CANCEL));
    }
    if (code == HC_ACTION && m->message == kHoldMessage) {
        SetEvent(g_recorder.held);
        WaitForSingleObject(g_recorder.release, 30000);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK AfterProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_BR_CONTENTS_PHASE) {
        Record(m->hwnd, "contents");
        // The worker waits for this reply, so the click is queued before anything it posts.
        if (g_recorder.clickAtContents) PostMessageA(GetDlgItem(m->hwnd, IDC_JOB_CANCEL), BM_CLICK, 0, 0);
    }
    if (code == HC_ACTION && m->message == WM_BR_DATABASE_PHASE) {
        Record(m->hwnd, "database");
        if (g_recorder.staleAfterPhase.exchange(false)) PostMessageA(m->hwnd, WM_BR_PROGRESS, kStaleDone, kStaleTotal);
    }
    // Right after the cancel question was answered.
    if (code == HC_ACTION && m->message == WM_COMMAND && m->wParam == MAKEWPARAM(IDC_JOB_CANCEL, BN_CLICKED))
        Record(m->hwnd, "answered");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK GetMessageProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && m->message == WM_BR_COMPLETE) Record(m->hwnd, "finishing");
    if (code == HC_ACTION && wParam == PM_REMOVE && m->message == WM_BR_PROGRESS && m->lParam == kStaleTotal &&
        g_recorder.staleUntilPhase) {
        // The test's thread sends nothing meanwhile: the message that comes is the worker's.
        jobtest::WaitUntil([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }, 20000);
        g_recorder.staleUntilPhase = false;
    }
    if (code == HC_ACTION && wParam == PM_REMOVE && m->message == BM_CLICK && g_recorder.clickAtContents.exchange(false)) {
        SetEvent(g_recorder.held);
        WaitForSingleObject(g_recorder.release, 30000);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// One job dialog, shown modally on a thread of its own that also records the phases.
class CJobRun {
public:
    // owner: a stand-in owner window's place, or none. hold: the event a held
    // Register waits on, set as the run ends, so that a test that stops early
    // never waits out the hold.
    CJobRun(const std::string& backupData, const std::string& restoreTo, const RECT* owner, HANDLE hold)
        : m_hold(hold),
          m_thread([this, backupData, restoreTo, owner = owner ? std::make_shared<RECT>(*owner) : nullptr] {
              std::unique_ptr<jobtest::COwnerWindow> window;
              if (owner) window = std::make_unique<jobtest::COwnerWindow>(*owner);
              const DWORD self = GetCurrentThreadId();
              g_recorder.before = SetWindowsHookExA(WH_CALLWNDPROC, &BeforeProc, nullptr, self);
              g_recorder.after = SetWindowsHookExA(WH_CALLWNDPROCRET, &AfterProc, nullptr, self);
              g_recorder.getMessage = SetWindowsHookExA(WH_GETMESSAGE, &GetMessageProc, nullptr, self);
              {
                  zr::CExecuteBackupRestore dialog(window ? window->get() : nullptr);
                  dialog.SetBackupDataFolder(backupData);
                  dialog.SetRestoreFolder(restoreTo);
                  m_result = dialog.DoModal();
              }
              UnhookWindowsHookEx(g_recorder.before);
              UnhookWindowsHookEx(g_recorder.after);
              UnhookWindowsHookEx(g_recorder.getMessage);
          }) {}

    ~CJobRun() {
        if (m_hold) SetEvent(m_hold);
    }
    DWORD ThreadId() const { return m_thread.Id(); }
    bool Finished(DWORD ms) { return m_thread.Join(ms); }
    INT_PTR Result() const { return m_result; }

private:
    std::atomic<INT_PTR> m_result{-2};
    HANDLE m_hold;
    jobtest::CUiThread m_thread;
};

const std::string kTitle = zr::LoadResString(IDS_APP_TITLE);

int Position(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, IDC_JOB_PROGRESS, PBM_GETPOS, 0, 0)); }
std::string Status(HWND dialog) { return jobtest::WindowText(GetDlgItem(dialog, IDC_JOB_STATUS)); }
bool CancelEnabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDC_JOB_CANCEL)) != FALSE; }

// A file's last write time; 0 when it cannot be read.
ULONGLONG WriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool HasColour(const std::vector<DWORD>& pixels, DWORD rgb) {
    for (DWORD p : pixels)
        if (p == rgb) return true;
    return false;
}

class JobDialogTest : public testing::Test {
protected:
    void SetUp() override {
        zrtest::RedirectShellFolders(m_sandbox.Folder());
        ASSERT_TRUE(zrtest::InstallHost(m_sandbox.Path("Host"), hostsim::HostKind::Talvane, 7, 0, m_host));
        m_installed = true;
        zrtest::MakeFolder(m_sandbox.Path("Backup"));
        m_backupData = m_sandbox.Path("Backup\\BackupData");
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        g_recorder.states.clear();
        g_recorder.shotPrefix.clear();
        g_recorder.held = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        g_recorder.release = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    void TearDown() override {
        g_recorder.clickAtContents = false;
        g_recorder.clickAtDatabase = false;
        g_recorder.focusCancelAtDatabase = false;
        g_recorder.staleAfterPhase = false;
        g_recorder.staleUntilPhase = false;
        if (m_installed) hostsim::Uninstall(m_host);
        CloseHandle(g_recorder.held);
        CloseHandle(g_recorder.release);
    }

    void MakeLibrary(unsigned tracks, unsigned missing) {
        hostsim::LibraryOptions library;
        library.tracks = tracks;
        library.folders = 3;
        library.fileSize = 2000;
        library.picturesPerTrack = 1;
        library.secureTracks = 2;
        library.missingTracks = missing;
        std::string error;
        ASSERT_TRUE(hostsim::CreateLibrary(m_host, library, error)) << error;
        hostsim::CLibraryDb db;
        ASSERT_TRUE(db.Open(m_host.contentsDb));
        ASSERT_TRUE(db.LoadAll(m_tracks));
    }

    // Titles of the tracks whose content file exists, in library order.
    std::vector<std::string> TitlesWithFile(bool withFile) const {
        std::vector<std::string> titles;
        for (const hostsim::TrackRow& row : m_tracks)
            if (zrtest::FileExists(row.path) == withFile) titles.push_back(row.title);
        return titles;
    }

    static void SetFault(const char* name, const std::string& value) {
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, value);
    }

    // Register of the titled track (of every track, for none) waits in the
    // next job until Release().
    void HoldRegister(const std::string& title = std::string()) {
        const std::string name = "ZRJobTestHold" + std::to_string(GetCurrentProcessId());
        m_hold.reset();
        m_hold.reset(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
        ASSERT_TRUE(m_hold);
        ResetEvent(m_hold.get());  // the name may still be taken by an event left set
        SetFault(hostsim::kRegisterHoldValue, name + (title.empty() ? "" : "|" + title));
    }
    void Release() { SetEvent(m_hold.get()); }

    // Starts a job; waits for its dialog to show unless told not to.
    std::unique_ptr<CJobRun> Start(const std::string& shotPrefix = std::string(), const std::string& restoreTo = "",
                                   bool waitForDialog = true, const RECT* owner = nullptr) {
        {
            std::lock_guard<std::mutex> guard(g_recorder.lock);
            g_recorder.shotPrefix = shotPrefix;
        }
        auto run = std::make_unique<CJobRun>(m_backupData, restoreTo, owner, m_hold.get());
        const UINT caption = restoreTo.empty() ? IDS_CAPTION_BACKUP : IDS_CAPTION_RESTORE;
        if (waitForDialog) m_dialog = WaitForWindow(run->ThreadId(), zr::LoadResString(caption));
        return run;
    }

    // Waits for the message box with that text and expects its icon.
    HWND Message(CJobRun& run, UINT text, UINT icon) {
        HWND box = WaitForWindow(run.ThreadId(), kTitle, zr::LoadResString(text));
        EXPECT_NE(nullptr, box) << "message " << text;
        if (box) {
            EXPECT_EQ(zrui::IconName(icon), zrui::IconName(zrui::MessageBoxIcon(box))) << "message " << text;
        }
        return box;
    }

    // Waits for the message box with that text and icon, optionally saves it, answers it.
    void Answer(CJobRun& run, UINT text, UINT icon, int button, const std::string& shot = std::string()) {
        HWND box = Message(run, text, icon);
        ASSERT_NE(nullptr, box);
        if (!shot.empty()) jobtest::SaveScreenshot(box, shot);
        jobtest::Click(box, button);
    }

    void ExpectClosed(CJobRun& run) {
        ASSERT_TRUE(run.Finished(30000));
        EXPECT_EQ(IDOK, run.Result());
    }

    std::vector<PhaseState> States() {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        return g_recorder.states;
    }

    zrtest::CSandbox m_sandbox;
    hostsim::InstalledHost m_host;
    bool m_installed = false;
    std::string m_backupData;
    std::vector<hostsim::TrackRow> m_tracks;
    HWND m_dialog = nullptr;
    std::unique_ptr<void, decltype(&CloseHandle)> m_hold{nullptr, &CloseHandle};
};

TEST_F(JobDialogTest, BackupListsFailedItemsThenReportsCompletion) {
    MakeLibrary(10, 2);
    // As if a person had tabbed to the cancel button: the database phase disables it.
    g_recorder.focusCancelAtDatabase = true;
    auto run = Start("job_backup");
    ASSERT_NE(nullptr, m_dialog);
    EXPECT_EQ(0, GetWindowLongA(m_dialog, GWL_STYLE) & WS_SYSMENU) << "no close box";
    EXPECT_EQ("", zrui::PlacementError(m_dialog, nullptr));

    HWND view = WaitForWindow(run->ThreadId(), "\x8C\x8B\x89\xCA");  // "結果"
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(m_dialog, GetWindow(view, GW_OWNER));
    EXPECT_EQ("", zrui::PlacementError(view, m_dialog));
    HWND list = GetDlgItem(view, IDC_RESULT_LIST);
    const std::vector<std::string> missing = TitlesWithFile(false);
    ASSERT_EQ(static_cast<LRESULT>(missing.size()), SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (size_t i = 0; i < missing.size(); ++i) {
        char text[512] = {};
        LVITEMA item = {};
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        item.iSubItem = 1;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(missing[i], text);
        item.iSubItem = 2;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(zr::FormatResultDetail(zr::ItemCode::Missing), text);
    }
    jobtest::SaveScreenshot(view, "job_backup_result_view");
    // The completion message waits for the view.
    EXPECT_EQ(nullptr, WaitForWindow(run->ThreadId(), kTitle, "", 300));
    jobtest::Click(view, IDOK);

    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK, "job_backup_message_140");
    ExpectClosed(*run);
    EXPECT_TRUE(zrtest::FileExists(m_backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd"));
    EXPECT_TRUE(zrtest::FileExists(m_backupData + "\\BackupRestore.ini"));

    const std::vector<PhaseState> states = States();
    ASSERT_EQ(4u, states.size());
    const std::string caption = zr::LoadResString(IDS_CAPTION_BACKUP);
    const struct {
        const char* phase;
        bool enabled;
        int position;
        UINT status;
    } expected[] = {{"preparing", false, 0, IDS_STATUS_PREPARING},
                    {"contents", true, 10, IDS_STATUS_BACKUP_CONTENTS},
                    {"database", false, 90, IDS_STATUS_BACKUP_DATABASE},
                    {"finishing", false, 90, IDS_STATUS_BACKUP_DATABASE}};
    for (size_t i = 0; i < states.size(); ++i) {
        SCOPED_TRACE(states[i].phase);
        EXPECT_EQ(expected[i].phase, states[i].phase);
        EXPECT_EQ(expected[i].enabled, states[i].cancelEnabled);
        EXPECT_EQ(expected[i].position, states[i].position);
        EXPECT_EQ(zr::LoadResString(expected[i].status), states[i].status);
        EXPECT_EQ(caption, states[i].caption);
    }
    EXPECT_TRUE(states[2].focusInDialog) << "the disabled cancel button left the dialog without the keyboard focus";
}

TEST_F(JobDialogTest, ProgressDialogOverAnOwnerNearTheEdgeIsMovedIn) {
    MakeLibrary(6, 0);
    const RECT owner = jobtest::OwnerRect(jobtest::OwnerPlace::NearBottomRight);
    auto run = Start("", "", true, &owner);
    ASSERT_NE(nullptr, m_dialog);
    HWND shown = GetWindow(m_dialog, GW_OWNER);
    ASSERT_NE(nullptr, shown);
    EXPECT_EQ("", zrui::PlacementError(m_dialog, shown));
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
}

TEST_F(JobDialogTest, BackupWithoutFailedItemsShowsOnlyTheCompletion) {
    MakeLibrary(6, 0);
    auto run = Start();
    // A result view would come first and hold the message back.
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    EXPECT_TRUE(zrtest::FileExists(m_backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd"));
}

// ---- Every failure text, each from a real failing step ----

struct FailureCase {
    const char* name;
    UINT message;
    // Prepares the failure; returns the backup tree to use (empty: the default).
    std::string (*prepare)(const std::string& sandbox, const std::vector<hostsim::TrackRow>& tracks, HANDLE& held);
    // What the failed job must have left as it was (or taken away): empty, or what is wrong.
    std::string (*left)(const std::string& sandbox, const std::string& tree);
};

class JobFailureTest : public JobDialogTest, public testing::WithParamInterface<FailureCase> {};

using Tracks = std::vector<hostsim::TrackRow>;

const char kEarlier[] = "from an earlier backup";

std::string EarlierBackupKept(const std::string& sandbox, const Tracks&, HANDLE&) {
    // No module can start: the earlier backup in that folder is nothing of this job's.
    zrtest::MakeFolder(sandbox + "\\Backup\\BackupData");
    zrtest::WriteTextFile(sandbox + "\\Backup\\BackupData\\earlier.txt", kEarlier);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, "LoadPlugins", "0x80004005");
    return std::string();
}

std::string FileInPlaceOfFolder(const std::string& sandbox, const Tracks&, HANDLE&) {
    zrtest::WriteTextFile(sandbox + "\\Backup\\Blocker", "a file");
    return sandbox + "\\Backup\\Blocker\\BackupData";
}

std::string FolderTheSystemRefuses(const std::string&, const Tracks&, HANDLE&) {
    // Nobody may create folders in /sys, not even root: access denied.
    return "Z:\\sys\\zr_job_test\\BackupData";
}

std::string DatabaseWillNotOpen(const std::string&, const Tracks&, HANDLE&) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, "OpenDatabase", "0x80004005");
    return std::string();
}

std::string LockedContentFile(const std::string&, const Tracks& tracks, HANDLE& held) {
    for (const hostsim::TrackRow& row : tracks) {
        if (!zrtest::FileExists(row.path)) continue;
        // Nobody else may read it while this handle is open: the copy fails.
        held = CreateFileA(row.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        break;
    }
    EXPECT_NE(INVALID_HANDLE_VALUE, held);
    return std::string();
}

std::string EarlierBackupIntact(const std::string& sandbox, const std::string&) {
    const std::string file = sandbox + "\\Backup\\BackupData\\earlier.txt";
    if (zrtest::ReadTextFile(file) != kEarlier) return "the earlier backup's file is gone or changed";
    return std::string();
}

std::string BlockerIntact(const std::string& sandbox, const std::string&) {
    const std::string blocker = sandbox + "\\Backup\\Blocker";
    if (!zrtest::FileExists(blocker) || zrtest::ReadTextFile(blocker) != "a file")
        return "the file in the folder's place was not left as it was";
    return std::string();
}

// The job's tree is out of reach; it must not have fallen back on another folder.
std::string NothingInTheBackupFolder(const std::string& sandbox, const std::string&) {
    if (!zrtest::ListTree(sandbox + "\\Backup").empty()) return "the job wrote into another folder";
    return std::string();
}

std::string TreeGone(const std::string&, const std::string& tree) {
    for (const std::string& left : {tree, tree + ".tmp"}) {
        if (zrtest::FolderExists(left)) return "the failed job's tree remains: " + left;
    }
    return std::string();
}

TEST_P(JobFailureTest, ShowsItsTextAndCleansUp) {
    const FailureCase& c = GetParam();
    MakeLibrary(6, 0);
    HANDLE held = INVALID_HANDLE_VALUE;
    std::string tree = c.prepare(m_sandbox.Folder(), m_tracks, held);
    if (!tree.empty()) m_backupData = tree;
    const std::string liveDatabase = zrtest::ReadTextFile(m_host.contentsDb);
    auto run = Start("", "", false);  // a job that fails at once may never show its dialog
    HWND box = Message(*run, c.message, MB_ICONERROR);
    ASSERT_NE(nullptr, box);
    jobtest::SaveScreenshot(box, std::string("job_failure_") + c.name);
    jobtest::Click(box, IDOK);
    ExpectClosed(*run);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ("", c.left(m_sandbox.Folder(), m_backupData));
    EXPECT_TRUE(liveDatabase == zrtest::ReadTextFile(m_host.contentsDb)) << "a failed backup changed the library";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JobFailureTest,
    testing::Values(FailureCase{"InitializeFails156", IDS_MODULE_MISSING, &EarlierBackupKept, &EarlierBackupIntact},
                    FailureCase{"FolderNotCreated113", IDS_FOLDER_CREATE_FAILED, &FileInPlaceOfFolder, &BlockerIntact},
                    FailureCase{"WriteForbidden123", IDS_FOLDER_WRITE_FORBIDDEN, &FolderTheSystemRefuses,
                                &NothingInTheBackupFolder},
                    FailureCase{"FileNotCopied114", IDS_FILE_CREATE_FAILED, &LockedContentFile, &TreeGone},
                    FailureCase{"LibraryFails102", IDS_BACKUP_FAILED, &DatabaseWillNotOpen, &TreeGone}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// ---- Another job at the same time ----

// Another job (another program of this user's) makes its copy of the library
// for its check in the temporary folder too. Here it takes the first name
// this job tries, just before this job creates it.
struct OtherJobsCheck {
    std::mutex lock;
    std::string folder;  // the other job's, once made
    std::atomic<bool> armed{false};
    BOOL(WINAPI* create)(LPCSTR, LPSECURITY_ATTRIBUTES) = nullptr;
} g_otherJob;

const char kOtherJobsCopy[] = "the other job's copy";

bool IsCheckFolder(const std::string& path) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return _stricmp((zr::FolderPart(path) + "\\").c_str(), temp) == 0 &&
           zr::FileNamePart(path).compare(0, 11, "BackupCheck") == 0;
}

BOOL WINAPI CreateDirectoryAfterOtherJob(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    // Only a name the other job could take: one that nobody holds yet.
    if (g_otherJob.armed && IsCheckFolder(path) && g_otherJob.create(path, security)) {
        g_otherJob.armed = false;
        const std::string file = std::string(path) + "\\contents.db";
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(h, kOtherJobsCopy, sizeof(kOtherJobsCopy) - 1, &written, nullptr);
        CloseHandle(h);
        std::lock_guard<std::mutex> guard(g_otherJob.lock);
        g_otherJob.folder = path;
    }
    return g_otherJob.create(path, security);
}

// The program's CreateDirectoryA goes through CreateDirectoryAfterOtherJob
// for the object's life.
class COtherJobChecking {
public:
    COtherJobChecking() : m_slots(zrtest::ImportSlots("kernel32.dll", "CreateDirectoryA")) {
        if (m_slots.empty()) return;
        g_otherJob.create = reinterpret_cast<decltype(g_otherJob.create)>(*m_slots.front());
        g_otherJob.folder.clear();
        g_otherJob.armed = true;
        for (void** slot : m_slots) zrtest::WriteSlot(slot, reinterpret_cast<void*>(&CreateDirectoryAfterOtherJob));
    }
    ~COtherJobChecking() {
        for (void** slot : m_slots) zrtest::WriteSlot(slot, reinterpret_cast<void*>(g_otherJob.create));
        g_otherJob.armed = false;
        if (!Folder().empty()) zrtest::RemoveTree(Folder());
    }
    bool Hooked() const { return !m_slots.empty(); }
    std::string Folder() const {
        std::lock_guard<std::mutex> guard(g_otherJob.lock);
        return g_otherJob.folder;
    }

private:
    std::vector<void**> m_slots;
};

TEST_F(JobDialogTest, BackupCheckNeverSharesAnotherJobsCopyOfTheLibrary) {
    MakeLibrary(6, 0);
    COtherJobChecking other;
    ASSERT_TRUE(other.Hooked());
    auto run = Start();
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    const std::string folder = other.Folder();
    ASSERT_FALSE(folder.empty()) << "the check made no folder in the temporary folder";
    // This job neither wrote into the other's copy nor deleted it as its own.
    EXPECT_EQ(kOtherJobsCopy, zrtest::ReadTextFile(folder + "\\contents.db"));
}

// ---- Cancel ----

// Jobs held in their contents phase (HoldRegister) while the test acts.
class JobCancelTest : public JobDialogTest {
protected:
    // Where the bar stands once `done` of `total` tracks are through.
    static int PositionAfter(size_t done, size_t total) { return static_cast<int>(10 + done * 80 / total); }
    // Files below a folder.
    static size_t FileCount(const std::string& folder) {
        size_t n = 0;
        for (const std::string& item : zrtest::ListTree(folder))
            if (item.back() != '\\') ++n;
        return n;
    }
    // The new tree is written under its working name until it is whole.
    size_t AudioFiles() const { return FileCount(m_backupData + ".tmp\\Data\\Audio"); }
};

TEST_F(JobCancelTest, YesInTheContentsPhaseEndsCancelledWithoutBackup) {
    MakeLibrary(8, 0);
    // The third track is on its way (its file copied) while the test acts.
    HoldRegister(m_tracks[2].title);
    auto run = Start("job_cancel");
    ASSERT_NE(nullptr, m_dialog);
    ASSERT_TRUE(WaitUntil([&] { return AudioFiles() == 3; }));
    // The animation plays: its folder is on the screen.
    // A busy machine may capture the dialog before it is painted: look again.
    EXPECT_TRUE(WaitUntil([&] { return HasColour(jobtest::SaveScreenshot(m_dialog, "job_cancel_contents_running"), 0xE8B030); }));

    // Esc, the close command and Enter do nothing while the job runs.
    HWND button = GetDlgItem(m_dialog, IDC_JOB_CANCEL);
    PostMessageA(m_dialog, WM_CLOSE, 0, 0);
    PostMessageA(m_dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(m_dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(button, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(button, WM_KEYUP, VK_ESCAPE, 0);
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(m_dialog));
    EXPECT_EQ(nullptr, WaitForWindow(run->ThreadId(), kTitle, "", 100));

    jobtest::Click(m_dialog, IDC_JOB_CANCEL);
    HWND question = Message(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION);
    ASSERT_NE(nullptr, question);
    // The worker finishes the track it is on, then waits: nothing more starts.
    Release();
    ASSERT_TRUE(WaitUntil([&] { return Position(m_dialog) == PositionAfter(3, 8); }));
    Sleep(1000);
    EXPECT_EQ(PositionAfter(3, 8), Position(m_dialog));
    EXPECT_EQ(3u, AudioFiles());
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_BACKUP_CONTENTS), Status(m_dialog));
    jobtest::SaveScreenshot(question, "job_cancel_question");

    jobtest::Click(question, IDYES);
    HWND box = Message(*run, IDS_CANCELLED, MB_ICONINFORMATION);
    ASSERT_NE(nullptr, box);
    EXPECT_FALSE(CancelEnabled(m_dialog));
    // The clicked button held the keyboard focus and is disabled now; the dialog kept it.
    const std::vector<PhaseState> states = States();
    const auto answered =
        std::find_if(states.begin(), states.end(), [](const PhaseState& state) { return state.phase == "answered"; });
    ASSERT_NE(states.end(), answered);
    EXPECT_TRUE(answered->focusInDialog);
    EXPECT_EQ(100, Position(m_dialog));
    jobtest::SaveScreenshot(m_dialog, "job_cancel_finished");
    jobtest::Click(box, IDOK);
    ExpectClosed(*run);
    EXPECT_FALSE(zrtest::FolderExists(m_backupData));
    EXPECT_FALSE(zrtest::FolderExists(m_backupData + ".tmp"));
}

TEST_F(JobCancelTest, NoLetsTheJobGoOn) {
    MakeLibrary(6, 0);
    HoldRegister(m_tracks[1].title);
    auto run = Start();
    ASSERT_NE(nullptr, m_dialog);
    ASSERT_TRUE(WaitUntil([&] { return AudioFiles() == 2; }));
    jobtest::Click(m_dialog, IDC_JOB_CANCEL);
    Answer(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return jobtest::WaitForWindow(run->ThreadId(), kTitle, "", 0) == nullptr; }));
    EXPECT_TRUE(CancelEnabled(m_dialog));
    Release();
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    EXPECT_TRUE(zrtest::FileExists(m_backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd"));
}

TEST_F(JobCancelTest, YesJustBeforeTheDatabasePhaseStillCancels) {
    MakeLibrary(6, 0);
    // The last track is held: the question opens while the worker is on it.
    HoldRegister(m_tracks.back().title);
    auto run = Start();
    ASSERT_NE(nullptr, m_dialog);
    // Its file is copied before it is registered.
    ASSERT_TRUE(WaitUntil([&] { return AudioFiles() == m_tracks.size(); }));
    jobtest::Click(m_dialog, IDC_JOB_CANCEL);
    HWND question = Message(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION);
    ASSERT_NE(nullptr, question);
    // Every track gets done, yet the database phase does not begin before the answer.
    Release();
    ASSERT_TRUE(WaitUntil([&] { return Position(m_dialog) == PositionAfter(m_tracks.size(), m_tracks.size()); }));
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_BACKUP_CONTENTS), Status(m_dialog));
    EXPECT_FALSE(zrtest::FileExists(m_backupData + ".tmp\\DB\\SDCOREDB\\MovePlugIn.bkd"));
    jobtest::Click(question, IDYES);
    Answer(*run, IDS_CANCELLED, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    EXPECT_FALSE(zrtest::FolderExists(m_backupData));
    EXPECT_FALSE(zrtest::FolderExists(m_backupData + ".tmp"));
    for (const PhaseState& state : States()) EXPECT_NE("database", state.phase);
}

TEST_F(JobCancelTest, AClickAfterTheWorkerEndedGetsTheJobsOwnOutcome) {
    MakeLibrary(6, 0);
    // The first content file cannot be read: the backup fails in its contents
    // phase, with the cancel button still enabled.
    HANDLE locked = INVALID_HANDLE_VALUE;
    for (const hostsim::TrackRow& row : m_tracks) {
        if (!zrtest::FileExists(row.path)) continue;
        locked = CreateFileA(row.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        break;
    }
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    // The click is queued as the contents phase begins and held once taken,
    // while the worker fails, releases the module and posts its completion
    // behind the click.
    g_recorder.clickAtContents = true;
    auto run = Start("", "", false);  // the click may be taken before the dialog shows
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_recorder.held, 10000));
    ASSERT_TRUE(WaitUntil([] { return GetModuleHandleA("NerithMediaLibrary.dll") == nullptr; }));
    Sleep(300);
    SetEvent(g_recorder.release);

    Answer(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION, IDYES);
    Answer(*run, IDS_FILE_CREATE_FAILED, MB_ICONERROR, IDOK);
    ExpectClosed(*run);
    CloseHandle(locked);
    EXPECT_FALSE(zrtest::FolderExists(m_backupData));
    EXPECT_FALSE(zrtest::FolderExists(m_backupData + ".tmp"));
}

// ---- Progress ----

TEST_F(JobCancelTest, AFloodOfProgressLeavesOnlyTheFirstHandled) {
    MakeLibrary(6, 0);
    HoldRegister(m_tracks[1].title);
    auto run = Start();
    ASSERT_NE(nullptr, m_dialog);
    ASSERT_TRUE(WaitUntil([&] { return AudioFiles() == 2; }));
    // While the question is open the worker posts nothing more once the track it is on is through.
    jobtest::Click(m_dialog, IDC_JOB_CANCEL);
    HWND question = Message(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION);
    ASSERT_NE(nullptr, question);
    Release();
    ASSERT_TRUE(WaitUntil([&] { return Position(m_dialog) == PositionAfter(2, 6); }));

    // Hold the dialog's thread while the queue fills up.
    SendNotifyMessageA(m_dialog, kHoldMessage, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_recorder.held, 10000));
    PostMessageA(m_dialog, WM_BR_PROGRESS, 5, 0);       // no total: changes nothing
    PostMessageA(m_dialog, WM_BR_PROGRESS, 500, 1000);  // handled: 10 + 500 * 80 / 1000
    for (int i = 0; i < 2000; ++i) PostMessageA(m_dialog, WM_BR_PROGRESS, 1000, 1000);
    SetEvent(g_recorder.release);

    ASSERT_TRUE(WaitUntil([&] { return Position(m_dialog) == 50; }, 10000));
    Sleep(500);
    EXPECT_EQ(50, Position(m_dialog));  // the backlog was dropped unread
    jobtest::Click(question, IDNO);
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
}

// A progress message handled once the database phase has begun: queued
// behind the phase message, or handled around it (the phase message, sent,
// is let through while the progress handler drops the queued backlog).
struct StaleProgressCase {
    const char* name;
    std::atomic<bool> Recorder::*flag;
};

void PrintTo(const StaleProgressCase& c, std::ostream* out) { *out << c.name; }

class StaleProgressTest : public JobCancelTest, public testing::WithParamInterface<StaleProgressCase> {};

TEST_P(StaleProgressTest, NeverMovesTheBarBackFrom90) {
    MakeLibrary(6, 0);
    // The last track is held: the stale message is queued while the worker is on it.
    HoldRegister(m_tracks.back().title);
    auto run = Start();
    ASSERT_NE(nullptr, m_dialog);
    ASSERT_TRUE(WaitUntil([&] { return AudioFiles() == m_tracks.size(); }));
    (g_recorder.*GetParam().flag) = true;
    if (GetParam().flag == &Recorder::staleUntilPhase) PostMessageA(m_dialog, WM_BR_PROGRESS, kStaleDone, kStaleTotal);
    Release();
    if (GetParam().flag == &Recorder::staleUntilPhase) {
        // Reading a window of the dialog's thread would send it a message.
        ASSERT_TRUE(WaitUntil([] { return !g_recorder.staleUntilPhase; }));
    }
    Answer(*run, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    EXPECT_FALSE(g_recorder.*GetParam().flag) << "the stale message was never made";
    const std::vector<PhaseState> states = States();
    ASSERT_EQ(4u, states.size());
    EXPECT_EQ("database", states[2].phase);
    EXPECT_EQ(90, states[2].position);
    EXPECT_EQ("finishing", states[3].phase);
    EXPECT_EQ(90, states[3].position);
}

INSTANTIATE_TEST_SUITE_P(Handled, StaleProgressTest,
                         testing::Values(StaleProgressCase{"AfterThePhase", &Recorder::staleAfterPhase},
                                         StaleProgressCase{"AroundThePhase", &Recorder::staleUntilPhase}),
                         [](const testing::TestParamInfo<StaleProgressCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Restore ----

class JobRestoreTest : public JobCancelTest {
protected:
    // A backup of the host through the dialog, and a destination for the restore.
    void BackUpFirst() {
        auto backup = Start();
        Answer(*backup, IDS_BACKUP_COMPLETE, MB_ICONINFORMATION, IDOK);
        ExpectClosed(*backup);
        m_restoreTo = m_sandbox.Path("RestoreTo");
        zrtest::MakeFolder(m_restoreTo);
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        g_recorder.states.clear();
    }
    std::string m_restoreTo;
};

TEST_F(JobRestoreTest, RestoreRunsItsPhasesAndReportsCompletion) {
    MakeLibrary(6, 0);
    BackUpFirst();
    auto run = Start("job_restore", m_restoreTo);
    Answer(*run, IDS_RESTORE_COMPLETE, MB_ICONINFORMATION, IDOK, "job_restore_message_146");
    ExpectClosed(*run);
    EXPECT_TRUE(zrtest::FolderExists(m_restoreTo + "\\RestoreData\\Data\\Audio"));

    const std::vector<PhaseState> states = States();
    ASSERT_EQ(4u, states.size());
    const std::string caption = zr::LoadResString(IDS_CAPTION_RESTORE);
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_PREPARING), states[0].status);
    EXPECT_TRUE(states[1].cancelEnabled);
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_RESTORE_CONTENTS), states[1].status);
    EXPECT_EQ("database", states[2].phase);
    EXPECT_FALSE(states[2].cancelEnabled);
    EXPECT_EQ(90, states[2].position);
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_RESTORE_DATABASE), states[2].status);
    for (const PhaseState& state : states) EXPECT_EQ(caption, state.caption);
}

TEST_F(JobRestoreTest, YesJustBeforeTheDatabasePhaseCancelsAndLeavesNothingBehind) {
    MakeLibrary(6, 0);
    BackUpFirst();
    const std::string liveDatabase = zrtest::ReadTextFile(m_host.contentsDb);
    // After copying the tree the restore re-points every track; the last one
    // is held, so the click lands before the walk's end.
    HoldRegister(m_tracks.back().title);
    auto run = Start("", m_restoreTo);
    ASSERT_NE(nullptr, m_dialog);
    // The track walk begins once the whole backup tree is copied.
    const size_t files = FileCount(m_backupData);
    ASSERT_TRUE(WaitUntil([&] { return FileCount(m_restoreTo + "\\RestoreData") == files; }));
    jobtest::Click(m_dialog, IDC_JOB_CANCEL);
    HWND question = Message(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION);
    ASSERT_NE(nullptr, question);
    // The walk ends by writing the library it prepared (until then it holds
    // the copy from the backup); then the database phase waits for the answer.
    const std::string prepared = m_host.databasesFolder + ".tmp\\contents.db";
    const ULONGLONG copied = WriteTime(prepared);
    Release();
    ASSERT_TRUE(WaitUntil([&] { return WriteTime(prepared) != copied; }));
    EXPECT_EQ(zr::LoadResString(IDS_STATUS_RESTORE_CONTENTS), Status(m_dialog));
    jobtest::Click(question, IDYES);
    Answer(*run, IDS_CANCELLED, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    // The host's library was never swapped; what the restore made for it goes.
    EXPECT_FALSE(zrtest::FolderExists(m_restoreTo + "\\RestoreData"));
    EXPECT_FALSE(zrtest::FolderExists(m_host.databasesFolder + ".tmp"));
    EXPECT_TRUE(liveDatabase == zrtest::ReadTextFile(m_host.contentsDb)) << "the live library changed";
    for (const PhaseState& state : States()) EXPECT_NE("database", state.phase);
}

// Every file below a folder with its bytes.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& item : zrtest::ListTree(folder)) {
        if (item.back() != '\\') files[item] = zrtest::ReadTextFile(folder + "\\" + item);
    }
    return files;
}

// Yes to a cancel taken just as the database phase begins: the restore does
// not stop halfway (the playlists deleted and not copied back), it completes.
TEST_F(JobRestoreTest, YesAsTheDatabasePhaseBeginsStillCompletesTheRestore) {
    MakeLibrary(6, 0);
    BackUpFirst();
    const auto playlists = FilesBelow(m_backupData + "\\GUI(new)\\UPL");
    ASSERT_FALSE(playlists.empty());
    // The host's playlists now differ from the backup's.
    zrtest::RemoveTree(m_host.playlistFolder);
    zrtest::MakeFolder(m_host.playlistFolder);
    zrtest::WriteTextFile(m_host.playlistFolder + "\\Later.m3u", "#EXTM3U\r\n");
    g_recorder.clickAtDatabase = true;
    auto run = Start("", m_restoreTo);
    Answer(*run, IDS_CONFIRM_CANCEL, MB_ICONQUESTION, IDYES);
    Answer(*run, IDS_RESTORE_COMPLETE, MB_ICONINFORMATION, IDOK);
    ExpectClosed(*run);
    EXPECT_TRUE(playlists == FilesBelow(m_host.playlistFolder)) << "the playlists are not the backup's";
    EXPECT_EQ(zrtest::ReadTextFile(m_backupData + "\\GUI(new)\\mirs.dat"), zrtest::ReadTextFile(m_host.mirsDat));
}

// ---- A restore's outcomes through the runner: what it completes with, what it leaves ----

struct RestoreRow {
    const char* name;
    void (*damage)(const std::string& backupData);
    UINT message;
    bool rightsReplaced;  // else the replaced library's secure files are kept and listed
};

void PrintTo(const RestoreRow& row, std::ostream* os) { *os << row.name; }

void BackupWhole(const std::string&) {}
void WithoutSecureDatabase(const std::string& backupData) {
    ASSERT_TRUE(DeleteFileA((backupData + "\\DB\\SDCOREDB\\MovePlugIn.bkd").c_str()));
}
// The host had none of the GUI files; its GUI folder and playlist folder are there.
void WithoutGuiFiles(const std::string& backupData) {
    for (const char* name : {"mirs.dat", "usrdic.dic", "SDProducerRule.dat"})
        ASSERT_TRUE(DeleteFileA((backupData + "\\GUI(new)\\" + name).c_str())) << name;
}
void LibraryDatabaseDamaged(const std::string& backupData) {
    zrtest::WriteTextFile(backupData + "\\DB\\NMLDB\\contents.db", "not a database");
}

class JobRestoreOutcome : public JobRestoreTest, public testing::WithParamInterface<RestoreRow> {};

TEST_P(JobRestoreOutcome, EndsWithItsMessageAndDeletesOnlyTheReplacedSecureFiles) {
    MakeLibrary(6, 0);
    BackUpFirst();
    GetParam().damage(m_backupData);
    const std::string liveDatabase = zrtest::ReadTextFile(m_host.contentsDb);
    std::vector<std::string> secureFiles, otherFiles;
    for (const hostsim::TrackRow& row : m_tracks)
        (zrtest::IsSecure(row) ? secureFiles : otherFiles).push_back(row.path);
    ASSERT_FALSE(secureFiles.empty());
    auto run = Start("", m_restoreTo, false);
    const bool completes = GetParam().message == IDS_RESTORE_COMPLETE;
    const bool deletes = completes && GetParam().rightsReplaced;
    if (completes && !GetParam().rightsReplaced) {
        // The kept secure files are listed first.
        HWND view = WaitForWindow(run->ThreadId(), "\x8C\x8B\x89\xCA");  // "結果"
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(static_cast<LRESULT>(secureFiles.size()),
                  SendMessageA(GetDlgItem(view, IDC_RESULT_LIST), LVM_GETITEMCOUNT, 0, 0));
        jobtest::Click(view, IDOK);
    }
    Answer(*run, GetParam().message, completes ? MB_ICONINFORMATION : MB_ICONERROR, IDOK);
    ExpectClosed(*run);
    // The replaced library's own files stay where they are, but its secure
    // ones, which cannot be used once the rights were replaced.
    for (const std::string& file : otherFiles) EXPECT_TRUE(zrtest::FileExists(file)) << file;
    for (const std::string& file : secureFiles) EXPECT_EQ(!deletes, zrtest::FileExists(file)) << file;
    if (completes) {
        EXPECT_FALSE(liveDatabase == zrtest::ReadTextFile(m_host.contentsDb)) << "the library was not swapped";
        const std::vector<hostsim::TrackRow> restored = zrtest::LoadTracks(m_host.contentsDb);
        EXPECT_EQ(m_tracks.size(), restored.size());
        for (const hostsim::TrackRow& row : restored) EXPECT_TRUE(zrtest::FileExists(row.path)) << row.path;
    } else {
        EXPECT_TRUE(liveDatabase == zrtest::ReadTextFile(m_host.contentsDb)) << "the live library changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, JobRestoreOutcome,
                         testing::Values(RestoreRow{"Whole146", &BackupWhole, IDS_RESTORE_COMPLETE, true},
                                         // The host's rights stay: so do the replaced library's secure files.
                                         RestoreRow{"WithoutSecureDatabase146KeepsSecureFiles", &WithoutSecureDatabase,
                                                    IDS_RESTORE_COMPLETE, false},
                                         RestoreRow{"WithoutGuiFiles146", &WithoutGuiFiles, IDS_RESTORE_COMPLETE, true},
                                         RestoreRow{"LibraryDatabaseDamaged103", &LibraryDatabaseDamaged,
                                                    IDS_RESTORE_FAILED, true}),
                         [](const testing::TestParamInfo<RestoreRow>& info) { return std::string(info.param.name); });

// ---- A restore refused before it changes anything, with its message ----

struct RefusalCase {
    const char* name;
    // Damages the backup or moves the destination; returns the destination to use.
    std::string (*prepare)(const std::string& backupData, const std::string& restoreTo);
    UINT message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

std::string BackupTreeGone(const std::string& backupData, const std::string& restoreTo) {
    zrtest::RemoveTree(backupData);
    return restoreTo;
}
std::string SerialLost(const std::string& backupData, const std::string& restoreTo) {
    DeleteFileA((backupData + "\\BackupRestore.ini").c_str());
    return restoreTo;
}
std::string DestinationInsideTheBackup(const std::string& backupData, const std::string&) {
    return backupData + "\\Data";
}

class JobRestoreRefusal : public JobRestoreTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(JobRestoreRefusal, ShowsItsMessageAndLeavesTheHostAsItWas) {
    MakeLibrary(6, 0);
    BackUpFirst();
    const std::string liveDatabase = zrtest::ReadTextFile(m_host.contentsDb);
    const std::string restoreTo = GetParam().prepare(m_backupData, m_restoreTo);
    auto run = Start("", restoreTo, false);
    Answer(*run, GetParam().message, MB_ICONERROR, IDOK, std::string("job_restore_refused_") + GetParam().name);
    ExpectClosed(*run);
    EXPECT_TRUE(liveDatabase == zrtest::ReadTextFile(m_host.contentsDb)) << "the live library changed";
    EXPECT_FALSE(zrtest::FolderExists(restoreTo + "\\RestoreData"));
}

INSTANTIATE_TEST_SUITE_P(Rows, JobRestoreRefusal,
                         testing::Values(RefusalCase{"BackupTreeGone143", &BackupTreeGone, IDS_NO_BACKUPDATA},
                                         RefusalCase{"SerialLost103", &SerialLost, IDS_RESTORE_FAILED},
                                         RefusalCase{"DestinationInsideTheBackup103", &DestinationInsideTheBackup,
                                                     IDS_RESTORE_FAILED}),
                         [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
