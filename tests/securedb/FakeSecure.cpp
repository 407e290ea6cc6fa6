#include "FakeSecure.h"

#include "common/ComponentIds.h"

namespace zrtest {
namespace {

std::string IdName(REFGUID id) {
    struct Named {
        const GUID* id;
        const char* name;
    };
    static const Named kNames[] = {
        {&IID_IUnknown, "IUnknown"},
        {&zr::IID_ISDPluginHost, "ISDPluginHost"},
        {&zr::IID_ISDPlugin, "ISDPlugin"},
        {&zr::IID_ISDComponentA, "ISDComponentA"},
        {&zr::IID_ISDComponentB, "ISDComponentB"},
        {&zr::IID_ISDMoveComponent, "ISDMoveComponent"},
        {&zr::IID_INMSecureDevice, "INMSecureDevice"},
        {&zr::SDID_PluginA, "PluginA"},
        {&zr::SDID_PluginB, "PluginB"},
        {&zr::SDID_MovePlugin, "MovePlugin"},
        {&zr::SDID_InstanceA, "InstanceA"},
        {&zr::SDID_InstanceB, "InstanceB"},
        {&zr::SDID_MoveInstance, "MoveInstance"},
    };
    for (const Named& n : kNames) {
        if (IsEqualGUID(id, *n.id)) return n.name;
    }
    return "unknown";
}

// QueryInterface of an object that answers its own identifier only.
template <class T>
HRESULT AnswerSelf(bool fails, HRESULT failCode, REFIID id, REFIID own, T* self, CFakeState& state, void** out) {
    *out = nullptr;
    if (fails) return failCode;
    if (!IsEqualGUID(id, own)) return E_NOINTERFACE;
    state.Grab();
    *out = self;
    return S_OK;
}

}  // namespace

bool CFakeState::Call(const std::string& what) {
    std::string entry = m_name + "." + what;
    m_world.m_log.push_back(entry);
    return !m_world.m_failAt.empty() && entry == m_world.m_failAt;
}

ULONG CFakeState::DoAddRef() {
    Call("AddRef");
    return static_cast<ULONG>(++m_nRef);
}

ULONG CFakeState::DoRelease() {
    Call("Release");
    return static_cast<ULONG>(--m_nRef);
}

HRESULT CFakeState::FailCode() const { return m_world.m_failCode; }

HRESULT STDMETHODCALLTYPE CFakeInstance::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    *out = nullptr;
    if (fails) return FailCode();
    if (!IsEqualGUID(id, m_answers)) return E_NOINTERFACE;
    m_objectState.Grab();
    *out = m_object;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFakeDevice::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    *out = nullptr;
    if (fails) return FailCode();
    if (IsEqualGUID(id, zr::IID_ISDPluginHost)) {
        m_host.Grab();
        *out = static_cast<ISDPluginHost*>(&m_host);
        return S_OK;
    }
    if (!IsEqualGUID(id, zr::IID_INMSecureDevice)) return E_NOINTERFACE;
    Grab();
    *out = static_cast<INMSecureDevice*>(this);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFakeDevice::Open(DWORD) { return Call("Open") ? FailCode() : S_OK; }

void STDMETHODCALLTYPE CFakeDevice::Close() { Call("Close"); }

HRESULT STDMETHODCALLTYPE CFakePluginHost::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    return AnswerSelf<ISDPluginHost>(fails, FailCode(), id, zr::IID_ISDPluginHost, this, *this, out);
}

HRESULT STDMETHODCALLTYPE CFakePluginHost::GetPlugin(REFGUID id, ISDPlugin** plugin) {
    bool fails = Call("GetPlugin(" + IdName(id) + ")");
    *plugin = nullptr;
    if (fails) return FailCode();
    CFakePlugin* found = IsEqualGUID(id, zr::SDID_PluginA)      ? &m_world.pluginA
                         : IsEqualGUID(id, zr::SDID_PluginB)    ? &m_world.pluginB
                         : IsEqualGUID(id, zr::SDID_MovePlugin) ? &m_world.pluginMove
                                                                : nullptr;
    if (!found) return E_INVALIDARG;
    found->Grab();
    *plugin = found;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFakePlugin::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    return AnswerSelf<ISDPlugin>(fails, FailCode(), id, zr::IID_ISDPlugin, this, *this, out);
}

