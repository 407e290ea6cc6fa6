#include "ui/WinApp.h"

namespace zr {

int CWinApp::Run() {
    if (!InitInstance()) return 0;
    // Every window of this tool is modal; a TRUE result would need a loop here.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace zr
