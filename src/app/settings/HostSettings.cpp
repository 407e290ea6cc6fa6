#include "app/settings/HostSettings.h"

#include <windows.h>

#include <mbstring.h>

#include <cstdio>
#include <cstring>

#include "app/settings/SystemFacts.h"
#include "common/BackupTree.h"
#include "common/PathUtil.h"

namespace zr {
namespace {

const char kTalvaneUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}";
const char kCorvellUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{9D03B6E5-1F72-4C8A-B5E9-2A6F0C4D7E18}";
const char* const kTalvaneSettingsKeys[] = {
    "SOFTWARE\\Dovr\\SD-Talvane\\Settings",
    "SOFTWARE\\Dovr\\SD-TalvaneV6\\Settings",
    "SOFTWARE\\Dovr\\SD-TalvaneV5\\Settings",
};
const char kCorvellSettingsKey[] = "SOFTWARE\\Dovr\\SD-Corvell\\Settings";
const char kNmlKey[] = "Software\\Nerith\\Kovex\\SD-NML";
const char kNmlSerialKey[] = "SOFTWARE\\Nerith\\Kovex\\SD-NML";
const char kCoreKey[] = "Software\\Nerith\\Kovex\\SD-Core";
const char kSerialValue[] = "SD-TalvSerial";


// String values are read into a MAX_PATH buffer; anything longer is not a usable path.
const DWORD kStringBufferSize = MAX_PATH;
// "SdTalvSerial" is read back into 16 bytes: at most 15 characters.
const DWORD kSerialBufferSize = 16;

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() {
        if (m_h) RegCloseKey(m_h);
    }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    bool Open(HKEY root, const char* path, REGSAM access) {
        return RegOpenKeyExA(root, path, 0, access, &m_h) == ERROR_SUCCESS;
    }
    HKEY Get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

// Numbers are REG_DWORD only: the bytes of a value of another type are no number.
bool QueryDword(HKEY key, const char* name, DWORD& value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof(data)) return false;
    value = data;
    return true;
}

// Strings are REG_SZ, or REG_EXPAND_SZ with its variables expanded; a value of
// another type counts as missing, as does one that does not fit with its
// terminator. Stored data need not end in NUL, so the buffer keeps one spare
// byte for it.
bool QueryString(HKEY key, const char* name, std::string& value) {
    char buffer[kStringBufferSize + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = kStringBufferSize;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    if (size > kStringBufferSize) return false;
    buffer[size] = '\0';
    std::size_t length = std::strlen(buffer);
    if (length >= kStringBufferSize) return false;
    if (type == REG_EXPAND_SZ) {
        char expanded[kStringBufferSize] = {};
        const DWORD needed = ExpandEnvironmentStringsA(buffer, expanded, kStringBufferSize);
        if (needed == 0 || needed > kStringBufferSize) return false;
        value = expanded;
        return true;
    }
    value.assign(buffer, length);
    return true;
}

bool ReadRegString(HKEY root, const char* keyPath, const char* name, std::string& value) {
    CRegKey key;
    if (!key.Open(root, keyPath, KEY_READ)) return false;
    return QueryString(key.Get(), name, value);
}

bool KeyExists(const char* keyPath) {
    CRegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
}

// A host's Settings key counts only with both its number and its program path.
bool ReadProgramPath(const char* keyPath, std::string& out) {
    CRegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ)) return false;
    DWORD number = 0;
    if (!QueryDword(key.Get(), "SD-TalvNumber", number)) return false;
    std::string path;
    if (!QueryString(key.Get(), "Dovr_Program_Path", path)) return false;
    out = path;
    return true;
}

bool IsSupportedTalvane(const DeviceVersion& v) {
    return (v.major == 5 && v.minor >= 3) || (v.major == 6 && v.minor >= 6) || v.major == 7;
}

bool IsSupportedCorvell(const DeviceVersion& v) {
    if (v.major != 1) return false;
    if (v.minor >= 1) return true;
    // 1.0 builds ran on Windows 6.0 from an earlier level than elsewhere; an
    // unknown Windows version gets the stricter rule.
    OsVersion os;
    bool vista = SystemFacts().GetOsVersion(os) && os.major == 6 && os.minor == 0;
    return v.level >= (vista ? 46u : 50u);
}

std::string IniPath(const std::string& folder) { return folder + kSettingsFile; }

}  // namespace

DeviceVersion ReadDeviceVersion(const std::string& programFolder) {
    DeviceVersion version;
    // An empty folder would make "\Device.ini" the root of the current drive.
    if (programFolder.empty()) return version;
    char file[MAX_PATH];
    int n = std::snprintf(file, sizeof(file), "%s\\%s", programFolder.c_str(), "Device.ini");
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof(file)) return version;
    version.major = GetPrivateProfileIntA("SD-Talvane", "MajorVersion", 0, file);
    version.minor = GetPrivateProfileIntA("SD-Talvane", "MinorVersion", 0, file);
    version.level = GetPrivateProfileIntA("SD-Talvane", "Level", 0, file);
    return version;
}

