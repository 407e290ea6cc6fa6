#include "support/UnixLinks.h"

#include <windows.h>

#include "common/PathUtil.h"

namespace zrtest {
namespace {

using UnixNameProc = char*(CDECL*)(const WCHAR*);
using DosNameProc = WCHAR*(CDECL*)(const char*);

UnixNameProc UnixName() {
    return reinterpret_cast<UnixNameProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
}

DosNameProc DosName() {
    return reinterpret_cast<DosNameProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
}

std::wstring Wide(const std::string& text, UINT codePage) {
    const int n = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<std::size_t>(n - 1));
    return wide;
}

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(n - 1));
    return narrow;
}

std::string UnixPathOfExisting(const std::string& windowsPath) {
    UnixNameProc unixName = UnixName();
    if (!unixName) return std::string();
    const std::wstring wide = Wide(windowsPath, CP_ACP);
    char* name = unixName(wide.c_str());
    if (!name) return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string RealPath(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    char buffer[MAX_PATH] = {};
    const DWORD n = GetFinalPathNameByHandleA(h, buffer, MAX_PATH, 0);
    CloseHandle(h);
    return n > 0 && n < MAX_PATH ? std::string(buffer) : std::string();
}

// Polls until the state holds; false when it did not within the deadline.
template <typename State>
bool WaitFor(State state) {
    const DWORD deadline = GetTickCount() + 15000;
    while (!state()) {
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) return false;
        Sleep(20);
    }
    return true;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// One argument of a command line as the program splits it again: quoted,
// with its quotes and the backslashes before them escaped.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

bool UnderWine() { return UnixName() != nullptr && DosName() != nullptr; }

std::string UnixPathOf(const std::string& windowsPath) {
    std::string path = UnixPathOfExisting(windowsPath);
    if (!path.empty()) return path;
    // A missing item: its folder's path and its own name.
    const std::string folder = zr::FolderPart(windowsPath);
    if (folder == windowsPath) return std::string();
    const std::string unixFolder = UnixPathOfExisting(folder);
    if (unixFolder.empty()) return std::string();
    return unixFolder + "/" + Utf8(Wide(zr::FileNamePart(windowsPath), CP_ACP));
}

bool StartUnixProgram(const std::vector<std::string>& argv) {
    DosNameProc dosName = DosName();
    if (!dosName || argv.empty()) return false;
    WCHAR* program = dosName(argv[0].c_str());
    if (!program) return false;
    std::wstring line = L"\"" + std::wstring(program) + L"\"";
    HeapFree(GetProcessHeap(), 0, program);
    for (std::size_t i = 1; i < argv.size(); ++i) line += L" " + Quoted(Wide(argv[i], CP_UTF8));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool MakeUnixLink(const std::string& link, const std::string& target) {
    const std::string unixLink = UnixPathOf(link);
    const std::string unixTarget = UnixPathOf(target);
    if (unixLink.empty() || unixTarget.empty()) return false;
    return StartUnixProgram({"/bin/ln", "-s", unixTarget, unixLink}) && WaitFor([&] { return Exists(link); });
}

bool RemoveUnixLink(const std::string& link) {
    const std::string unixLink = UnixPathOf(link);
    return !unixLink.empty() && StartUnixProgram({"/bin/rm", "-f", unixLink}) && WaitFor([&] { return !Exists(link); });
}

CUnixMount::CUnixMount(const std::vector<std::string>& mountArguments, const std::string& mountPoint)
    : m_unixMountPoint(UnixPathOf(mountPoint)), m_marker(mountPoint + "\\unmounted.txt") {
    HANDLE marker = CreateFileA(m_marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (m_unixMountPoint.empty() || marker == INVALID_HANDLE_VALUE) return;
    CloseHandle(marker);
    // A mount that fails (not root) says so by a file beside the marker, so
    // that no one waits for it.
    const std::string failed = m_marker + ".failed";
    std::vector<std::string> argv = {"/bin/sh", "-c", "mount \"$@\" || touch \"$0\"", UnixPathOf(failed)};
    argv.insert(argv.end(), mountArguments.begin(), mountArguments.end());
    argv.push_back(m_unixMountPoint);
    if (!StartUnixProgram(argv)) return;
    m_mounted = WaitFor([&] { return !Exists(m_marker) || Exists(failed); }) && !Exists(m_marker);
    m_refused = Exists(failed);
    DeleteFileA(failed.c_str());
}

CUnixMount::~CUnixMount() {
    if (m_unixMountPoint.empty()) return;
    if (m_refused) {
        DeleteFileA(m_marker.c_str());
        return;
    }
    // A mount that came too late for the wait is taken down too; lazily, since
    // Wine's server may still hold a folder of it open.
    if (StartUnixProgram({"/bin/umount", "-l", m_unixMountPoint})) WaitFor([&] { return Exists(m_marker); });
    DeleteFileA(m_marker.c_str());
}

CExtraDrive::CExtraDrive(const std::string& folder) {
    // "C:\" is "<prefix>/dosdevices/c:/" to Wine.
    const std::string unixC = UnixPathOfExisting("C:\\");
    const std::string suffix = "/c:/";
    const std::string unixFolder = UnixPathOfExisting(folder);
    if (unixFolder.empty() || unixC.size() <= suffix.size() ||
        unixC.compare(unixC.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return;
    }
    const DWORD used = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Q'; c >= 'H' && !letter; --c) {
        if (!(used & (1u << (c - 'A')))) letter = c;
    }
    if (!letter) return;
    const std::string link = unixC.substr(0, unixC.size() - suffix.size() + 1) + char(letter - 'A' + 'a') + ":";
    if (!StartUnixProgram({"/bin/ln", "-s", unixFolder, link})) return;
    m_link = link;
    const std::string root = std::string(1, letter) + ":\\";
    // Wine shows a folder through the deepest drive root that holds it.
    if (WaitFor([&] { return Exists(root) && RealPath(folder) == "\\\\?\\" + root; })) m_root = root;
}

CExtraDrive::~CExtraDrive() {
    if (m_link.empty()) return;
    const std::string root = m_root;
    if (StartUnixProgram({"/bin/rm", "-f", m_link}) && !root.empty()) WaitFor([&] { return !Exists(root); });
}

}  // namespace zrtest
