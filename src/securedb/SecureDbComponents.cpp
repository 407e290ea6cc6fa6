#include "securedb/SecureDbComponents.h"

#include <cstring>

#include "common/ComponentIds.h"
#include "common/ResultCodes.h"

namespace zr {
namespace {

// The identifier under which the Move component files its export. It is a
// constant, not made per run or per PC, so that a backup made by one run of the
// tool (on this or another PC) is restored by any other run.
constexpr BYTE kMoveIdentifier[8] = {0x5A, 0x52, 0x4D, 0x56, 0x01, 0x00, 0x3C, 0xA7};

constexpr HRESULT kAlreadyBound = 1;

template <class T>
void ReleaseRef(T*& ref) {
    if (!ref) return;
    ref->Release();
    ref = nullptr;
}

// Takes the plug-in for pluginId from the host, loads it and creates the
// component: its instance is queried for componentIid and released at once.
// On failure the plug-in is left in `plugin` only when it was loaded, so the
// caller's Unbind unloads exactly what was loaded.
template <class TComponent>
HRESULT LoadComponent(ISDPluginHost* host, REFGUID pluginId, REFGUID instanceId, REFIID componentIid,
                      ISDPlugin*& plugin, TComponent*& component) {
    ISDPlugin* got = nullptr;
    if (FAILED(host->GetPlugin(pluginId, &got)) || !got) return RC_E_FAIL;
    plugin = got;
    if (FAILED(plugin->Load())) {
        ReleaseRef(plugin);
        return RC_E_FAIL;
    }

    IUnknown* instance = nullptr;
    if (FAILED(plugin->CreateInstance(instanceId, &instance)) || !instance) return RC_E_FAIL;
    TComponent* queried = nullptr;
    const HRESULT hr = instance->QueryInterface(componentIid, reinterpret_cast<void**>(&queried));
    instance->Release();
    if (FAILED(hr) || !queried) return RC_E_FAIL;
    component = queried;
    return RC_OK;
}

}  // namespace

SecureDbComponents::SecureDbComponents()
    : m_bBound(0),
      m_pPluginHost(nullptr),
      m_pPluginA(nullptr),
      m_pInstanceA(nullptr),
      m_pPluginB(nullptr),
      m_pMovePlugin(nullptr),
      m_pComponentA(nullptr),
      m_pComponentB(nullptr),
      m_pMoveComponent(nullptr) {
    std::memcpy(m_moveIdentifier, kMoveIdentifier, sizeof(m_moveIdentifier));
}

SecureDbComponents::~SecureDbComponents() { Unbind(); }

HRESULT SecureDbComponents::Bind(INMSecureDevice* device) {
    if (m_bBound != 0) return kAlreadyBound;
    if (!device) return RC_E_POINTER;
    Unbind();

    ISDPluginHost* host = nullptr;
    if (FAILED(device->QueryInterface(IID_ISDPluginHost, reinterpret_cast<void**>(&host))) || !host) {
        return RC_E_FAIL;
    }
    m_pPluginHost = host;

    // Plug-in A and its instance; component A is optional.
    ISDPlugin* pluginA = nullptr;
    if (FAILED(m_pPluginHost->GetPlugin(SDID_PluginA, &pluginA)) || !pluginA) {
        ReleaseRef(m_pPluginHost);
        return RC_E_FAIL;
    }
    m_pPluginA = pluginA;
    if (FAILED(m_pPluginA->Load())) {
        ReleaseRef(m_pPluginA);  // not loaded: Unbind must not unload it
        Unbind();
        return RC_E_FAIL;
    }
    IUnknown* instanceA = nullptr;
    if (FAILED(m_pPluginA->CreateInstance(SDID_InstanceA, &instanceA)) || !instanceA) {
        Unbind();
        return RC_E_FAIL;
    }
    m_pInstanceA = instanceA;
    ISDComponentA* componentA = nullptr;
    if (SUCCEEDED(m_pInstanceA->QueryInterface(IID_ISDComponentA, reinterpret_cast<void**>(&componentA)))) {
        m_pComponentA = componentA;
    }

    if (FAILED(LoadComponent(m_pPluginHost, SDID_PluginB, SDID_InstanceB, IID_ISDComponentB, m_pPluginB,
                             m_pComponentB))) {
        Unbind();
        return RC_E_FAIL;
    }
    HRESULT hr = m_pComponentB->InitComponent(0);
    if (FAILED(hr)) {
        ReleaseRef(m_pComponentB);  // not initialised: Unbind must not terminate it
        Unbind();
        return hr;
    }

    if (FAILED(LoadComponent(m_pPluginHost, SDID_MovePlugin, SDID_MoveInstance, IID_ISDMoveComponent,
                             m_pMovePlugin, m_pMoveComponent))) {
        Unbind();
        return RC_E_FAIL;
    }
    hr = m_pMoveComponent->InitComponent(0);
    if (FAILED(hr)) {
        ReleaseRef(m_pMoveComponent);
        Unbind();
        return hr;
    }

    m_bBound = 1;
    return RC_OK;
}

HRESULT SecureDbComponents::Unbind() {
    if (m_pComponentB) {
        m_pComponentB->Terminate();
        ReleaseRef(m_pComponentB);
    }
    if (m_pPluginB) {
        m_pPluginB->Unload();
        ReleaseRef(m_pPluginB);
    }
    if (m_pMoveComponent) {
        m_pMoveComponent->Terminate();
        ReleaseRef(m_pMoveComponent);
    }
    if (m_pMovePlugin) {
        m_pMovePlugin->Unload();
        ReleaseRef(m_pMovePlugin);
    }
    ReleaseRef(m_pComponentA);
    ReleaseRef(m_pInstanceA);
    if (m_pPluginA) {
        m_pPluginA->Unload();
        ReleaseRef(m_pPluginA);
    }
    ReleaseRef(m_pPluginHost);
    m_bBound = 0;
    return RC_OK;
}

namespace {

bool IsAllZero(const BYTE (&identifier)[8]) {
    for (BYTE b : identifier) {
        if (b != 0) return false;
    }
    return true;
}

}  // namespace

HRESULT SecureDbComponents::ExportTo(ISDMoveBackupFile* stream) {
    if (!m_pMoveComponent || m_bBound != 1) return RC_E_FAIL;
    if (!stream) return RC_E_INVALIDARG;
    if (IsAllZero(m_moveIdentifier)) return RC_E_FAIL;
    return m_pMoveComponent->ExportTo(stream, m_moveIdentifier, sizeof(m_moveIdentifier));
}

HRESULT SecureDbComponents::ImportFrom(ISDMoveBackupFile* stream) {
    if (!m_pMoveComponent || m_bBound != 1) return RC_E_FAIL;
    if (!stream) return RC_E_INVALIDARG;
    if (IsAllZero(m_moveIdentifier)) return RC_E_FAIL;
    return m_pMoveComponent->ImportFrom(stream, m_moveIdentifier, sizeof(m_moveIdentifier));
}

}  // namespace zr
