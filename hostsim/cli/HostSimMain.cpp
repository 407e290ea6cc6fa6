// hostsim.exe: installs a simulated host into this Windows (or Wine prefix),
// fills its library, lists it, removes it again, and plays a running host by
// holding its mutex. Exit codes: 0 done, 1 failed, 2 bad command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryGen.h"
#include "hostsim/core/LibraryList.h"
#include "hostsim/core/StoredPath.h"

namespace {

using namespace hostsim;

const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

const char kUsage[] =
    "usage: hostsim COMMAND [OPTIONS]\n"
    "\n"
    "  install     install a simulated host\n"
    "      --host talvane|corvell   first host SD-Talvane (default) or second host SD-Corvell\n"
    "      --version MAJOR.MINOR    default 7.0 (talvane) or 1.1 (corvell)\n"
    "      --level N                build level in Device.ini (default 0)\n"
    "      --root PATH              everything goes below it (default C:\\HostSim)\n"
    "      --module PATH            NerithMediaLibrary.dll to copy (default: beside hostsim.exe)\n"
    "      --serial TEXT            installation serial (default HSIM-0001-0002)\n"
    "      --relocate-db            keep the library in a relocated databases folder\n"
    "      --without PART[,PART]    leave parts out: device-ini, uninstall-key, settings-key,\n"
    "                               talv-number, media-path, nml-key, module, library, serial,\n"
    "                               core, gui-data\n"
    "  library     fill the installed host's empty library\n"
    "      --tracks N (20) --folders F (6) --size BYTES (4096) --pictures K (1)\n"
    "      --secure M (2) --missing J (1) --drive-root on|off (off) --music-root PATH\n"
    "  list        print a library: the installed host's, or --db PATH [--core FOLDER]\n"
    "      --out FILE               write to a file instead of the console\n"
    "      --digest                 add each present file's digest (sum=, picsum=)\n"
    "  set-path    rewrite one stored path of a library database (a crafted backup for tests)\n"
    "      --db PATH --track N [--picture K] --path TEXT\n"
    "                               track N as the listing numbers it; picture K (from 1) of it\n"
    "                               instead of its own path\n"
    "  uninstall   remove every installed simulated host\n"
    "  hold-mutex  own the host application's mutex until stdin closes or the process is killed\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "hostsim: %s\n(\"hostsim help\" lists the commands and options)\n", message.c_str());
    return kExitUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hostsim: %s\n", message.c_str());
    return kExitFailed;
}

// "--name value", "--name=value" or a flag "--name"; false with a message on anything else.
struct Args {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
};

bool ParseArgs(int argc, char** argv, const std::set<std::string>& valueNames, const std::set<std::string>& flagNames,
               Args& args, std::string& error) {
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            error = "unexpected argument \"" + a + "\"";
            return false;
        }
        std::string name = a.substr(2), value;
        bool hasValue = false;
        std::string::size_type eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (flagNames.count(name)) {
            if (hasValue) {
                error = "option --" + name + " takes no value";
                return false;
            }
            args.flags.insert(name);
            continue;
        }
        if (!valueNames.count(name)) {
            error = "unknown option --" + name;
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option --" + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (args.values.count(name)) {
            error = "option --" + name + " given twice";
            return false;
        }
        args.values[name] = value;
    }
    return true;
}

bool ParseUnsigned(const std::string& name, const std::string& text, unsigned long long max, unsigned& out,
                   std::string& error) {
    bool digits = !text.empty() && text.size() <= 10;
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || v > max) {
        error = "--" + name + " wants a whole number from 0 to " + std::to_string(max) + ", not \"" + text + "\"";
        return false;
    }
    out = static_cast<unsigned>(v);
    return true;
}

bool ParseVersion(const std::string& text, unsigned& major, unsigned& minor, std::string& error) {
    std::string::size_type dot = text.find('.');
    std::string ignored;
    if (dot == std::string::npos || !ParseUnsigned("version", text.substr(0, dot), 99, major, ignored) ||
        !ParseUnsigned("version", text.substr(dot + 1), 99, minor, ignored) || major == 0) {
        error = "--version wants MAJOR.MINOR such as 6.6, not \"" + text + "\"";
        return false;
    }
    return true;
}

