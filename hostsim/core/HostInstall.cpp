#include "hostsim/core/HostInstall.h"

#include <mbstring.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <iterator>

#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "common/PathUtil.h"

namespace hostsim {

const char kTalvaneUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}";
const char kCorvellUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{9D03B6E5-1F72-4C8A-B5E9-2A6F0C4D7E18}";
const char kNmlKey[] = "Software\\Nerith\\Kovex\\SD-NML";
const char kCoreKey[] = "Software\\Nerith\\Kovex\\SD-Core";
const char kHostSimKey[] = "SOFTWARE\\HostSim";
const char kHostMutexName[] = "SDAppGlobalMutex_3F8A21C6_7E54_4B19_A0D2_96C47E1B5F03";

namespace {

const char kTalvaneKey[] = "SOFTWARE\\Dovr\\SD-Talvane\\Settings";
const char kTalvaneV6Key[] = "SOFTWARE\\Dovr\\SD-TalvaneV6\\Settings";
const char kTalvaneV5Key[] = "SOFTWARE\\Dovr\\SD-TalvaneV5\\Settings";
const char kCorvellKey[] = "SOFTWARE\\Dovr\\SD-Corvell\\Settings";
const char* const kTalvaneKeysInOrder[] = {kTalvaneKey, kTalvaneV6Key, kTalvaneV5Key};

const char kDeviceIniName[] = "Device.ini";
const char kIniSection[] = "SD-Talvane";
const char kDatabasesName[] = "databases";
const char kModuleName[] = "NerithMediaLibrary.dll";
// The host-folder layout's playlist folder ("user playlist").
const char kHostPlaylistName[] = "ユーザープレイリスト";

// Keys keep "SOFTWARE\Dovr" style parents only while they hold something else.
const int kKeepDepth = 1;  // never remove "SOFTWARE" itself

std::string VersionText(unsigned major, unsigned minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

// True when `path` lies strictly below `root`: the only folders Uninstall
// removes as a whole, so a registry value pointing elsewhere can do no harm.
bool IsBelow(const std::string& path, const std::string& root) {
    if (root.empty() || path.size() <= root.size() + 1) return false;
    return _mbsnbicmp(reinterpret_cast<const unsigned char*>(path.c_str()),
                      reinterpret_cast<const unsigned char*>(root.c_str()), root.size()) == 0 &&
           path[root.size()] == '\\';
}

void FillGuiPaths(InstalledHost& h, const std::string& commonAppData, const std::string& appData) {
    h.sharedGuiLayout = UsesSharedGuiLayout(h.host, h.major, h.minor);
    if (h.sharedGuiLayout) {
        if (commonAppData.empty()) return;
        std::string shared = commonAppData + "\\Nerith\\SDTL";
        h.playlistFolder = shared + "\\UserPlaylist";
        h.mirsDat = shared + "\\mirs.dat";
        h.usrdicDic = shared + "\\usrdic.dic";
        h.producerRule = shared + "\\SDProducerRule.dat";
    } else {
        if (h.programFolder.empty()) return;
        h.playlistFolder = h.programFolder + "\\" + kHostPlaylistName;
        h.mirsDat = h.programFolder + "\\mirs.dat";
        h.usrdicDic = h.programFolder + "\\usrdic.dic";
        if (!appData.empty()) h.producerRule = appData + "\\SDTalvane\\SDProducerRule.dat";
    }
}

bool WriteGuiData(const InstalledHost& h, std::string& error) {
    if (h.playlistFolder.empty() || h.producerRule.empty()) {
        error = "cannot find the application data folder for the GUI data";
        return false;
    }
    // The contents name the host, so a restore test can tell whose data it got.
    std::string tag = std::string(HostName(h.host)) + " " + VersionText(h.major, h.minor);
    struct Item {
        std::string path;
        std::string text;
    };
    const std::string& pl = h.playlistFolder;
    const Item items[] = {
        {pl + "\\Favorites.m3u", "#EXTM3U\r\n# Favorites, " + tag + "\r\n"},
        {pl + "\\お気に入りソ表.m3u", "#EXTM3U\r\n# お気に入り, " + tag + "\r\n"},
        {pl + "\\Live\\Encore.m3u", "#EXTM3U\r\n# Encore, " + tag + "\r\n"},
        {pl + "\\Live\\ライブ表\\夏ソ.m3u", "#EXTM3U\r\n# 夏, " + tag + "\r\n"},
        {h.mirsDat, "HOSTSIM mirs.dat " + tag + "\r\n"},
        {h.usrdicDic, "HOSTSIM usrdic.dic " + tag + "\r\n"},
        {h.producerRule, "HOSTSIM SDProducerRule.dat " + tag + "\r\n"},
    };
    for (const Item& item : items) {
        if (!MakeFolder(zr::FolderPart(item.path), error)) return false;
        if (!WriteWholeFile(item.path, item.text, error)) return false;
    }
    return true;
}

void RemoveGuiData(const InstalledHost& h) {
    if (h.playlistFolder.empty()) return;
    RemoveTree(h.playlistFolder);
    for (const std::string* file : {&h.mirsDat, &h.usrdicDic, &h.producerRule}) {
        if (!file->empty()) DeleteFileA(file->c_str());
    }
    if (h.sharedGuiLayout) {
        std::string shared = zr::FolderPart(h.mirsDat);  // ...\Nerith\SDTL
        RemoveFolderIfEmpty(shared);
        RemoveFolderIfEmpty(zr::FolderPart(shared));
    } else if (!h.producerRule.empty()) {
        RemoveFolderIfEmpty(zr::FolderPart(h.producerRule));  // ...\SDTalvane
    }
}

// The relocation list: the first "_New" whose "_Old" names `oldPath`; the
// list ends at the first missing "_Old".
std::string FindRelocation(const CRegKey& nml, const std::string& oldPath) {
    for (int i = 0; i < 100; ++i) {
        char oldName[32], newName[32];
        std::snprintf(oldName, sizeof(oldName), "Db_Path_%02d_Old", i);
        std::snprintf(newName, sizeof(newName), "Db_Path_%02d_New", i);
        std::string oldValue, newValue;
        if (!nml.GetString(oldName, oldValue)) break;
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(oldValue.c_str()),
                     reinterpret_cast<const unsigned char*>(oldPath.c_str())) == 0 &&
            nml.GetString(newName, newValue))
            return newValue;
    }
    return std::string();
}

