// The zip that users get: one folder with the program and its manual side by
// side. Copied onto a fresh PC's drive, the program starts from there on a
// stand-in host and opens the manual from its own folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "support/FileTree.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "support/ToolWindows.h"
#include "support/UiDriver.h"

namespace {

const char kInstallFolder[] = "C:\\Tools\\ZuderaRurarizIdir";
const char kOpenedRecord[] = "C:\\Tools\\pdf-opened.txt";

std::string EnvPath(const char* name) {
    char value[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
    return n == 0 || n >= sizeof(value) ? std::string() : std::string(value);
}

// A stand-in ".pdf" viewer: the shell's "open" writes the path it was given.
void RegisterPdfRecorder() {
    zrtest::SetRegString(HKEY_CLASSES_ROOT, ".pdf", "", "ZrTest.PdfRecorder");
    zrtest::SetRegString(HKEY_CLASSES_ROOT, "ZrTest.PdfRecorder\\shell\\open\\command", "",
                         std::string("C:\\windows\\system32\\cmd.exe /c echo %1>") + kOpenedRecord);
}

class Package : public testing::Test {
protected:
    void SetUp() override {
        std::string unpacked = EnvPath("ZR_PACKAGE_DIR");
        ASSERT_FALSE(unpacked.empty()) << "run through run-unpacked.sh";
        unpacked_ = zrtest::WinePathOf(unpacked);
    }
    void TearDown() override { hostsim::Uninstall(host_); }

    std::string unpacked_;
    hostsim::InstalledHost host_;
};

TEST_F(Package, UnpackedProgramStartsOnAHostAndOpensItsOwnManual) {
    // One folder, the program and the manual side by side.
    ASSERT_EQ(std::vector<std::string>{"ZuderaRurarizIdir"}, zrtest::Names(unpacked_));
    const std::string folder = unpacked_ + "\\ZuderaRurarizIdir";
    ASSERT_EQ((std::vector<std::string>{"Lomvard2.pdf", "ZuderaRurarizIdir.exe"}), zrtest::Names(folder));

    // Copied onto the PC's drive, as a user would.
    zrtest::MakeFolder(kInstallFolder);
    for (const char* name : {"ZuderaRurarizIdir.exe", "Lomvard2.pdf"})
        ASSERT_TRUE(CopyFileA((folder + "\\" + name).c_str(), (std::string(kInstallFolder) + "\\" + name).c_str(), TRUE))
            << name;

    hostsim::InstallOptions options;
    options.moduleSource = zrtest::BuiltPath("hostsim/cli/NerithMediaLibrary.dll");
    std::string error;
    ASSERT_TRUE(hostsim::Install(options, host_, error)) << error;
    RegisterPdfRecorder();

    zrui::CToolProcess tool(std::string(kInstallFolder) + "\\ZuderaRurarizIdir.exe");
    ASSERT_TRUE(tool.Started()) << tool.Error();
    HWND dialog = zrui::WaitForMainDialog(tool.Pid());
    ASSERT_NE(nullptr, dialog);

    ASSERT_TRUE(zrui::ClickButton(dialog, IDC_MANUAL));
    std::string opened;
    for (int i = 0; i < 300 && opened.empty(); ++i) {
        Sleep(100);
        opened = zrtest::ReadTextFile(kOpenedRecord);
    }
    EXPECT_NE(std::string::npos, opened.find(std::string(kInstallFolder) + "\\Lomvard2.pdf")) << opened;
    // No failure message: the main dialog is the process's only window.
    EXPECT_TRUE(zrui::WaitForEnabled(dialog));
    EXPECT_EQ(nullptr, zrui::FindOwnedWindow(tool.Pid(), dialog));

    ASSERT_TRUE(zrui::ClickButton(dialog, IDCANCEL));
    EXPECT_EQ(0u, tool.WaitExit(30000));
}

}  // namespace
