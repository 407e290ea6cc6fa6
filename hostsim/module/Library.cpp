#include "hostsim/module/Library.h"

#include <new>

#include "hostsim/module/HddVolume.h"
#include "hostsim/module/SecureDevice.h"

namespace hostsim {

// ---- CDeviceManager

HRESULT STDMETHODCALLTYPE CDeviceManager::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(id, IID_IUnknown) && !IsEqualGUID(id, zr::IID_INMDeviceManager)) return E_NOINTERFACE;
    *object = static_cast<INMDeviceManager*>(this);
    AddRef();
    return S_OK;
}

void STDMETHODCALLTYPE CDeviceManager::SetProperty(DWORD id, const char* value) {
    if (id == NM_PROP_CORE_FOLDER) m_context->coreFolder = value ? value : "";
}

void STDMETHODCALLTYPE CDeviceManager::RemoveDevice(IUnknown* device) {
    if (!device) return;
    IHostSimDevice* own = nullptr;
    if (FAILED(device->QueryInterface(IID_IHostSimDevice, reinterpret_cast<void**>(&own)))) return;
    own->OnRemoved();
    own->Release();
}

HRESULT STDMETHODCALLTYPE CDeviceManager::Open() {
    HRESULT fault = m_context->faults.Check(Fault::OpenDeviceManager);
    if (FAILED(fault)) return fault;
    m_bOpen = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDeviceManager::CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD,
                                                       DWORD) {
    if (!device) return E_POINTER;
    *device = nullptr;
    if (!info) return E_POINTER;
    // Only a record that says what it is may be read as a creation record.
    if (!info->IsKindOf(zr::NMID_CreateDeviceInfo)) return E_INVALIDARG;
    NM_DEVICE_TYPE type = static_cast<NMCreateDeviceInfo*>(info)->m_type;
    if (!m_bOpen) return E_FAIL;

    if (IsEqualGUID(id, zr::IID_INMHddVolume)) {
        if (type != NM_DEVICE_HDD_VOLUME) return E_INVALIDARG;
        HRESULT fault = m_context->faults.Check(Fault::CreateDevice1);
        if (FAILED(fault)) return fault;
        CHddVolume* volume = new (std::nothrow) CHddVolume(m_context);
        if (!volume) return E_OUTOFMEMORY;
        *device = static_cast<INMHddVolume*>(volume);
        return S_OK;
    }
    if (IsEqualGUID(id, zr::IID_INMSecureDevice)) {
        if (type != NM_DEVICE_SECURE) return E_INVALIDARG;
        HRESULT fault = m_context->faults.Check(Fault::CreateDevice3);
        if (FAILED(fault)) return fault;
        CSecureDevice* secure = new (std::nothrow) CSecureDevice(m_context);
        if (!secure) return E_OUTOFMEMORY;
        *device = static_cast<INMSecureDevice*>(secure);
        return S_OK;
    }
    return E_NOINTERFACE;
}

// ---- CServices

HRESULT STDMETHODCALLTYPE CServices::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(id, IID_IUnknown) && !IsEqualGUID(id, zr::IID_INMServices)) return E_NOINTERFACE;
    *object = static_cast<INMServices*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CServices::QueryService(REFGUID service, INMDeviceManager** manager) {
    if (!manager) return E_POINTER;
    *manager = nullptr;
    if (!IsEqualGUID(service, zr::SID_NMDeviceManager)) return E_NOINTERFACE;
    m_pManager->AddRef();
    *manager = m_pManager;
    return S_OK;
}

// ---- CLibrary

CLibrary::CLibrary() : m_context(std::make_shared<CHostContext>()) {
    m_context->faults = CFaults::Load();
    m_pServices = new CServices(new CDeviceManager(m_context));
}

HRESULT STDMETHODCALLTYPE CLibrary::QueryInterface(REFIID id, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(id, IID_IUnknown) && !IsEqualGUID(id, zr::IID_INMLibrary)) return E_NOINTERFACE;
    *object = static_cast<INMLibrary*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLibrary::LoadPlugins(const char* folder) {
    if (!folder) return E_POINTER;
    HRESULT fault = m_context->faults.Check(Fault::LoadPlugins);
    if (FAILED(fault)) return fault;
    // The installer makes "<Program_Path>\Plugins"; without it there is nothing to load.
    DWORD a = GetFileAttributesA(folder);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return S_OK;
}

void STDMETHODCALLTYPE CLibrary::GetServices(INMServices** services) {
    if (!services) return;
    m_pServices->AddRef();
    *services = m_pServices;
}

}  // namespace hostsim