std::string WithoutBackslash(std::string s) {
    zr::RemoveTrailingBackslash(s);
    return s;
}

void ReadSharedParts(InstalledHost& h) {
    CRegKey nml;
    if (nml.Open(HKEY_LOCAL_MACHINE, kNmlKey) == ERROR_SUCCESS) {
        std::string library;
        if (nml.GetString("Program_Path", library)) {
            h.libraryFolder = WithoutBackslash(library);
            std::string module = h.libraryFolder + "\\" + kModuleName;
            if (IsFile(module)) h.moduleFile = module;
            h.pluginsFolder = h.libraryFolder + "\\Plugins";
            std::string databases = h.libraryFolder + "\\" + kDatabasesName;
            std::string relocated = FindRelocation(nml, databases);
            if (!relocated.empty()) {
                h.oldDatabasesFolder = databases;
                databases = WithoutBackslash(relocated);
            }
            h.databasesFolder = databases;
            if (IsFile(databases + "\\contents.db")) h.contentsDb = databases + "\\contents.db";
        }
        nml.GetString("SD-TalvSerial", h.serial);
    }
    CRegKey core;
    std::string corePath;
    if (core.Open(HKEY_LOCAL_MACHINE, kCoreKey) == ERROR_SUCCESS && core.GetString("Program_Path", corePath))
        h.coreFolder = WithoutBackslash(corePath);
}

bool WriteCompanions(const std::string& folder, std::string& error) {
    for (const char* name : kCompanionFiles) {
        if (!WriteWholeFile(folder + "\\" + name, std::string("HOSTSIM ") + name + "\r\n", error)) return false;
    }
    return true;
}

