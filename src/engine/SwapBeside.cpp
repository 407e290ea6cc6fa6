#include "engine/SwapBeside.h"

#include "common/PathUtil.h"
#include "common/ResultCodes.h"
#include "engine/FileOps.h"

namespace zr {
namespace {

const char kWorkingSuffix[] = ".tmp";
const char kAsideSuffix[] = ".bak";

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool FreeNameBeside(const std::string& base, const char* suffix, std::string& name) {
    std::string found;
    if (!FirstFreeName(base + suffix, found)) return false;
    name = found;
    return true;
}

bool IsBesideNameOf(const std::string& item, const std::string& live) {
    if (live.empty()) return false;
    // Any name that begins so: a numbered one, and whatever else might be
    // taken for one, is kept out of a job's way.
    for (const char* suffix : {".BAK", ".TMP"}) {
        const std::string base = live + suffix;
        if (item.compare(0, base.size(), base) == 0) return true;
    }
    return false;
}

CSwapBeside::CSwapBeside(const std::string& live, Kind kind, IJournal* journal)
    : m_strLive(live), m_kind(kind), m_pJournal(journal) {}

CSwapBeside CSwapBeside::Adopt(const std::string& live, Kind kind, IJournal* journal, const std::string& working,
                               const std::string& aside) {
    CSwapBeside swap(live, kind, journal);
    swap.m_strWorking = working;
    swap.m_strAside = aside;
    return swap;
}

std::string CSwapBeside::LongestWorkingName(const std::string& live) {
    return live + kWorkingSuffix + kWidestFolderNumber;
}

bool CSwapBeside::NamesFit(const std::string& live, std::size_t longestInside) {
    return FitsBuffer(LongestWorkingName(live) + std::string(longestInside, 'x'), MAX_PATH);
}

bool CSwapBeside::Note(IJournal::Op op, const std::string& path, const std::string& to) {
    if (!m_pJournal || m_pJournal->Record(op, path, to)) return true;
    m_dwError = ERROR_WRITE_FAULT;
    return false;
}

bool CSwapBeside::Move(const std::string& from, const std::string& to) {
    if (!Note(IJournal::Op::Move, from, to)) return false;
    if (MoveToFreeName(from, to)) return true;
    m_dwError = FitsBuffer(from, MAX_PATH) && FitsBuffer(to, MAX_PATH) ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    return false;
}

bool CSwapBeside::Remove(const std::string& item) {
    if (!Note(IJournal::Op::Delete, item)) return false;
    const DWORD error = m_kind == Kind::Folder ? RemoveFolderTree(item)
                        : (DeleteFileA(item.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS
                                                                                                  : GetLastError();
    if (error == ERROR_SUCCESS) return true;
    m_dwError = error;
    return false;
}

HRESULT CSwapBeside::Begin() {
    m_dwError = ERROR_SUCCESS;
    // The live item's folder, when the host (or the user) has not made it yet.
    const std::string parent = FolderPart(m_strLive);
    if (!Exists(parent) && !CreateFolderPath(parent + "\\", m_dwError)) {
        return m_kind == Kind::Folder ? FolderCreateError(m_dwError) : RC_E_FILE_COPY;
    }
    // Another job may take a free name between the look and the making: the
    // making fails then, and the next name is tried.
    for (int tries = 0; tries < kMaxFolderNumbers; ++tries) {
        std::string working;
        if (!FreeNameBeside(m_strLive, kWorkingSuffix, working)) return RC_E_FAIL;
        if (!FitsBuffer(working + "\\", MAX_PATH)) return FolderCreateError(ERROR_FILENAME_EXCED_RANGE);
        if (!Note(IJournal::Op::Create, working)) return RC_E_FAIL;
        bool made = false;
        if (m_kind == Kind::Folder) {
            made = CreateDirectoryA(working.c_str(), nullptr) != FALSE;
        } else {
            HANDLE file = CreateFileA(working.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
            made = file != INVALID_HANDLE_VALUE;
            if (made) CloseHandle(file);
        }
        if (made) {
            m_strWorking = working;
            return RC_OK;
        }
        const DWORD error = GetLastError();
        // Whatever holds the name now is not the job's: the record says so.
        Note(IJournal::Op::NotMade, working);
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            m_dwError = error;
            return m_kind == Kind::Folder ? FolderCreateError(error) : RC_E_FILE_COPY;
        }
    }
    return RC_E_FAIL;
}

HRESULT CSwapBeside::SwapIn() {
    m_dwError = ERROR_SUCCESS;
    if (m_strWorking.empty()) return RC_E_FAIL;
    if (Exists(m_strLive) && m_kind == Kind::File) {
        // A file takes the live name in one rename that replaces it: the
        // host never lacks the file, whatever fails after.
        if (!Note(IJournal::Op::Move, m_strWorking, m_strLive)) return RC_E_FAIL;
        if (FitsBuffer(m_strLive, MAX_PATH) && FitsBuffer(m_strWorking, MAX_PATH) &&
            MoveFileExA(m_strWorking.c_str(), m_strLive.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return RC_OK;
        }
        m_dwError = GetLastError();
        return RC_E_FAIL;
    }
    HRESULT hr = MoveLiveAside();
    if (hr != RC_OK) return hr;
    hr = MoveWorkingIn();
    if (hr == RC_OK) return RC_OK;
    // The host must never be left without its item: the old one goes back.
    const DWORD why = m_dwError;
    PutLiveBack();
    m_dwError = why;
    return hr;
}

HRESULT CSwapBeside::MoveLiveAside() {
    m_dwError = ERROR_SUCCESS;
    if (!Exists(m_strLive)) return RC_OK;
    if (!FreeNameBeside(m_strLive, kAsideSuffix, m_strAside)) return RC_E_FAIL;
    if (Move(m_strLive, m_strAside)) return RC_OK;
    m_strAside.clear();
    return RC_E_FAIL;
}

HRESULT CSwapBeside::MoveWorkingIn() {
    m_dwError = ERROR_SUCCESS;
    if (m_strWorking.empty()) return RC_E_FAIL;
    return Move(m_strWorking, m_strLive) ? RC_OK : RC_E_FAIL;
}

HRESULT CSwapBeside::PutLiveBack() {
    if (m_strAside.empty()) return RC_OK;
    if (!Move(m_strAside, m_strLive)) return RC_E_FAIL;
    m_strAside.clear();
    return RC_OK;
}

HRESULT CSwapBeside::DropAside() {
    if (m_strAside.empty()) return RC_OK;
    if (!Remove(m_strAside)) return RC_E_FAIL;
    m_strAside.clear();
    return RC_OK;
}

void CSwapBeside::Discard() {
    if (m_strWorking.empty() || !Exists(m_strWorking)) return;
    if (Remove(m_strWorking)) m_strWorking.clear();
}

}  // namespace zr
