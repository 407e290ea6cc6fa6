// The module's exports. Nothing may throw across this boundary.
#include <new>

#include "hostsim/module/Library.h"

namespace hostsim {
namespace {
LONG g_nLiveObjects = 0;
}  // namespace

CComObjectBase::CComObjectBase() { InterlockedIncrement(&g_nLiveObjects); }
CComObjectBase::~CComObjectBase() { InterlockedDecrement(&g_nLiveObjects); }
LONG LiveObjectCount() { return g_nLiveObjects; }

}  // namespace hostsim

extern "C" HRESULT STDMETHODCALLTYPE NerithMediaLibraryInterface(INMLibrary** library) {
    if (!library) return E_POINTER;
    *library = nullptr;
    try {
        *library = new hostsim::CLibrary();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// Objects of this module still alive: tests check it for leaks after releasing everything.
extern "C" LONG STDMETHODCALLTYPE HostSimLiveObjects() { return hostsim::LiveObjectCount(); }
