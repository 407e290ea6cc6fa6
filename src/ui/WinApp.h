// The application object's base: start-up runs InitInstance once; a FALSE
// result means no message loop follows and the process ends.
#pragma once

#include <windows.h>

namespace zr {

class CWindow;

class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    // Runs InitInstance; the process's exit code.
    int Run();

    CWindow* m_pMainWnd = nullptr;
};

}  // namespace zr
