// Where the installed host keeps what a job reads and a restore replaces: its
// GUI data and its live databases folder. A folder the user picks must lie in
// none of them, or the job would copy a folder into itself, or delete or move
// away what it has just written or is about to read. Folders are compared by
// what they are: a second name (another drive letter, a link) is the same.
#pragma once

#include <string>
#include <vector>

#include "common/FolderIdentity.h"

namespace zr {

// Where one layout keeps the GUI data, and whether that is the shared
// per-machine layout (1) or the first host's program folder (0).
struct GuiDataLocation {
    std::string playlistFolder;
    std::string mirsDat;
    std::string usrdicDic;
    std::string ruleDat;  // empty when the per-user data folder is unknown
    int bShared = 0;
};

// The shared layout's paths, below the per-machine application data folder;
// false when that folder is unknown.
bool LocateSharedGuiDataPaths(GuiDataLocation& location);
// The first host's layout: shared from version 6.7 on, else its program
// folder (hostFolder); false when a folder it needs is unknown.
bool LocateFirstHostGuiDataPaths(const std::string& hostFolder, GuiDataLocation& location);
// The GUI data of this installation that a backup copies and a restore
// replaces: the first host's, then the shared data when the second host
// reads it and the first host keeps its own elsewhere.
std::vector<GuiDataLocation> InstalledGuiData();

class CHostPlaces {
public:
    // Read from the host's installation (registry, "Device.ini", shell folders).
    static CHostPlaces Read();
    // The same with the live databases folder known already.
    static CHostPlaces Read(const std::string& liveDatabases);
    // For tests and for callers that know the places already.
    CHostPlaces(const std::string& liveDatabases, const std::vector<GuiDataLocation>& guiData);

    // A restore's backup tree inside a place the restore replaces or moves
    // (it would be gone before it is read to the end), or holding one (the
    // restore would change the backup it reads).
    bool IsRefusedRestoreSource(const std::string& backupData) const;
    // A restore destination: none, the backup tree or a folder inside it (the
    // copy would go into the backup itself), or a folder inside a place the
    // restore replaces or moves (RestoreData would go with it).
    bool IsRefusedRestoreDestination(const std::string& restoreTo, const std::string& backupData) const;
    // A backup tree inside a place a backup copies from: the copy would copy itself.
    bool IsRefusedBackupTarget(const std::string& backupData) const;
    // True when a place of the host lies in the folder: deleting an earlier
    // backup there would delete the host's own data, or the programs and
    // rights it runs with.
    bool HasPlaceInside(const std::string& folder) const;

    // The GUI data of the installed hosts, as InstalledGuiData read it.
    const std::vector<GuiDataLocation>& GuiData() const { return m_guiData; }

    // Whether an item is a folder or lies in it, by what the folders are;
    // with the identities this object has read.
    bool IsSameOrInside(const std::string& item, const std::string& folder) const;

private:
    CHostPlaces() = default;
    // The item lies in a place a restore replaces or moves.
    bool IsInsidePlace(const std::string& item) const;
    // A folder the host runs from, which no deletion may reach.
    void AddHostFolder(std::string folder);

    std::string m_liveDatabasesPath;
    std::string m_liveDatabases;          // comparable form; empty when unknown
    std::vector<std::string> m_guiItems;  // comparable forms
    std::vector<std::string> m_guiPaths;  // the same as they were given
    std::vector<std::string> m_besidePaths;  // folders beside the live one, as a restore names them
    std::vector<std::string> m_hostFolders;      // comparable forms of the program folders
    std::vector<std::string> m_hostFolderPaths;  // the same as read
    std::vector<GuiDataLocation> m_guiData;
    // Folders are compared by what they are, each read once: the places are
    // read for one job's checks (or one choice in a dialog), not kept longer.
    mutable CFolderIdentities m_ids;
};

}  // namespace zr
