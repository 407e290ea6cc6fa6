// The application object: start-up checks, then the main dialog, modally.
#pragma once

#include <windows.h>

#include <string>

#include "ui/window/WinApp.h"

namespace zr {

// The host application's global mutex; a running host holds it.
extern const char kHostMutexName[];

// 2: Administrators; 1: Power Users only; 0: neither, or the token cannot be read.
int GetUserPrivilegeLevel();
// False only when the version query succeeds and reports the Windows 9x platform.
bool IsNtPlatform();

class CZuderaRurarizIdirApp : public CWinApp {
public:
    // Always FALSE: no message loop follows the main dialog.
    BOOL InitInstance() override;

    // True when the host is not running and this process now owns its mutex.
    bool AcquireHostMutex();

    // What a job stopped midway (killed, the power gone) left is put right,
    // before the main dialog: the message that says what was found and done,
    // or an empty text when nothing was found.
    static std::string PutRightStoppedJobs(bool& incomplete);

protected:
    // Start-up errors have no owner window.
    virtual void ShowStartupError(UINT messageId, const std::string& caption);
    virtual void RunMainDialog();

private:
    // Owned for the life of the process; the system releases it at exit.
    HANDLE m_hHostMutex = nullptr;
};

}  // namespace zr