bool ParseParts(const std::string& text, unsigned& omit, std::string& error) {
    static const std::map<std::string, unsigned> kParts = {
        {"device-ini", kPartDeviceIni}, {"uninstall-key", kPartUninstallKey}, {"settings-key", kPartSettingsKey},
        {"talv-number", kPartTalvNumber}, {"media-path", kPartMediaPath}, {"nml-key", kPartNmlKey},
        {"module", kPartModule}, {"library", kPartLibrary}, {"serial", kPartSerial},
        {"core", kPartCoreKey}, {"gui-data", kPartGuiData},
    };
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        auto it = kParts.find(part);
        if (it == kParts.end()) {
            error = "--without: unknown part \"" + part + "\"";
            return false;
        }
        omit |= it->second;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

void PrintInstalled(const InstalledHost& h) {
    auto line = [](const char* what, const std::string& value) {
        if (!value.empty()) std::printf("  %-16s %s\n", what, value.c_str());
    };
    std::printf("installed %s %u.%u (level %u) in %s\n", HostName(h.host), h.major, h.minor, h.level, h.root.c_str());
    line("program", h.programFolder);
    line("settings key", h.settingsKey.empty() ? std::string() : "HKLM\\" + h.settingsKey);
    line("media", h.mediaFolder);
    line("media library", h.libraryFolder);
    line("databases", h.databasesFolder);
    line("relocated from", h.oldDatabasesFolder);
    line("secure core", h.coreFolder);
    line("serial", h.serial);
    line("playlists", h.playlistFolder);
    line("mirs.dat", h.mirsDat);
    line("usrdic.dic", h.usrdicDic);
    line("rule file", h.producerRule);
}

int CmdInstall(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, {"host", "version", "level", "root", "module", "serial", "without"}, {"relocate-db"},
                   args, error))
        return Usage(error);
    InstallOptions o;
    if (args.values.count("host")) {
        const std::string& host = args.values["host"];
        if (host == "talvane" || host == "first") o.host = HostKind::Talvane;
        else if (host == "corvell" || host == "second") o.host = HostKind::Corvell;
        else return Usage("--host wants talvane or corvell, not \"" + host + "\"");
    }
    if (o.host == HostKind::Corvell) {
        o.major = 1;
        o.minor = 1;
    }
    if (args.values.count("version") && !ParseVersion(args.values["version"], o.major, o.minor, error))
        return Usage(error);
    if (args.values.count("level") && !ParseUnsigned("level", args.values["level"], 0xFFFFFFFFull, o.level, error))
        return Usage(error);
    if (args.values.count("root")) o.root = args.values["root"];
    if (args.values.count("module")) o.moduleSource = args.values["module"];
    if (args.values.count("serial")) o.serial = args.values["serial"];
    if (args.values.count("without") && !ParseParts(args.values["without"], o.omit, error)) return Usage(error);
    o.relocateDatabases = args.flags.count("relocate-db") > 0;

    InstalledHost h;
    if (!Install(o, h, error)) return Fail(error);
    PrintInstalled(h);
    return kExitOk;
}

int CmdLibrary(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv,
                   {"tracks", "folders", "size", "pictures", "secure", "missing", "drive-root", "music-root"}, {}, args,
                   error))
        return Usage(error);
    LibraryOptions o;
    struct Number {
        const char* name;
        unsigned* target;
        unsigned long long max;
    } numbers[] = {
        {"tracks", &o.tracks, kMaxTracks},       {"folders", &o.folders, kMaxTracks},
        {"size", &o.fileSize, kMaxFileSize},     {"pictures", &o.picturesPerTrack, kMaxPicturesPerTrack},
        {"secure", &o.secureTracks, kMaxTracks}, {"missing", &o.missingTracks, kMaxTracks},
    };
    for (const Number& n : numbers) {
        if (args.values.count(n.name) && !ParseUnsigned(n.name, args.values[n.name], n.max, *n.target, error))
            return Usage(error);
    }
    if (args.values.count("drive-root")) {
        const std::string& v = args.values["drive-root"];
        if (v != "on" && v != "off") return Usage("--drive-root wants on or off, not \"" + v + "\"");
        o.driveRootTrack = v == "on";
    }
    if (args.values.count("music-root")) o.musicRoot = args.values["music-root"];

    std::vector<InstalledHost> hosts;
    if (!FindInstalledHosts(hosts, error)) return Fail(error);
    InstalledHost& h = hosts.front();
    LibrarySummary summary;
    auto start = std::chrono::steady_clock::now();
    if (!CreateLibrary(h, o, error, &summary)) return Fail(error);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("library %s: %u tracks in %u folders, %u content files, %u pictures, %u secure, %u missing (%.2f s)\n",
                h.contentsDb.c_str(), summary.tracks, summary.folders, summary.filesWritten, summary.picturesWritten,
                summary.secureTracks, summary.missingTracks, seconds);
    if (!summary.driveRootFile.empty()) std::printf("  drive-root track %s\n", summary.driveRootFile.c_str());
    return kExitOk;
}

