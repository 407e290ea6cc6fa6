// A fresh registry view and a fresh folder for one in-process test.
//
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are redirected (RegOverridePredefKey)
// to empty keys of this sandbox for the life of the object, so a test sees
// only what it wrote itself and leaves nothing behind. The redirection is
// process-wide: modules loaded by the test see the same view.
#pragma once

#include <windows.h>

#include <string>

#include "support/RegistryScope.h"

namespace zrtest {

class CSandbox {
public:
    CSandbox();
    ~CSandbox();
    CSandbox(const CSandbox&) = delete;
    CSandbox& operator=(const CSandbox&) = delete;

    // The sandbox's folder, without a trailing backslash.
    const std::string& Folder() const { return m_folder; }
    // Folder() + "\" + relative.
    std::string Path(const std::string& relative) const { return m_folder + "\\" + relative; }

private:
    std::string m_name;  // of the keys and the folder
    CRegistryScope m_registry;
    std::string m_folder;
};

// A folder outside any sandbox, for what outlives the sandbox of the PC it
// was made on (a backup restored on a second PC). Named after the test
// program's process and `what`; emptied when made and removed when gone.
class CScratch {
public:
    explicit CScratch(const std::string& what);
    ~CScratch();
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

// Registry and file helpers for test set-up; each fails the test on error.
void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void CreateRegKey(HKEY root, const std::string& key);
bool ReadRegString(HKEY root, const std::string& key, const std::string& name, std::string& value);
void WriteTextFile(const std::string& path, const std::string& content);
// WriteTextFile into a folder made first, with all missing parents.
void MakeTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Creates the folder with all missing parents.
void MakeFolder(const std::string& path);
// Removes a folder tree; no error when it does not exist.
void RemoveTree(const std::string& path);

}  // namespace zrtest
