// The application object's base: start-up runs InitInstance once, and the
// process ends when it returns. Every window of the tool is modal and runs
// its own message loop, so none follows.
#pragma once

#include <windows.h>

namespace zr {

class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    // Runs InitInstance; the process's exit code.
    int Run();
};

}  // namespace zr