HRESULT STDMETHODCALLTYPE CFakePlugin::Load() {
    if (Call("Load")) return FailCode();
    ++m_nLoaded;
    return S_OK;
}

void STDMETHODCALLTYPE CFakePlugin::Unload() {
    Call("Unload");
    --m_nLoaded;
}

HRESULT STDMETHODCALLTYPE CFakePlugin::CreateInstance(REFGUID id, IUnknown** instance) {
    bool fails = Call("CreateInstance(" + IdName(id) + ")");
    *instance = nullptr;
    if (fails) return FailCode();
    m_instance.Grab();
    *instance = &m_instance;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFakeComponentA::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    return AnswerSelf<ISDComponentA>(fails, FailCode(), id, zr::IID_ISDComponentA, this, *this, out);
}

HRESULT STDMETHODCALLTYPE CFakeComponentB::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    return AnswerSelf<ISDComponentB>(fails, FailCode(), id, zr::IID_ISDComponentB, this, *this, out);
}

void STDMETHODCALLTYPE CFakeComponentB::Terminate() {
    Call("Terminate");
    --m_nInitialised;
}

HRESULT STDMETHODCALLTYPE CFakeComponentB::InitComponent(DWORD flags) {
    if (Call("InitComponent(" + std::to_string(flags) + ")")) return FailCode();
    ++m_nInitialised;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::QueryInterface(REFIID id, void** out) {
    bool fails = Call("QueryInterface(" + IdName(id) + ")");
    return AnswerSelf<ISDMoveComponent>(fails, FailCode(), id, zr::IID_ISDMoveComponent, this, *this, out);
}

void STDMETHODCALLTYPE CFakeMoveComponent::Terminate() {
    Call("Terminate");
    --m_nInitialised;
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::InitComponent(DWORD flags) {
    if (Call("InitComponent(" + std::to_string(flags) + ")")) return FailCode();
    ++m_nInitialised;
    return S_OK;
}

HRESULT CFakeMoveComponent::Transfer(const char* what, ISDMoveBackupFile* stream, const BYTE* identifier,
                                     DWORD length) {
    if (Call(what)) return FailCode();
    m_pLastStream = stream;
    m_pLastIdentifier = identifier;
    m_nLastLength = length;
    m_lastIdentifierBytes.assign(reinterpret_cast<const char*>(identifier), length);
    return m_transferResult;
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier,
                                                       DWORD length) {
    return Transfer("ExportTo", stream, identifier, length);
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier,
                                                         DWORD length) {
    return Transfer("ImportFrom", stream, identifier, length);
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::AddMoveContent(const char* filePath) {
    return Call(std::string("AddMoveContent(") + filePath + ")") ? FailCode() : S_OK;
}

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::FinishExport() { return Call("FinishExport") ? FailCode() : S_OK; }

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::ApplyImport() { return Call("ApplyImport") ? FailCode() : S_OK; }

HRESULT STDMETHODCALLTYPE CFakeMoveComponent::EndImport() { return Call("EndImport") ? FailCode() : S_OK; }

CFakeSecure::CFakeSecure()
    : componentA(*this),
      componentB(*this),
      moveComponent(*this),
      instanceA(*this, "instanceA", zr::IID_ISDComponentA, &componentA, componentA),
      instanceB(*this, "instanceB", zr::IID_ISDComponentB, &componentB, componentB),
      instanceMove(*this, "instanceMove", zr::IID_ISDMoveComponent, &moveComponent, moveComponent),
      pluginA(*this, "pluginA", instanceA),
      pluginB(*this, "pluginB", instanceB),
      pluginMove(*this, "pluginMove", instanceMove),
      host(*this),
      device(*this, host) {}

std::vector<CFakeState*> CFakeSecure::All() {
    return {&componentA, &componentB, &moveComponent, &instanceA, &instanceB, &instanceMove,
            &pluginA,    &pluginB,    &pluginMove,    &host,      &device};
}

}  // namespace zrtest
