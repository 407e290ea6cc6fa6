// One whole job of a large library through the tool's window, watched from
// outside as a person would see it (scripts/scale-job.sh runs a backup on one
// simulated PC and the restore on another). Not a test: it prints
//   - the job's wall time, from the execute click to the job's end (the
//     last answer of the progress dialog before the result view or the
//     closing message took its thread);
//   - the tool's peak working set (its process's PeakWorkingSetSize, read
//     while the closing message is up);
//   - every progress bar position seen (PBM_GETPOS, polled), and the longest
//     stretch without a move in the contents phase (goal: at most 5 % of the job);
//   - how long the result view takes to open (from that last answer until
//     it shows its rows and answers) and to scroll from the top to the bottom
//     with the End key, as a person goes to the last row (goal under 1 s
//     each); and page by page with every page drawn, which grows with the rows.
//
//   scale_bench backup  --tool EXE --folder DIR [--expect-rows N]
//   scale_bench restore --tool EXE --folder DIR [--expect-rows N]
//
// Exit codes: 0 done (whatever the figures), 1 the job could not be driven,
// 2 bad command line.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../res/resource.h"
#include "support/ToolProcess.h"
#include "support/ToolWindows.h"
#include "support/UiDriver.h"

namespace {

constexpr DWORD kStartTimeoutMs = 60000;
// A job of many tracks may run for many minutes.
constexpr DWORD kJobTimeoutMs = 60 * 60 * 1000;
constexpr DWORD kPollMs = 10;
constexpr DWORD kMemoryEveryMs = 250;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

double Mib(SIZE_T bytes) { return bytes / 1048576.0; }

// The process's memory counters; all 0 when they cannot be read.
PROCESS_MEMORY_COUNTERS Memory(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!process || !GetProcessMemoryInfo(process, &counters, sizeof(counters))) return PROCESS_MEMORY_COUNTERS{};
    return counters;
}

// The bar's position, or -1 when the dialog's thread did not answer at once.
int BarPosition(HWND bar) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 5, &position)) return -1;
    return static_cast<int>(position);
}

struct Move {
    double at;  // seconds since the execute click
    int position;
};

struct Figures {
    double jobSeconds = 0;
    SIZE_T peak = 0;
    SIZE_T atStart = 0;  // the working set as the job began: Wine's and the tool's own start
    std::vector<Move> moves;
    int rows = -1;  // -1: no result view
    double openSeconds = 0;
    double pagedSeconds = 0;
    int pages = 0;
    double jumpSeconds = 0;
    int jumpTop = 0;  // the top row after the jump
};

bool Fail(const std::string& what) {
    std::printf("  FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    return false;
}

// Scrolls the list to its top, drawn.
void ScrollToTop(HWND list) {
    SendMessageA(list, WM_VSCROLL, SB_TOP, 0);
    UpdateWindow(list);
}

// The result view: open time, rows, page-by-page and one-jump scroll times.
void MeasureResultView(HWND view, double lastAnswer, Figures& f) {
    HWND list = GetDlgItem(view, IDC_RESULT_LIST);
    // Shown and answering: its rows were filled while it was made.
    zrui::Sync(view);
    while (!IsWindowVisible(view)) zrui::Sync(view);
    f.openSeconds = Now() - lastAnswer;
    f.rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));

    ScrollToTop(list);
    const double pagedStart = Now();
    int top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    for (;;) {
        SendMessageA(list, WM_VSCROLL, SB_PAGEDOWN, 0);
        UpdateWindow(list);
        const int next = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
        if (next == top) break;
        top = next;
        ++f.pages;
    }
    f.pagedSeconds = Now() - pagedStart;

    // The End key, as a person goes to the last row at once.
    ScrollToTop(list);
    const double jumpStart = Now();
    SendMessageA(list, WM_KEYDOWN, VK_END, 0);
    SendMessageA(list, WM_KEYUP, VK_END, 0);
    UpdateWindow(list);
    f.jumpSeconds = Now() - jumpStart;
    f.jumpTop = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
}

