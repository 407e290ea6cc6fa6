// Times the backup and restore jobs on generated libraries of the stand-in
// host against a bare CopyFileA loop over the same files, and checks that
// folder numbering stays the rule's and that the cost per track stays the
// same at any size; reports the engine's peak working set at the largest size.
//
// A ratio is only worth something when both sides meet the same machine: the
// job and its bare loop alternate (bare, job, bare, job, ...), each run into
// a fresh folder, with everything written so far flushed to disk before each
// timed run; each side prints its median and range, and the ratio is median
// over median.
//
// Wall time alone cannot tell a small regression from a noisy machine: each
// side also gets the CPU time the process spent (GetProcessTimes), and the
// content cases run the job against the timed module (TimedModule.cpp) in
// the component's place, which adds up the time inside the component's calls,
// and with the program's CopyFileA and CreateDirectoryA timed. Per track that
// gives the bare copy, the component's share and the tool's own: the job less
// its copying less the component's calls.
//
// Runs in a registry of its own (HKLM and HKCU redirected to a scratch key)
// and a scratch folder below %TEMP%, both removed at the end.
//
//   backup_bench [--quick] [--runs N] [--only big|small|numbering] [--keep] [--no-trace]
#include <windows.h>

#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/PathUtil.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"
#include "common/ComRef.h"
#include "engine/EngineMessages.h"
#include "job/JobSteps.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "support/ImportSlots.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

bool g_failed = false;

void Fail(const std::string& what) {
    std::printf("  FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    g_failed = true;
}

// HKLM and HKCU point at empty keys of a scratch key for the life of the object.
class CRegistryScope {
public:
    // owner 0: a scratch key of this process; otherwise the key of process
    // `owner` (a job run in a child process), left for its owner to remove.
    explicit CRegistryScope(DWORD owner = 0) : m_bOwner(owner == 0) {
        char name[64];
        std::snprintf(name, sizeof(name), "Software\\ZRBackupBench\\%lu", owner ? owner : GetCurrentProcessId());
        m_key = name;
        RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hklm,
                        nullptr);
        RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hkcu,
                        nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hklm);
        RegOverridePredefKey(HKEY_CURRENT_USER, m_hkcu);
    }
    ~CRegistryScope() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(m_hklm);
        RegCloseKey(m_hkcu);
        if (m_bOwner) RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
    }

private:
    bool m_bOwner;
    std::string m_key;
    HKEY m_hklm = nullptr;
    HKEY m_hkcu = nullptr;
};

void SetString(HKEY root, const char* key, const char* name, const std::string& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
}

// A progress dialog's stand-in: a window on its own thread that takes the
// engine's posts as a dialog would.
class CProgressSink {
public:
    CProgressSink() {
        m_thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return m_hwnd != nullptr; });
    }
    ~CProgressSink() {
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    HWND Handle() const { return m_hwnd; }
    // Waits until the window has taken every post so far.
    void Drain() { SendMessageA(m_hwnd, WM_NULL, 0, 0); }
    DWORD Count() const { return m_count; }
    DWORD Last() const { return m_last; }
    void Reset() {
        m_count = m_last = 0;
        m_times.clear();
    }
    // Per-track time over the first and the last tenth of the walk, in
    // microseconds, from when the posts arrived: equal when the cost per track
    // does not grow as the backup proceeds.
    bool TenthCosts(double& first, double& last) const {
        const std::size_t n = m_times.size();
        if (n < 20) return false;
        const std::size_t tenth = n / 10;
        first = Seconds(m_times[0], m_times[tenth]) / tenth * 1e6;
        last = Seconds(m_times[n - 1 - tenth], m_times[n - 1]) / tenth * 1e6;
        return true;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CProgressSink*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (message == WM_BR_PROGRESS && self) {
            ++self->m_count;
            self->m_last = static_cast<DWORD>(wParam);
            self->m_times.push_back(Clock::now());
            return 0;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(hwnd);
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    void Run() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZrBenchProgress";
        RegisterClassA(&wc);
        HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                    nullptr);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hwnd = hwnd;
        }
        m_ready.notify_one();
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    }

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    HWND m_hwnd = nullptr;
    volatile DWORD m_count = 0;
    volatile DWORD m_last = 0;
    std::vector<Clock::time_point> m_times;  // written by the window's thread, read after Drain
};

void PrintTenths(const CProgressSink& sink) {
    double first = 0, last = 0;
    if (!sink.TenthCosts(first, last)) return;
    std::printf("  within the walk: %.0f us per track over the first tenth, %.0f us over the last (x%.2f)\n", first,
                last, last / first);
}

// CPU time of this process so far (user and kernel, all threads), in seconds.
// The system counts it in scheduler ticks: a run must last many of them.
double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

// Every CopyFileA and CreateDirectoryA of this program (the engine's and the
// bare loops') goes through the import table; the bench points those slots at
// timers, so that a job's copying (files and the folders they go into) can be
// told from the rest of its own work. OutputDebugStringA and PostMessageA are
// timed the same way: the trace lines and progress posts the job must make
// cost a call into the system each, and those calls are set apart from the
// rest of the tool's own code.
using CopyFileProc = BOOL(WINAPI*)(LPCSTR, LPCSTR, BOOL);
using CreateDirectoryProc = BOOL(WINAPI*)(LPCSTR, LPSECURITY_ATTRIBUTES);
using OutputDebugStringProc = void(WINAPI*)(LPCSTR);
using PostMessageProc = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
CopyFileProc g_copyFile = nullptr;
CreateDirectoryProc g_createDirectory = nullptr;
OutputDebugStringProc g_outputDebugString = nullptr;
PostMessageProc g_postMessage = nullptr;
double g_copySeconds = 0;
double g_noticeSeconds = 0;  // trace lines and progress posts
long long g_notices = 0;

