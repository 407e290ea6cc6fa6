#include "ui/Dpi.h"

#include <windows.h>

namespace zr {

namespace {

class CScreenDC {
public:
    CScreenDC() : m_hDC(GetDC(nullptr)) {}
    ~CScreenDC() {
        if (m_hDC) ReleaseDC(nullptr, m_hDC);
    }
    CScreenDC(const CScreenDC&) = delete;
    CScreenDC& operator=(const CScreenDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

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