bool CheckVersion(const InstallOptions& o, std::string& error) {
    if (o.major == 0 || o.major > 99 || o.minor > 99) {
        error = "version " + VersionText(o.major, o.minor) + " is not a version number (major 1 to 99, minor 0 to 99)";
        return false;
    }
    return true;
}

// Checks and normalises the root; false with a message when it cannot be used.
bool PrepareRoot(const std::string& requested, std::string& root, std::string& error) {
    root = FullPath(requested);
    if (root.empty()) {
        error = "root folder \"" + requested + "\" is not a valid path";
        return false;
    }
    if (root.size() <= 3) {
        error = "root folder \"" + root + "\" is a drive root; use a folder below it";
        return false;
    }
    // Leaves room below the root for the deepest generated paths within MAX_PATH.
    if (root.size() > 120) {
        error = "root folder \"" + root + "\" is longer than 120 bytes";
        return false;
    }
    if (IsFile(root)) {
        error = "root \"" + root + "\" is a file";
        return false;
    }
    return true;
}

bool HostAlreadyInstalled(HostKind host) {
    if (host == HostKind::Corvell) {
        return KeyExists(HKEY_LOCAL_MACHINE, kCorvellUninstallKey) || KeyExists(HKEY_LOCAL_MACHINE, kCorvellKey);
    }
    if (KeyExists(HKEY_LOCAL_MACHINE, kTalvaneUninstallKey)) return true;
    for (const char* key : kTalvaneKeysInOrder) {
        if (KeyExists(HKEY_LOCAL_MACHINE, key)) return true;
    }
    return false;
}

}  // namespace

const char* HostName(HostKind host) { return host == HostKind::Corvell ? "SD-Corvell" : "SD-Talvane"; }

std::string SettingsKeyFor(HostKind host, unsigned major, unsigned minor) {
    if (host == HostKind::Corvell) return kCorvellKey;
    if (major > 6 || (major == 6 && minor >= 7)) return kTalvaneKey;
    if (major == 6) return kTalvaneV6Key;
    return kTalvaneV5Key;
}

bool UsesSharedGuiLayout(HostKind host, unsigned major, unsigned minor) {
    return host == HostKind::Corvell || major > 6 || (major == 6 && minor >= 7);
}

