#include "securedb/SecureDbComponents.h"

#include <cstring>
#include <utility>

#include "common/ComponentIds.h"
#include "common/ResultCodes.h"

namespace zr {
namespace {

// The identifier under which the Move component files its export. It is a
// constant, not made per run or per PC, so that a backup made by one run of the
// tool (on this or another PC) is restored by any other run.
constexpr BYTE kMoveIdentifier[8] = {0x5A, 0x52, 0x4D, 0x56, 0x01, 0x00, 0x3C, 0xA7};

constexpr HRESULT kAlreadyBound = 1;

// Takes the plug-in for pluginId from the host, loads it and creates the
// component: its instance is queried for componentIid and released at once.
// On failure the plug-in is left in `plugin` only when it was loaded, so the
// caller's Unbind unloads exactly what was loaded.
template <class TComponent>
HRESULT LoadComponent(ISDPluginHost* host, REFGUID pluginId, REFGUID instanceId, REFIID componentIid,
                      CRef<ISDPlugin>& plugin, CRef<TComponent>& component) {
    CRef<ISDPlugin> got;
    if (FAILED(host->GetPlugin(pluginId, got.Put())) || !got) {
        got.Detach();  // a failing call may leave garbage in the slot
        return RC_E_FAIL;
    }
    if (FAILED(got->Load())) return RC_E_FAIL;
    plugin = std::move(got);

    CRef<IUnknown> instance;
    if (FAILED(plugin->CreateInstance(instanceId, instance.Put())) || !instance) {
        instance.Detach();
        return RC_E_FAIL;
    }
    return QueryRef(instance.Get(), componentIid, component) ? RC_OK : RC_E_FAIL;
}

}  // namespace

SecureDbComponents::SecureDbComponents() : m_bBound(0) {
    std::memcpy(m_moveIdentifier, kMoveIdentifier, sizeof(m_moveIdentifier));
}

SecureDbComponents::~SecureDbComponents() { Unbind(); }

HRESULT SecureDbComponents::Bind(INMSecureDevice* device) {
    if (m_bBound != 0) return kAlreadyBound;
    if (!device) return RC_E_POINTER;
    Unbind();

    if (!QueryRef(device, IID_ISDPluginHost, m_pPluginHost)) return RC_E_FAIL;

    // Plug-in A and its instance; component A is optional.
    CRef<ISDPlugin> pluginA;
    if (FAILED(m_pPluginHost->GetPlugin(SDID_PluginA, pluginA.Put())) || !pluginA) {
        pluginA.Detach();
        m_pPluginHost.Reset();
        return RC_E_FAIL;
    }
    if (FAILED(pluginA->Load())) {
        pluginA.Reset();  // not loaded: Unbind must not unload it
        Unbind();
        return RC_E_FAIL;
    }
    m_pPluginA = std::move(pluginA);
    if (FAILED(m_pPluginA->CreateInstance(SDID_InstanceA, m_pInstanceA.Put())) || !m_pInstanceA) {
        m_pInstanceA.Detach();
        Unbind();
        return RC_E_FAIL;
    }
    QueryRef(m_pInstanceA.Get(), IID_ISDComponentA, m_pComponentA);

    if (FAILED(LoadComponent(m_pPluginHost.Get(), SDID_PluginB, SDID_InstanceB, IID_ISDComponentB, m_pPluginB,
                             m_pComponentB))) {
        Unbind();
        return RC_E_FAIL;
    }
    HRESULT hr = m_pComponentB->InitComponent(0);
    if (FAILED(hr)) {
        m_pComponentB.Reset();  // not initialised: Unbind must not terminate it
        Unbind();
        return hr;
    }

    if (FAILED(LoadComponent(m_pPluginHost.Get(), SDID_MovePlugin, SDID_MoveInstance, IID_ISDMoveComponent,
                             m_pMovePlugin, m_pMoveComponent))) {
        Unbind();
        return RC_E_FAIL;
    }
    hr = m_pMoveComponent->InitComponent(0);
    if (FAILED(hr)) {
        m_pMoveComponent.Reset();
        Unbind();
        return hr;
    }

    m_bBound = 1;
    return RC_OK;
}

HRESULT SecureDbComponents::Unbind() {
    if (m_pComponentB) {
        m_pComponentB->Terminate();
        m_pComponentB.Reset();
    }
    if (m_pPluginB) {
        m_pPluginB->Unload();
        m_pPluginB.Reset();
    }
    if (m_pMoveComponent) {
        m_pMoveComponent->Terminate();
        m_pMoveComponent.Reset();
    }
    if (m_pMovePlugin) {
        m_pMovePlugin->Unload();
        m_pMovePlugin.Reset();
    }
    m_pComponentA.Reset();
    m_pInstanceA.Reset();
    if (m_pPluginA) {
        m_pPluginA->Unload();
        m_pPluginA.Reset();
    }
    m_pPluginHost.Reset();
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

HRESULT SecureDbComponents::AddMoveContent(const char* filePath) {
    return m_pMoveComponent ? m_pMoveComponent->AddMoveContent(filePath) : RC_E_FAIL;
}

HRESULT SecureDbComponents::FinishExport() { return m_pMoveComponent ? m_pMoveComponent->FinishExport() : RC_E_FAIL; }

HRESULT SecureDbComponents::ApplyImport() { return m_pMoveComponent ? m_pMoveComponent->ApplyImport() : RC_E_FAIL; }

HRESULT SecureDbComponents::EndImport() { return m_pMoveComponent ? m_pMoveComponent->EndImport() : RC_E_FAIL; }

}  // namespace zr
