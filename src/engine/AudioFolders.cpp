#include "engine/AudioFolders.h"

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/FileOps.h"

namespace zr {

// Creating a folder is the test whether its name is free: the file system
// decides (with its own case rules), and a large folder is never searched for
// a name that is not there. Folders made during the step never vanish, so the
// numbers below a name's hint are known to be taken and the search resumes there.
CAudioFolders::CAudioFolders(const std::string& audioRoot, bool namesOnly)
    : m_audioRoot(audioRoot), m_bNamesOnly(namesOnly) {}

HRESULT CAudioFolders::Find(const std::string& sourceFolder, std::string& folder, DWORD& error) {
    error = ERROR_SUCCESS;
    auto known = m_folders.find(sourceFolder);
    if (known != m_folders.end()) {
        folder = known->second;
        return RC_OK;
    }
    // Worked out once per source folder, not per track.
    const std::string name = LastName(sourceFolder);
    if (!m_rootMade && !m_bNamesOnly) {
        if (!CreateFolderPath(m_audioRoot, error)) return FolderCreateError(error);
        m_rootMade = true;
    }

    bool made = false;
    if (!m_taken.count(FoldCase(name))) {
        if (!TryCreate(name, made, error)) return FolderCreateError(error);
    }
    folder = name;
    if (!made) {
        int& next = m_nextNumber[FoldCase(name)];
        for (; !made; ++next) {
            if (next >= kMaxFolderNumbers) {
                error = ERROR_SUCCESS;
                return RC_E_FAIL;
            }
            char suffix[16];
            std::snprintf(suffix, sizeof(suffix), "%05d", next);
            folder = name + suffix;
            if (m_taken.count(FoldCase(folder))) continue;
            if (!TryCreate(folder, made, error)) return FolderCreateError(error);
        }
    }
    m_folders.emplace(sourceFolder, folder);
    return RC_OK;
}

std::string CAudioFolders::LastName(const std::string& sourceFolder) {
    std::vector<char> buffer(sourceFolder.begin(), sourceFolder.end());
    buffer.push_back('\0');
    PathStripPathA(buffer.data());
    const std::string name = buffer.data();
    return PathIsRootA((name + "\\").c_str()) ? "root" : name;
}

bool CAudioFolders::TryCreate(const std::string& folder, bool& made, DWORD& error) {
    const std::string path = m_audioRoot + folder;
    made = false;
    if (!FitsBuffer(path + "\\", MAX_PATH)) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (m_bNamesOnly || CreateDirectoryA(path.c_str(), nullptr)) {
        made = true;
    } else {
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return false;
    }
    m_taken.insert(FoldCase(folder));
    return true;
}

}  // namespace zr