// Follows the running job from its progress dialog to its closing message.
bool FollowJob(DWORD pid, HANDLE process, HWND main, double start, bool restore, Figures& f) {
    zrui::WindowQuery query;
    query.pid = pid;
    query.owner = main;
    query.requiredItem = IDC_JOB_PROGRESS;
    HWND job = zrui::WaitForWindow(query, kStartTimeoutMs);
    if (!job) return Fail("no progress dialog");
    HWND bar = GetDlgItem(job, IDC_JOB_PROGRESS);
    f.atStart = Memory(process).WorkingSetSize;

    double lastAnswer = Now();
    double lastMemory = 0;
    int last = -1;
    HWND next = nullptr;
    while (!(next = zrui::FindOwnedWindow(pid, job))) {
        const double now = Now();
        if (now - start > kJobTimeoutMs / 1000.0) return Fail("the job did not end");
        const int position = BarPosition(bar);
        if (position >= 0) {
            lastAnswer = now;
            if (position != last) f.moves.push_back({now - start, position});
            last = position;
        }
        if ((now - lastMemory) * 1000 >= kMemoryEveryMs) {
            f.peak = std::max(f.peak, Memory(process).PeakWorkingSetSize);
            lastMemory = now;
        }
        Sleep(kPollMs);
    }
    f.jobSeconds = lastAnswer - start;
    if (GetDlgItem(next, IDC_RESULT_LIST)) {
        MeasureResultView(next, lastAnswer, f);
        if (!(zrui::ClickButton(next, IDOK) && zrui::WaitForWindowGone(next))) return Fail("result view did not close");
    }
    // Read while the tool is still there, at the end of its job.
    HWND box = zrui::WaitForMessageBox(pid, job);
    f.peak = std::max(f.peak, Memory(process).PeakWorkingSetSize);
    if (!box) return Fail("no closing message");
    std::string error;
    if (!zrui::AnswerToolMessage(pid, job, restore ? IDS_RESTORE_COMPLETE : IDS_BACKUP_COMPLETE, "OK",
                                 MB_ICONINFORMATION, IDOK, error)) {
        return Fail(error + ": " + zrui::MessageBoxText(box));
    }
    return (zrui::WaitForWindowGone(job) && zrui::WaitForEnabled(main)) || Fail("main dialog not idle after the job");
}

bool Drive(bool restore, const std::string& toolPath, const std::string& folder, Figures& f) {
    zrui::CToolProcess tool(toolPath);
    if (!tool.Started()) return Fail("cannot start " + toolPath);
    HWND main = zrui::WaitForMainDialog(tool.Pid(), kStartTimeoutMs);
    if (!main) return Fail("the main window did not appear");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.Pid());

    std::string error;
    double start = 0;
    bool ok = false;
    if (restore) {
        HWND dialog = zrui::OpenRestoreFolderDialog(tool.Pid(), main, error);
        ok = dialog && zrui::ShowRestorePage2(tool.Pid(), dialog, folder, error);
        start = Now();
        ok = ok && zrui::ClickButton(dialog, IDC_NEXT);
    } else {
        HWND dialog = zrui::OpenBackupFolderDialog(tool.Pid(), main, error);
        ok = dialog && zrui::BrowseFolderField(tool.Pid(), dialog, IDC_BROWSE_FOLDER, folder, error);
        start = Now();
        ok = ok && zrui::ClickButton(dialog, IDOK);
        if (ok) {
            // Asked only when the folder holds a backup already.
            zrui::Sync(dialog);
            HWND box = IsWindow(dialog) ? zrui::FindOwnedWindow(tool.Pid(), dialog) : nullptr;
            if (box) {
                ok = zrui::AnswerToolMessage(tool.Pid(), dialog, IDS_BACKUP_EXISTS, "Yes+No", MB_ICONWARNING, IDYES,
                                             error);
                start = Now();
            }
        }
    }
    if (!ok) {
        if (process) CloseHandle(process);
        return Fail(error.empty() ? "the job could not be started" : error);
    }
    ok = FollowJob(tool.Pid(), process, main, start, restore, f);
    if (process) CloseHandle(process);
    if (!ok) return false;
    if (!zrui::ClickButton(main, IDCANCEL)) return Fail("the quit button cannot be clicked");
    return tool.WaitExit(60000) == 0 || Fail("the tool did not end with exit code 0");
}

