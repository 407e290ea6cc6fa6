#include "ui/window/WinApp.h"

namespace zr {

int CWinApp::Run() {
    InitInstance();
    return 0;
}

}  // namespace zr
