// Set-up helpers for the engine tests: host installations in the sandbox's
// registry, trace capture, progress collection and folder listings.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace enginetest {

const char kNmlKey[] = "Software\\Nerith\\Kovex\\SD-NML";

// The first host: uninstall entry, Settings key and "Device.ini" in programFolder.
void InstallTalvane(const std::string& programFolder, unsigned major, unsigned minor);
// The second host likewise.
void InstallCorvell(const std::string& programFolder, unsigned major, unsigned minor, unsigned level = 0);
// Points the per-machine and per-user application data folders of the shell
// at <folder>\Common and <folder>\AppData (created), so that GUI data stays
// inside a test's sandbox.
void RedirectShellFolders(const std::string& folder);
// The media library's program folder.
void SetLibraryFolder(const std::string& folder);
void SetSerial(const std::string& serial);

std::string ReadIni(const std::string& file, const char* section, const char* key);

// Everything below root, sorted: files as "a\b.txt", folders as "a\".
std::vector<std::string> ListTree(const std::string& root);
// The folder that holds the test program.
std::string ExeFolder();

// Collects the trace texts written while it lives.
class CTraceCapture {
public:
    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;
    const std::vector<std::string>& Texts() const;
    bool Has(const std::string& text) const;
};

// A message-only window that receives the engine's progress posts.
class CProgressWindow {
public:
    CProgressWindow();
    ~CProgressWindow();
    CProgressWindow(const CProgressWindow&) = delete;
    CProgressWindow& operator=(const CProgressWindow&) = delete;
    HWND Handle() const { return m_hwnd; }
    // The WM_BR_PROGRESS messages waiting in the queue, as (wParam, lParam).
    std::vector<std::pair<WPARAM, LPARAM>> Collect();

private:
    HWND m_hwnd = nullptr;
};

}  // namespace enginetest
