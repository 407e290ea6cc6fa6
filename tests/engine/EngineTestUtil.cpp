#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/Trace.h"
#include "engine/EngineMessages.h"
#include "support/Sandbox.h"

namespace enginetest {
namespace {

void WriteDeviceIni(const std::string& programFolder, unsigned major, unsigned minor, unsigned level) {
    zrtest::MakeFolder(programFolder);
    const std::string ini = programFolder + "\\Device.ini";
    WritePrivateProfileStringA("SD-Talvane", "MajorVersion", std::to_string(major).c_str(), ini.c_str());
    WritePrivateProfileStringA("SD-Talvane", "MinorVersion", std::to_string(minor).c_str(), ini.c_str());
    WritePrivateProfileStringA("SD-Talvane", "Level", std::to_string(level).c_str(), ini.c_str());
}

std::vector<std::string> g_traces;

void CaptureTrace(const char* text) { g_traces.push_back(text); }

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(child + "\\");
            ListInto(root, child, out);
        } else {
            out.push_back(child);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

void InstallTalvane(const std::string& programFolder, unsigned major, unsigned minor) {
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                         "{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}");
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Talvane\\Settings", "SD-TalvNumber", 1);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Talvane\\Settings", "Dovr_Program_Path",
                         programFolder);
    WriteDeviceIni(programFolder, major, minor, 0);
}

void InstallCorvell(const std::string& programFolder, unsigned major, unsigned minor, unsigned level) {
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                         "{9D03B6E5-1F72-4C8A-B5E9-2A6F0C4D7E18}");
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Corvell\\Settings", "SD-TalvNumber", 1);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Corvell\\Settings", "Dovr_Program_Path",
                         programFolder);
    WriteDeviceIni(programFolder, major, minor, level);
}

void RedirectShellFolders(const std::string& folder) {
    const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", folder + "\\Common");
    zrtest::SetRegString(HKEY_CURRENT_USER, kShellFolders, "AppData", folder + "\\AppData");
    zrtest::MakeFolder(folder + "\\Common");
    zrtest::MakeFolder(folder + "\\AppData");
}

void SetLibraryFolder(const std::string& folder) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Program_Path", folder);
}

void SetSerial(const std::string& serial) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "SD-TalvSerial", serial);
}

std::string ReadIni(const std::string& file, const char* section, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof(buffer), file.c_str());
    return buffer;
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    ListInto(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

CTraceCapture::CTraceCapture() {
    g_traces.clear();
    zr::SetTraceSink(&CaptureTrace);
}

CTraceCapture::~CTraceCapture() { zr::SetTraceSink(nullptr); }

const std::vector<std::string>& CTraceCapture::Texts() const { return g_traces; }

bool CTraceCapture::Has(const std::string& text) const {
    return std::find(g_traces.begin(), g_traces.end(), text) != g_traces.end();
}

CProgressWindow::CProgressWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ProgressProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZrEngineTestProgress";
    RegisterClassA(&wc);  // already registered by an earlier test: fine
    m_hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    EXPECT_NE(nullptr, m_hwnd);
}

CProgressWindow::~CProgressWindow() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

std::vector<std::pair<WPARAM, LPARAM>> CProgressWindow::Collect() {
    std::vector<std::pair<WPARAM, LPARAM>> posts;
    MSG msg;
    while (PeekMessageA(&msg, m_hwnd, WM_BR_PROGRESS, WM_BR_PROGRESS, PM_REMOVE)) {
        posts.emplace_back(msg.wParam, msg.lParam);
    }
    return posts;
}

}  // namespace enginetest
