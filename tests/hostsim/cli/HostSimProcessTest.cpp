// hostsim.exe as a child process, in a throw-away prefix: it writes the real
// registry, which this process then reads with the tool's own readers.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/settings/HostSettings.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryList.h"
#include "support/Sandbox.h"
#include "support/TestPaths.h"

namespace {

std::string HostSimExe() { return zrtest::BuiltPath("hostsim/cli/hostsim.exe"); }

// An inheritable pipe; the parent keeps one end, the child gets the other.
struct Pipe {
    HANDLE read = nullptr, write = nullptr;
    Pipe() {
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        CreatePipe(&read, &write, &sa, 0);
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    void CloseRead() {
        if (read) CloseHandle(read);
        read = nullptr;
    }
    void CloseWrite() {
        if (write) CloseHandle(write);
        write = nullptr;
    }
};

class Child {
public:
    // Starts hostsim.exe with `args`; its stdout and stderr both go to one pipe.
    explicit Child(const std::string& args) {
        SetHandleInformation(out_.read, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(in_.write, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in_.read;
        si.hStdOutput = out_.write;
        si.hStdError = out_.write;
        std::string cmd = "\"" + HostSimExe() + "\" " + args;
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi_) != 0;
        if (!started_) error_ = GetLastError();
        in_.CloseRead();
        out_.CloseWrite();
    }
    ~Child() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool Started() const { return started_; }
    // Why the start failed, for the test's message.
    std::string StartError() const { return HostSimExe() + ": CreateProcessA failed, GetLastError " + std::to_string(error_); }

    // Reads until the child closes its output (or `until` appears in it).
    std::string ReadOutput(const std::string& until = std::string()) {
        char buffer[4096];
        DWORD got = 0;
        while ((until.empty() || output_.find(until) == std::string::npos) &&
               ReadFile(out_.read, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            output_.append(buffer, got);
        return output_;
    }
    void CloseInput() { in_.CloseWrite(); }
    DWORD Wait(DWORD ms = 60000) {
        WaitForSingleObject(pi_.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    Pipe in_, out_;
    PROCESS_INFORMATION pi_ = {};
    bool started_ = false;
    DWORD error_ = 0;
    std::string output_;
};

struct Result {
    DWORD code;
    std::string output;
};

Result RunHostSim(const std::string& args) {
    Child child(args);
    EXPECT_TRUE(child.Started()) << child.StartError();
    std::string output = child.ReadOutput();
    return {child.Wait(), output};
}

TEST(HostSimExe, InstallLibraryListUninstall) {
    const std::string root = "C:\\HostSimProcess";
    Result r = RunHostSim("install --version 6.6 --relocate-db --root " + root + " --serial PROC-0001");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("installed SD-Talvane 6.6")) << r.output;
    EXPECT_TRUE(zr::CheckTalvaneVersion());
    std::string program, serial;
    ASSERT_TRUE(zr::GetTalvaneProgramPath(program));
    EXPECT_EQ(root + "\\SD-Talvane", program);
    // The module was taken from beside hostsim.exe.
    std::string library;
    zr::GetNmlProgramPath(library);
    EXPECT_TRUE(zrtest::FileExists(library + "\\NerithMediaLibrary.dll"));

    r = RunHostSim("library --tracks 10 --folders 3 --size 64 --pictures 2 --secure 2 --missing 1 --drive-root on");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("10 tracks in 3 folders, 9 content files")) << r.output;

    // The console listing, a listing to a file and the in-process one are the same bytes.
    std::vector<hostsim::InstalledHost> hosts;
    std::string error, expected;
    ASSERT_TRUE(hostsim::FindInstalledHosts(hosts, error)) << error;
    ASSERT_TRUE(hostsim::ListLibrary(hosts[0].contentsDb, hosts[0].coreFolder, expected, error)) << error;
    EXPECT_NE(std::string::npos, expected.find("tracks 10\r\nrights\r\n")) << expected;
    EXPECT_NE(std::string::npos, expected.find("rights-records 2\r\n")) << expected;
    r = RunHostSim("list");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_EQ(expected, r.output);
    r = RunHostSim("list --out " + root + "\\list.txt");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_EQ(expected, zrtest::ReadTextFile(root + "\\list.txt"));
    r = RunHostSim("list --db \"" + hosts[0].contentsDb + "\"");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("tracks 10\r\nrights none\r\n")) << r.output;
    DeleteFileA((root + "\\list.txt").c_str());

    ASSERT_EQ(1u, hosts[0].driveRootFiles.size());
    const std::string driveRootFile = hosts[0].driveRootFiles[0];
    EXPECT_TRUE(zrtest::FileExists(driveRootFile));

    r = RunHostSim("uninstall");
    ASSERT_EQ(0u, r.code) << r.output;
    EXPECT_FALSE(zr::CheckTalvaneVersion());
    EXPECT_FALSE(hostsim::PathExists(root));
    EXPECT_FALSE(hostsim::PathExists(driveRootFile));
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, hostsim::kNmlKey));
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, hostsim::kHostSimKey));