namespace {

bool WriteRegistry(HKEY root, const std::string& key, std::string& error,
                   const std::function<LONG(CRegKey&)>& write) {
    CRegKey k;
    LONG rc = k.Create(root, key);
    if (rc == ERROR_SUCCESS) rc = write(k);
    if (rc != ERROR_SUCCESS) {
        error = ErrorText(root == HKEY_CURRENT_USER ? "cannot write HKCU key" : "cannot write HKLM key", key,
                          static_cast<DWORD>(rc));
        return false;
    }
    return true;
}

bool InstallShared(const InstallOptions& o, InstalledHost& h, std::string& error) {
    const bool relocate = o.relocateDatabases;
    auto want = [&](unsigned part) { return (o.omit & part) == 0; };

    // Media library: folder, module, plug-ins, databases, registry.
    std::string library = h.root + "\\Nerith\\SD-NML";
    if (!MakeFolder(library, error)) return false;
    h.libraryFolder = library;
    if (want(kPartModule)) {
        std::string source = o.moduleSource.empty() ? ProgramFolder() + "\\" + kModuleName : o.moduleSource;
        if (!IsFile(source)) {
            error = "media library module \"" + source + "\" not found (give its path, or leave the module out)";
            return false;
        }
        h.moduleFile = library + "\\" + kModuleName;
        if (!CopyOneFile(source, h.moduleFile, error)) return false;
    }
    h.pluginsFolder = library + "\\Plugins";
    if (!MakeFolder(h.pluginsFolder, error)) return false;

    if (want(kPartLibrary)) {
        std::string databases = library + "\\" + kDatabasesName;
        if (relocate) {
            h.oldDatabasesFolder = databases;
            databases = h.root + "\\Relocated\\" + kDatabasesName;
        }
        if (!MakeFolder(databases, error)) return false;
        h.databasesFolder = databases;
        h.contentsDb = databases + "\\contents.db";
        CLibraryDb db;
        if (!db.Create(h.contentsDb)) {
            error = "cannot create the library \"" + h.contentsDb + "\"";
            return false;
        }
        db.Close();
        if (!WriteCompanions(databases, error)) return false;
    }

    if (!WriteRegistry(HKEY_LOCAL_MACHINE, kNmlKey, error, [&](CRegKey& k) {
            LONG rc = ERROR_SUCCESS;
            if (want(kPartNmlKey)) {
                rc = k.SetString("Program_Path", library + "\\");  // stored with its backslash, as installers do
                if (rc == ERROR_SUCCESS) rc = k.SetDword("Version", 0x00030000);
            }
            if (rc == ERROR_SUCCESS && want(kPartSerial) && !o.serial.empty()) {
                rc = k.SetString("SD-TalvSerial", o.serial);
                h.serial = o.serial;
            }
            if (rc == ERROR_SUCCESS && !h.oldDatabasesFolder.empty()) {
                rc = k.SetString("Db_Path_00_Old", h.oldDatabasesFolder);
                if (rc == ERROR_SUCCESS) rc = k.SetString("Db_Path_00_New", h.databasesFolder);
            }
            return rc;
        }))
        return false;

    if (want(kPartCoreKey)) {
        std::string core = h.root + "\\Nerith\\SD-Core";
        if (!MakeFolder(core, error)) return false;
        h.coreFolder = core;
        if (!WriteRegistry(HKEY_LOCAL_MACHINE, kCoreKey, error,
                           [&](CRegKey& k) { return k.SetString("Program_Path", core + "\\"); }))
            return false;
    }

    return true;
}

bool InstallSteps(const InstallOptions& o, bool reuseShared, InstalledHost& h, std::string& error) {
    auto want = [&](unsigned part) { return (o.omit & part) == 0; };

    if (!MakeFolder(h.root, error)) return false;

    // Program folder and version file.
    std::string program = h.root + "\\" + HostName(o.host);
    if (!MakeFolder(program, error)) return false;
    h.programFolder = program;
    if (want(kPartDeviceIni)) {
        char ini[160];
        std::snprintf(ini, sizeof(ini), "[%s]\r\nMajorVersion=%u\r\nMinorVersion=%u\r\nLevel=%u\r\n", kIniSection,
                      o.major, o.minor, o.level);
        h.deviceIni = program + "\\" + kDeviceIniName;
        if (!WriteWholeFile(h.deviceIni, ini, error)) return false;
    }

    const std::string version = VersionText(o.major, o.minor);
    if (want(kPartUninstallKey)) {
        h.uninstallKey = o.host == HostKind::Corvell ? kCorvellUninstallKey : kTalvaneUninstallKey;
        if (!WriteRegistry(HKEY_LOCAL_MACHINE, h.uninstallKey, error, [&](CRegKey& k) {
                LONG rc = k.SetString("DisplayName", HostName(o.host));
                if (rc == ERROR_SUCCESS) rc = k.SetString("DisplayVersion", version);
                if (rc == ERROR_SUCCESS) rc = k.SetString("Publisher", "Dovr");
                if (rc == ERROR_SUCCESS) rc = k.SetString("InstallLocation", program);
                return rc;
            }))
            return false;
    }

    const std::string settingsKey = SettingsKeyFor(o.host, o.major, o.minor);
    if (want(kPartSettingsKey)) {
        h.settingsKey = settingsKey;
        if (!WriteRegistry(HKEY_LOCAL_MACHINE, settingsKey, error, [&](CRegKey& k) {
                LONG rc = want(kPartTalvNumber) ? k.SetDword("SD-TalvNumber", o.major * 100 + o.minor)
                                                : ERROR_SUCCESS;
                if (rc == ERROR_SUCCESS) rc = k.SetString("Dovr_Program_Path", program);
                return rc;
            }))
            return false;
    }

    if (want(kPartMediaPath)) {
        h.mediaFolder = h.root + "\\Media";
        h.pictureFolder = h.mediaFolder + "\\Picture";
        h.userSettingsKey = settingsKey;
        if (!MakeFolder(h.pictureFolder, error)) return false;
        if (!WriteRegistry(HKEY_CURRENT_USER, settingsKey, error,
                           [&](CRegKey& k) { return k.SetString("MediaPath", h.mediaFolder); }))
            return false;
    }

    if (reuseShared) {
        // A host installed beside another one uses its media library, secure
        // core and serial, as the real hosts do.
        ReadSharedParts(h);
    } else if (!InstallShared(o, h, error)) {
        return false;
    }

    FillGuiPaths(h, SpecialFolder(CSIDL_COMMON_APPDATA), SpecialFolder(CSIDL_APPDATA));
    if (want(kPartGuiData)) {
        if (!WriteGuiData(h, error)) return false;
    } else {
        h.playlistFolder.clear();
        h.mirsDat.clear();
        h.usrdicDic.clear();
        h.producerRule.clear();
    }

    return WriteRegistry(HKEY_LOCAL_MACHINE, kHostSimKey, error,
                         [&](CRegKey& k) { return k.SetString("Root", h.root); });
}

}  // namespace

