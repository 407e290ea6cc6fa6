// A stand-in for the media library module that times the tool's calls into
// the real one: backup_bench installs it in the module's place and the real
// module beside it as "NerithMediaLibrary.inner.dll". Every object handed to
// the tool is a proxy that forwards each call and adds its duration (the
// proxy's own work included, so that none of it counts as the tool's) to one
// total; a call the component makes back into a proxy while a timed call runs
// counts once. Interfaces the tool asks for beyond the media library's own
// (the secure components behind the secure device) are handed out unwrapped.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>

#include "common/PathUtil.h"
#include "engine/NMInterfaces.h"

namespace {

std::atomic<long long> g_ticks{0};
std::atomic<long long> g_calls{0};
thread_local int t_depth = 0;

// Times one call from the tool; nested calls count within the outer one.
class CTimed {
public:
    CTimed() {
        if (t_depth++ == 0) QueryPerformanceCounter(&m_start);
    }
    ~CTimed() {
        if (--t_depth != 0) return;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        g_ticks += end.QuadPart - m_start.QuadPart;
        ++g_calls;
    }
    CTimed(const CTimed&) = delete;
    CTimed& operator=(const CTimed&) = delete;

private:
    LARGE_INTEGER m_start{};
};

// Identifies a proxy of this module, so that the inner object goes back to the component.
const GUID IID_TimedProxy = {0x6b1f3c2e, 0x0d4a, 0x4e59, {0x9a, 0x61, 0x2c, 0x7e, 0x13, 0x58, 0xb4, 0x0f}};

template <class T>
void ReleaseInner(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Reference counting of a proxy: it holds one reference on each inner
// interface it has asked for, and lets them go when it goes.
class CProxyBase {
public:
    virtual ~CProxyBase() = default;
    // The component's own object behind the proxy.
    virtual IUnknown* Inner() = 0;

protected:
    // What every proxy's QueryInterface asks first: a null pointer, and the
    // question the tool side uses to find the inner object (answered without
    // a reference). True when answered, with the result in `hr`.
    bool AnsweredAsProxy(REFIID id, void** object, HRESULT& hr) {
        hr = E_POINTER;
        if (!object) return true;
        *object = nullptr;
        if (!IsEqualGUID(id, IID_TimedProxy)) return false;
        *object = this;
        hr = S_OK;
        return true;
    }
    ULONG AddRefProxy() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG ReleaseProxy() {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

private:
    LONG m_refs = 1;
};

// The proxy itself as the interface asked for, with a reference.
template <class I, class P>
HRESULT GiveSelf(P* proxy, void** object) {
    proxy->AddRef();
    *object = static_cast<I*>(proxy);
    return S_OK;
}

// The inner object of an interface the tool passes back in: a proxy's inner
// one, or the pointer itself when it is none of ours.
template <class T>
T* Unwrap(T* p) {
    if (!p) return nullptr;
    CProxyBase* proxy = nullptr;
    if (FAILED(p->QueryInterface(IID_TimedProxy, reinterpret_cast<void**>(&proxy))) || !proxy) return p;
    return static_cast<T*>(proxy->Inner());
}

#define TIMED_REFCOUNT                                                                \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefProxy(); }               \
    ULONG STDMETHODCALLTYPE Release() override {                                      \
        CTimed timed;                                                                 \
        return ReleaseProxy();                                                        \
    }

// QueryInterface of a proxy for one of its own interfaces: `inner` is asked
// first (its answer is the component's), then the proxy hands out itself.
template <class Inner, class Self>
HRESULT QueryOwn(IUnknown* from, REFIID id, Inner*& inner, Self* self, void** object) {
    if (!inner) {
        HRESULT hr = from->QueryInterface(id, reinterpret_cast<void**>(&inner));
        if (FAILED(hr) || !inner) {
            inner = nullptr;
            return FAILED(hr) ? hr : E_NOINTERFACE;
        }
    }
    self->AddRef();
    *object = self;
    return S_OK;
}

class CPictureProxy : public INMPicture, public CProxyBase {
public:
    explicit CPictureProxy(INMPicture* inner) : m_inner(inner) { m_inner->AddRef(); }
    ~CPictureProxy() override { ReleaseInner(m_inner); }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMPicture)) {
            return GiveSelf<INMPicture>(this, object);
        }
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    void STDMETHODCALLTYPE SetFilePath(const char* path) override {
        CTimed timed;
        m_inner->SetFilePath(path);
    }
    const char* STDMETHODCALLTYPE GetFilePath() override {
        CTimed timed;
        return m_inner->GetFilePath();
    }

private:
    INMPicture* m_inner;
};

// A track is its own content entry and picture list, as in the component.
class CTrackProxy : public INMContent, public INMTrack, public INMPictureList, public CProxyBase {
public:
    explicit CTrackProxy(INMContent* entry) : m_entry(entry) {}
    ~CTrackProxy() override {
        for (auto& known : m_pictures) known.second->Release();
        ReleaseInner(m_list);
        ReleaseInner(m_track);
        ReleaseInner(m_entry);
    }
    IUnknown* Inner() override { return m_entry; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMContent)) {
            return GiveSelf<INMContent>(this, object);
        }
        if (IsEqualGUID(id, zr::IID_INMTrack)) {
            return QueryOwn(m_entry, id, m_track, static_cast<INMTrack*>(this), object);
        }
        if (IsEqualGUID(id, zr::IID_INMPictureList)) {
            return QueryOwn(m_entry, id, m_list, static_cast<INMPictureList*>(this), object);
        }
        return m_entry->QueryInterface(id, object);
    }
    TIMED_REFCOUNT

    // INMContent
    INMContent* STDMETHODCALLTYPE GetNextContent(REFGUID trackId) override;
    // INMTrack
    void STDMETHODCALLTYPE SetTrackProperty(DWORD id, const void* value) override {
        CTimed timed;
        m_track->SetTrackProperty(id, value);
    }
    const char* STDMETHODCALLTYPE GetFilePath() override {
        CTimed timed;
        return m_track->GetFilePath();
    }
    void STDMETHODCALLTYPE SetFilePath(const char* path) override {
        CTimed timed;
        m_track->SetFilePath(path);
    }
    const char* STDMETHODCALLTYPE GetTitle() override {
        CTimed timed;
        return m_track->GetTitle();
    }
    NM_TRACK_ATTRIBUTES* STDMETHODCALLTYPE GetAttributes(NM_TRACK_ATTRIBUTES* record) override {
        CTimed timed;
        return m_track->GetAttributes(record);
    }
    HRESULT STDMETHODCALLTYPE Register() override {
        CTimed timed;
        return m_track->Register();
    }
    void STDMETHODCALLTYPE Unregister() override {
        CTimed timed;
        m_track->Unregister();
    }
    void STDMETHODCALLTYPE InsertPicture(INMPicture* picture, LONG position) override {
        CTimed timed;
        m_track->InsertPicture(Unwrap(picture), position);
    }
    void STDMETHODCALLTYPE RemovePicture(INMPicture* picture) override {
        CTimed timed;
        m_track->RemovePicture(Unwrap(picture));
    }
    // INMPictureList
    DWORD STDMETHODCALLTYPE GetCount() override {
        CTimed timed;
        return m_list->GetCount();
    }
    // Borrowed, as the component's: the proxy of a picture lives as long as the track's.
    INMPicture* STDMETHODCALLTYPE GetItem(DWORD index) override {
        CTimed timed;
        INMPicture* inner = m_list->GetItem(index);
        if (!inner) return nullptr;
        auto known = m_pictures.find(inner);
        if (known == m_pictures.end()) known = m_pictures.emplace(inner, new CPictureProxy(inner)).first;
        return known->second;
    }