// Adds the time from its making to its end to `total`; keeps the system's last error.
class CCallTimer {
public:
    explicit CCallTimer(double& total) : m_total(total) { QueryPerformanceCounter(&m_start); }
    ~CCallTimer() {
        const DWORD error = GetLastError();
        LARGE_INTEGER end, frequency;
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        m_total += static_cast<double>(end.QuadPart - m_start.QuadPart) / frequency.QuadPart;
        SetLastError(error);
    }
    CCallTimer(const CCallTimer&) = delete;
    CCallTimer& operator=(const CCallTimer&) = delete;

private:
    double& m_total;
    LARGE_INTEGER m_start;
};

BOOL WINAPI TimedCopyFile(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    CCallTimer timer(g_copySeconds);
    return g_copyFile(from, to, failIfExists);
}

BOOL WINAPI TimedCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    CCallTimer timer(g_copySeconds);
    return g_createDirectory(path, security);
}

void WINAPI TimedOutputDebugString(LPCSTR text) {
    CCallTimer timer(g_noticeSeconds);
    ++g_notices;
    g_outputDebugString(text);
}

BOOL WINAPI TimedPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CCallTimer timer(g_noticeSeconds);
    ++g_notices;
    return g_postMessage(hwnd, message, wParam, lParam);
}

// Points this program's import of `name` from `dll` at `hook`; the real
// function goes to `original`. False when there is no such import.
template <class F>
bool HookImport(const char* dll, const char* name, F hook, F& original) {
    const std::vector<void**> slots = zrtest::ImportSlots(dll, name);
    for (void** slot : slots) {
        original = reinterpret_cast<F>(*slot);
        zrtest::WriteSlot(slot, reinterpret_cast<void*>(hook));
    }
    return !slots.empty();
}

bool TimeSystemCalls() {
    return HookImport("kernel32.dll", "CopyFileA", &TimedCopyFile, g_copyFile) &&
           HookImport("kernel32.dll", "CreateDirectoryA", &TimedCreateDirectory, g_createDirectory) &&
           HookImport("kernel32.dll", "OutputDebugStringA", &TimedOutputDebugString, g_outputDebugString) &&
           HookImport("user32.dll", "PostMessageA", &TimedPostMessage, g_postMessage);
}

// One job's figures.
struct JobTimes {
    double total = 0;      // wall, Initialize to the job end's releases
    double cpu = 0;        // this process's CPU time over the same stretch
    double contents = 0;   // wall of the contents phase: Initialize to the runner's database phase
    double component = 0;  // wall inside the component's calls (0 without the timed module)
    double copies = 0;     // wall inside CopyFileA and CreateDirectoryA
    double notices = 0;    // wall inside OutputDebugStringA and PostMessageA
    long long noticeCalls = 0;
    long long calls = 0;   // calls into the component
    HRESULT result = 0;
    std::size_t failedItems = 0;
};

// The job runner's side of the steps: never cancelled; marks where the contents phase ends.
class CBenchRunner : public zr::IJobRunner {
public:
    explicit CBenchRunner(Clock::time_point start) : m_start(start) {}
    bool IsCancelled() override { return false; }
    void EnterDatabasePhase() override { m_contents = Seconds(m_start, Clock::now()); }
    void BackupTreeTouched() override {}
    double Contents() const { return m_contents; }

private:
    Clock::time_point m_start;
    double m_contents = 0;
};

// Ends the job as the runner does, reading the timed module's totals first;
// the module must be gone afterwards, so that the next job starts from zero.
void EndJob(zr::CBackupRestore& engine, JobTimes& t) {
    using TotalsProc = void(STDMETHODCALLTYPE*)(long long*, long long*);
    HMODULE held = nullptr;
    TotalsProc totals = nullptr;
    if (engine.m_hMediaLibrary && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                     reinterpret_cast<const char*>(engine.m_hMediaLibrary), &held)) {
        totals = reinterpret_cast<TotalsProc>(reinterpret_cast<void*>(GetProcAddress(held, "TimedModuleTotals")));
    }
    zr::ReleaseJob(engine);
    if (!held) return;
    if (totals) {
        long long ticks = 0;
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        totals(&ticks, &t.calls);
        t.component = static_cast<double>(ticks) / frequency.QuadPart;
    }
    FreeLibrary(held);
}

// One backup job: Initialize, the runner's steps, the runner's releases.
JobTimes RunBackup(const std::string& backupData, CProgressSink& sink) {
    JobTimes t;
    sink.Reset();
    const double cpuStart = ProcessCpuSeconds();
    const double copyStart = g_copySeconds;
    const double noticeStart = g_noticeSeconds;
    const long long noticeCalls = g_notices;
    const auto start = Clock::now();
    CBenchRunner runner(start);
    zr::CBackupRestore engine;
    HRESULT hr = engine.Initialize(sink.Handle());
    if (SUCCEEDED(hr)) hr = zr::RunBackupSteps(engine, backupData, runner);
    EndJob(engine, t);
    t.total = Seconds(start, Clock::now());
    t.cpu = ProcessCpuSeconds() - cpuStart;
    t.copies = g_copySeconds - copyStart;
    t.notices = g_noticeSeconds - noticeStart;
    t.noticeCalls = g_notices - noticeCalls;
    t.contents = runner.Contents();
    t.result = hr;
    t.failedItems = engine.FailedTitles().size();
    sink.Drain();
    return t;
}

