// The secure components of the media library, bound for one job: the plug-in
// host, three plug-ins, components A and B and the Move component.
#pragma once

#include <windows.h>

#include <cstddef>  // offsetof, used by NMInterfaces.h

#include "engine/NMInterfaces.h"
#include "securedb/SDInterfaces.h"

namespace zr {

class SecureDbComponents {
public:
    SecureDbComponents();
    ~SecureDbComponents();
    SecureDbComponents(const SecureDbComponents&) = delete;
    SecureDbComponents& operator=(const SecureDbComponents&) = delete;

    // 0; 1 when already bound; RC_E_POINTER for an empty device; RC_E_FAIL;
    // or the negative code of a component's InitComponent.
    HRESULT Bind(INMSecureDevice* device);
    // Releases everything in a fixed order; always 0.
    HRESULT Unbind();

    // The Move component's calls, after the checks that must pass first
    // (component held, bound, stream given, identifier not all zero).
    HRESULT ExportTo(ISDMoveBackupFile* stream);
    HRESULT ImportFrom(ISDMoveBackupFile* stream);

    // Handed to the Move component with every export and import; never all zero.
    BYTE m_moveIdentifier[8];
    int m_bBound;
    ISDPluginHost* m_pPluginHost;
    ISDPlugin* m_pPluginA;
    IUnknown* m_pInstanceA;
    ISDPlugin* m_pPluginB;
    ISDPlugin* m_pMovePlugin;
    ISDComponentA* m_pComponentA;
    ISDComponentB* m_pComponentB;
    ISDMoveComponent* m_pMoveComponent;
};

}  // namespace zr
