#include "engine/HostPlaces.h"

#include <windows.h>

#include <shlobj.h>

#include "resource.h"
#include "app/settings/HostSettings.h"
#include "common/BackupTree.h"
#include "common/FolderIdentity.h"
#include "common/PathUtil.h"
#include "common/ResString.h"
#include "engine/SwapBeside.h"

namespace zr {
namespace {

const char kUserPlaylistFallback[] = "ユーザープレイリスト";

std::string UserPlaylistName() {
    std::string name = LoadResString(IDS_USER_PLAYLIST);
    return name.empty() ? kUserPlaylistFallback : name;
}

// The first host keeps its data in the shared folder from 6.7 on.
bool FirstHostUsesSharedLayout(const std::string& hostFolder) {
    DeviceVersion v = ReadDeviceVersion(hostFolder);
    return v.major > 6 || (v.major == 6 && v.minor >= 7);
}

std::string SpecialFolder(int id, BOOL create) {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, id, create)) return std::string();
    return folder;
}

}  // namespace

bool LocateSharedGuiDataPaths(GuiDataLocation& location) {
    const std::string common = SpecialFolder(CSIDL_COMMON_APPDATA, TRUE);
    if (common.empty()) return false;
    const std::string shared = common + "\\Nerith\\SDTL";
    location.playlistFolder = shared + "\\UserPlaylist";
    location.mirsDat = shared + kMirsDatFile;
    location.usrdicDic = shared + kUsrdicDicFile;
    location.ruleDat = shared + kRuleDatFile;
    location.bShared = 1;
    return true;
}

bool LocateFirstHostGuiDataPaths(const std::string& hostFolder, GuiDataLocation& location) {
    std::string programFolder;
    GetTalvaneProgramPath(programFolder);
    if (FirstHostUsesSharedLayout(programFolder)) return LocateSharedGuiDataPaths(location);

    // Relative to nothing these names would land on the drive root.
    if (hostFolder.empty()) return false;
    location.playlistFolder = hostFolder + "\\" + UserPlaylistName();
    location.mirsDat = hostFolder + kMirsDatFile;
    location.usrdicDic = hostFolder + kUsrdicDicFile;
    const std::string appData = SpecialFolder(CSIDL_APPDATA, FALSE);
    location.ruleDat = appData.empty() ? std::string() : appData + "\\SDTalvane" + kRuleDatFile;
    location.bShared = 0;
    return true;
}

std::vector<GuiDataLocation> InstalledGuiData() {
    std::vector<GuiDataLocation> result;
    GuiDataLocation location;
    bool sharedTaken = false;
    if (CheckTalvaneVersion()) {
        std::string hostFolder;
        GetTalvaneProgramPath(hostFolder);
        if (LocateFirstHostGuiDataPaths(hostFolder, location)) {
            sharedTaken = location.bShared == 1;
            result.push_back(location);
        }
    }
    if (!sharedTaken && CheckCorvellVersion() && LocateSharedGuiDataPaths(location)) result.push_back(location);
    return result;
}

CHostPlaces CHostPlaces::Read() { return Read(GetLiveDatabasesFolder()); }

CHostPlaces CHostPlaces::Read(const std::string& liveDatabases) {
    CHostPlaces places(liveDatabases, InstalledGuiData());
    // What the host runs from: its programs, the media library with its
    // module, and the secure core with the rights.
    std::string folder;
    if (GetTalvaneProgramPath(folder)) places.AddHostFolder(folder);
    folder.clear();
    if (GetCorvellProgramPath(folder)) places.AddHostFolder(folder);
    folder.clear();
    GetNmlProgramPath(folder);
    places.AddHostFolder(folder);
    folder.clear();
    GetCoreProgramPath(folder);
    places.AddHostFolder(folder);
    return places;
}

void CHostPlaces::AddHostFolder(std::string folder) {
    RemoveTrailingBackslash(folder);
    const std::string form = ComparablePath(folder);
    if (form.empty()) return;
    m_hostFolders.push_back(form);
    m_hostFolderPaths.push_back(folder);
}