// The files a backup copies, copied one by one: each track's content file into
// one target folder per source folder, as the backup has it (a flat folder of
// thousands of files would measure the file system's lookups, not the
// copying), then every distinct picture of a track without secure content into
// one flat folder, as the backup does.
double BareCopy(const std::vector<hostsim::TrackRow>& rows, const std::string& target, unsigned& copied) {
    std::map<std::string, std::string> folders;
    copied = 0;
    const std::size_t tenth = rows.size() / 10;
    Clock::time_point marks[4];
    const auto start = Clock::now();
    CreateDirectoryA(target.c_str(), nullptr);
    for (const hostsim::TrackRow& row : rows) {
        const std::string dir = zr::FolderPart(row.path);
        auto known = folders.find(dir);
        if (known == folders.end()) {
            const std::string folder = target + "\\" + std::to_string(folders.size());
            CreateDirectoryA(folder.c_str(), nullptr);
            known = folders.emplace(dir, folder).first;
        }
        const std::size_t i = &row - &rows[0];
        if (tenth && i == 0) marks[0] = Clock::now();
        if (tenth && i == tenth) marks[1] = Clock::now();
        if (tenth && i == rows.size() - 1 - tenth) marks[2] = Clock::now();
        if (CopyFileA(row.path.c_str(), (known->second + "\\" + zr::FileNamePart(row.path)).c_str(), FALSE)) ++copied;
    }
    marks[3] = Clock::now();
    const std::string pictures = target + "\\Picture";
    CreateDirectoryA(pictures.c_str(), nullptr);
    std::set<std::string> seen;
    for (const hostsim::TrackRow& row : rows) {
        if (row.attributes & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) continue;
        for (const std::string& picture : row.pictures) {
            if (!seen.insert(picture).second) continue;
            const std::string to = pictures + "\\" + std::to_string(seen.size()) + "_" + zr::FileNamePart(picture);
            if (CopyFileA(picture.c_str(), to.c_str(), FALSE)) ++copied;
        }
    }
    if (tenth >= 2) {
        const double first = Seconds(marks[0], marks[1]) / tenth * 1e6;
        const double last = Seconds(marks[2], marks[3]) / tenth * 1e6;
        std::printf("  bare copy: %.0f us per file over the first tenth, %.0f us over the last (x%.2f)\n", first, last,
                    last / first);
    }
    return Seconds(start, Clock::now());
}

std::vector<hostsim::TrackRow> Load(const std::string& contentsDb) {
    hostsim::CLibraryDb db;
    std::vector<hostsim::TrackRow> rows;
    if (!db.Open(contentsDb) || !db.LoadAll(rows)) Fail("cannot read " + contentsDb);
    return rows;
}

// The folder rule, done the plain way: per new source folder, its last name,
// or that name with the first "%05d" not yet in use.
std::map<std::string, std::string> RuleFolders(const std::vector<hostsim::TrackRow>& rows) {
    std::map<std::string, std::string> folderOf;
    std::set<std::string> taken;
    std::map<std::string, int> next;  // only to keep this check itself fast
    for (const hostsim::TrackRow& row : rows) {
        const std::string dir = zr::FolderPart(row.path);
        if (folderOf.count(dir)) continue;
        std::string name = zr::FileNamePart(dir);
        if (name.size() == 2 && name[1] == ':') name = "root";
        std::string folder = name;
        if (taken.count(zr::FoldCase(name))) {
            for (int& i = next[zr::FoldCase(name)];; ++i) {
                char suffix[8];
                std::snprintf(suffix, sizeof(suffix), "%05d", i);
                if (!taken.count(zr::FoldCase(name + suffix))) {
                    folder = name + suffix;
                    break;
                }
            }
        }
        taken.insert(zr::FoldCase(folder));
        folderOf[dir] = folder;
    }
    return folderOf;
}

// True when every track of the backup's database sits where the rule puts it.
bool CheckNumbering(const std::vector<hostsim::TrackRow>& live, const std::string& backupDb) {
    const std::map<std::string, std::string> folderOf = RuleFolders(live);
    const std::vector<hostsim::TrackRow> backup = Load(backupDb);
    std::size_t b = 0;
    for (const hostsim::TrackRow& row : live) {
        if (GetFileAttributesA(row.path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        const std::string expected = folderOf.at(zr::FolderPart(row.path)) + "\\" + zr::FileNamePart(row.path);
        if (b >= backup.size() || backup[b].path != expected) {
            Fail("track " + row.title + " at \"" + (b < backup.size() ? backup[b].path : "") + "\", rule says \"" +
                 expected + "\"");
            return false;
        }
        ++b;
    }
    return b == backup.size();
}

struct Scratch {
    std::string root;
    hostsim::InstalledHost host;
    bool installed = false;
};

// timed: the timed module in the component's place, the real one beside it.
bool Install(Scratch& s, const std::string& root, bool timed) {
    s.root = root;
    hostsim::RemoveTree(root);
    std::string error;
    if (!hostsim::MakeFolder(root, error)) {
        Fail(error);
        return false;
    }
    SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              "Common AppData", root + "\\Common");
    SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              "AppData", root + "\\AppData");
    hostsim::MakeFolder(root + "\\Common", error);
    hostsim::MakeFolder(root + "\\AppData", error);
    hostsim::InstallOptions options;
    options.root = root + "\\Host";
    options.major = 7;
    const std::string module = hostsim::ProgramFolder() + "\\NerithMediaLibrary.dll";
    options.moduleSource = timed ? hostsim::ProgramFolder() + "\\timed\\NerithMediaLibrary.dll" : module;
    if (!hostsim::Install(options, s.host, error)) {
        Fail(error);
        return false;
    }
    if (timed && !CopyFileA(module.c_str(), (s.host.libraryFolder + "\\NerithMediaLibrary.inner.dll").c_str(), FALSE)) {
        Fail("cannot place the real module beside the timed one");
        return false;
    }
    s.installed = true;
    return true;
}

