// A host's traces in the sandbox's registry, written by hand: what the tool's
// readers look for, for tests that need no stand-in host with a library.
#pragma once

#include <string>

namespace zrtest {

const char kTalvaneUninstall[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}";
const char kCorvellUninstall[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{9D03B6E5-1F72-4C8A-B5E9-2A6F0C4D7E18}";
const char kTalvaneSettings[] = "SOFTWARE\\Dovr\\SD-Talvane\\Settings";
const char kCorvellSettings[] = "SOFTWARE\\Dovr\\SD-Corvell\\Settings";
const char kNmlKey[] = "Software\\Nerith\\Kovex\\SD-NML";

// A host's Settings key as the installer leaves it, pointing at programFolder.
void WriteSettingsKey(const char* settingsKey, const std::string& programFolder);
// The uninstall entry, the Settings key and the program folder (made); no "Device.ini".
void RegisterHost(const char* uninstallKey, const char* settingsKey, const std::string& programFolder);
// The first host: registered as above, with a "Device.ini" of that version.
void InstallTalvane(const std::string& programFolder, unsigned major, unsigned minor);
// The second host likewise.
void InstallCorvell(const std::string& programFolder, unsigned major, unsigned minor, unsigned level = 0);
// Points the per-machine and per-user application data folders of the shell
// at <folder>\Common and <folder>\AppData (created), so that GUI data stays
// inside a test's sandbox.
void RedirectShellFolders(const std::string& folder);
// The media library's program folder.
void SetLibraryFolder(const std::string& folder);
void SetSerial(const std::string& serial);

// A value of an INI file, "<none>" when it is missing.
std::string ReadIni(const std::string& file, const char* section, const char* key);

}  // namespace zrtest
