#include "engine/Builder.h"

#include <string>
#include <utility>

#include "app/settings/HostSettings.h"
#include "common/ComRef.h"
#include "common/ResultCodes.h"

namespace zr {
namespace {

const char kDefaultCoreFolder[] = "C:\\Program Files\\Common Files\\Nerith\\Kovex\\";

}  // namespace

CBuilder::CBuilder() = default;

CBuilder::~CBuilder() {
    m_pSecureDevice.Reset();
    m_pHddVolume.Reset();
    m_pDeviceManager.Reset();
    m_pServices.Reset();
    m_pLibrary.Reset();
}

HRESULT CBuilder::Attach(INMLibrary* library) {
    if (!library) return RC_E_POINTER;
    if (m_pLibrary) return RC_E_FAIL;

    m_pLibrary.Attach(library);
    m_pLibrary->GetServices(m_pServices.Put());

    // Read afresh: the plug-ins lie below the library's own program folder.
    std::string plugins;
    GetNmlProgramPath(plugins);
    plugins += "\\Plugins";
    if (FAILED(m_pLibrary->LoadPlugins(plugins.c_str()))) return RC_OK;
    if (!m_pServices) return RC_OK;

    // Failures from here on show as a missing secure device when the secure
    // components are bound.
    CRef<INMDeviceManager> manager;
    if (FAILED(m_pServices->QueryService(SID_NMDeviceManager, manager.Put())) || !manager) {
        manager.Detach();  // a failing query may leave garbage in the slot
        return RC_OK;
    }
    m_pDeviceManager = std::move(manager);
    if (FAILED(m_pDeviceManager->Open())) return RC_OK;
    CreateSecureDevice();
    return RC_OK;
}

HRESULT CBuilder::CreateSecureDevice() {
    if (!m_pDeviceManager) return RC_E_POINTER;
    if (m_pSecureDevice) return RC_E_FAIL;

    NMCreateDeviceInfo info(NM_DEVICE_SECURE);
    CRef<INMSecureDevice> device;
    if (m_pDeviceManager->CreateDevice(IID_INMSecureDevice, &info, device.PutVoid(), 0, 0) != RC_OK || !device) {
        return RC_E_FAIL;
    }
    m_pSecureDevice = std::move(device);

    std::string core;
    GetCoreProgramPath(core);
    if (core.empty()) core = kDefaultCoreFolder;
    m_pDeviceManager->SetProperty(NM_PROP_CORE_FOLDER, core.c_str());

    HRESULT hr = m_pSecureDevice->Open(0);
    if (FAILED(hr)) {
        m_pDeviceManager->RemoveDevice(m_pSecureDevice.Get());
        m_pSecureDevice.Reset();
    }
    return hr;
}

HRESULT CBuilder::MountHDD(const char* contentsDbPath, const char* pictureFolder) {
    if (!contentsDbPath || !pictureFolder) return RC_E_POINTER;
    if (m_pHddVolume) return RC_E_FAIL;
    if (!m_pDeviceManager) return RC_E_POINTER;

    NMCreateDeviceInfo info(NM_DEVICE_HDD_VOLUME);
    CRef<INMHddVolume> volume;
    HRESULT hr = m_pDeviceManager->CreateDevice(IID_INMHddVolume, &info, volume.PutVoid(), 0, 0);
    if (FAILED(hr)) return hr;
    if (!volume) return RC_E_FAIL;
    m_pHddVolume = std::move(volume);

    {
        CRef<INMVolumeSettings> settings;
        if (QueryRef(m_pHddVolume.Get(), IID_INMVolumeSettings, settings)) settings->SetPictureFolder(pictureFolder);
    }

    hr = m_pHddVolume->OpenDatabase(contentsDbPath);
    if (FAILED(hr)) {
        m_pDeviceManager->RemoveDevice(m_pHddVolume.Get());
        m_pHddVolume.Reset();
    }
    return hr;
}

HRESULT CBuilder::UnmountHDD() {
    if (!m_pHddVolume) return RC_NOTHING_MOUNTED;
    HRESULT hr = m_pHddVolume->CloseDatabase();
    if (SUCCEEDED(hr)) {
        if (m_pDeviceManager) m_pDeviceManager->RemoveDevice(m_pHddVolume.Get());
        m_pHddVolume.Reset();
    }
    return hr;
}

HRESULT CBuilder::Detach() {
    UnmountHDD();
    // A volume that would not close is still let go here: the module is
    // unloaded right after the job, and nothing may call into it later.
    m_pHddVolume.Reset();
    if (m_pSecureDevice) {
        m_pSecureDevice->Close();
        m_pSecureDevice.Reset();
    }
    if (m_pDeviceManager) m_pDeviceManager->Close();
    if (m_pLibrary) m_pLibrary->Terminate();
    m_pDeviceManager.Reset();
    m_pServices.Reset();
    m_pLibrary.Reset();
    return RC_OK;
}

}  // namespace zr
