// A module that stands where the media library component is loaded from and
// hands out whatever library the test put into it.
#include <windows.h>

#include "engine/NMInterfaces.h"

namespace {

INMLibrary* g_library = nullptr;
HRESULT g_result = S_OK;

}  // namespace

extern "C" {

void STDMETHODCALLTYPE FakeModuleSetLibrary(INMLibrary* library, HRESULT result) {
    g_library = library;
    g_result = result;
}

HRESULT STDMETHODCALLTYPE NerithMediaLibraryInterface(INMLibrary** library) {
    if (!library) return E_POINTER;
    if (FAILED(g_result)) return g_result;
    if (g_library) g_library->AddRef();
    *library = g_library;
    return g_result;
}

}  // extern "C"
