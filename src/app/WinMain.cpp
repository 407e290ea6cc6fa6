#include <windows.h>

#include "app/App.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zr::CZuderaRurarizIdirApp app;
    return app.Run();
}
