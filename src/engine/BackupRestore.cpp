#include "engine/BackupRestore.h"

#include <shlwapi.h>

#include <cstring>

#include "app/settings/HostSettings.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/ComRef.h"
#include "common/Trace.h"
#include "engine/SwapBeside.h"

namespace zr {

CBackupRestore::CBackupRestore()
    : m_hMediaLibrary(nullptr), m_bCancelFlag(0), m_bPostProgress(0), m_nProgressDone(0), m_nProgressTotal(0) {}

// The module stays loaded: ReleaseJob unloads it after releasing the binding.
CBackupRestore::~CBackupRestore() = default;

void CBackupRestore::ReadFolders() {
    if (m_bFoldersGiven) return;
    m_bFoldersGiven = true;
    if (CheckTalvaneVersion()) GetTalvaneProgramPath(m_strHostFolder);
    GetNmlProgramPath(m_strLibraryFolder);
    GetMediaPath(m_strPictureFolder);
    m_strPictureFolder += "\\Picture";
}

void CBackupRestore::UseFolders(const EngineFolders& folders) {
    m_strHostFolder = folders.host;
    m_strLibraryFolder = folders.library;
    m_strPictureFolder = folders.picture;
    m_bFoldersGiven = true;
    m_pPlaces.reset();
}

HRESULT CBackupRestore::Initialize(IJobRunner& runner) {
    ReadFolders();

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
    return BindLibrary(library.Detach(), &runner);
}

void CBackupRestore::AttachRunner(IJobRunner& runner) {
    m_pRunner = &runner;
    ReadFolders();
}

HRESULT CBackupRestore::BindLibrary(INMLibrary* library, IJobRunner* runner) {
    m_bCancelFlag = 0;
    m_pRunner = runner;
    ReadFolders();
    HRESULT hr = m_builder.Attach(library);
    if (FAILED(hr)) {
        if (library) library->Release();  // refused: it stays with nobody
        return hr;
    }
    return m_secureDb.Bind(m_builder.SecureDevice());
}

void CBackupRestore::ReleaseJob() {
    m_secureDb.Unbind();
    m_builder.Detach();
    if (m_hMediaLibrary) {
        FreeLibrary(m_hMediaLibrary);
        m_hMediaLibrary = nullptr;
    }
}

const CHostPlaces& CBackupRestore::Places() {
    if (!m_pPlaces) m_pPlaces = std::make_unique<CHostPlaces>(CHostPlaces::Read(GetDatabasesFolder()));
    return *m_pPlaces;
}

bool CBackupRestore::IsCancelRequested() {
    // The runner holds the worker while the user is asked, and says no once
    // the job is committed to its end.
    if (m_pRunner && !m_pRunner->MayCancel()) return false;
    return m_bCancelFlag == 1;
}

HRESULT CBackupRestore::InitBackupDataFolder(const std::string& backupData) {
    std::string folder = backupData;
    RemoveTrailingBackslash(folder);
    // Whatever of an old tree stays (a file held open, a read-only medium)
    // would be taken for part of the new one: the step fails instead, and
    // writes nothing into it.
    DeleteFolder(folder);
    if (!folder.empty() && FitsBuffer(folder + "\\", MAX_PATH) && !PathIsRootA((folder + "\\").c_str()) &&
        GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const DWORD error = RemoveFolderTree(folder);
        if (error != ERROR_SUCCESS) return FolderCreateError(error);
    }
    if (MakeSureFolderPathExists((backupData + "\\").c_str())) return RC_OK;
    return FolderCreateError(GetLastError());
}

HRESULT CBackupRestore::DeleteEarlierBackup(const CBackupPlan& plan) {
    if (IJournal* journal = Journal()) {
        if (!journal->Record(IJournal::Op::Delete, plan.m_strBackupData, std::string())) return RC_E_FAIL;
    }
    DeleteFolder(plan.m_strBackupData);
    const DWORD error = RemoveFolderTree(plan.m_strBackupData);
    return error == ERROR_SUCCESS ? RC_OK : FolderCreateError(error);
}

HRESULT CBackupRestore::BeginBackupTree(CBackupPlan& plan) {
    CSwapBeside tree(plan.m_strBackupData, CSwapBeside::Kind::Folder, Journal());
    const HRESULT hr = tree.Begin();
    if (hr != RC_OK) {
        Trace("\n\nCBackupRestore::BeginBackupTree working folder not made\n\n");
        return FAILED(hr) ? hr : RC_E_FAIL;
    }
    plan.m_strWorkingTree = tree.Working();
    if (m_pRunner) m_pRunner->BackupTreeTouched(plan.m_strWorkingTree);
    return RC_OK;
}

HRESULT CBackupRestore::ReplaceBackupData(CBackupPlan& plan) {
    CSwapBeside tree =
        CSwapBeside::Adopt(plan.m_strBackupData, CSwapBeside::Kind::Folder, Journal(), plan.m_strWorkingTree);
    if (tree.SwapIn() != RC_OK) {
        Trace("\n\nCBackupRestore::ReplaceBackupData the new tree did not take the name\n\n");
        return RC_E_FAIL;
    }
    plan.m_strWorkingTree.clear();
    // The new backup is whole under its name; an earlier one that will not go
    // whole (a file held open, a link the system can remove only through what
    // it leads to) stays beside it under its aside name, and the user is told.
    const std::string aside = tree.Aside();
    if (tree.DropAside() != RC_OK) RecordFailedItem(aside, ItemCode::NotRemoved);
    return RC_OK;
}

void CBackupRestore::RecordFailedItem(INMTrack* track, ItemCode code, int remove) {
    if (!track) return;
    const char* title = track->GetTitle();
    RecordFailedItem(title ? title : "", code);
    if (remove == 1) track->Unregister();
}

void CBackupRestore::RecordFailedItem(const std::string& title, ItemCode code) {
    m_vecFailedItemTitle.push_back(title);
    m_vecFailedItemCode.push_back(code);
}

std::vector<FailedItem> CBackupRestore::FailedItems() const {
    std::vector<FailedItem> items;
    for (std::size_t i = 0; i < m_vecFailedItemTitle.size(); ++i) {
        items.push_back(FailedItem{m_vecFailedItemTitle[i], m_vecFailedItemCode[i]});
    }
    return items;
}

void CBackupRestore::BeginCopyProgress(DWORD total) {
    m_bPostProgress = 1;
    m_nProgressDone = 0;
    m_nProgressTotal = total;
}

std::string CBackupRestore::GetDatabasesFolder() const { return DatabasesFolderOf(m_strLibraryFolder); }

bool IsSecureTrack(INMTrack* track) {
    NM_TRACK_ATTRIBUTES record = {};
    record.cbSize = sizeof(record);
    const NM_TRACK_ATTRIBUTES* attributes = track->GetAttributes(&record);
    return ((attributes ? attributes : &record)->dwFlags & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) != 0;
}

std::vector<std::string> PicturePathsOf(INMTrack* track) {
    std::vector<std::string> paths;
    CRef<INMPictureList> list;
    const DWORD count = QueryRef(track, IID_INMPictureList, list) ? list->GetCount() : 0;
    for (DWORD i = 1; i <= count; ++i) {
        INMPicture* picture = list->GetItem(i);
        const char* path = picture ? picture->GetFilePath() : nullptr;
        if (picture) paths.push_back(path ? path : "");
    }
    return paths;
}

void CBackupRestore::PostProgress(DWORD done, DWORD total) {
    if (m_pRunner) m_pRunner->Progress(done, total);
}

}  // namespace zr
