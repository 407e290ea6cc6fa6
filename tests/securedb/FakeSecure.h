// In-process stand-ins for the secure device and the components behind it.
// Every call made on them goes into one ordered log ("pluginA.Load",
// "host.GetPlugin(PluginB)", ...), and any logged call can be told to fail.
// Each object starts with one reference, held by the fake itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/NMInterfaces.h"
#include "securedb/SDInterfaces.h"

namespace zrtest {

class CFakeSecure;

// Counting and logging shared by every fake object.
class CFakeState {
public:
    CFakeState(CFakeSecure& world, const char* name) : m_name(name), m_world(world) {}
    virtual ~CFakeState() = default;

    // Hands out one reference without logging it: the fake's own doing.
    void Grab() { ++m_nRef; }

    std::string m_name;
    LONG m_nRef = 1;
    int m_nLoaded = 0;       // successful Load less Unload
    int m_nInitialised = 0;  // successful InitComponent less Terminate

protected:
    // Logs "name.what"; true when this very call is to fail.
    bool Call(const std::string& what);
    ULONG DoAddRef();
    ULONG DoRelease();
    HRESULT FailCode() const;

    CFakeSecure& m_world;
};

// Answers QueryInterface for one identifier with a given object.
class CFakeInstance : public IUnknown, public CFakeState {
public:
    CFakeInstance(CFakeSecure& world, const char* name, REFIID answers, IUnknown* object, CFakeState& state)
        : CFakeState(world, name), m_answers(answers), m_object(object), m_objectState(state) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

private:
    GUID m_answers;
    IUnknown* m_object;
    CFakeState& m_objectState;
};

class CFakePluginHost : public ISDPluginHost, public CFakeState {
public:
    explicit CFakePluginHost(CFakeSecure& world) : CFakeState(world, "host") {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE GetPlugin(REFGUID id, ISDPlugin** plugin) override;
};

class CFakeDevice : public INMSecureDevice, public CFakeState {
public:
    CFakeDevice(CFakeSecure& world, CFakePluginHost& host) : CFakeState(world, "device"), m_host(host) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE Open(DWORD) override;
    void STDMETHODCALLTYPE Close() override;

private:
    CFakePluginHost& m_host;
};

class CFakePlugin : public ISDPlugin, public CFakeState {
public:
    CFakePlugin(CFakeSecure& world, const char* name, CFakeInstance& instance)
        : CFakeState(world, name), m_instance(instance) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE Load() override;
    void STDMETHODCALLTYPE Unload() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(REFGUID id, IUnknown** instance) override;

private:
    CFakeInstance& m_instance;
};

class CFakeComponentA : public ISDComponentA, public CFakeState {
public:
    explicit CFakeComponentA(CFakeSecure& world) : CFakeState(world, "componentA") {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
};

class CFakeComponentB : public ISDComponentB, public CFakeState {
public:
    explicit CFakeComponentB(CFakeSecure& world) : CFakeState(world, "componentB") {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    DWORD STDMETHODCALLTYPE GetComponentVersion() override { return 1; }
    void STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;
};

class CFakeMoveComponent : public ISDMoveComponent, public CFakeState {
public:
    explicit CFakeMoveComponent(CFakeSecure& world) : CFakeState(world, "moveComponent") {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    DWORD STDMETHODCALLTYPE GetComponentVersion() override { return 1; }
    void STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE AddMoveContent(const char* filePath) override;
    HRESULT STDMETHODCALLTYPE FinishExport() override;
    HRESULT STDMETHODCALLTYPE ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE ApplyImport() override;
    HRESULT STDMETHODCALLTYPE EndImport() override;

    // What the last ExportTo or ImportFrom was given, and what it answers.
    ISDMoveBackupFile* m_pLastStream = nullptr;
    const BYTE* m_pLastIdentifier = nullptr;
    std::string m_lastIdentifierBytes;
    DWORD m_nLastLength = 0;
    HRESULT m_transferResult = S_OK;

private:
    HRESULT Transfer(const char* what, ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length);
};

class CFakeSecure {
public:
    CFakeSecure();
    CFakeSecure(const CFakeSecure&) = delete;
    CFakeSecure& operator=(const CFakeSecure&) = delete;

    // The call (as logged) that is to fail, and the code it fails with.
    void FailAt(const std::string& call, HRESULT code) {
        m_failAt = call;
        m_failCode = code;
    }
    void FailNothing() { m_failAt.clear(); }

    // Every object, for checks that must hold for all of them.
    std::vector<CFakeState*> All();

    std::vector<std::string> m_log;
    std::string m_failAt;
    HRESULT m_failCode = E_FAIL;

    CFakeComponentA componentA;
    CFakeComponentB componentB;
    CFakeMoveComponent moveComponent;
    CFakeInstance instanceA;
    CFakeInstance instanceB;
    CFakeInstance instanceMove;
    CFakePlugin pluginA;
    CFakePlugin pluginB;
    CFakePlugin pluginMove;
    CFakePluginHost host;
    CFakeDevice device;
};

}  // namespace zrtest
