// The hosts' GUI data: user playlists, "mirs.dat", the user dictionary and the
// rule file, backed up into GUI(new) / GUI(old) and put back on restore.
#include <windows.h>

#include <shlwapi.h>

#include "app/settings/HostSettings.h"
#include "common/BackupTree.h"
#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "engine/BackupRestore.h"
#include "engine/SwapBeside.h"

namespace zr {
namespace {

bool IsFolder(const std::string& path) { return FitsBuffer(path, MAX_PATH) && PathIsDirectoryA(path.c_str()); }

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

bool CBackupRestore::LocateSharedGuiData(GuiDataLocation& location) { return LocateSharedGuiDataPaths(location); }

bool CBackupRestore::LocateHostGuiData(GuiDataLocation& location) {
    return LocateFirstHostGuiDataPaths(m_strHostFolder, location);
}

HRESULT CBackupRestore::BackupGuiItems(const GuiDataLocation& location, const std::string& destination) {
    if (!MakeSureFolderPathExists((destination + "\\").c_str())) return FolderCreateError(GetLastError());
    MakeSureFolderPathExists((destination + kPlaylistCopyFolder + "\\").c_str());
    // A host need not have every item; one it has must reach the backup, or
    // its restore would delete the item on the target PC. A cancel seen by
    // the copy is left to the job's own check after the step.
    CopyFailure failure;
    HRESULT hr = CopyFolder(location.playlistFolder, destination + kPlaylistCopyFolder, &failure);
    if (hr == RC_E_FILE_COPY) return CopyError(failure.error, failure.sourceUnreadable);
    if (FAILED(hr)) return hr;
    hr = BackupFile(location.mirsDat, destination + kMirsDatFile);
    if (SUCCEEDED(hr)) hr = BackupFile(location.usrdicDic, destination + kUsrdicDicFile);
    if (SUCCEEDED(hr)) hr = BackupFile(location.ruleDat, destination + kRuleDatFile);
    return hr;
}

HRESULT CBackupRestore::BackupGuiData(const std::string& backupData) {
    if (CheckTalvaneVersion()) {
        GuiDataLocation location;
        if (!LocateHostGuiData(location)) {
            Trace("\n\nCBackupRestore::BackupGuiData LocateHostGuiData failed\n\n");
            return RC_E_FAIL;
        }
        HRESULT hr = BackupGuiItems(location, backupData + (location.bShared ? kGuiNewFolder : kGuiOldFolder));
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
        HRESULT hr = BackupGuiItems(location, backupData + kGuiNewFolder);
        if (FAILED(hr)) return hr;
    }
    return RC_OK;
}

// A file of the backup put in the host's place: copied beside it first, so
// that the host's own file goes only once its replacement is whole. A file
// the backup does not hold (the host it came from had none) takes the host's
// away. False, with the host's file as it was, when the backup's cannot be taken.
bool CBackupRestore::RestoreGuiFile(const std::string& source, const std::string& target) {
    if (target.empty()) return true;
    const DWORD attributes = FitsBuffer(source, MAX_PATH) ? GetFileAttributesA(source.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Only a folder that is still there can say that a file is not in it.
        if (GetLastError() != ERROR_FILE_NOT_FOUND || !IsFolder(FolderPart(source))) return false;
        DeleteFileA(target.c_str());
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;

    if (!CSwapBeside::NamesFit(target)) return false;
    MakeSureFolderPathExists(target.c_str());  // a folder the host has not made yet
    CSwapBeside file(target, CSwapBeside::Kind::File, Journal());
    if (file.Begin() != RC_OK) return false;
    if (!CopyFileA(source.c_str(), file.Working().c_str(), FALSE)) {
        file.Discard();
        return false;
    }
    MakeWritable(file.Working());
    if (file.SwapIn() != RC_OK) {
        file.Discard();
        return false;
    }
    file.DropAside();
    return true;
}

// The backup's playlist folder put in the host's place: copied whole beside
// it, then the two folders swap names and the host's old one goes.
bool CBackupRestore::RestoreGuiFolder(const std::string& source, const std::string& target) {
    if (!IsFolder(source) || !CSwapBeside::NamesFit(target, 1)) return false;
    CSwapBeside folder(target, CSwapBeside::Kind::Folder, Journal());
    if (folder.Begin() != RC_OK) return false;
    if (CopyFolder(source, folder.Working()) != RC_OK || folder.SwapIn() != RC_OK) {
        folder.Discard();
        return false;
    }
    folder.DropAside();
    return true;
}

// Each item of the host is replaced only by a whole copy of the backup's; one
// that cannot be is kept as it was and listed under its own name.
void CBackupRestore::ReplaceGuiItems(const GuiDataLocation& location, const std::string& source) {
    if (!RestoreGuiFolder(source + kPlaylistCopyFolder, location.playlistFolder)) {
        RecordFailedItem(PlatformFileName(location.playlistFolder), ItemCode::NotRestored);
    }
    const std::pair<const char*, const std::string*> files[] = {
        {kMirsDatFile, &location.mirsDat}, {kUsrdicDicFile, &location.usrdicDic}, {kRuleDatFile, &location.ruleDat}};
    for (const auto& file : files) {
        if (!RestoreGuiFile(source + file.first, *file.second)) {
            RecordFailedItem(PlatformFileName(*file.second), ItemCode::NotRestored);
        }
    }
}

HRESULT CBackupRestore::RestoreHostGuiData(const std::string& source, bool& shared) {
    GuiDataLocation location;
    if (!LocateHostGuiData(location)) return RC_E_FAIL;
    ReplaceGuiItems(location, source);
    shared = location.bShared == 1;
    return RC_OK;
}

HRESULT CBackupRestore::RestoreSharedGuiData(const std::string& source) {
    GuiDataLocation location;
    if (!LocateSharedGuiData(location)) return RC_E_FAIL;
    ReplaceGuiItems(location, source);
    return RC_OK;
}

bool CBackupRestore::ChooseGuiSources(const std::string& backupData, std::string& hostSource,
                                      std::string& sharedSource) {
    const std::string guiNew = backupData + kGuiNewFolder;
    const std::string guiOld = backupData + kGuiOldFolder;
    if (IsFolder(backupData + kTalvaneFolder)) {
        hostSource = sharedSource = backupData + kTalvaneFolder;
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

HRESULT CBackupRestore::RestoreGuiData(const CRestorePlan& plan) {
    // From the whole copy in RestoreData, once there is one.
    const std::string& backupData = plan.ReadFrom();
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
    if (!ChooseGuiSources(backupData, hostSource, sharedSource)) return RC_NO_GUI_DATA;

    if (talvane) {
        bool shared = false;
        HRESULT hr = RestoreHostGuiData(hostSource, shared);
        if (FAILED(hr)) {
            Trace("\n\nCBackupRestore::RestoreGuiData LocateHostGuiData failed\n\n");
            return hr;
        }
        if (shared) return RC_OK;
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