bool CheckTalvaneVersion() {
    if (!KeyExists(kTalvaneUninstallKey)) return false;
    std::string folder;
    if (!GetTalvaneProgramPath(folder)) return false;
    return IsSupportedTalvane(ReadDeviceVersion(folder));
}

bool CheckCorvellVersion() {
    if (!KeyExists(kCorvellUninstallKey)) return false;
    std::string folder;
    if (!GetCorvellProgramPath(folder)) return false;
    return IsSupportedCorvell(ReadDeviceVersion(folder));
}

bool GetTalvaneProgramPath(std::string& out) {
    for (const char* key : kTalvaneSettingsKeys) {
        if (ReadProgramPath(key, out)) return true;
    }
    return false;
}

bool GetCorvellProgramPath(std::string& out) { return ReadProgramPath(kCorvellSettingsKey, out); }

void GetTalvaneSettingsRoot(std::string& out) {
    std::string folder;
    GetTalvaneProgramPath(folder);
    DeviceVersion v = ReadDeviceVersion(folder);
    if (v.major == 5) {
        out = "Software\\Dovr\\SD-TalvaneV5\\";
    } else if (v.major == 6 && v.minor <= 6) {
        out = "Software\\Dovr\\SD-TalvaneV6\\";
    } else {
        out = "Software\\Dovr\\SD-Talvane\\";
    }
}

void GetMediaPath(std::string& out) {
    std::string root;
    if (CheckTalvaneVersion()) {
        GetTalvaneSettingsRoot(root);
    } else {
        root = "Software\\Dovr\\SD-Corvell\\";
    }
    root += "Settings";
    ReadRegString(HKEY_CURRENT_USER, root.c_str(), "MediaPath", out);
}

void GetNmlProgramPath(std::string& out) {
    std::string path;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Program_Path", path)) return;
    RemoveTrailingBackslash(path);
    out = path;
}

void GetCoreProgramPath(std::string& out) { ReadRegString(HKEY_LOCAL_MACHINE, kCoreKey, "Program_Path", out); }

void FindNewDbPath(const std::string& oldPath, std::string& out) {
    out.clear();
    CRegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kNmlKey, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) return;
    const unsigned char* wanted = reinterpret_cast<const unsigned char*>(oldPath.c_str());
    for (int i = 0; i < 100; ++i) {
        char oldName[32];
        char newName[32];
        std::snprintf(oldName, sizeof(oldName), "Db_Path_%02d_Old", i);
        std::snprintf(newName, sizeof(newName), "Db_Path_%02d_New", i);
        std::string oldValue;
        if (!QueryString(key.Get(), oldName, oldValue)) return;
        // Case-insensitive by character: a trail byte is never folded as a letter.
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(oldValue.c_str()), wanted) != 0) continue;
        std::string newValue;
        if (QueryString(key.Get(), newName, newValue)) {
            out = newValue;
            return;
        }
    }
}

std::string DatabasesFolderOf(const std::string& libraryFolder) {
    std::string folder = libraryFolder + "\\databases";
    std::string relocated;
    FindNewDbPath(folder, relocated);
    // Stored with a trailing backslash, the names a restore makes beside the
    // folder would be made inside it.
    RemoveTrailingBackslash(relocated);
    return relocated.empty() ? folder : relocated;
}

std::string GetLiveDatabasesFolder() {
    std::string library;
    GetNmlProgramPath(library);
    return library.empty() ? std::string() : DatabasesFolderOf(library);
}

void WriteSecureContents(const std::string& folder, int flag) {
    WritePrivateProfileStringA(kSettingsSection, "SecureContents", flag == 1 ? "1" : "0", IniPath(folder).c_str());
}

std::string GetInstalledSerial() {
    std::string serial;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, kNmlSerialKey, kSerialValue, serial)) return std::string();
    return serial;
}

void SaveSerialToIni(const std::string& folder, std::string& out) {
    const std::string serial = GetInstalledSerial();
    if (serial.empty()) return;
    // The serial is handed back only once it is in the file: a backup without
    // it could not restore the serial, so the caller must see the failure.
    if (!WritePrivateProfileStringA(kSettingsSection, "SdTalvSerial", serial.c_str(), IniPath(folder).c_str())) return;
    out = serial;
}

void LoadSerialFromIni(const std::string& folder, std::string& out) {
    char buffer[kSerialBufferSize] = {};
    GetPrivateProfileStringA(kSettingsSection, "SdTalvSerial", "", buffer, kSerialBufferSize, IniPath(folder).c_str());
    buffer[kSerialBufferSize - 1] = '\0';
    out = buffer;
}

void WriteSerialToRegistry(const std::string& serial) {
    CRegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kNmlSerialKey, KEY_SET_VALUE)) return;
    RegSetValueExA(key.Get(), kSerialValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(serial.c_str()),
                   static_cast<DWORD>(serial.size() + 1));
}

}  // namespace zr
