#include "ui/window/Dpi.h"

#include <windows.h>

#include "ui/window/ScreenDC.h"

namespace zr {

namespace {

int AskDisplayDpi() {
    CScreenDC screen;
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : 96;
}

}  // namespace

int DisplayDpi() {
    // A system-aware process keeps the DPI it started with.
    static const int dpi = AskDisplayDpi();
    return dpi;
}

int ScaleByDpi(int pixels96) { return MulDiv(pixels96, DisplayDpi(), 96); }

}  // namespace zr
