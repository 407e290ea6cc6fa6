// Drives another process's windows as a person would: finds its windows,
// clicks buttons, reads texts, answers message boxes, picks folders in the
// shell's folder browser and saves screenshots. Free of any test framework,
// so test programs and stand-alone driver programs use it alike. Every
// operation reports failure by its result and never throws; texts are in the
// ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zrui {

constexpr DWORD kDefaultTimeoutMs = 30000;

// What a wanted top-level window looks like; empty or zero fields match anything.
struct WindowQuery {
    DWORD pid = 0;
    std::string className;
    std::string title;        // exact
    HWND owner = nullptr;     // the window's owner
    int requiredItem = 0;     // a child control with this id must exist
    std::string requiredChildClass;  // a descendant of this class must exist
};

// A visible, enabled top-level window that matches, or nullptr.
HWND FindTopWindow(const WindowQuery& query);
// Polls for FindTopWindow until the timeout.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs = kDefaultTimeoutMs);
// True once the window no longer exists (or is hidden).
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// True when the window's thread has handled everything sent before (a short
// way to let a click take effect).
bool Sync(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// Waits until the dialog's control shows that text. A Sync is no proof that
// a dialog has handled a modal window's end: the closing window's own message
// loop may answer it before the call that opened the window returns.
bool WaitForItemText(HWND dialog, int id, const std::string& text, DWORD timeoutMs = kDefaultTimeoutMs);
// Waits until the window is enabled again (its modal child has closed).
bool WaitForEnabled(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// Any visible top-level window of the process owned by owner, or nullptr.
HWND FindOwnedWindow(DWORD pid, HWND owner);

std::string GetText(HWND window);
std::string GetItemText(HWND dialog, int id);
std::string GetClass(HWND window);
// The control with the keyboard focus in the window's thread, or nullptr.
HWND GetFocusOf(HWND window);
bool IsItemVisible(HWND dialog, int id);
bool IsItemEnabled(HWND dialog, int id);

// Clicks a visible, enabled button of an enabled dialog with BM_CLICK, sent
// without waiting, so that a modal window the click opens does not hold up
// the caller. A Sync afterwards returns once the click was handled or the
// modal window it opened is running. False when the button is missing,
// hidden or disabled (a person could not click it either).
bool ClickButton(HWND dialog, int id);
// Sends a system command (such as a system menu item's id) the same way.
bool SendSystemCommand(HWND window, UINT command);

// Message boxes: dialogs whose static control 0xFFFF holds the text.
HWND WaitForMessageBox(DWORD pid, HWND owner = nullptr, DWORD timeoutMs = kDefaultTimeoutMs);
std::string MessageBoxText(HWND box);
// The text of a list view cell (column 0 is the item itself) in any process.
std::string ListCellText(HWND list, int item, int column);
// The box's standard buttons in the order OK, Cancel, Yes, No, joined by
// "+", for example "OK+Cancel" or "Yes+No".
std::string MessageBoxButtons(HWND box);
// The box's icon as the flag that asks for it (MB_ICONERROR, MB_ICONWARNING,
// MB_ICONQUESTION or MB_ICONINFORMATION), told apart by what the screen shows
// against the system's own pictures; 0 when it shows none of them.
UINT MessageBoxIcon(HWND box);
// "error", "warning", "question", "information" or "none", for messages.
std::string IconName(UINT icon);
// Clicks the button (IDOK, IDCANCEL, IDYES, IDNO) and waits until the box is gone.
bool AnswerMessageBox(HWND box, int buttonId);

// The shell's folder browser (a dialog with a tree view).
HWND WaitForFolderBrowser(DWORD pid, HWND owner = nullptr, DWORD timeoutMs = kDefaultTimeoutMs);
// Selects a folder by path, or a special folder such as CSIDL_DRIVES, in the
// browser (the text or item list is placed into the browser's process).
bool SelectInFolderBrowser(HWND browser, const std::string& path);
bool SelectSpecialInFolderBrowser(HWND browser, int csidl);
// Selects and presses OK; true once the browser has closed.
bool ChooseInFolderBrowser(HWND browser, const std::string& path);
bool ChooseSpecialInFolderBrowser(HWND browser, int csidl);
bool CancelFolderBrowser(HWND browser);

// Empty when the window lies where the tool places a dialog: centred over its
// owner, or over the work area when it has none, within a pixel; moved in
// where centring would leave the work area, so that it lies wholly in it.
// Otherwise what differs, with both rectangles.
std::string PlacementError(HWND window, HWND owner);

// The display's DPI (96 is a scale of 100 %).
int ScreenDpi();

// What the screen shows of a rectangle, rows top-down, 0x00RRGGBB; empty
// when it could not be read.
std::vector<DWORD> CaptureScreen(const RECT& rect);

// Saves what the screen shows of the window (the whole screen for nullptr)
// as a PNG file; the folder must exist.
bool SaveScreenshot(HWND window, const std::string& pngPath);

}  // namespace zrui
