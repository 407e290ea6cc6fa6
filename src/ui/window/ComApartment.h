// The calling thread in a single-threaded COM apartment for the object's
// life; only a successful initialisation is undone.
#pragma once

#include <objbase.h>

namespace zr {

class CComApartment {
public:
    CComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    HRESULT m_hr;
};

}  // namespace zr
