#include "support/HostRegistry.h"

#include <windows.h>

#include "support/Sandbox.h"

namespace zrtest {
namespace {

void WriteDeviceIni(const std::string& programFolder, unsigned major, unsigned minor, unsigned level) {
    const std::string ini = programFolder + "\\Device.ini";
    WritePrivateProfileStringA("SD-Talvane", "MajorVersion", std::to_string(major).c_str(), ini.c_str());
    WritePrivateProfileStringA("SD-Talvane", "MinorVersion", std::to_string(minor).c_str(), ini.c_str());
    WritePrivateProfileStringA("SD-Talvane", "Level", std::to_string(level).c_str(), ini.c_str());
}

}  // namespace

void WriteSettingsKey(const char* settingsKey, const std::string& programFolder) {
    SetRegDword(HKEY_LOCAL_MACHINE, settingsKey, "SD-TalvNumber", 1);
    SetRegString(HKEY_LOCAL_MACHINE, settingsKey, "Dovr_Program_Path", programFolder);
}

void RegisterHost(const char* uninstallKey, const char* settingsKey, const std::string& programFolder) {
    MakeFolder(programFolder);
    CreateRegKey(HKEY_LOCAL_MACHINE, uninstallKey);
    WriteSettingsKey(settingsKey, programFolder);
}

void InstallTalvane(const std::string& programFolder, unsigned major, unsigned minor) {
    RegisterHost(kTalvaneUninstall, kTalvaneSettings, programFolder);
    WriteDeviceIni(programFolder, major, minor, 0);
}

void InstallCorvell(const std::string& programFolder, unsigned major, unsigned minor, unsigned level) {
    RegisterHost(kCorvellUninstall, kCorvellSettings, programFolder);
    WriteDeviceIni(programFolder, major, minor, level);
}

void RedirectShellFolders(const std::string& folder) {
    const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    SetRegString(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", folder + "\\Common");
    SetRegString(HKEY_CURRENT_USER, kShellFolders, "AppData", folder + "\\AppData");
    MakeFolder(folder + "\\Common");
    MakeFolder(folder + "\\AppData");
}

void SetLibraryFolder(const std::string& folder) { SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Program_Path", folder); }

void SetSerial(const std::string& serial) { SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "SD-TalvSerial", serial); }

std::string ReadIni(const std::string& file, const char* section, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof(buffer), file.c_str());
    return buffer;
}

}  // namespace zrtest
