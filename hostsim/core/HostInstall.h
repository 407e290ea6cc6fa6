// Installs a simulated host application: the registry keys, "Device.ini",
// folders, media library (module copy and an empty library) and GUI data that
// the backup tool looks for. Test, demo and benchmark fixture only.
//
// Everything but the GUI data goes below one root folder; the GUI data goes
// where the host version keeps it (the per-machine or per-user application
// data folder, or the program folder). Registry writes use HKEY_LOCAL_MACHINE
// and HKEY_CURRENT_USER as they are, so tests may redirect them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace hostsim {

enum class HostKind {
    Talvane,  // first host, SD-Talvane 5.x to 7.x
    Corvell,  // second host, SD-Corvell 1.x
};

// Parts that Install can leave out (for tests of a broken installation).
enum InstallPart : unsigned {
    kPartDeviceIni = 1u << 0,     // "Device.ini" in the program folder
    kPartUninstallKey = 1u << 1,  // the host's uninstall entry
    kPartSettingsKey = 1u << 2,   // HKLM Settings key (program path)
    kPartTalvNumber = 1u << 3,    // "SD-TalvNumber" in that key
    kPartMediaPath = 1u << 4,     // HKCU "MediaPath" and the media folder
    kPartNmlKey = 1u << 5,        // media library key ("Program_Path", "Version")
    kPartModule = 1u << 6,        // NerithMediaLibrary.dll copy
    kPartLibrary = 1u << 7,       // databases folder with contents.db and companions
    kPartSerial = 1u << 8,        // "SD-TalvSerial"
    kPartCoreKey = 1u << 9,       // secure core key and folder
    kPartGuiData = 1u << 10,      // playlists, mirs.dat, usrdic.dic, SDProducerRule.dat
};

struct InstallOptions {
    HostKind host = HostKind::Talvane;
    unsigned major = 7;
    unsigned minor = 0;
    unsigned level = 0;  // build level; only the second host's check reads it
    std::string root = "C:\\HostSim";
    // NerithMediaLibrary.dll to copy; empty: the one beside the running program.
    std::string moduleSource;
    std::string serial = "HSIM-0001-0002";
    // Library in a relocated databases folder, listed as "Db_Path_00_Old"/"_New".
    bool relocateDatabases = false;
    unsigned omit = 0;  // InstallPart bits to leave out
};

// Every path and key an installation made (empty when left out).
struct InstalledHost {
    HostKind host = HostKind::Talvane;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned level = 0;
    std::string root;

    std::string programFolder;    // "Dovr_Program_Path"
    std::string deviceIni;
    std::string uninstallKey;     // HKLM
    std::string settingsKey;      // HKLM
    std::string userSettingsKey;  // HKCU, holds "MediaPath"
    std::string mediaFolder;
    std::string pictureFolder;    // mediaFolder + "\Picture"

    std::string libraryFolder;    // media library "Program_Path", no trailing backslash
    std::string moduleFile;
    std::string pluginsFolder;
    std::string databasesFolder;  // where contents.db is (the relocated one when relocated)
    std::string contentsDb;
    std::string oldDatabasesFolder;  // libraryFolder + "\databases" when relocated, else empty
    std::string coreFolder;          // secure core "Program_Path", no trailing backslash
    std::string serial;

    bool sharedGuiLayout = false;  // true: per-machine data folder; false: program folder
    std::string playlistFolder;
    std::string mirsDat;
    std::string usrdicDic;
    std::string producerRule;

    std::string musicRoot;                    // set by CreateLibrary
    std::vector<std::string> driveRootFiles;  // tracks CreateLibrary put at a drive root
};

// Registry names the host and the media library use.
extern const char kTalvaneUninstallKey[];
extern const char kCorvellUninstallKey[];
extern const char kNmlKey[];
extern const char kCoreKey[];
// hostsim's own bookkeeping (root folder, drive-root files) for later runs.
extern const char kHostSimKey[];
// The host application's mutex name, without the "Global\" prefix.
extern const char kHostMutexName[];

// The HKLM Settings key of a host version (also the HKCU per-user key name).
std::string SettingsKeyFor(HostKind host, unsigned major, unsigned minor);
// True when that version keeps its GUI data in the per-machine data folder.
bool UsesSharedGuiLayout(HostKind host, unsigned major, unsigned minor);
const char* HostName(HostKind host);

// Installs a host. On failure nothing of it is left behind and `error` says why.
bool Install(const InstallOptions& options, InstalledHost& installedOut, std::string& errorOut);
// Removes the keys and folders of an installation (and the files CreateLibrary
// put at a drive root). Folders it did not make, such as the root when other
// things are in it, are kept.
void Uninstall(const InstalledHost& installed);

// Reads the hosts installed in this registry and their paths (first host
// first), as the tool would find them, plus hostsim's own bookkeeping.
// False with a message when no host is installed.
bool FindInstalledHosts(std::vector<InstalledHost>& hostsOut, std::string& errorOut);

}  // namespace hostsim
