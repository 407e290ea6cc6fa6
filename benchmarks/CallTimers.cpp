#include "CallTimers.h"

#include <windows.h>

#include <vector>

#include "support/ImportSlots.h"

namespace bench {
namespace {

using CopyFileProc = BOOL(WINAPI*)(LPCSTR, LPCSTR, BOOL);
using CreateDirectoryProc = BOOL(WINAPI*)(LPCSTR, LPSECURITY_ATTRIBUTES);
using OutputDebugStringProc = void(WINAPI*)(LPCSTR);
using PostMessageProc = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using FindFirstFileProc = HANDLE(WINAPI*)(LPCSTR, LPWIN32_FIND_DATAA);
using FindNextFileProc = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAA);
CopyFileProc g_copyFile = nullptr;
CreateDirectoryProc g_createDirectory = nullptr;
OutputDebugStringProc g_outputDebugString = nullptr;
PostMessageProc g_postMessage = nullptr;
FindFirstFileProc g_findFirstFile = nullptr;
FindNextFileProc g_findNextFile = nullptr;
CallTotals g_totals;

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
    CCallTimer timer(g_totals.copySeconds);
    return g_copyFile(from, to, failIfExists);
}

BOOL WINAPI TimedCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    CCallTimer timer(g_totals.copySeconds);
    return g_createDirectory(path, security);
}

void WINAPI TimedOutputDebugString(LPCSTR text) {
    CCallTimer timer(g_totals.noticeSeconds);
    ++g_totals.notices;
    g_outputDebugString(text);
}

BOOL WINAPI TimedPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CCallTimer timer(g_totals.noticeSeconds);
    ++g_totals.notices;
    return g_postMessage(hwnd, message, wParam, lParam);
}

HANDLE WINAPI TimedFindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    CCallTimer timer(g_totals.listingSeconds);
    ++g_totals.listings;
    return g_findFirstFile(pattern, data);
}

BOOL WINAPI TimedFindNextFile(HANDLE find, LPWIN32_FIND_DATAA data) {
    CCallTimer timer(g_totals.listingSeconds);
    ++g_totals.listings;
    return g_findNextFile(find, data);
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

}  // namespace

bool TimeSystemCalls() {
    return HookImport("kernel32.dll", "CopyFileA", &TimedCopyFile, g_copyFile) &&
           HookImport("kernel32.dll", "CreateDirectoryA", &TimedCreateDirectory, g_createDirectory) &&
           HookImport("kernel32.dll", "OutputDebugStringA", &TimedOutputDebugString, g_outputDebugString) &&
           HookImport("user32.dll", "PostMessageA", &TimedPostMessage, g_postMessage) &&
           HookImport("kernel32.dll", "FindFirstFileA", &TimedFindFirstFile, g_findFirstFile) &&
           HookImport("kernel32.dll", "FindNextFileA", &TimedFindNextFile, g_findNextFile);
}

CallTotals TimedCallTotals() { return g_totals; }

}  // namespace bench