void Remove(Scratch& s, bool keep) {
    if (keep) return;
    if (s.installed) hostsim::Uninstall(s.host);
    hostsim::RemoveTree(s.root);
}

unsigned long long FileBytes(const std::vector<hostsim::TrackRow>& rows) {
    unsigned long long total = 0;
    for (const hostsim::TrackRow& row : rows) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(row.path.c_str(), GetFileExInfoStandard, &data)) {
            total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    }
    return total;
}

// One restore job: Initialize, the runner's steps, the runner's releases.
JobTimes RunRestore(const std::string& backupData, const std::string& restoreTo, CProgressSink* sink) {
    JobTimes t;
    if (sink) sink->Reset();
    const double cpuStart = ProcessCpuSeconds();
    const double copyStart = g_copySeconds;
    const double noticeStart = g_noticeSeconds;
    const long long noticeCalls = g_notices;
    const auto start = Clock::now();
    CBenchRunner runner(start);
    zr::CBackupRestore engine;
    HRESULT hr = engine.Initialize(sink ? sink->Handle() : nullptr);
    if (SUCCEEDED(hr)) hr = zr::RunRestoreSteps(engine, backupData, restoreTo, runner);
    EndJob(engine, t);
    t.total = Seconds(start, Clock::now());
    t.cpu = ProcessCpuSeconds() - cpuStart;
    t.copies = g_copySeconds - copyStart;
    t.notices = g_noticeSeconds - noticeStart;
    t.noticeCalls = g_notices - noticeCalls;
    t.contents = runner.Contents();
    t.result = hr;
    t.failedItems = engine.FailedTitles().size();
    if (sink) sink->Drain();
    return t;
}

// Asks the system to write every file below a folder to disk, so that the next
// timed run does not pay for data an earlier one left in the cache.
void FlushTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
        const std::string path = folder + "\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            FlushTree(path);
            continue;
        }
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(h);
            CloseHandle(h);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

// Written, flushed, gone: the folder a run wrote leaves nothing for the next.
void Discard(const std::string& folder) {
    FlushTree(folder);
    hostsim::RemoveTree(folder);
}