bool Install(const InstallOptions& options, InstalledHost& installedOut, std::string& errorOut) {
    installedOut = InstalledHost();
    if (!CheckVersion(options, errorOut)) return false;
    InstalledHost h;
    h.host = options.host;
    h.major = options.major;
    h.minor = options.minor;
    h.level = options.level;
    if (!PrepareRoot(options.root, h.root, errorOut)) return false;
    if (HostAlreadyInstalled(options.host)) {
        errorOut = std::string(HostName(options.host)) + " is already installed; uninstall it first";
        return false;
    }
    // A second host shares the media library, secure core and media folder
    // with the first: a failed install must not take those away from it.
    const bool sharedExisted = KeyExists(HKEY_LOCAL_MACHINE, kNmlKey) || KeyExists(HKEY_LOCAL_MACHINE, kCoreKey);
    if (!InstallSteps(options, sharedExisted, h, errorOut)) {
        if (sharedExisted) {
            h.mediaFolder.clear();
            h.libraryFolder.clear();
            h.databasesFolder.clear();
            h.oldDatabasesFolder.clear();
            h.coreFolder.clear();
            if (h.sharedGuiLayout) h.playlistFolder.clear();
        }
        Uninstall(h);
        return false;
    }
    installedOut = h;
    return true;
}

void Uninstall(const InstalledHost& h) {
    if (!h.uninstallKey.empty()) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, h.uninstallKey.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, h.uninstallKey.c_str());
    }
    RemoveKeyTree(HKEY_LOCAL_MACHINE, h.settingsKey, kKeepDepth);
    RemoveKeyTree(HKEY_CURRENT_USER, h.userSettingsKey, kKeepDepth);
    if (!h.libraryFolder.empty()) RemoveKeyTree(HKEY_LOCAL_MACHINE, kNmlKey, kKeepDepth);
    if (!h.coreFolder.empty()) RemoveKeyTree(HKEY_LOCAL_MACHINE, kCoreKey, kKeepDepth);

    RemoveGuiData(h);
    for (const std::string& file : h.driveRootFiles) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }

    // Folders only below the root: a registry value edited by hand to point
    // elsewhere must not make this delete someone's data.
    for (const std::string* folder : {&h.programFolder, &h.mediaFolder, &h.libraryFolder, &h.coreFolder}) {
        if (IsBelow(*folder, h.root)) RemoveTree(*folder);
    }
    if (!h.oldDatabasesFolder.empty()) {
        // The relocated folder and the ".tmp"/".bak" siblings a restore leaves beside it.
        std::string parent = zr::FolderPart(h.databasesFolder);
        if (IsBelow(parent, h.root)) RemoveTree(parent);
    }
    if (h.musicRoot.size() > 3) RemoveTree(h.musicRoot);  // CreateLibrary made it; never a drive root
    RemoveFolderIfEmpty(h.root + "\\Nerith");
    RemoveFolderIfEmpty(h.root);
    // The bookkeeping goes with the last host.
    if (!HostAlreadyInstalled(HostKind::Talvane) && !HostAlreadyInstalled(HostKind::Corvell))
        RemoveKeyTree(HKEY_LOCAL_MACHINE, kHostSimKey, kKeepDepth);
}

