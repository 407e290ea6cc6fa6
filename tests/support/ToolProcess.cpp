#include "support/ToolProcess.h"

#include <vector>

#include "support/TestPaths.h"

namespace zrui {

std::string WinePathOf(const std::string& unixPath) { return zrtest::WinePathOf(unixPath); }

std::string BuiltToolPath() { return zrtest::BuiltPath("src/ZuderaRurarizIdir.exe"); }

CToolProcess::CToolProcess(const std::string& program, const std::string& workingFolder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string command = "\"" + program + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    m_started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &m_info) != 0;
    if (!m_started) m_error = GetLastError();
}

CToolProcess::~CToolProcess() {
    if (!m_started) return;
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_info.hProcess, 99);
        WaitForSingleObject(m_info.hProcess, 10000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

DWORD CToolProcess::WaitExit(DWORD timeoutMs) const {
    if (!m_started) return STILL_ACTIVE;
    WaitForSingleObject(m_info.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

}  // namespace zrui
