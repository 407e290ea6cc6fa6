// The binding of the media library component for one job: the library, its
// services and device manager, the secure device, and the HDD volume that a
// step mounts for its walk over a library database.
#pragma once

#include <windows.h>

#include "common/ComRef.h"
#include "engine/NMInterfaces.h"

namespace zr {

class CBuilder {
public:
    CBuilder();
    // Releases whatever is still held: secure device, volume, device manager,
    // services, library.
    virtual ~CBuilder();
    CBuilder(const CBuilder&) = delete;
    CBuilder& operator=(const CBuilder&) = delete;

    // Takes over the library reference on success (always 0 once taken);
    // RC_E_POINTER for none, RC_E_FAIL when a library is already attached, and
    // then the caller keeps its reference.
    HRESULT Attach(INMLibrary* library);
    // Creates and opens the secure device; RC_E_FAIL when it cannot be created,
    // or the negative code of its Open.
    HRESULT CreateSecureDevice();
    // Opens a library database as the HDD volume.
    HRESULT MountHDD(const char* contentsDbPath, const char* pictureFolder);
    // RC_NOTHING_MOUNTED when nothing is mounted, else the code of CloseDatabase.
    HRESULT UnmountHDD();
    static constexpr HRESULT RC_NOTHING_MOUNTED = 1;
    // Job end: unmounts, closes and releases everything; 0.
    HRESULT Detach();

    // The mounted volume, or none: what a step walks after MountHDD.
    INMHddVolume* Volume() const { return m_pHddVolume.Get(); }
    INMSecureDevice* SecureDevice() const { return m_pSecureDevice.Get(); }
    INMDeviceManager* DeviceManager() const { return m_pDeviceManager.Get(); }

private:
    CRef<INMLibrary> m_pLibrary;
    CRef<INMServices> m_pServices;
    CRef<INMDeviceManager> m_pDeviceManager;
    CRef<INMHddVolume> m_pHddVolume;
    CRef<INMSecureDevice> m_pSecureDevice;
};

}  // namespace zr
