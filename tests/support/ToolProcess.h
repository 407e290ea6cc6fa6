// The tool (or any program) as a child process: started on construction,
// ended on destruction if it still runs. Framework-free like UiDriver.
#pragma once

#include <windows.h>

#include <string>

namespace zrui {

// The built tool's Windows path, from $ZR_BIN_DIR (a Unix path, reached through Z:).
std::string BuiltToolPath();
// A Unix path as Wine's Z: drive shows it.
std::string WinePathOf(const std::string& unixPath);

class CToolProcess {
public:
    // workingFolder empty: the caller's.
    explicit CToolProcess(const std::string& program, const std::string& workingFolder = std::string());
    ~CToolProcess();
    CToolProcess(const CToolProcess&) = delete;
    CToolProcess& operator=(const CToolProcess&) = delete;

    bool Started() const { return m_started; }
    DWORD Error() const { return m_error; }
    DWORD Pid() const { return m_info.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it still runs after the timeout.
    DWORD WaitExit(DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION m_info = {};
    bool m_started = false;
    DWORD m_error = 0;
};

}  // namespace zrui