int CmdList(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, {"db", "core", "out"}, {"digest"}, args, error)) return Usage(error);
    if (args.values.count("core") && !args.values.count("db")) return Usage("--core goes with --db");
    std::string db, core;
    if (args.values.count("db")) {
        db = args.values["db"];
        if (args.values.count("core")) core = args.values["core"];
    } else {
        std::vector<InstalledHost> hosts;
        if (!FindInstalledHosts(hosts, error)) return Fail(error);
        db = hosts.front().contentsDb;
        core = hosts.front().coreFolder;
        if (db.empty()) return Fail("the installed host has no library database");
    }
    std::string text;
    if (!ListLibrary(db, core, text, error, args.flags.count("digest") > 0)) return Fail(error);
    if (args.values.count("out")) {
        if (!WriteWholeFile(args.values["out"], text, error)) return Fail(error);
        return kExitOk;
    }
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);  // the text already has its CRLFs
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return Fail("cannot write the listing to standard output");
    return kExitOk;
}

int CmdSetPath(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, {"db", "track", "picture", "path"}, {}, args, error)) return Usage(error);
    if (!args.values.count("db") || !args.values.count("track") || !args.values.count("path"))
        return Usage("set-path needs --db, --track and --path");
    unsigned track = 0, picture = 0;
    if (!ParseUnsigned("track", args.values["track"], kMaxTracks, track, error)) return Usage(error);
    if (args.values.count("picture") &&
        !ParseUnsigned("picture", args.values["picture"], kMaxPicturesPerTrack, picture, error))
        return Usage(error);
    if (!SetStoredPath(args.values["db"], track, picture, args.values["path"], error)) return Fail(error);
    return kExitOk;
}

int CmdUninstall(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, {}, {}, args, error)) return Usage(error);
    std::vector<InstalledHost> hosts;
    if (!FindInstalledHosts(hosts, error)) {
        std::printf("nothing to uninstall\n");
        return kExitOk;
    }
    for (const InstalledHost& h : hosts) {
        Uninstall(h);
        std::printf("uninstalled %s\n", HostName(h.host));
    }
    return kExitOk;
}

// The name the host uses: "Global\" from Windows 5.1 on, bare before.
std::string HostMutexName() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    bool prefixed = true;
    if (GetVersionExA(&info)) prefixed = info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
    return prefixed ? std::string("Global\\") + kHostMutexName : std::string(kHostMutexName);
}

int CmdHoldMutex(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, {}, {}, args, error)) return Usage(error);
    std::string name = HostMutexName();
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    DWORD lastError = GetLastError();
    if (!mutex) return Fail(ErrorText("cannot create mutex", name, lastError));
    if (lastError == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Fail("mutex \"" + name + "\" already exists: the host or the tool is running");
    }
    std::printf("holding %s (pid %lu) until stdin closes\n", name.c_str(), GetCurrentProcessId());
    std::fflush(stdout);

    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) {
        Sleep(INFINITE);  // no stdin: held until killed
    } else {
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(in, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        }
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    std::string command = argv[1];
    if (command == "install") return CmdInstall(argc, argv);
    if (command == "library") return CmdLibrary(argc, argv);
    if (command == "list") return CmdList(argc, argv);
    if (command == "set-path") return CmdSetPath(argc, argv);
    if (command == "uninstall") return CmdUninstall(argc, argv);
    if (command == "hold-mutex") return CmdHoldMutex(argc, argv);
    if (command == "help" || command == "--help" || command == "-h") {
        std::printf("%s", kUsage);
        return kExitOk;
    }
    return Usage("unknown command \"" + command + "\"");
}