void Print(const char* job, const Figures& f, int expectRows) {
    std::printf("\n%s through the window\n", job);
    std::printf("  job wall time                  %.1f s\n", f.jobSeconds);
    std::printf("  tool's peak working set        %.1f MiB (goal under 64)%s; %.1f MiB as the job began\n", Mib(f.peak),
                f.peak > 0 && Mib(f.peak) < 64 ? "" : "  OVER or unknown", Mib(f.atStart));

    std::printf("  progress positions seen (%zu moves), position@seconds:\n   ", f.moves.size());
    for (std::size_t i = 0; i < f.moves.size(); ++i) {
        std::printf(" %d@%.1f", f.moves[i].position, f.moves[i].at);
        if (i % 10 == 9 && i + 1 < f.moves.size()) std::printf("\n   ");
    }
    std::printf("\n");
    // The contents phase: from the bar's first move to 10 until it reaches 90.
    double from = -1, to = -1, gap = 0, gapAt = 0, previous = -1;
    for (const Move& m : f.moves) {
        if (from < 0 && m.position >= 10) from = previous = m.at;
        if (from < 0) continue;
        if (m.at - previous > gap) {
            gap = m.at - previous;
            gapAt = previous;
        }
        previous = m.at;
        if (m.position >= 90) {
            to = m.at;
            break;
        }
    }
    if (from < 0 || to < 0) {
        std::printf("  contents phase: not seen whole\n");
    } else {
        const double share = f.jobSeconds > 0 ? gap / f.jobSeconds * 100 : 0;
        std::printf("  contents phase %.1f .. %.1f s; longest stretch without a move %.2f s from %.1f s = %.1f%% of the"
                    " job (goal at most 5%%)%s\n",
                    from, to, gap, gapAt, share, share <= 5 ? "" : "  OVER");
    }

    if (f.rows < 0) {
        std::printf("  result view: none\n");
        return;
    }
    std::printf("  result view rows               %d%s\n", f.rows,
                expectRows >= 0 && f.rows != expectRows ? "  (not the rows expected)" : "");
    std::printf("  result view open               %.3f s (goal under 1)%s\n", f.openSeconds,
                f.openSeconds < 1 ? "" : "  OVER");
    std::printf("  scroll top to bottom, End key  %.3f s, last page drawn (goal under 1)%s; top row then %d\n",
                f.jumpSeconds, f.jumpSeconds < 1 ? "" : "  OVER", f.jumpTop);
    std::printf("  scroll top to bottom, by page  %.3f s, %d pages drawn, %.1f ms a page\n", f.pagedSeconds, f.pages,
                f.pages > 0 ? f.pagedSeconds / f.pages * 1000 : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "backup") != 0 && std::strcmp(argv[1], "restore") != 0)) {
        std::printf("usage: scale_bench backup|restore --tool EXE --folder DIR [--expect-rows N]\n");
        return 2;
    }
    const bool restore = !std::strcmp(argv[1], "restore");
    std::string tool, folder;
    int expectRows = -1;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--tool")) {
            tool = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--folder")) {
            folder = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--expect-rows")) {
            expectRows = std::atoi(argv[i + 1]);
        } else {
            std::printf("scale_bench: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (tool.empty() || folder.empty()) {
        std::printf("scale_bench: --tool and --folder are needed\n");
        return 2;
    }
    Figures f;
    const bool ok = Drive(restore, tool, folder, f);
    Print(restore ? "restore" : "backup", f, expectRows);
    std::fflush(stdout);
    if (ok && expectRows >= 0 && f.rows != expectRows) return 1;
    return ok ? 0 : 1;
}
