// The hosts' GUI data: user playlists, "mirs.dat", the user dictionary and the
// rule file, backed up into GUI(new) / GUI(old) and put back on restore.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include "app/HostSettings.h"
#include "common/PathUtil.h"
#include "common/ResString.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"

namespace zr {
namespace {

// String 106 of the tool's string table: the host's own name of its playlist folder.
constexpr UINT kUserPlaylistStringId = 106;
const char kUserPlaylistFallback[] = "ユーザープレイリスト";

const char kGuiNew[] = "\\GUI(new)";
const char kGuiOld[] = "\\GUI(old)";
const char kTalvane[] = "\\Talvane";
const char kUpl[] = "\\UPL";
const char kMirsDat[] = "\\mirs.dat";
const char kUsrdicDic[] = "\\usrdic.dic";
const char kRuleDat[] = "\\SDProducerRule.dat";

// RestoreGuiData's answer for a backup without GUI data; the job reports it like a cancel.
constexpr HRESULT kNoGuiData = 1;

std::string UserPlaylistName() {
    std::string name = LoadResString(kUserPlaylistStringId);
    return name.empty() ? kUserPlaylistFallback : name;
}

// Layout of the first host: shared from 6.7 on.
bool HostUsesSharedLayout(const std::string& hostFolder) {
    DeviceVersion v = ReadDeviceVersion(hostFolder);
    return v.major > 6 || (v.major == 6 && v.minor >= 7);
}

bool IsFolder(const std::string& path) { return FitsBuffer(path, MAX_PATH) && PathIsDirectoryA(path.c_str()); }

void CopyFileIfAny(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return;
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

// A copy that failed: access denied or write protection of the backup is the
// user's folder choice; anything else (a full disk, a file held open, a host
// file that cannot be read) a failed copy.
HRESULT CopyError(DWORD error, bool sourceUnreadable) {
    if (sourceUnreadable) return RC_E_FILE_COPY;
    return (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) ? RC_E_ACCESSDENIED : RC_E_FILE_COPY;
}

// A backup copy of one item: an item the host does not have is no failure,
// one that is there and cannot be copied is.
HRESULT BackupFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return RC_OK;
    if (FitsBuffer(from, MAX_PATH) && FitsBuffer(to, MAX_PATH) && CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        return RC_OK;
    }
    const DWORD error = FitsBuffer(to, MAX_PATH) ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    if (!FitsBuffer(from, MAX_PATH) || GetFileAttributesA(from.c_str()) == INVALID_FILE_ATTRIBUTES) return RC_OK;
    return CopyError(error, !IsReadableFile(from));
}

}  // namespace

bool CBackupRestore::LocateSharedGuiData(GuiDataLocation& location) {
    char common[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, TRUE) || !common[0]) return false;
    const std::string shared = std::string(common) + "\\Nerith\\SDTL";
    location.playlistFolder = shared + "\\UserPlaylist";
    location.mirsDat = shared + kMirsDat;
    location.usrdicDic = shared + kUsrdicDic;
    location.ruleDat = shared + kRuleDat;
    location.bShared = 1;
    return true;
}

bool CBackupRestore::LocateHostGuiData(GuiDataLocation& location) {
    std::string programFolder;
    GetTalvaneProgramPath(programFolder);
    if (HostUsesSharedLayout(programFolder)) return LocateSharedGuiData(location);

    // Relative to nothing these names would land on the drive root.
    if (m_strHostFolder.empty()) return false;
    location.playlistFolder = m_strHostFolder + "\\" + UserPlaylistName();
    location.mirsDat = m_strHostFolder + kMirsDat;
    location.usrdicDic = m_strHostFolder + kUsrdicDic;
    location.ruleDat.clear();
    char appData[MAX_PATH] = {};
    if (SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE) && appData[0]) {
        location.ruleDat = std::string(appData) + "\\SDTalvane" + kRuleDat;
    }
    location.bShared = 0;
    return true;
}

HRESULT CBackupRestore::BackupGuiItems(const GuiDataLocation& location, const std::string& destination) {
    if (!MakeSureFolderPathExists((destination + "\\").c_str())) return FolderCreateError(GetLastError());
    MakeSureFolderPathExists((destination + kUpl + "\\").c_str());
    // A host need not have every item; one it has must reach the backup, or
    // its restore would delete the item on the target PC. A cancel seen by
    // the copy is left to the job's own check after the step.
    HRESULT hr = CopyFolder(location.playlistFolder, destination + kUpl);
    if (hr == RC_E_FILE_COPY) return CopyError(GetLastError(), m_bCopySourceUnreadable);
    if (FAILED(hr)) return hr;
    hr = BackupFile(location.mirsDat, destination + kMirsDat);
    if (SUCCEEDED(hr)) hr = BackupFile(location.usrdicDic, destination + kUsrdicDic);
    if (SUCCEEDED(hr)) hr = BackupFile(location.ruleDat, destination + kRuleDat);
    return hr;
}