CHostPlaces::CHostPlaces(const std::string& liveDatabases, const std::vector<GuiDataLocation>& guiData)
    : m_liveDatabasesPath(liveDatabases), m_liveDatabases(ComparablePath(liveDatabases)), m_guiData(guiData) {
    for (const GuiDataLocation& location : guiData) {
        for (const std::string* item : {&location.playlistFolder, &location.mirsDat, &location.usrdicDic,
                                        &location.ruleDat}) {
            const std::string form = ComparablePath(*item);
            if (form.empty()) continue;
            m_guiItems.push_back(form);
            m_guiPaths.push_back(*item);
        }
    }
    // The folders beside the live one that a restore made are places too;
    // those that are there now are compared by what they are as well.
    if (!m_liveDatabases.empty()) {
        const std::string parent = FolderPart(m_liveDatabasesPath);
        WIN32_FIND_DATAA data;
        HANDLE find = FitsBuffer(parent + "\\*", MAX_PATH) ? FindFirstFileA((parent + "\\*").c_str(), &data)
                                                             : INVALID_HANDLE_VALUE;
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string sibling = parent + "\\" + data.cFileName;
                if (IsBesideNameOf(ComparablePath(sibling), m_liveDatabases)) m_besidePaths.push_back(sibling);
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
    }
}

bool CHostPlaces::IsInsidePlace(const std::string& item) const {
    const std::string form = ComparablePath(item);
    if (form.empty()) return false;
    if (IsSameOrBelow(form, m_liveDatabases)) return true;
    if (IsBesideNameOf(form, m_liveDatabases)) return true;
    for (const std::string& place : m_guiItems) {
        if (IsSameOrBelow(form, place)) return true;
    }
    // The same folders under a second name: another drive letter, a link.
    if (!m_liveDatabasesPath.empty() && m_ids.IsSameOrInside(item, m_liveDatabasesPath)) return true;
    for (const std::vector<std::string>* places : {&m_besidePaths, &m_guiPaths}) {
        for (const std::string& place : *places) {
            if (m_ids.IsSameOrInside(item, place)) return true;
        }
    }
    return false;
}

bool CHostPlaces::HasPlaceInside(const std::string& folder) const {
    const std::string form = ComparablePath(folder);
    if (form.empty()) return false;
    if (IsSameOrBelow(m_liveDatabases, form)) return true;
    for (const std::string& place : m_guiItems) {
        if (IsSameOrBelow(place, form)) return true;
    }
    for (const std::string& place : m_hostFolders) {
        if (IsSameOrBelow(place, form)) return true;
    }
    if (!m_liveDatabasesPath.empty() && m_ids.IsSameOrInside(m_liveDatabasesPath, folder)) return true;
    for (const std::vector<std::string>* places : {&m_guiPaths, &m_hostFolderPaths}) {
        for (const std::string& place : *places) {
            if (m_ids.IsSameOrInside(place, folder)) return true;
        }
    }
    return false;
}

bool CHostPlaces::IsRefusedRestoreSource(const std::string& backupData) const {
    return IsInsidePlace(backupData) || HasPlaceInside(backupData);
}

bool CHostPlaces::IsRefusedRestoreDestination(const std::string& restoreTo, const std::string& backupData) const {
    if (restoreTo.empty()) return true;
    return IsSameOrBelow(ComparablePath(restoreTo), ComparablePath(backupData)) ||
           m_ids.IsSameOrInside(restoreTo, backupData) || IsInsidePlace(restoreTo);
}

bool CHostPlaces::IsRefusedBackupTarget(const std::string& backupData) const { return IsInsidePlace(backupData); }

bool CHostPlaces::IsSameOrInside(const std::string& item, const std::string& folder) const {
    return m_ids.IsSameOrInside(item, folder);
}

}  // namespace zr
