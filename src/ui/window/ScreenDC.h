// The screen's device context for the object's life.
#pragma once

#include <windows.h>

namespace zr {

class CScreenDC {
public:
    CScreenDC() : m_hDC(GetDC(nullptr)) {}
    ~CScreenDC() {
        if (m_hDC) ReleaseDC(nullptr, m_hDC);
    }
    CScreenDC(const CScreenDC&) = delete;
    CScreenDC& operator=(const CScreenDC&) = delete;
    // Null when the screen could not be reached.
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

}  // namespace zr