    r = RunHostSim("list");
    EXPECT_EQ(1u, r.code) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("no host is installed")) << r.output;
}

struct BadArgs {
    const char* name;
    const char* args;
    const char* message;
};

void PrintTo(const BadArgs& c, std::ostream* os) { *os << c.name; }

class HostSimExeArgs : public testing::TestWithParam<BadArgs> {};

TEST_P(HostSimExeArgs, AreRefusedWithExitCode2) {
    Result r = RunHostSim(GetParam().args);
    EXPECT_EQ(2u, r.code) << r.output;
    EXPECT_EQ(0u, r.output.rfind("hostsim: ", 0)) << r.output;
    EXPECT_NE(std::string::npos, r.output.find(GetParam().message)) << r.output;
    EXPECT_FALSE(hostsim::KeyExists(HKEY_LOCAL_MACHINE, hostsim::kHostSimKey));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostSimExeArgs,
    testing::Values(BadArgs{"NoCommand", "", "no command"},
                    BadArgs{"UnknownCommand", "frobnicate", "unknown command"},
                    BadArgs{"UnknownOption", "install --colour red", "unknown option --colour"},
                    BadArgs{"MissingValue", "install --root", "needs a value"},
                    BadArgs{"BadVersion", "install --version 7", "MAJOR.MINOR"},
                    BadArgs{"BadHost", "install --host third", "talvane or corvell"},
                    BadArgs{"BadPart", "install --without module,wings", "unknown part \"wings\""},
                    BadArgs{"NegativeCount", "library --tracks -1", "--tracks wants a whole number"},
                    BadArgs{"TooManyTracks", "library --tracks 99999999", "--tracks wants a whole number"},
                    BadArgs{"BadSwitch", "library --drive-root yes", "on or off"},
                    BadArgs{"CoreWithoutDb", "list --core C:\\x", "--core goes with --db"},
                    BadArgs{"StrayArgument", "uninstall now", "unexpected argument"}),
    [](const testing::TestParamInfo<BadArgs>& info) { return std::string(info.param.name); });

TEST(HostSimExe, HoldMutexOwnsTheHostMutexUntilStdinCloses) {
    const std::string name = std::string("Global\\") + hostsim::kHostMutexName;
    Child holder("hold-mutex");
    ASSERT_TRUE(holder.Started()) << holder.StartError();
    std::string line = holder.ReadOutput("\n");
    EXPECT_NE(std::string::npos, line.find("holding " + name)) << line;
    HANDLE probe = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_NE(nullptr, probe);
    if (probe) CloseHandle(probe);

    // A second holder is the host already running.
    Result second = RunHostSim("hold-mutex");
    EXPECT_EQ(1u, second.code) << second.output;
    EXPECT_NE(std::string::npos, second.output.find("already exists")) << second.output;

    holder.CloseInput();
    EXPECT_EQ(0u, holder.Wait());
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
}

}  // namespace