private:
    INMContent* m_entry;
    INMTrack* m_track = nullptr;
    INMPictureList* m_list = nullptr;
    std::map<INMPicture*, CPictureProxy*> m_pictures;
};

INMContent* CTrackProxy::GetNextContent(REFGUID trackId) {
    CTimed timed;
    INMContent* next = m_entry->GetNextContent(trackId);
    return next ? new CTrackProxy(next) : nullptr;
}

class CVolumeProxy : public INMHddVolume, public INMVolumeSettings, public CProxyBase {
public:
    explicit CVolumeProxy(INMHddVolume* inner) : m_inner(inner) {}
    ~CVolumeProxy() override {
        ReleaseInner(m_settings);
        ReleaseInner(m_inner);
    }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMHddVolume)) {
            return GiveSelf<INMHddVolume>(this, object);
        }
        if (IsEqualGUID(id, zr::IID_INMVolumeSettings)) {
            return QueryOwn(m_inner, id, m_settings, static_cast<INMVolumeSettings*>(this), object);
        }
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    INMContent* STDMETHODCALLTYPE GetFirstContent(REFGUID trackId) override {
        CTimed timed;
        INMContent* first = m_inner->GetFirstContent(trackId);
        return first ? new CTrackProxy(first) : nullptr;
    }
    DWORD STDMETHODCALLTYPE GetContentCount() override {
        CTimed timed;
        return m_inner->GetContentCount();
    }
    HRESULT STDMETHODCALLTYPE OpenDatabase(const char* path) override {
        CTimed timed;
        return m_inner->OpenDatabase(path);
    }
    HRESULT STDMETHODCALLTYPE CloseDatabase() override {
        CTimed timed;
        return m_inner->CloseDatabase();
    }
    void STDMETHODCALLTYPE SetPictureFolder(const char* folder) override {
        CTimed timed;
        m_settings->SetPictureFolder(folder);
    }

private:
    INMHddVolume* m_inner;
    INMVolumeSettings* m_settings = nullptr;
};

class CSecureDeviceProxy : public INMSecureDevice, public CProxyBase {
public:
    explicit CSecureDeviceProxy(INMSecureDevice* inner) : m_inner(inner) {}
    ~CSecureDeviceProxy() override { ReleaseInner(m_inner); }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMSecureDevice)) {
            return GiveSelf<INMSecureDevice>(this, object);
        }
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    HRESULT STDMETHODCALLTYPE Open(DWORD flags) override {
        CTimed timed;
        return m_inner->Open(flags);
    }
    void STDMETHODCALLTYPE Close() override {
        CTimed timed;
        m_inner->Close();
    }