HRESULT CBackupRestore::BackupGuiData(const std::string& backupData) {
    if (CheckTalvaneVersion()) {
        GuiDataLocation location;
        if (!LocateHostGuiData(location)) {
            Trace("\n\nCBackupRestore::BackupGuiData LocateHostGuiData failed\n\n");
            return RC_E_FAIL;
        }
        HRESULT hr = BackupGuiItems(location, backupData + (location.bShared ? kGuiNew : kGuiOld));
        if (FAILED(hr)) return hr;
        // The second host reads the same shared data.
        if (location.bShared) return RC_OK;
    }
    if (CheckCorvellVersion()) {
        GuiDataLocation location;
        if (!LocateSharedGuiData(location)) {
            Trace("\n\nCBackupRestore::BackupGuiData LocateSharedGuiData failed\n\n");
            return RC_E_FAIL;
        }
        HRESULT hr = BackupGuiItems(location, backupData + kGuiNew);
        if (FAILED(hr)) return hr;
    }
    return RC_OK;
}

// The current data goes first: an item that the backup lacks is then gone.
void CBackupRestore::ReplaceGuiItems(const GuiDataLocation& location, const std::string& source) {
    DeleteFolder(location.playlistFolder);
    DeleteFileA(location.mirsDat.c_str());
    DeleteFileA(location.usrdicDic.c_str());
    if (!location.ruleDat.empty()) DeleteFileA(location.ruleDat.c_str());

    MakeSureFolderPathExists((location.playlistFolder + "\\").c_str());
    CopyFolder(source + kUpl, location.playlistFolder);
    CopyFileIfAny(source + kMirsDat, location.mirsDat);
    CopyFileIfAny(source + kUsrdicDic, location.usrdicDic);
    CopyFileIfAny(source + kRuleDat, location.ruleDat);
}

int CBackupRestore::RestoreHostGuiData(const std::string& source) {
    GuiDataLocation location;
    if (!LocateHostGuiData(location)) return RC_E_FAIL;
    ReplaceGuiItems(location, source);
    return location.bShared;
}

HRESULT CBackupRestore::RestoreSharedGuiData(const std::string& source) {
    GuiDataLocation location;
    if (!LocateSharedGuiData(location)) return RC_E_FAIL;
    ReplaceGuiItems(location, source);
    return RC_OK;
}

bool CBackupRestore::ChooseGuiSources(const std::string& backupData, std::string& hostSource,
                                      std::string& sharedSource) {
    const std::string guiNew = backupData + kGuiNew;
    const std::string guiOld = backupData + kGuiOld;
    if (IsFolder(backupData + kTalvane)) {
        hostSource = sharedSource = backupData + kTalvane;
    } else if (IsFolder(guiNew) && IsFolder(guiOld)) {
        // Each layout takes the data that was saved from the same layout.
        GuiDataLocation location;
        hostSource = (CheckTalvaneVersion() && LocateHostGuiData(location) && location.bShared) ? guiNew : guiOld;
        sharedSource = guiNew;
    } else if (IsFolder(guiNew)) {
        hostSource = sharedSource = guiNew;
    } else if (IsFolder(guiOld)) {
        hostSource = sharedSource = guiOld;
    } else {
        return false;
    }
    return true;
}

HRESULT CBackupRestore::RestoreGuiData(const std::string& backupData) {
    std::string serial;
    LoadSerialFromIni(backupData, serial);
    if (serial.empty()) {
        Trace("CBackupRestore::RestoreGuiData serial is empty");
        return RC_E_FAIL;
    }
    WriteSerialToRegistry(serial);

    const bool talvane = CheckTalvaneVersion();
    const bool corvell = CheckCorvellVersion();
    std::string hostSource;
    std::string sharedSource;
    if (!ChooseGuiSources(backupData, hostSource, sharedSource)) return kNoGuiData;

    if (talvane) {
        int layout = RestoreHostGuiData(hostSource);
        if (layout < 0) {
            Trace("\n\nCBackupRestore::RestoreGuiData LocateHostGuiData failed\n\n");
            return layout;
        }
        if (layout == 1) return RC_OK;
    }
    if (corvell) {
        HRESULT hr = RestoreSharedGuiData(sharedSource);
        if (FAILED(hr)) {
            Trace("\n\nCBackupRestore::RestoreGuiData LocateSharedGuiData failed\n\n");
            return hr;
        }
    }
    return RC_OK;
}

}  // namespace zr
