// The whole tool as a process under Wine: what a person sees at start-up.
// Runs in a throw-away prefix, so writing the real registry is safe here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resource.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"
#include "support/UiDriver.h"
#include "ui/window/Window.h"

namespace {

const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}";
const char kSettingsKey[] = "SOFTWARE\\Dovr\\SD-Talvane\\Settings";
const char kHostFolder[] = "C:\\ZRProcessTest\\SD-Talvane";

std::string ToolPath() { return zrtest::BuiltPath("src/ZuderaRurarizIdir.exe"); }

class ToolProcess {
public:
    ToolProcess() {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        std::string cmd = "\"" + ToolPath() + "\"";
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
        if (!started_) error_ = GetLastError();
    }
    ~ToolProcess() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Error() const { return error_; }
    DWORD Pid() const { return pi_.dwProcessId; }
    // For a failure message: whether the process still runs, or how it ended.
    std::string State() const {
        DWORD code = STILL_ACTIVE;
        if (!GetExitCodeProcess(pi_.hProcess, &code)) return "exit code unknown, GetLastError " + std::to_string(GetLastError());
        if (code == STILL_ACTIVE) return "the tool (pid " + std::to_string(pi_.dwProcessId) + ") still runs";
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(code));
        return std::string("the tool ended with ") + hex;
    }
    // Exit code, or STILL_ACTIVE after the timeout.
    DWORD WaitExit(DWORD ms) const {
        WaitForSingleObject(pi_.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_ = {};
    bool started_ = false;
    DWORD error_ = 0;
};

struct FindData {
    DWORD pid;
    std::string caption;
    HWND found;
};

BOOL CALLBACK FindTopWindow(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != data->pid || !IsWindowVisible(hwnd)) return TRUE;
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof(text));
    if (data->caption == text) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the process with that caption, waiting up to 30 s.
HWND WaitForWindow(DWORD pid, const std::string& caption) {
    for (int i = 0; i < 300; ++i) {
        FindData data{pid, caption, nullptr};
        EnumWindows(&FindTopWindow, reinterpret_cast<LPARAM>(&data));
        if (data.found) return data.found;
        Sleep(100);
    }
    return nullptr;
}

std::string MessageBoxText(HWND box) {
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    return text;
}

void RemoveHost() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr");
    zrtest::RemoveTree("C:\\ZRProcessTest");
}

void InstallHost(const char* major) {
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, "SD-TalvNumber", 1);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "Dovr_Program_Path", kHostFolder);
    zrtest::MakeFolder(kHostFolder);
    zrtest::WriteTextFile(std::string(kHostFolder) + "\\Device.ini",
                          std::string("[SD-Talvane]\r\nMajorVersion=") + major + "\r\nMinorVersion=0\r\n");
}

class ToolStartup : public testing::Test {
protected:
    void SetUp() override { RemoveHost(); }
    void TearDown() override { RemoveHost(); }

    // Starts the tool, expects a start-up refusal with that text (and the
    // error icon, as every refusal shows), answers it and expects the process to end.
    void ExpectStartupMessage(UINT id) {
        ToolProcess tool;
        ASSERT_TRUE(tool.Started()) << tool.Error();
        HWND box = WaitForWindow(tool.Pid(), zr::LoadResString(IDS_APP_TITLE));
        ASSERT_NE(nullptr, box) << tool.State();
        EXPECT_EQ(zr::LoadResString(id), MessageBoxText(box));
        EXPECT_EQ(zrui::IconName(MB_ICONERROR), zrui::IconName(zrui::MessageBoxIcon(box)));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(0u, tool.WaitExit(30000));
    }
};

const char kMainCaption[] = "SD-Talvane Backup&Restoreツール";

TEST_F(ToolStartup, WithoutHostShowsMessage105) { ExpectStartupMessage(IDS_HOST_NOT_INSTALLED); }

TEST_F(ToolStartup, UnsupportedVersionShowsMessage105) {
    InstallHost("8");
    ExpectStartupMessage(IDS_HOST_NOT_INSTALLED);
}

TEST_F(ToolStartup, SupportedHostOpensMainDialogAndSecondCopyShows104) {
    InstallHost("7");
    ToolProcess first;
    ASSERT_TRUE(first.Started()) << first.Error();
    HWND dialog = WaitForWindow(first.Pid(), kMainCaption);
    ASSERT_NE(nullptr, dialog) << first.State();
    EXPECT_NE(nullptr, GetDlgItem(dialog, 1000));
    EXPECT_NE(nullptr, GetDlgItem(dialog, 1001));
    EXPECT_NE(nullptr, GetDlgItem(dialog, 1002));

    ExpectStartupMessage(IDS_HOST_RUNNING);

    // Closing the main dialog ends the tool.
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, first.WaitExit(30000));
}

}  // namespace