private:
    INMSecureDevice* m_inner;
};

class CManagerProxy : public INMDeviceManager, public CProxyBase {
public:
    explicit CManagerProxy(INMDeviceManager* inner) : m_inner(inner) {}
    ~CManagerProxy() override { ReleaseInner(m_inner); }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, zr::IID_INMDeviceManager)) {
            return GiveSelf<INMDeviceManager>(this, object);
        }
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    void STDMETHODCALLTYPE SetProperty(DWORD id, const char* value) override {
        CTimed timed;
        m_inner->SetProperty(id, value);
    }
    void STDMETHODCALLTYPE RemoveDevice(IUnknown* device) override {
        CTimed timed;
        m_inner->RemoveDevice(Unwrap(device));
    }
    HRESULT STDMETHODCALLTYPE Open() override {
        CTimed timed;
        return m_inner->Open();
    }
    void STDMETHODCALLTYPE Close() override {
        CTimed timed;
        m_inner->Close();
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD reserved1,
                                           DWORD reserved2) override {
        CTimed timed;
        HRESULT hr = m_inner->CreateDevice(id, info, device, reserved1, reserved2);
        if (FAILED(hr) || !device || !*device) return hr;
        if (IsEqualGUID(id, zr::IID_INMHddVolume)) {
            *device = static_cast<INMHddVolume*>(new CVolumeProxy(static_cast<INMHddVolume*>(*device)));
        } else if (IsEqualGUID(id, zr::IID_INMSecureDevice)) {
            *device = static_cast<INMSecureDevice*>(new CSecureDeviceProxy(static_cast<INMSecureDevice*>(*device)));
        }
        return hr;
    }

private:
    INMDeviceManager* m_inner;
};

class CServicesProxy : public INMServices, public CProxyBase {
public:
    explicit CServicesProxy(INMServices* inner) : m_inner(inner) {}
    ~CServicesProxy() override { ReleaseInner(m_inner); }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, INMDeviceManager** manager) override {
        CTimed timed;
        HRESULT hr = m_inner->QueryService(service, manager);
        if (SUCCEEDED(hr) && manager && *manager) *manager = new CManagerProxy(*manager);
        return hr;
    }

private:
    INMServices* m_inner;
};

class CLibraryProxy : public INMLibrary, public CProxyBase {
public:
    explicit CLibraryProxy(INMLibrary* inner) : m_inner(inner) {}
    ~CLibraryProxy() override { ReleaseInner(m_inner); }
    IUnknown* Inner() override { return m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        CTimed timed;
        HRESULT hr = S_OK;
        if (AnsweredAsProxy(id, object, hr)) return hr;
        return m_inner->QueryInterface(id, object);
    }
    TIMED_REFCOUNT
    HRESULT STDMETHODCALLTYPE LoadPlugins(const char* folder) override {
        CTimed timed;
        return m_inner->LoadPlugins(folder);
    }
    void STDMETHODCALLTYPE Terminate() override {
        CTimed timed;
        m_inner->Terminate();
    }
    void STDMETHODCALLTYPE GetServices(INMServices** services) override {
        CTimed timed;
        m_inner->GetServices(services);
        if (services && *services) *services = new CServicesProxy(*services);
    }

private:
    INMLibrary* m_inner;
};

HMODULE g_self = nullptr;
HMODULE g_innerModule = nullptr;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    if (reason == DLL_PROCESS_DETACH && g_innerModule) FreeLibrary(g_innerModule);
    return TRUE;
}

extern "C" HRESULT STDMETHODCALLTYPE NerithMediaLibraryInterface(INMLibrary** library) {
    CTimed timed;
    if (!library) return E_POINTER;
    *library = nullptr;
    if (!g_innerModule) {
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(g_self, path, MAX_PATH);
        char* slash = n && n < MAX_PATH ? zr::FindLastBackslash(path) : nullptr;
        if (!slash) return E_FAIL;
        *slash = '\0';
        if (!zr::AppendBounded(path, sizeof(path), "\\NerithMediaLibrary.inner.dll")) return E_FAIL;
        g_innerModule = LoadLibraryA(path);
        if (!g_innerModule) return E_FAIL;
    }
    auto entry = reinterpret_cast<NerithMediaLibraryInterfaceProc>(
        reinterpret_cast<void*>(GetProcAddress(g_innerModule, "NerithMediaLibraryInterface")));
    INMLibrary* inner = nullptr;
    HRESULT hr = entry ? entry(&inner) : E_FAIL;
    if (FAILED(hr) || !inner) return FAILED(hr) ? hr : E_FAIL;
    *library = new CLibraryProxy(inner);
    return hr;
}

// The time spent in the component's calls since the module was loaded, in
// QueryPerformanceCounter ticks, and the number of those calls.
extern "C" void STDMETHODCALLTYPE TimedModuleTotals(long long* ticks, long long* calls) {
    if (ticks) *ticks = g_ticks;
    if (calls) *calls = g_calls;
}
