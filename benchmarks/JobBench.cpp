// Times one whole backup through the progress dialog against the same engine
// steps called directly, on the same library in the same run, alternating the
// two (direct, dialog, direct, dialog, ...); prints medians, ranges and the
// ratio, and the most progress messages the dialog's queue held at once.
// The queue is watched with message hooks, which cost Wine a server round trip
// per message; --no-probe 1 times the dialog without them.
//
// Runs in a registry of its own (HKLM and HKCU redirected to a scratch key)
// and a scratch folder below %TEMP%, both removed at the end. Needs a display.
//
//   job_bench [--tracks N] [--runs N] [--no-probe 1]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "common/ResString.h"
#include "engine/BackupRestore.h"
#include "job/JobMessages.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryGen.h"
#include "job/ExecuteBackupRestore.h"
#include "job/steps/JobSteps.h"
#include "job/JobUi.h"
#include "support/RegistryScope.h"

#include "../res/resource.h"

namespace {

using bench::Clock;
using bench::Seconds;

// ---- Direct: the runner's steps and releases, without a dialog ----

// The job's step sequence without a dialog: nobody cancels or is told.
struct CNoDialog : zr::IJobRunner {
    void Progress(DWORD, DWORD) override {}
    bool IsCancelled() override { return false; }
    void EnterDatabasePhase() override {}
};

double RunDirect(const std::string& backupData, HRESULT& result) {
    const auto start = Clock::now();
    {
        CNoDialog runner;
        zr::CBackupRestore engine;
        HRESULT hr = engine.Initialize(runner);
        if (SUCCEEDED(hr)) hr = zr::RunBackupSteps(engine, backupData, runner);
        engine.ReleaseJob();
        result = hr;
    }
    return Seconds(start, Clock::now());
}

// ---- Through the dialog: from its creation to the completion message arriving ----

bool g_noProbe = false;

struct DialogProbe {
    Clock::time_point created;  // the dialog's window exists, before its initialisation
    Clock::time_point completed;
    WNDPROC original = nullptr;
    bool inProgress = false;
    unsigned drained = 0;       // backlog removed while handling one progress message
    unsigned maxQueued = 0;     // most progress messages waiting at once (handled one included)
    unsigned handled = 0;
    HRESULT result = E_FAIL;
} g_probe;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_BR_PROGRESS) return CallWindowProcA(g_probe.original, hwnd, message, wParam, lParam);
    g_probe.inProgress = true;
    g_probe.drained = 0;
    LRESULT r = CallWindowProcA(g_probe.original, hwnd, message, wParam, lParam);
    g_probe.inProgress = false;
    ++g_probe.handled;
    g_probe.maxQueued = std::max(g_probe.maxQueued, g_probe.drained + 1);
    return r;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        if (m->message == WM_BR_PROGRESS && g_probe.inProgress) ++g_probe.drained;
        if (m->message == WM_BR_COMPLETE) {
            g_probe.completed = Clock::now();
            g_probe.result = static_cast<HRESULT>(m->wParam);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_INITDIALOG && !g_probe.original) {
        g_probe.created = Clock::now();
        g_probe.original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(m->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProbeProc)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

double RunDialog(const std::string& backupData, HRESULT& result, unsigned& maxQueued, unsigned& handled,
                 double& creation) {
    g_probe = DialogProbe();
    Clock::time_point start;
    jobtest::CUiThread ui([&] {
        const DWORD self = GetCurrentThreadId();
        HHOOK get = g_noProbe ? nullptr : SetWindowsHookExA(WH_GETMESSAGE, &GetMessageHook, nullptr, self);
        HHOOK call = g_noProbe ? nullptr : SetWindowsHookExA(WH_CALLWNDPROC, &CallWndHook, nullptr, self);
        start = Clock::now();
        {
            zr::CExecuteBackupRestore dialog;
            dialog.SetBackupDataFolder(backupData);
            dialog.SetRestoreFolder("");
            dialog.DoModal();
        }
        UnhookWindowsHookEx(get);
        UnhookWindowsHookEx(call);
    });
    // The completion message is answered at once.
    HWND box = jobtest::WaitForWindow(ui.Id(), zr::LoadResString(IDS_APP_TITLE), "", 600000);
    if (g_noProbe) {
        // Without hooks the end is when the completion message shows (polled every 20 ms).
        g_probe.completed = Clock::now();
        g_probe.result = box && jobtest::MessageBoxText(box) == zr::LoadResString(IDS_BACKUP_COMPLETE) ? S_OK : E_FAIL;
    }
    if (box) jobtest::Click(box, IDOK);
    ui.Join(INFINITE);
    result = g_probe.result;
    maxQueued = g_probe.maxQueued;
    handled = g_probe.handled;
    creation = g_noProbe ? 0 : Seconds(start, g_probe.created);
    return Seconds(start, g_probe.completed);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    unsigned tracks = 1500, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--tracks")) tracks = static_cast<unsigned>(std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--runs")) runs = static_cast<unsigned>(std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--no-probe")) g_noProbe = std::atoi(argv[i + 1]) != 0;
    }
    zrtest::CRegistryScope registry("Software\\ZRJobBench\\" + std::to_string(GetCurrentProcessId()));
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string root = std::string(temp) + "zr_job_bench";
    hostsim::RemoveTree(root);
    std::string error;
    if (!bench::UseShellFoldersBelow(root, error)) {
        std::printf("scratch folders failed: %s\n", error.c_str());
        return 1;
    }
    hostsim::InstallOptions options;
    options.root = root + "\\Host";
    options.moduleSource = hostsim::ProgramFolder() + "\\NerithMediaLibrary.dll";
    hostsim::InstalledHost host;
    if (!hostsim::Install(options, host, error)) {
        std::printf("install failed: %s\n", error.c_str());
        return 1;
    }
    hostsim::LibraryOptions library;
    library.tracks = tracks;
    library.folders = std::max(1u, tracks / 20);
    library.fileSize = 8192;
    library.picturesPerTrack = 1;
    library.secureTracks = tracks / 20;
    library.missingTracks = 0;
    if (!hostsim::CreateLibrary(host, library, error)) {
        std::printf("library failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("job_bench: %u tracks, %u runs per side\n", tracks, runs);

    std::vector<double> direct, dialog;
    unsigned maxQueued = 0, handled = 0;
    for (unsigned i = 0; i < runs; ++i) {
        // Each run writes a fresh tree; the last one is removed untimed, so no
        // run pays for deleting another's.
        HRESULT r1 = E_FAIL, r2 = E_FAIL;
        const std::string directTree = root + "\\Direct" + std::to_string(i) + "\\BackupData";
        const std::string dialogTree = root + "\\Dialog" + std::to_string(i) + "\\BackupData";
        direct.push_back(RunDirect(directTree, r1));
        hostsim::RemoveTree(root + "\\Direct" + std::to_string(i));
        unsigned queued = 0;
        double creation = 0;
        dialog.push_back(RunDialog(dialogTree, r2, queued, handled, creation));
        hostsim::RemoveTree(root + "\\Dialog" + std::to_string(i));
        maxQueued = std::max(maxQueued, queued);
        std::printf(
            "  run %u: direct %.3f s (0x%08lX), dialog %.3f s (0x%08lX; window made in %.3f s), progress handled %u, "
            "most queued %u\n",
            i + 1, direct.back(), static_cast<unsigned long>(r1), dialog.back(), static_cast<unsigned long>(r2),
            creation, handled, queued);
        if (r1 != 0 || r2 != 0) return 1;
    }
    const double d = Median(direct), g = Median(dialog);
    std::printf("direct: median %.3f s (%.3f to %.3f)\n", d, *std::min_element(direct.begin(), direct.end()),
                *std::max_element(direct.begin(), direct.end()));
    std::printf("dialog: median %.3f s (%.3f to %.3f)\n", g, *std::min_element(dialog.begin(), dialog.end()),
                *std::max_element(dialog.begin(), dialog.end()));
    std::printf("ratio dialog/direct: %.3f (goal <= 1.03); most progress messages queued at once: %u\n", g / d,
                maxQueued);
    hostsim::Uninstall(host);
    hostsim::RemoveTree(root);
    return 0;
}