namespace {

void ReadHostSimParts(InstalledHost& h) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kHostSimKey) != ERROR_SUCCESS) return;
    key.GetString("Root", h.root);
    key.GetString("MusicRoot", h.musicRoot);
    key.GetMultiString("DriveRootFiles", h.driveRootFiles);
}

// One host as the registry and its "Device.ini" describe it; false when no
// trace of it is in the registry.
bool ReadHost(HostKind host, InstalledHost& h) {
    h = InstalledHost();
    h.host = host;
    const char* uninstallKey = host == HostKind::Corvell ? kCorvellUninstallKey : kTalvaneUninstallKey;
    bool present = KeyExists(HKEY_LOCAL_MACHINE, uninstallKey);
    if (present) h.uninstallKey = uninstallKey;

    std::vector<const char*> candidates;
    if (host == HostKind::Corvell) candidates = {kCorvellKey};
    else candidates.assign(std::begin(kTalvaneKeysInOrder), std::end(kTalvaneKeysInOrder));
    for (const char* name : candidates) {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, name) != ERROR_SUCCESS) continue;
        present = true;
        h.settingsKey = name;
        std::string program;
        if (key.GetString("Dovr_Program_Path", program)) {
            h.programFolder = WithoutBackslash(program);
            break;
        }
    }
    if (!present) return false;

    if (!h.programFolder.empty()) {
        std::string ini = h.programFolder + "\\" + kDeviceIniName;
        if (IsFile(ini)) {
            h.deviceIni = ini;
            h.major = GetPrivateProfileIntA(kIniSection, "MajorVersion", 0, ini.c_str());
            h.minor = GetPrivateProfileIntA(kIniSection, "MinorVersion", 0, ini.c_str());
            h.level = GetPrivateProfileIntA(kIniSection, "Level", 0, ini.c_str());
        }
    }
    h.userSettingsKey = h.major ? SettingsKeyFor(host, h.major, h.minor) : h.settingsKey;
    CRegKey user;
    std::string media;
    if (!h.userSettingsKey.empty() && user.Open(HKEY_CURRENT_USER, h.userSettingsKey) == ERROR_SUCCESS &&
        user.GetString("MediaPath", media)) {
        h.mediaFolder = WithoutBackslash(media);
        h.pictureFolder = h.mediaFolder + "\\Picture";
    }
    ReadSharedParts(h);
    ReadHostSimParts(h);
    FillGuiPaths(h, SpecialFolder(CSIDL_COMMON_APPDATA), SpecialFolder(CSIDL_APPDATA));
    if (!IsFolder(h.playlistFolder) && !IsFile(h.mirsDat)) {
        h.playlistFolder.clear();
        h.mirsDat.clear();
        h.usrdicDic.clear();
        h.producerRule.clear();
    }
    return true;
}

}  // namespace

bool FindInstalledHosts(std::vector<InstalledHost>& hostsOut, std::string& errorOut) {
    hostsOut.clear();
    for (HostKind kind : {HostKind::Talvane, HostKind::Corvell}) {
        InstalledHost h;
        if (ReadHost(kind, h)) hostsOut.push_back(h);
    }
    if (hostsOut.empty()) {
        errorOut = "no host is installed (run \"hostsim install\" first)";
        return false;
    }
    return true;
}

}  // namespace hostsim
