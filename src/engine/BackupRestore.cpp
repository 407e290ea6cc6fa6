#include "engine/BackupRestore.h"

#include "app/HostSettings.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/ComRef.h"
#include "engine/EngineMessages.h"

namespace zr {

CBackupRestore::CBackupRestore()
    : m_hMediaLibrary(nullptr),
      m_bCancelFlag(0),
      m_bPostProgress(0),
      m_nProgressDone(0),
      m_nProgressTotal(0),
      m_hNotifyWnd(nullptr) {}

// The module stays loaded: the job runner unloads it after releasing the binding.
CBackupRestore::~CBackupRestore() = default;

HRESULT CBackupRestore::Initialize(HWND notifyWnd) {
    m_bCancelFlag = 0;
    m_hNotifyWnd = notifyWnd;

    if (CheckTalvaneVersion()) GetTalvaneProgramPath(m_strHostFolder);
    GetNmlProgramPath(m_strLibraryFolder);
    GetMediaPath(m_strPictureFolder);
    m_strPictureFolder += "\\Picture";

    // Without a library folder the name would resolve against the drive root,
    // where no module of the host belongs.
    CRef<INMLibrary> library;
    if (!m_strLibraryFolder.empty()) {
        m_hMediaLibrary = LoadLibraryA((m_strLibraryFolder + "\\NerithMediaLibrary.dll").c_str());
    }
    if (m_hMediaLibrary) {
        auto entry = reinterpret_cast<NerithMediaLibraryInterfaceProc>(
            reinterpret_cast<void*>(GetProcAddress(m_hMediaLibrary, "NerithMediaLibraryInterface")));
        HRESULT hr = entry ? entry(library.Put()) : RC_E_FAIL;
        if (FAILED(hr) || !library) {
            library.Detach();  // a failing export leaves no reference of ours
            FreeLibrary(m_hMediaLibrary);
            m_hMediaLibrary = nullptr;
        }
    }

    HRESULT hr = m_builder.Attach(library.Get());
    if (FAILED(hr)) return hr;
    library.Detach();  // now held by m_builder

    return m_secureDb.Bind(m_builder.m_pSecureDevice);
}

HRESULT CBackupRestore::InitBackupDataFolder(const std::string& backupData) {
    DeleteFolder(backupData);
    if (MakeSureFolderPathExists((backupData + "\\").c_str())) return RC_OK;
    return FolderCreateError(GetLastError());
}

void CBackupRestore::RecordFailedItem(INMTrack* track, HRESULT code, int remove) {
    if (!track) return;
    const char* title = track->GetTitle();
    m_vecFailedItemTitle.push_back(title ? title : "");
    m_vecFailedItemCode.push_back(code);
    if (remove == 1) track->Unregister();
}

std::string CBackupRestore::GetDatabasesFolder() const {
    std::string folder = m_strLibraryFolder + "\\databases";
    std::string relocated;
    FindNewDbPath(folder, relocated);
    return relocated.empty() ? folder : relocated;
}

void CBackupRestore::PostProgress(DWORD done, DWORD total) {
    // Without a dialog there is nobody to tell; a null window would post into
    // the worker's own queue, which nobody reads.
    if (m_hNotifyWnd) PostMessageA(m_hNotifyWnd, WM_BR_PROGRESS, done, total);
}

}  // namespace zr
