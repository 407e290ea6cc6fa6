// The secure components of the media library, bound for one job: the plug-in
// host, three plug-ins, components A and B and the Move component.
#pragma once

#include <windows.h>

#include <cstddef>  // offsetof, used by NMInterfaces.h

#include "common/ComRef.h"
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
    // The rest of an export or an import; RC_E_FAIL without a Move component.
    HRESULT AddMoveContent(const char* filePath);
    HRESULT FinishExport();
    HRESULT ApplyImport();
    HRESULT EndImport();

    // Handed to the Move component with every export and import; never all zero.
    BYTE m_moveIdentifier[8];
    int m_bBound;
    CRef<ISDPluginHost> m_pPluginHost;
    CRef<ISDPlugin> m_pPluginA;
    CRef<IUnknown> m_pInstanceA;
    CRef<ISDPlugin> m_pPluginB;
    CRef<ISDPlugin> m_pMovePlugin;
    CRef<ISDComponentA> m_pComponentA;
    CRef<ISDComponentB> m_pComponentB;
    CRef<ISDMoveComponent> m_pMoveComponent;
};

}  // namespace zr
