// Reference counting shared by every object of the module. Objects start with
// one reference, owned by whoever created them.
#pragma once

#include <windows.h>

#include <new>

namespace hostsim {

// Runs an operation's body so that no exception leaves the module: running out
// of memory becomes E_OUTOFMEMORY.
template <class Body>
HRESULT NoThrow(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Objects alive in this module, for leak checks in tests.
LONG LiveObjectCount();

class CComObjectBase {
public:
    CComObjectBase(const CComObjectBase&) = delete;
    CComObjectBase& operator=(const CComObjectBase&) = delete;

protected:
    CComObjectBase();
    virtual ~CComObjectBase();
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&m_nRefCount)); }
    ULONG ReleaseImpl() {
        LONG n = InterlockedDecrement(&m_nRefCount);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

private:
    LONG m_nRefCount = 1;
};

}  // namespace hostsim

#define HOSTSIM_REFCOUNT                                                       \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }         \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
