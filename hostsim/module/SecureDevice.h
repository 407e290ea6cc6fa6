// The secure device and the secure components reached through it: three
// plug-ins, their instances, and the Move component that saves and loads the
// rights database through the backup stream.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "engine/NMInterfaces.h"
#include "hostsim/core/RightsDb.h"
#include "hostsim/module/ComObject.h"
#include "hostsim/module/HostContext.h"
#include "securedb/SDInterfaces.h"

namespace hostsim {

class CSecureDevice : public INMSecureDevice, public ISDPluginHost, public IHostSimDevice, private CComObjectBase {
public:
    explicit CSecureDevice(const HostContextPtr& context) : m_context(context) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    HRESULT STDMETHODCALLTYPE Open(DWORD flags) override;
    void STDMETHODCALLTYPE Close() override { m_bOpen = false; }
    HRESULT STDMETHODCALLTYPE GetPlugin(REFGUID id, ISDPlugin** plugin) override;
    void STDMETHODCALLTYPE OnRemoved() override { m_bOpen = false; }

private:
    HostContextPtr m_context;
    bool m_bOpen = false;
};

class CPlugin : public ISDPlugin, private CComObjectBase {
public:
    CPlugin(const HostContextPtr& context, const GUID& instanceId) : m_context(context), m_instanceId(instanceId) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    HRESULT STDMETHODCALLTYPE Load() override;
    void STDMETHODCALLTYPE Unload() override { m_bLoaded = false; }
    HRESULT STDMETHODCALLTYPE CreateInstance(REFGUID id, IUnknown** instance) override;

private:
    HostContextPtr m_context;
    GUID m_instanceId;  // the one instance this plug-in makes
    bool m_bLoaded = false;
};

// The first plug-in's instance: offers ISDComponentA, which has no operations.
class CInstanceA : public ISDComponentA, private CComObjectBase {
public:
    explicit CInstanceA(const HostContextPtr& context) : m_context(context) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

private:
    HostContextPtr m_context;
};

class CComponentB : public ISDComponentB, private CComObjectBase {
public:
    explicit CComponentB(const HostContextPtr& context) : m_context(context) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    DWORD STDMETHODCALLTYPE GetComponentVersion() override { return 0x00010000; }
    void STDMETHODCALLTYPE Terminate() override { m_bInitialized = false; }
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;

private:
    HostContextPtr m_context;
    bool m_bInitialized = false;
};

// Export: ExportTo writes the file header, AddMoveContent collects the rights
// record of each named file, FinishExport writes them as one record and ends
// the file. Import: ImportFrom reads and checks the whole file, ApplyImport
// replaces the rights database with its records in one transaction, EndImport
// forgets them. The stream is held only from ExportTo to FinishExport.
class CMoveComponent : public ISDMoveComponent, private CComObjectBase {
public:
    explicit CMoveComponent(const HostContextPtr& context) : m_context(context) {}
    ~CMoveComponent() override { Reset(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    DWORD STDMETHODCALLTYPE GetComponentVersion() override { return 0x00010000; }
    void STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE AddMoveContent(const char* filePath) override;
    HRESULT STDMETHODCALLTYPE FinishExport() override;
    HRESULT STDMETHODCALLTYPE ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE ApplyImport() override;
    HRESULT STDMETHODCALLTYPE EndImport() override;

private:
    enum State { kIdle, kExporting, kImporting };

    HRESULT ReadBackup(ISDMoveBackupFile* stream, const BYTE* identifier, std::vector<RightsRecord>& records);
    // Back to idle: the stream released, the rights database closed, records dropped.
    void Reset();

    HostContextPtr m_context;
    bool m_bInitialized = false;
    State m_state = kIdle;
    ISDMoveBackupFile* m_pStream = nullptr;  // one reference while exporting
    CRightsDb m_rights;                      // open while exporting, when the core has a rights file
    std::vector<RightsRecord> m_records;     // collected (export) or read (import)
    std::set<std::string> m_keys;            // paths already collected, ASCII upper case
};

}  // namespace hostsim
