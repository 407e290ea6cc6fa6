// The library object that the module's export hands out, its service provider
// and the device manager that creates HDD volumes and the secure device.
#pragma once

#include "engine/NMInterfaces.h"
#include "hostsim/module/ComObject.h"
#include "hostsim/module/HostContext.h"

namespace hostsim {

class CDeviceManager : public INMDeviceManager, private CComObjectBase {
public:
    explicit CDeviceManager(const HostContextPtr& context) : m_context(context) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    void STDMETHODCALLTYPE SetProperty(DWORD id, const char* value) override;
    void STDMETHODCALLTYPE RemoveDevice(IUnknown* device) override;
    HRESULT STDMETHODCALLTYPE Open() override;
    void STDMETHODCALLTYPE Close() override { m_bOpen = false; }
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD reserved1,
                                           DWORD reserved2) override;

private:
    HostContextPtr m_context;
    bool m_bOpen = false;
};

class CServices : public INMServices, private CComObjectBase {
public:
    explicit CServices(CDeviceManager* manager) : m_pManager(manager) {}  // takes the reference
    ~CServices() override { m_pManager->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, INMDeviceManager** manager) override;

private:
    CDeviceManager* m_pManager;
};

class CLibrary : public INMLibrary, private CComObjectBase {
public:
    // Reads the fault switches: they hold for everything this object creates.
    CLibrary();
    ~CLibrary() override { m_pServices->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    HOSTSIM_REFCOUNT

    HRESULT STDMETHODCALLTYPE LoadPlugins(const char* folder) override;
    void STDMETHODCALLTYPE Terminate() override {}
    void STDMETHODCALLTYPE GetServices(INMServices** services) override;

private:
    HostContextPtr m_context;
    CServices* m_pServices;
};

}  // namespace hostsim
