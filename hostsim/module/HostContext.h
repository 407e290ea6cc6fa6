// State that every object of one library object shares: the fault switches read
// when the library was created and the secure core folder the device manager
// was given. Shared by pointer, so no object needs a reference back to the
// library (and no reference cycle keeps anything alive).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "hostsim/core/Faults.h"

namespace hostsim {

struct CHostContext {
    CFaults faults;
    std::string coreFolder;  // SetProperty(4): where the secure database lives
    bool exporting = false;  // the Move component is between ExportTo and FinishExport
};
using HostContextPtr = std::shared_ptr<CHostContext>;

// Our own devices answer this identifier, so RemoveDevice can tell them apart
// from anything else it is handed.
inline const GUID IID_IHostSimDevice = {0x5b0e7d31, 0x9c2a, 0x4f64, {0x8d, 0x17, 0x2a, 0x44, 0x6e, 0x90, 0x1c, 0x01}};
// Our own pictures answer this identifier with the picture object itself, so a
// track can accept only pictures it can store.
inline const GUID IID_HostSimPicture = {0x5b0e7d31, 0x9c2a, 0x4f64, {0x8d, 0x17, 0x2a, 0x44, 0x6e, 0x90, 0x1c, 0x02}};

struct IHostSimDevice : public IUnknown {
    // The device manager no longer serves the device: drop what it holds open.
    virtual void STDMETHODCALLTYPE OnRemoved() = 0;
};

}  // namespace hostsim