// The whole backup tree copied file by file, as a restore copies it.
void BareTreeCopy(const std::string& from, const std::string& to, unsigned& copied) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((from + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
        const std::string source = from + "\\" + data.cFileName;
        const std::string target = to + "\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            BareTreeCopy(source, target, copied);
        } else if (CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            ++copied;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

// Timings of one side of a comparison.
struct Series {
    std::vector<double> seconds;
    double Median() const {
        if (seconds.empty()) return 0;
        std::vector<double> v = seconds;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double Min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }
    double Max() const { return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()); }
};

void PrintSeries(const char* label, const Series& s) {
    std::printf("  %-26s median %7.2f s, range %.2f .. %.2f s over %zu runs\n", label, s.Median(), s.Min(), s.Max(),
                s.seconds.size());
}

void PrintRatio(const char* label, const Series& job, const Series& bare, double goal) {
    const double ratio = bare.Median() > 0 ? job.Median() / bare.Median() : 0;
    std::printf("  ratio %-32s %.2f (goal within %.2f)%s\n", label, ratio, goal, ratio <= goal ? "" : "  OVER");
}

// The folders a restore leaves beside the host's databases folder: only the
// live one stays, so that every restore meets the same library layout.
void RemoveRestoreLeftovers(const hostsim::InstalledHost& host) {
    const std::string parent = zr::FolderPart(host.databasesFolder);
    const std::string name = zr::FileNamePart(host.databasesFolder);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((parent + "\\" + name + ".*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> leftovers;
    do {
        // The pattern matches the live folder's own name too (an empty extension).
        if (_stricmp(data.cFileName, name.c_str()) == 0) continue;
        leftovers.push_back(parent + "\\" + data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    for (const std::string& folder : leftovers) Discard(folder);
}

// One side's figures per run: wall and CPU seconds, and for a job the time
// inside the component's calls.
struct Side {
    Series wall, cpu, component, copies, notices;
    std::vector<long long> calls, noticeCalls;
    void Add(double wallSeconds, double cpuSeconds) {
        wall.seconds.push_back(wallSeconds);
        cpu.seconds.push_back(cpuSeconds);
    }
    void Add(const JobTimes& t) {
        Add(t.total, t.cpu);
        component.seconds.push_back(t.component);
        copies.seconds.push_back(t.copies);
        notices.seconds.push_back(t.notices);
        calls.push_back(t.calls);
        noticeCalls.push_back(t.noticeCalls);
    }
};

// Backups alternated with bare copies of the library's files; the last backup
// stays for the restores. False when a backup failed.
bool CompareBackups(const std::vector<hostsim::TrackRow>& rows, const std::string& root, unsigned runs,
                    CProgressSink& sink, const std::string& backupData, Side& bare, Side& job, unsigned& files) {
    for (unsigned i = 0; i < runs; ++i) {
        const std::string bareFolder = root + "\\Bare";
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        BareCopy(rows, bareFolder, files);
        bare.Add(Seconds(start, Clock::now()), ProcessCpuSeconds() - cpuStart);
        Discard(bareFolder);

        hostsim::RemoveTree(zr::FolderPart(backupData));
        const JobTimes t = RunBackup(backupData, sink);
        if (t.result != 0) {
            Fail("backup returned " + std::to_string(static_cast<long>(t.result)));
            return false;
        }
        job.Add(t);
        if (i + 1 < runs) Discard(zr::FolderPart(backupData));
    }
    FlushTree(zr::FolderPart(backupData));
    return true;
}

// Restores of one backup alternated with bare copies of its tree, each into a
// fresh folder. False when a restore failed.
bool CompareRestores(const hostsim::InstalledHost& host, const std::string& backupData, const std::string& root,
                     unsigned runs, unsigned tracks, CProgressSink& sink, Side& bare, Side& job, unsigned& files) {
    for (unsigned i = 0; i < runs; ++i) {
        files = 0;
        const std::string bareFolder = root + "\\BareTree";
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        BareTreeCopy(backupData, bareFolder, files);
        bare.Add(Seconds(start, Clock::now()), ProcessCpuSeconds() - cpuStart);
        Discard(bareFolder);

        const std::string dest = root + "\\Dest";
        hostsim::RemoveTree(dest);
        CreateDirectoryA(dest.c_str(), nullptr);
        const JobTimes t = RunRestore(backupData, dest, &sink);
        if (t.result != 0) {
            Fail("restore returned " + std::to_string(static_cast<long>(t.result)));
            return false;
        }
        if (sink.Count() != tracks || sink.Last() != tracks) {
            Fail("restore progress posts " + std::to_string(sink.Count()));
        }
        job.Add(t);
        Discard(dest);
        RemoveRestoreLeftovers(host);
    }
    return true;
}

void PrintMicros(const char* label, const Series& perTrack, const char* note = "") {
    std::printf("    %-40s %8.1f  [%.1f .. %.1f]%s\n", label, perTrack.Median() * 1e6, perTrack.Min() * 1e6,
                perTrack.Max() * 1e6, note);
}

// Each run's figure divided by `count`.
Series PerItem(const Series& s, double count) {
    Series r;
    for (double v : s.seconds) r.seconds.push_back(count > 0 ? v / count : 0);
    return r;
}

// Per track, each job run against the bare copy run just before it. Inside
// the job, its copies (wall inside CopyFileA and CreateDirectoryA, which the
// bare loops call as well) and the component's calls (wall inside them) are
// timed; the rest of the job's wall is the tool's own: the trace lines and
// progress posts the steps must make (wall inside OutputDebugStringA and
// PostMessageA, timed as well) and its own code: path handling, file checks,
// lists. That direct figure counts any wait or preemption of the tool's code
// too, so it is an upper bound of its CPU; "by CPU" is the job's CPU less the
// bare copy's and the component's, which the copy's own swings make noisy
// with big files. Under Wine a call into the system that needs its server
// spends most of its time in the server's process, which the process's CPU
// time does not count: hence the wall figures.
void PrintSplit(const char* job, const Side& bare, const Side& run, unsigned tracks, unsigned bareFiles) {
    Series own, code, ownByCpu;
    for (std::size_t i = 0; i < run.wall.seconds.size() && i < bare.wall.seconds.size(); ++i) {
        const double component = run.component.seconds[i];
        own.seconds.push_back(run.wall.seconds[i] - run.copies.seconds[i] - component);
        code.seconds.push_back(own.seconds.back() - run.notices.seconds[i]);
        ownByCpu.seconds.push_back(run.cpu.seconds[i] - bare.cpu.seconds[i] - component);
    }
    const double per = tracks ? tracks : 1;
    const long long calls = run.calls.empty() ? 0 : run.calls.back();
    const long long notices = run.noticeCalls.empty() ? 0 : run.noticeCalls.back();
    std::printf("  %s, us per track, median [range] over %zu runs:\n", job, run.wall.seconds.size());
    PrintMicros("bare copy, wall", PerItem(bare.wall, tracks));
    PrintMicros("bare copy, CPU", PerItem(bare.cpu, tracks));
    PrintMicros("job, wall", PerItem(run.wall, tracks));
    PrintMicros("job, CPU", PerItem(run.cpu, tracks));
    PrintMicros("job's copies and folders, wall", PerItem(run.copies, tracks));
    char note[96];
    std::snprintf(note, sizeof(note), "  (%.1f calls per track)", calls / per);
    PrintMicros("component's calls, wall", PerItem(run.component, tracks), note);
    PrintMicros("tool's own (job - copies - component)", PerItem(own, tracks));
    std::snprintf(note, sizeof(note), "  (%.1f calls per track)", notices / per);
    PrintMicros("  of it trace lines and progress posts", PerItem(run.notices, tracks), note);
    PrintMicros("  of it the tool's code", PerItem(code, tracks));
    PrintMicros("tool's own by CPU (job - bare - comp.)", PerItem(ownByCpu, tracks));
    const double barePerFile = bare.cpu.Median() / (bareFiles ? bareFiles : 1);
    auto share = [&](const Series& s, const char* label) {
        const double perTrack = s.Median() / per;
        std::printf("    %s per track / bare copy's CPU per file (%.1f us, %u files): %.1f%% (goal at most 10%%)%s\n",
                    label, barePerFile * 1e6, bareFiles, barePerFile > 0 ? perTrack / barePerFile * 100 : 0.0,
                    barePerFile > 0 && perTrack <= barePerFile * 0.10 ? "" : "  OVER");
    };
    share(own, "tool's own");
    share(code, "tool's code");
}

// The engine's peak working set for one job, measured in a child process that
// runs only that job (this process's own peak includes the library's making).
// 0 when the child could not report it.
double ChildPeakMiB(const char* kind, const std::string& backupData, const std::string& restoreTo,
                    const std::string& report, double& baselineMiB) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof(exe));
    std::string command = std::string("\"") + exe + "\" --job " + kind + " " + std::to_string(GetCurrentProcessId()) +
                          " \"" + backupData + "\" \"" + restoreTo + "\" \"" + report + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (code != 0) Fail(std::string(kind) + " in the child process returned " + std::to_string(code));
    unsigned long long peak = 0, baseline = 0;
    FILE* f = std::fopen(report.c_str(), "r");
    if (!f) return 0;
    if (std::fscanf(f, "%llu %llu", &peak, &baseline) != 2) peak = 0;
    std::fclose(f);
    baselineMiB = baseline / 1048576.0;
    return peak / 1048576.0;
}

// The child's side: one job, then its peak working set into the report file.
int RunJobChild(int argc, char** argv) {
    if (argc < 7) return 2;
    const std::string kind = argv[2];
    CRegistryScope registry(std::strtoul(argv[3], nullptr, 10));
    zr::SetTraceSink([](const char*) {});
    PROCESS_MEMORY_COUNTERS before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    HRESULT hr = 0;
    if (kind == "backup") {
        zr::CBackupRestore engine;
        CBenchRunner runner(Clock::now());
        hr = engine.Initialize(nullptr);
        if (hr == 0) hr = zr::RunBackupSteps(engine, argv[4], runner);
        zr::ReleaseJob(engine);
    } else if (kind == "walk") {
        // The component alone: the host's library mounted and each track read
        // as a job reads it, so that what the component holds can be told
        // from what the tool holds.
        zr::CBackupRestore engine;
        hr = engine.Initialize(nullptr);
        if (hr == 0) {
            const std::string db = engine.GetDatabasesFolder() + "\\contents.db";
            hr = engine.m_builder.MountHDD(db.c_str(), engine.m_strPictureFolder.c_str());
        }
        if (hr == 0 && engine.m_builder.m_pHddVolume) {
            zr::CRef<INMContent> entry(engine.m_builder.m_pHddVolume->GetFirstContent(zr::IID_INMTrack));
            for (; entry; entry.Attach(entry->GetNextContent(zr::IID_INMTrack))) {
                zr::CRef<INMTrack> track;
                if (zr::QueryRef(entry.Get(), zr::IID_INMTrack, track)) {
                    track->GetTitle();
                    track->GetFilePath();
                }
            }
            entry.Reset();
            engine.m_builder.UnmountHDD();
        }
        zr::ReleaseJob(engine);
    } else {
        hr = RunRestore(argv[4], argv[5], nullptr).result;
    }
    PROCESS_MEMORY_COUNTERS after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    FILE* f = std::fopen(argv[6], "w");
    if (f) {
        std::fprintf(f, "%llu %llu\n", static_cast<unsigned long long>(after.PeakWorkingSetSize),
                     static_cast<unsigned long long>(before.WorkingSetSize));
        std::fclose(f);
    }
    if (hr != 0) std::printf("  %s job in the child process: 0x%08lx\n", kind.c_str(), static_cast<unsigned long>(hr));
    return hr == 0 ? 0 : 1;
}

// A generated library of n tracks of `size` bytes: its backups beside bare
// copies of its files, then restores of the backup beside bare copies of the
// backup tree.
void ContentCase(const char* label, const std::string& root, unsigned tracks, unsigned size, unsigned runs,
                 CProgressSink& sink, bool keep) {
    std::printf("\n== %s: %u tracks of %u bytes\n", label, tracks, size);
    std::fflush(stdout);
    Scratch s;
    if (!Install(s, root, true)) return;
    hostsim::LibraryOptions options;
    options.tracks = tracks;
    options.folders = tracks / 10 ? tracks / 10 : 1;
    options.fileSize = size;
    options.picturesPerTrack = 1;
    options.secureTracks = tracks / 100;
    options.missingTracks = 0;
    std::string error;
    auto start = Clock::now();
    if (!hostsim::CreateLibrary(s.host, options, error)) {
        Fail(error);
        Remove(s, keep);
        return;
    }
    const std::vector<hostsim::TrackRow> rows = Load(s.host.contentsDb);
    std::printf("  library made in %.1f s (%.1f MB of content)\n", Seconds(start, Clock::now()),
                FileBytes(rows) / 1048576.0);
    FlushTree(root);

    const std::string backupData = root + "\\Backup\\BackupData";
    Side bareBackup, backup;
    unsigned bareFiles = 0;
    if (CompareBackups(rows, root, runs, sink, backupData, bareBackup, backup, bareFiles)) {
        if (sink.Count() != tracks || sink.Last() != tracks) Fail("progress posts " + std::to_string(sink.Count()));
        if (!CheckNumbering(rows, backupData + "\\DB\\NMLDB\\contents.db")) Fail("numbering differs from the rule");
        PrintTenths(sink);
        PrintSeries("bare copy of the files", bareBackup.wall);
        PrintSeries("backup job", backup.wall);
        PrintRatio("backup job / bare copy", backup.wall, bareBackup.wall, 1.15);
        PrintSplit("backup", bareBackup, backup, tracks, bareFiles);

        Side bareRestore, restore;
        unsigned treeFiles = 0;
        if (CompareRestores(s.host, backupData, root, runs, tracks, sink, bareRestore, restore, treeFiles)) {
            PrintSeries("bare copy of the tree", bareRestore.wall);
            PrintSeries("restore job", restore.wall);
            PrintRatio("restore job / bare copy", restore.wall, bareRestore.wall, 1.15);
            PrintSplit("restore", bareRestore, restore, tracks, treeFiles);
        }
    }
    std::fflush(stdout);
    Remove(s, keep);
}

// A library of `tracks` tracks in `folders` source folders, `repeated` of
// which are named "Disc 1" under different parents; tiny content files.
bool MakeNumberingLibrary(Scratch& s, unsigned tracks, unsigned folders, unsigned repeated) {
    std::string error;
    const std::string music = s.root + "\\Music";
    const unsigned perFolder = tracks / folders;
    const unsigned every = folders / repeated;  // every n-th folder is a "Disc 1"
    std::vector<hostsim::TrackRow> rows;
    rows.reserve(tracks);
    char buffer[MAX_PATH];
    for (unsigned f = 0; f < folders; ++f) {
        if (f % every == 0 && f / every < repeated) {
            std::snprintf(buffer, sizeof(buffer), "%s\\Artist %05u\\Disc 1", music.c_str(), f);
        } else {
            std::snprintf(buffer, sizeof(buffer), "%s\\Artist %05u\\Album %05u", music.c_str(), f, f);
        }
        const std::string folder = buffer;
        if (!hostsim::MakeFolder(folder, error)) {
            Fail(error);
            return false;
        }
        for (unsigned k = 0; k < perFolder; ++k) {
            hostsim::TrackRow row;
            std::snprintf(buffer, sizeof(buffer), "Track %05u-%u", f, k);
            row.title = buffer;
            std::snprintf(buffer, sizeof(buffer), "\\%02u Track.wma", k + 1);
            row.path = folder + buffer;
            if (!hostsim::WriteWholeFile(row.path, row.title, error)) {
                Fail(error);
                return false;
            }
            rows.push_back(row);
        }
    }
    hostsim::CLibraryDb db;
    bool ok = db.Open(s.host.contentsDb) && db.Begin();
    for (std::size_t i = 0; ok && i < rows.size(); ++i) ok = db.Insert(rows[i]);
    if (!ok || !db.Commit()) {
        Fail("cannot write the numbering library");
        return false;
    }
    return true;
}

struct NumberingResult {
    double perTrackMicros = 0;
    double barePerTrackMicros = 0;
    double restorePerTrackMicros = 0;      // the whole restore job, median
    double bareTreePerTrackMicros = 0;     // the bare copy of the backup tree, median
    bool ok = false;
};

NumberingResult NumberingCase(const std::string& root, unsigned tracks, unsigned folders, unsigned repeated,
                              unsigned runs, bool measurePeak, CProgressSink& sink, bool keep) {
    NumberingResult r;
    std::printf("\n== numbering: %u tracks in %u source folders, %u of them named \"Disc 1\"\n", tracks, folders,
                repeated);
    std::fflush(stdout);
    Scratch s;
    if (!Install(s, root, false)) return r;
    const auto start = Clock::now();
    if (!MakeNumberingLibrary(s, tracks, folders, repeated)) {
        Remove(s, keep);
        return r;
    }
    std::printf("  library made in %.1f s\n", Seconds(start, Clock::now()));
    const std::vector<hostsim::TrackRow> rows = Load(s.host.contentsDb);

    const std::string backupData = root + "\\Backup\\BackupData";
    const JobTimes t = RunBackup(backupData, sink);
    r.ok = t.result == 0 && CheckNumbering(rows, backupData + "\\DB\\NMLDB\\contents.db");
    if (t.result != 0) Fail("backup returned " + std::to_string(static_cast<long>(t.result)));

    // The last "Disc 1" folder carries the number repeated - 2.
    char last[64];
    std::snprintf(last, sizeof(last), "\\Data\\Audio\\Disc 1%05u", repeated - 2);
    char beyond[64];
    std::snprintf(beyond, sizeof(beyond), "\\Data\\Audio\\Disc 1%05u", repeated - 1);
    if (!PathIsDirectoryA((backupData + last).c_str()) || PathIsDirectoryA((backupData + beyond).c_str())) {
        Fail(std::string("expected the last numbered folder to be") + last);
        r.ok = false;
    }

    // What the plain search would have cost: one folder test per number tried,
    // 1 + 2 + ... + (repeated - 1) of them for the repeated name, each an
    // existing folder. And what a test for a name that is not there costs in
    // a folder this large (the file system may have to read it all).
    const std::string audio = backupData + "\\Data\\Audio\\";
    const unsigned probes = 2000;
    auto probeStart = Clock::now();
    for (unsigned i = 0; i < probes; ++i) PathIsDirectoryA((audio + "Disc 100001").c_str());
    const double perProbe = Seconds(probeStart, Clock::now()) / probes;
    probeStart = Clock::now();
    for (unsigned i = 0; i < 20; ++i) PathIsDirectoryA((audio + "Not there " + std::to_string(i)).c_str());
    const double perMiss = Seconds(probeStart, Clock::now()) / 20;
    const double naiveExtra = perProbe * (static_cast<double>(repeated) * (repeated - 1) / 2);
    FlushTree(root);

    unsigned copied = 0;
    const double bare = BareCopy(rows, root + "\\Bare", copied);
    hostsim::RemoveTree(root + "\\Bare");

    r.perTrackMicros = t.contents / tracks * 1e6;
    r.barePerTrackMicros = bare / tracks * 1e6;
    std::printf("  backup job %.2f s, contents phase %.2f s = %.1f us per track; numbering %s\n", t.total, t.contents,
                r.perTrackMicros, r.ok ? "exactly the rule's" : "WRONG");
    std::printf("  bare CopyFileA loop (same folders) %.2f s = %.1f us per track; ratio %.2f\n", bare,
                r.barePerTrackMicros, r.perTrackMicros / r.barePerTrackMicros);
    PrintTenths(sink);
    std::printf("  a search from 00000 for every repeated folder would add ~%.1f s (%.0f folder tests at %.1f us)\n",
                naiveExtra, static_cast<double>(repeated) * (repeated - 1) / 2, perProbe * 1e6);
    std::printf("  testing for a name that is not in Data\\Audio (%u folders) costs %.0f us\n", folders, perMiss * 1e6);
    std::fflush(stdout);

    if (measurePeak && r.ok) {
        // Each job alone in a process of its own, so that its peak is the
        // engine's; the backup while the host still has its own library.
        double baseline = 0;
        const std::string peakBackup = root + "\\PeakBackup\\BackupData";
        const double backupPeak = ChildPeakMiB("backup", peakBackup, "-", root + "\\peak.txt", baseline);
        std::printf("  peak working set, backup of %u tracks: %.1f MiB (process at start %.1f MiB; goal under 64)%s\n",
                    tracks, backupPeak, baseline, backupPeak > 0 && backupPeak < 64 ? "" : "  OVER or unknown");
        Discard(root + "\\PeakBackup");
        const double walkPeak = ChildPeakMiB("walk", "-", "-", root + "\\peak.txt", baseline);
        std::printf("  peak working set, the component alone walking the library: %.1f MiB (process at start %.1f MiB):"
                    " the tool's own share of the backup's peak is %.1f MiB\n",
                    walkPeak, baseline, backupPeak - walkPeak);
    }

    Side bareTree, restore;
    unsigned treeFiles = 0;
    if (r.ok && CompareRestores(s.host, backupData, root, runs, tracks, sink, bareTree, restore, treeFiles)) {
        r.restorePerTrackMicros = restore.wall.Median() / tracks * 1e6;
        r.bareTreePerTrackMicros = bareTree.wall.Median() / tracks * 1e6;
        PrintSeries("bare copy of the tree", bareTree.wall);
        PrintSeries("restore job", restore.wall);
        std::printf("  restore job %.1f us per track, bare copy of the tree %.1f us per track; ratio %.2f\n",
                    r.restorePerTrackMicros, r.bareTreePerTrackMicros,
                    r.restorePerTrackMicros / r.bareTreePerTrackMicros);
    } else {
        r.ok = false;
    }

    if (measurePeak && r.ok) {
        double baseline = 0;
        const std::string dest = root + "\\PeakDest";
        CreateDirectoryA(dest.c_str(), nullptr);
        const double restorePeak = ChildPeakMiB("restore", backupData, dest, root + "\\peak.txt", baseline);
        std::printf("  peak working set, restore of %u tracks: %.1f MiB (process at start %.1f MiB; goal under 64)%s\n",
                    tracks, restorePeak, baseline, restorePeak > 0 && restorePeak < 64 ? "" : "  OVER or unknown");
        std::fflush(stdout);
    }
    Remove(s, keep);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && !std::strcmp(argv[1], "--job")) return RunJobChild(argc, argv);

    bool quick = false, keep = false, traces = true;
    unsigned runs = 3;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quick")) {
            quick = true;
        } else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (runs < 1) runs = 1;
        } else if (!std::strcmp(argv[i], "--no-trace")) {
            // Shows what the debugger trace costs: under Wine each line is a slow system call.
            traces = false;
        } else if (!std::strcmp(argv[i], "--keep")) {
            keep = true;
        } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::printf("usage: backup_bench [--quick] [--runs N] [--only big|small|numbering] [--keep] [--no-trace]\n");
            return 2;
        }
    }

    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    char name[64];
    std::snprintf(name, sizeof(name), "zr_bench_%lu", GetCurrentProcessId());
    const std::string root = std::string(temp) + name;

    if (!traces) zr::SetTraceSink([](const char*) {});
    if (!TimeSystemCalls()) Fail("the copying, trace and progress calls cannot be timed: an import of them is missing");
    CRegistryScope registry;
    CProgressSink sink;
    std::printf("backup_bench%s: scratch folder %s\n", quick ? " (quick)" : "", root.c_str());

    if (only.empty() || only == "big") {
        ContentCase("big files", root + "\\big", quick ? 200 : 2000, quick ? 1u << 20 : 4u << 20, runs, sink, keep);
    }
    if (only.empty() || only == "small") {
        ContentCase("small files", root + "\\small", quick ? 2000 : 20000, 16u << 10, runs, sink, keep);
    }
    if (only.empty() || only == "numbering") {
        const unsigned scale = quick ? 10 : 1;
        NumberingResult small =
            NumberingCase(root + "\\num-small", 5000 / scale, 1000 / scale, 200 / scale, runs, false, sink, keep);
        NumberingResult large =
            NumberingCase(root + "\\num-large", 50000 / scale, 10000 / scale, 2000 / scale, runs, true, sink, keep);
        if (small.ok && large.ok) {
            std::printf("\n  per-track cost, large / small library: backup %.2f, bare copy %.2f;"
                        " restore %.2f, bare copy of the tree %.2f (goal within 1.20)\n",
                        large.perTrackMicros / small.perTrackMicros,
                        large.barePerTrackMicros / small.barePerTrackMicros,
                        large.restorePerTrackMicros / small.restorePerTrackMicros,
                        large.bareTreePerTrackMicros / small.bareTreePerTrackMicros);
        }
    }
    if (!keep) hostsim::RemoveTree(root);
    std::printf(g_failed ? "\nbackup_bench: FAILED\n" : "\nbackup_bench: done\n");
    return g_failed ? 1 : 0;
}
