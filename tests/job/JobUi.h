// Driving the tool's windows from a test: a thread that owns the dialogs, waits
// for windows and message boxes, clicks, and PNG screenshots from the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace jobtest {

// Runs body on a thread of its own; the windows it makes belong to that thread.
class CUiThread {
public:
    explicit CUiThread(std::function<void()> body);
    ~CUiThread();  // waits for the thread
    CUiThread(const CUiThread&) = delete;
    CUiThread& operator=(const CUiThread&) = delete;
    DWORD Id() const { return m_id; }
    bool Join(DWORD milliseconds);

private:
    static DWORD WINAPI Main(void* arg);
    std::function<void()> m_body;
    HANDLE m_hThread = nullptr;
    DWORD m_id = 0;
};

// A plain visible top-level window at `rect`, standing in for a dialog's owner;
// made and destroyed on the calling thread.
class COwnerWindow {
public:
    explicit COwnerWindow(const RECT& rect);
    ~COwnerWindow();
    COwnerWindow(const COwnerWindow&) = delete;
    COwnerWindow& operator=(const COwnerWindow&) = delete;
    HWND get() const { return m_hWnd; }

private:
    HWND m_hWnd;
};

// Where a stand-in owner lies on the work area: in its middle, mostly beyond
// its bottom-right corner, or partly beyond its top-left corner.
enum class OwnerPlace { Middle, NearBottomRight, PastTopLeft };
RECT OwnerRect(OwnerPlace place);

// True once condition holds, polling up to timeout.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000);
// A visible top-level window of that thread with that caption (any caption
// when empty; and, when text
// is given, a message box showing that text); null after the timeout.
HWND WaitForWindow(DWORD threadId, const std::string& caption, const std::string& text = std::string(),
                   DWORD timeoutMs = 30000);
// Whether the thread has any visible window with that caption right now.
bool HasWindow(DWORD threadId, const std::string& caption);
std::string WindowText(HWND window);
std::string MessageBoxText(HWND box);
// A click on a dialog's button, as the button itself reports it.
void Click(HWND dialog, int id);

// The window as it is on the screen, saved as <bin>/screenshots/<name>.png
// (screenshots/dpi<N>/<name>.png at another display scale than 96 DPI).
// Returns the pixels (rows top-down, 0x00RRGGBB) for checks.
std::vector<DWORD> SaveScreenshot(HWND window, const std::string& name, int* width = nullptr,
                                  int* height = nullptr);

}  // namespace jobtest
