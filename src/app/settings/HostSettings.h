// Where the host application is and what it keeps: read from the registry and
// the host's "Device.ini"; plus the backup's own "BackupRestore.ini". Every
// operation opens, reads or writes, and closes; nothing reports an error: a
// missing key, value or file gives the not-found result described here.
#pragma once

#include <string>

namespace zr {

// True when a supported version of the first host (SD-Talvane 5.3+, 6.6+, 7.x) is installed.
bool CheckTalvaneVersion();
// True when a supported version of the second host (SD-Corvell 1.x) is installed.
bool CheckCorvellVersion();

// The host's program folder; false with out untouched when not found.
bool GetTalvaneProgramPath(std::string& out);
bool GetCorvellProgramPath(std::string& out);

// The first host's per-user settings root, ending in a backslash.
void GetTalvaneSettingsRoot(std::string& out);
// The host's per-user media folder; out untouched when not found.
void GetMediaPath(std::string& out);
// The media library's program folder without a trailing backslash; out untouched when not found.
void GetNmlProgramPath(std::string& out);
// The secure core's program folder as stored; out untouched when not found.
void GetCoreProgramPath(std::string& out);
// The relocated databases folder for oldPath, or an empty out.
void FindNewDbPath(const std::string& oldPath, std::string& out);
// The media library's databases folder: "databases" below libraryFolder, or
// the folder the host relocated it to.
std::string DatabasesFolderOf(const std::string& libraryFolder);
// DatabasesFolderOf the installed media library; empty when it is unknown.
std::string GetLiveDatabasesFolder();

// The installation serial in the registry; empty when there is none.
std::string GetInstalledSerial();

// "BackupRestore.ini" in the backup tree folder (no trailing backslash).
void WriteSecureContents(const std::string& folder, int flag);
// out receives the registry serial once it is stored in the file; untouched otherwise.
void SaveSerialToIni(const std::string& folder, std::string& out);
void LoadSerialFromIni(const std::string& folder, std::string& out);
void WriteSerialToRegistry(const std::string& serial);

// The "Device.ini" version in a host's program folder, as both version checks
// read it; all 0 when the file, a key or the folder itself is missing.
struct DeviceVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned level = 0;
};
DeviceVersion ReadDeviceVersion(const std::string& programFolder);

}  // namespace zr
