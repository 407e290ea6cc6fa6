#include "engine/BackupRestore.h"

#include <shlwapi.h>

#include <cstring>

#include "app/settings/HostSettings.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/ComRef.h"
#include "engine/EngineMessages.h"

namespace zr {
namespace {

bool IsDots(const char* name) { return !strcmp(name, ".") || !strcmp(name, ".."); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file that is still there after the system accepted its deletion (Wine on a
// read-only medium): opening it for writing tells why.
DWORD WhyFileStays(const std::string& file) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return ERROR_GEN_FAILURE;
}

// Removes what is left of a tree, deepest first; the system's error for the
// first item that would not go, or ERROR_SUCCESS when the whole tree is gone.
DWORD RemoveRemains(const std::string& folder) {
    DWORD firstError = ERROR_SUCCESS;
    const std::string pattern = folder + "\\*";
    if (!FitsBuffer(pattern, MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(data.cFileName)) continue;
            const std::string item = folder + "\\" + data.cFileName;
            DWORD error = ERROR_SUCCESS;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link is removed, never followed into what it points at.
                const bool removed = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(item.c_str())
                                                                                        : DeleteFileA(item.c_str());
                if (!removed) error = GetLastError();
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                error = RemoveRemains(item);
            } else if (!DeleteFileA(item.c_str())) {
                error = GetLastError();
            } else if (Exists(item)) {
                error = WhyFileStays(item);
            }
            if (firstError == ERROR_SUCCESS) firstError = error;
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    if (!RemoveDirectoryA(folder.c_str())) {
        if (firstError == ERROR_SUCCESS) firstError = GetLastError();
    } else if (Exists(folder) && firstError == ERROR_SUCCESS) {
        firstError = ERROR_GEN_FAILURE;
    }
    return firstError;
}

}  // namespace

CBackupRestore::CBackupRestore()
    : m_hMediaLibrary(nullptr),
      m_bCancelFlag(0),
      m_hNotifyWnd(nullptr),
      m_bPostProgress(0),
      m_nProgressDone(0),
      m_nProgressTotal(0) {}

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

    return m_secureDb.Bind(m_builder.m_pSecureDevice.Get());
}

HRESULT CBackupRestore::InitBackupDataFolder(const std::string& backupData) {
    DeleteFolder(backupData);
    // Whatever of an old backup stays (a file held open, a read-only medium)
    // would be taken for part of the new one: the step fails instead, and
    // writes nothing into it. The shell does not say why, so what is left is
    // removed once more to learn the system's error.
    std::string folder = backupData;
    RemoveTrailingBackslash(folder);
    if (!folder.empty() && FitsBuffer(folder + "\\", MAX_PATH) && !PathIsRootA((folder + "\\").c_str()) &&
        GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const DWORD error = RemoveRemains(folder);
        if (error != ERROR_SUCCESS) return FolderCreateError(error);
    }
    if (MakeSureFolderPathExists((backupData + "\\").c_str())) return RC_OK;
    return FolderCreateError(GetLastError());
}

void CBackupRestore::RecordFailedItem(INMTrack* track, HRESULT code, int remove) {
    if (!track) return;
    const char* title = track->GetTitle();
    RecordFailedItem(title ? title : "", code);
    if (remove == 1) track->Unregister();
}

void CBackupRestore::RecordFailedItem(const std::string& title, HRESULT code) {
    m_vecFailedItems.push_back(FailedItem{title, code});
}

std::vector<std::string> CBackupRestore::FailedTitles() const {
    std::vector<std::string> titles;
    for (const FailedItem& item : m_vecFailedItems) titles.push_back(item.title);
    return titles;
}

std::vector<HRESULT> CBackupRestore::FailedCodes() const {
    std::vector<HRESULT> codes;
    for (const FailedItem& item : m_vecFailedItems) codes.push_back(item.code);
    return codes;
}

void CBackupRestore::BeginCopyProgress(DWORD total) {
    m_bPostProgress = 1;
    m_nProgressDone = 0;
    m_nProgressTotal = total;
}

void CBackupRestore::EndCopyProgress() { m_bPostProgress = 0; }

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
    // Without a dialog there is nobody to tell; a null window would post into
    // the worker's own queue, which nobody reads.
    if (m_hNotifyWnd) PostMessageA(m_hNotifyWnd, WM_BR_PROGRESS, done, total);
}

}  // namespace zr
