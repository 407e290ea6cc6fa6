// Folders below Data\Audio: one per source folder, named after its last
// component; a name already taken gets the first free "%05d" suffix. A
// backup makes them as it goes; its check works the same names out without
// making anything, to find a path too long before the earlier backup is touched.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zr {

class CAudioFolders {
public:
    // audioRoot ends in a backslash. namesOnly: nothing is made, every name
    // not handed out yet counts as free (the tree is new).
    CAudioFolders(const std::string& audioRoot, bool namesOnly);

    // The folder for a source folder, made on first use. RC_E_FAIL when all
    // numbers are taken (error stays ERROR_SUCCESS); a folder error with the
    // system's error in `error` when the folder cannot be made.
    HRESULT Find(const std::string& sourceFolder, std::string& folder, DWORD& error);

    // A folder's last name as the platform strips it; "root" for a drive's root.
    static std::string LastName(const std::string& sourceFolder);

private:
    // Makes the folder; `made` false when that name is taken already. False
    // with the system's error when the folder can be made under no name.
    bool TryCreate(const std::string& folder, bool& made, DWORD& error);

    std::string m_audioRoot;
    bool m_bNamesOnly;
    bool m_rootMade = false;
    std::unordered_map<std::string, std::string> m_folders;  // exact source folder -> folder name
    std::unordered_set<std::string> m_taken;                 // folded names known to be on disk
    std::unordered_map<std::string, int> m_nextNumber;       // folded name -> first number not known taken
};

}  // namespace zr
