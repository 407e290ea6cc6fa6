#include "app/settings/HostSettings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <utility>

#include "app/settings/SystemFacts.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"

namespace {

using zrtest::CSandbox;
using zrtest::kCorvellSettings;
using zrtest::kCorvellUninstall;
using zrtest::kNmlKey;
using zrtest::kTalvaneSettings;
using zrtest::kTalvaneUninstall;
using zrtest::WriteSettingsKey;

const char kTalvaneV6Settings[] = "SOFTWARE\\Dovr\\SD-TalvaneV6\\Settings";
const char kTalvaneV5Settings[] = "SOFTWARE\\Dovr\\SD-TalvaneV5\\Settings";
const char kCore[] = "Software\\Nerith\\Kovex\\SD-Core";

// "ソ" in Shift-JIS is 0x83 0x5C: its trail byte is the backslash code.
const char kSo[] = "\x83\x5C";

std::string DeviceIni(unsigned major, unsigned minor, unsigned level) {
    return "[SD-Talvane]\r\nMajorVersion=" + std::to_string(major) + "\r\nMinorVersion=" + std::to_string(minor) +
           "\r\nLevel=" + std::to_string(level) + "\r\n";
}

// Uninstall entry, Settings key and program folder; Device.ini only when `ini` is not empty.
std::string InstallHost(const CSandbox& box, const char* uninstallKey, const char* settingsKey,
                        const std::string& ini) {
    std::string folder = box.Path("host");
    zrtest::RegisterHost(uninstallKey, settingsKey, folder);
    if (!ini.empty()) zrtest::WriteTextFile(folder + "\\Device.ini", ini);
    return folder;
}

class CFakeFacts : public zr::CSystemFacts {
public:
    CFakeFacts(bool known, DWORD major, DWORD minor) : m_known(known) {
        m_version.major = major;
        m_version.minor = minor;
        m_version.platformId = VER_PLATFORM_WIN32_NT;
    }
    bool GetOsVersion(zr::OsVersion& version) override {
        if (!m_known) return false;
        version = m_version;
        return true;
    }

private:
    bool m_known;
    zr::OsVersion m_version;
};

class CFactsScope {
public:
    explicit CFactsScope(zr::CSystemFacts* facts) { zr::SetSystemFacts(facts); }
    ~CFactsScope() { zr::SetSystemFacts(nullptr); }
};

// ---- First host: version rows, settings root and media folder ----

struct TalvaneCase {
    const char* name;
    bool hasIni;
    unsigned major;
    unsigned minor;
    bool supported;
    const char* root;   // settings root when supported
    const char* media;  // what GetMediaPath finds
};

void PrintTo(const TalvaneCase& c, std::ostream* os) { *os << c.name; }

class TalvaneVersion : public testing::TestWithParam<TalvaneCase> {};

TEST_P(TalvaneVersion, DecidesSupportRootAndMediaFolder) {
    const TalvaneCase& c = GetParam();
    CSandbox box;
    InstallHost(box, kTalvaneUninstall, kTalvaneSettings, c.hasIni ? DeviceIni(c.major, c.minor, 0) : "");
    // Every root holds a media folder, so the one found shows which root was used.
    zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-TalvaneV5\\Settings", "MediaPath", "D:\\MediaV5");
    zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-TalvaneV6\\Settings", "MediaPath", "D:\\MediaV6");
    zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-Talvane\\Settings", "MediaPath", "D:\\Media");
    zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-Corvell\\Settings", "MediaPath", "D:\\Corvell");

    EXPECT_EQ(c.supported, zr::CheckTalvaneVersion());
    if (c.supported) {
        std::string root;
        zr::GetTalvaneSettingsRoot(root);
        EXPECT_EQ(c.root, root);
    }
    std::string media = "untouched";
    zr::GetMediaPath(media);
    EXPECT_EQ(c.media, media);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TalvaneVersion,
    testing::Values(
        TalvaneCase{"V5_2_Refused", true, 5, 2, false, "", "D:\\Corvell"},
        TalvaneCase{"V5_3", true, 5, 3, true, "Software\\Dovr\\SD-TalvaneV5\\", "D:\\MediaV5"},
        TalvaneCase{"V5_9", true, 5, 9, true, "Software\\Dovr\\SD-TalvaneV5\\", "D:\\MediaV5"},
        TalvaneCase{"V6_5_Refused", true, 6, 5, false, "", "D:\\Corvell"},
        TalvaneCase{"V6_6", true, 6, 6, true, "Software\\Dovr\\SD-TalvaneV6\\", "D:\\MediaV6"},
        TalvaneCase{"V6_7", true, 6, 7, true, "Software\\Dovr\\SD-Talvane\\", "D:\\Media"},
        TalvaneCase{"V7_0", true, 7, 0, true, "Software\\Dovr\\SD-Talvane\\", "D:\\Media"},
        TalvaneCase{"V8_0_Refused", true, 8, 0, false, "", "D:\\Corvell"},
        TalvaneCase{"NoDeviceIni_Refused", false, 0, 0, false, "", "D:\\Corvell"}),
    [](const testing::TestParamInfo<TalvaneCase>& info) { return std::string(info.param.name); });

TEST(HostSettings, TalvaneNeedsItsUninstallEntry) {
    CSandbox box;
    std::string folder = box.Path("host");
    zrtest::MakeFolder(folder);
    WriteSettingsKey(kTalvaneSettings, folder);
    zrtest::WriteTextFile(folder + "\\Device.ini", DeviceIni(7, 0, 0));
    EXPECT_FALSE(zr::CheckTalvaneVersion());
}

TEST(HostSettings, ProgramFolderWithTrailingBackslashStillFindsDeviceIni) {
    CSandbox box;
    std::string folder = InstallHost(box, kTalvaneUninstall, kTalvaneSettings, DeviceIni(7, 1, 0));
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kTalvaneSettings, "Dovr_Program_Path", folder + "\\");
    EXPECT_TRUE(zr::CheckTalvaneVersion());
}

// Puts "Device.ini" in the root of the sandbox's drive and makes that drive
// current, so "\Device.ini" names it; undone on every path.
class CDriveRootIni {
public:
    explicit CDriveRootIni(const CSandbox& box) : m_path(box.Folder().substr(0, 2) + "\\Device.ini") {
        GetCurrentDirectoryA(sizeof(m_saved), m_saved);
        SetCurrentDirectoryA(box.Folder().c_str());
        m_placed = !zrtest::FileExists(m_path);
    }
    ~CDriveRootIni() {
        if (m_placed) DeleteFileA(m_path.c_str());
        SetCurrentDirectoryA(m_saved);
    }
    bool Placed() const { return m_placed; }
    void Write(const std::string& content) { zrtest::WriteTextFile(m_path, content); }

private:
    std::string m_path;
    char m_saved[MAX_PATH] = {};
    bool m_placed = false;
};

// Without a program folder, "\Device.ini" would name the root of the current
// drive; a version file lying there must not make a host count as installed.
TEST(HostSettings, NoProgramFolderMeansNotInstalled) {
    CSandbox box;
    CDriveRootIni rootIni(box);
    ASSERT_TRUE(rootIni.Placed()) << "a Device.ini already lies in the drive root";
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, kTalvaneUninstall);
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, kCorvellUninstall);

    rootIni.Write(DeviceIni(1, 1, 50));
    EXPECT_FALSE(zr::CheckCorvellVersion());
    rootIni.Write(DeviceIni(7, 0, 50));
    EXPECT_FALSE(zr::CheckTalvaneVersion());
    // An empty stored path is no folder either.
    WriteSettingsKey(kTalvaneSettings, "");
    EXPECT_FALSE(zr::CheckTalvaneVersion());
}

// ---- Second host ----

struct CorvellCase {
    const char* name;
    unsigned major;
    unsigned minor;
    unsigned level;
    bool osKnown;
    DWORD osMajor;
    DWORD osMinor;
    bool supported;
};

void PrintTo(const CorvellCase& c, std::ostream* os) { *os << c.name; }

class CorvellVersion : public testing::TestWithParam<CorvellCase> {};

TEST_P(CorvellVersion, DecidesSupport) {
    const CorvellCase& c = GetParam();
    CSandbox box;
    InstallHost(box, kCorvellUninstall, kCorvellSettings, DeviceIni(c.major, c.minor, c.level));
    CFakeFacts facts(c.osKnown, c.osMajor, c.osMinor);
    CFactsScope scope(&facts);
    EXPECT_EQ(c.supported, zr::CheckCorvellVersion());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CorvellVersion,
    testing::Values(CorvellCase{"V1_0_L49_Win6_0", 1, 0, 49, true, 6, 0, true},
                    CorvellCase{"V1_0_L46_Win6_0", 1, 0, 46, true, 6, 0, true},
                    CorvellCase{"V1_0_L45_Win6_0_Refused", 1, 0, 45, true, 6, 0, false},
                    CorvellCase{"V1_0_L49_Win5_1_Refused", 1, 0, 49, true, 5, 1, false},
                    CorvellCase{"V1_0_L49_Win6_1_Refused", 1, 0, 49, true, 6, 1, false},
                    CorvellCase{"V1_0_L49_UnknownWin_Refused", 1, 0, 49, false, 0, 0, false},
                    CorvellCase{"V1_0_L50_Win5_1", 1, 0, 50, true, 5, 1, true},
                    CorvellCase{"V1_0_L50_Win6_0", 1, 0, 50, true, 6, 0, true},
                    CorvellCase{"V1_0_L50_Win6_1", 1, 0, 50, true, 6, 1, true},
                    CorvellCase{"V1_0_L50_UnknownWin", 1, 0, 50, false, 0, 0, true},
                    CorvellCase{"V1_1_L0", 1, 1, 0, true, 5, 1, true},
                    CorvellCase{"V2_0_Refused", 2, 0, 99, true, 6, 0, false},
                    CorvellCase{"V0_0_Refused", 0, 0, 99, true, 6, 0, false}),
    [](const testing::TestParamInfo<CorvellCase>& info) { return std::string(info.param.name); });

TEST(HostSettings, CorvellWithoutDeviceIniOrUninstallEntryIsNotInstalled) {
    CSandbox box;
    InstallHost(box, kCorvellUninstall, kCorvellSettings, "");
    EXPECT_FALSE(zr::CheckCorvellVersion());

    zrtest::WriteTextFile(box.Path("host\\Device.ini"), DeviceIni(1, 1, 50));
    EXPECT_TRUE(zr::CheckCorvellVersion());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kCorvellUninstall));
    EXPECT_FALSE(zr::CheckCorvellVersion());
}

TEST(HostSettings, ReadsDeviceVersionWithMissingKeysAsZero) {
    CSandbox box;
    zrtest::WriteTextFile(box.Path("Device.ini"), "[SD-Talvane]\r\nMajorVersion=7\r\nLevel=123\r\n");
    zr::DeviceVersion v = zr::ReadDeviceVersion(box.Folder());
    EXPECT_EQ(7u, v.major);
    EXPECT_EQ(0u, v.minor);
    EXPECT_EQ(123u, v.level);

    for (const std::string& folder : {box.Path("absent"), std::string()}) {
        v = zr::ReadDeviceVersion(folder);
        EXPECT_EQ(0u, v.major + v.minor + v.level) << "'" << folder << "'";
    }
}

// ---- Program folders ----

TEST(HostSettings, TalvaneProgramPathSkipsIncompleteKeys) {
    CSandbox box;
    std::string out = "untouched";
    EXPECT_FALSE(zr::GetTalvaneProgramPath(out));
    EXPECT_EQ("untouched", out);

    // The newest key lacks its number: the V6 key is taken.
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kTalvaneSettings, "Dovr_Program_Path", "C:\\Talvane");
    WriteSettingsKey(kTalvaneV6Settings, "C:\\TalvaneV6");
    WriteSettingsKey(kTalvaneV5Settings, "C:\\TalvaneV5");
    ASSERT_TRUE(zr::GetTalvaneProgramPath(out));
    EXPECT_EQ("C:\\TalvaneV6", out);

    // V6 lacks its path: on to V5.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTalvaneV6Settings));
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, kTalvaneV6Settings, "SD-TalvNumber", 1);
    ASSERT_TRUE(zr::GetTalvaneProgramPath(out));
    EXPECT_EQ("C:\\TalvaneV5", out);

    // A complete newest key wins over the others.
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, kTalvaneSettings, "SD-TalvNumber", 7);
    ASSERT_TRUE(zr::GetTalvaneProgramPath(out));
    EXPECT_EQ("C:\\Talvane", out);
}

TEST(HostSettings, CorvellProgramPathNeedsNumberAndPath) {
    CSandbox box;
    std::string out = "untouched";
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kCorvellSettings, "Dovr_Program_Path", "C:\\Corvell");
    EXPECT_FALSE(zr::GetCorvellProgramPath(out));
    EXPECT_EQ("untouched", out);
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, kCorvellSettings, "SD-TalvNumber", 0);
    ASSERT_TRUE(zr::GetCorvellProgramPath(out));
    EXPECT_EQ("C:\\Corvell", out);
}

struct NmlPathCase {
    const char* name;
    std::string stored;
    std::string expected;
};

void PrintTo(const NmlPathCase& c, std::ostream* os) { *os << c.name; }

class NmlProgramPath : public testing::TestWithParam<NmlPathCase> {};

TEST_P(NmlProgramPath, DropsOneSingleByteTrailingBackslash) {
    CSandbox box;
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, "Program_Path", GetParam().stored);
    std::string out = "untouched";
    zr::GetNmlProgramPath(out);
    EXPECT_EQ(GetParam().expected, out);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NmlProgramPath,
    testing::Values(NmlPathCase{"Plain", "C:\\NML", "C:\\NML"},
                    NmlPathCase{"TrailingBackslash", "C:\\NML\\", "C:\\NML"},
                    NmlPathCase{"TwoTrailingBackslashes", "C:\\NML\\\\", "C:\\NML\\"},
                    NmlPathCase{"TrailByteBackslash", std::string("C:\\") + kSo, std::string("C:\\") + kSo},
                    NmlPathCase{"TrailByteThenBackslash", std::string("C:\\") + kSo + "\\", std::string("C:\\") + kSo},
                    NmlPathCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<NmlPathCase>& info) { return std::string(info.param.name); });

TEST(HostSettings, MissingPathsLeaveOutputUntouched) {
    CSandbox box;
    std::string out = "untouched";
    zr::GetNmlProgramPath(out);
    zr::GetCoreProgramPath(out);
    zr::GetMediaPath(out);
    EXPECT_EQ("untouched", out);
}

TEST(HostSettings, CoreProgramPathIsUsedAsStored) {
    CSandbox box;
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kCore, "Program_Path", "C:\\Core\\");
    std::string out;
    zr::GetCoreProgramPath(out);
    EXPECT_EQ("C:\\Core\\", out);
}

// Values are read into MAX_PATH bytes: 259 characters and the terminator fit.
TEST(HostSettings, StringLongerThanBufferCountsAsMissing) {
    CSandbox box;
    std::string fits(259, 'a');
    std::string tooLong(260, 'b');

    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kCore, "Program_Path", fits);
    std::string out = "untouched";
    zr::GetCoreProgramPath(out);
    EXPECT_EQ(fits, out);

    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kCore, "Program_Path", tooLong);
    out = "untouched";
    zr::GetCoreProgramPath(out);
    EXPECT_EQ("untouched", out);
}

// Stored data need not carry a terminator; the result must still end where the data end.
TEST(HostSettings, StringWithoutTerminatorIsBounded) {
    CSandbox box;
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, kCore);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCore, 0, KEY_SET_VALUE, &key));
    auto setRaw = [&](const std::string& data) {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Program_Path", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
    };

    setRaw("C:\\Core");
    std::string out = "untouched";
    zr::GetCoreProgramPath(out);
    EXPECT_EQ("C:\\Core", out);

    setRaw(std::string(259, 'c'));
    zr::GetCoreProgramPath(out);
    EXPECT_EQ(std::string(259, 'c'), out);

    // 260 characters leave no room for the terminator.
    setRaw(std::string(260, 'd'));
    out = "untouched";
    zr::GetCoreProgramPath(out);
    EXPECT_EQ("untouched", out);
    RegCloseKey(key);
}

// ---- Value types ----

// Strings are REG_SZ or REG_EXPAND_SZ (expanded), numbers REG_DWORD; a value of
// another type is absent: a number's bytes are no text, a text is no number.
struct ValueTypeCase {
    const char* name;
    DWORD type;
    std::string data;  // raw bytes as stored
    bool pathFound;    // read as the core's program path
    std::string path;
    bool numberFound;  // read as a host's number
};

void PrintTo(const ValueTypeCase& c, std::ostream* os) { *os << c.name; }

class ValueType : public testing::TestWithParam<ValueTypeCase> {};

TEST_P(ValueType, OnlyTheRightTypesAreRead) {
    CSandbox box;
    const ValueTypeCase& row = GetParam();
    SetEnvironmentVariableA("ZR_TEST_ROOT", "C:\\Root");
    auto setRaw = [&](const char* key, const char* name) {
        zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, key);
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &h));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name, 0, row.type, reinterpret_cast<const BYTE*>(row.data.data()),
                                                static_cast<DWORD>(row.data.size())));
        RegCloseKey(h);
    };

    setRaw(kCore, "Program_Path");
    std::string out = "untouched";
    zr::GetCoreProgramPath(out);
    EXPECT_EQ(row.pathFound ? row.path : "untouched", out);

    // The number decides whether a host's Settings key counts.
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kCorvellSettings, "Dovr_Program_Path", "C:\\Corvell");
    setRaw(kCorvellSettings, "SD-TalvNumber");
    out = "untouched";
    EXPECT_EQ(row.numberFound, zr::GetCorvellProgramPath(out));
}

const char kDword7[] = {7, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Types, ValueType,
    testing::Values(
        ValueTypeCase{"String", REG_SZ, std::string("C:\\Core\0", 8), true, "C:\\Core", false},
        ValueTypeCase{"ShortString", REG_SZ, std::string("7\0", 2), true, "7", false},
        ValueTypeCase{"ExpandString", REG_EXPAND_SZ, std::string("%ZR_TEST_ROOT%\\Core\0", 20), true,
                      "C:\\Root\\Core", false},
        ValueTypeCase{"Dword", REG_DWORD, std::string(kDword7, 4), false, "", true},
        ValueTypeCase{"Binary", REG_BINARY, std::string("C:\\Core\0", 8), false, "", false},
        ValueTypeCase{"BinaryOfDwordSize", REG_BINARY, std::string(kDword7, 4), false, "", false},
        ValueTypeCase{"MultiString", REG_MULTI_SZ, std::string("C:\\Core\0\0", 9), false, "", false}),
    [](const testing::TestParamInfo<ValueTypeCase>& info) { return std::string(info.param.name); });

// ---- Databases relocation list ----

class DbRelocation : public testing::Test {
protected:
    void SetEntry(int index, const char* suffix, const std::string& value) {
        char name[32];
        snprintf(name, sizeof(name), "Db_Path_%02d_%s", index, suffix);
        zrtest::SetRegString(HKEY_LOCAL_MACHINE, kNmlKey, name, value);
    }
    std::string Find(const std::string& oldPath) {
        std::string out = "stale";
        zr::FindNewDbPath(oldPath, out);
        return out;
    }
    CSandbox m_box;
};

TEST_F(DbRelocation, NoKeyOrNoEntryGivesEmpty) {
    EXPECT_EQ("", Find("C:\\NML\\databases"));
    SetEntry(0, "Old", "C:\\Other\\databases");
    SetEntry(0, "New", "D:\\Moved");
    EXPECT_EQ("", Find("C:\\NML\\databases"));
}

TEST_F(DbRelocation, MatchesWithoutRegardToCase) {
    SetEntry(0, "Old", "C:\\Other\\databases");
    SetEntry(0, "New", "D:\\Other");
    SetEntry(1, "Old", "C:\\NML\\Databases");
    SetEntry(1, "New", "D:\\NML\\databases");
    EXPECT_EQ("D:\\NML\\databases", Find("c:\\nml\\DATABASES"));
}

TEST_F(DbRelocation, ListEndsAtFirstGap) {
    for (int i = 0; i <= 2; ++i) {
        SetEntry(i, "Old", "C:\\Old" + std::to_string(i));
        SetEntry(i, "New", "D:\\New" + std::to_string(i));
    }
    SetEntry(3, "New", "D:\\New3");  // a _New alone does not fill the gap
    SetEntry(4, "Old", "C:\\NML\\databases");
    SetEntry(4, "New", "D:\\New4");
    EXPECT_EQ("D:\\New2", Find("C:\\Old2"));
    EXPECT_EQ("", Find("C:\\NML\\databases"));
}

TEST_F(DbRelocation, MatchWithoutNewGoesOn) {
    SetEntry(0, "Old", "C:\\NML\\databases");
    SetEntry(1, "Old", "C:\\NML\\databases");
    SetEntry(1, "New", "D:\\Second");
    EXPECT_EQ("D:\\Second", Find("C:\\NML\\databases"));

    // Two-digit indexes beyond 09 are read too.
    for (int i = 2; i <= 10; ++i) SetEntry(i, "Old", "C:\\Old" + std::to_string(i));
    SetEntry(10, "New", "D:\\Tenth");
    EXPECT_EQ("D:\\Tenth", Find("C:\\Old10"));
}

// A trail byte that happens to be a letter code is part of its character and
// must not be folded: "\x83\x41" and "\x83\x61" are two different katakana.
TEST_F(DbRelocation, CaseFoldingRespectsDoubleByteCharacters) {
    SetEntry(0, "Old", "C:\\\x83\x41\\databases");
    SetEntry(0, "New", "D:\\Moved");
    EXPECT_EQ("", Find("C:\\\x83\x61\\databases"));
    EXPECT_EQ("D:\\Moved", Find("c:\\\x83\x41\\DATABASES"));
}

// ---- BackupRestore.ini and the serial ----

const char kSerialKey[] = "SOFTWARE\\Nerith\\Kovex\\SD-NML";

std::string IniValue(const std::string& folder, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA("BackupData", key, "<none>", buffer, sizeof(buffer),
                             (folder + "\\BackupRestore.ini").c_str());
    return buffer;
}

TEST(BackupRestoreIni, BackupWritesFlagThenSerial) {
    CSandbox box;
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kSerialKey, "SD-TalvSerial", "AB12-CD34");
    zr::WriteSecureContents(box.Folder(), 1);
    std::string serial;
    zr::SaveSerialToIni(box.Folder(), serial);
    EXPECT_EQ("AB12-CD34", serial);

    // Key names of the section, in file order.
    char keys[256] = {};
    DWORD n = GetPrivateProfileStringA("BackupData", nullptr, "", keys, sizeof(keys),
                                       box.Path("BackupRestore.ini").c_str());
    EXPECT_EQ(std::string("SecureContents\0SdTalvSerial\0", 28), std::string(keys, n));
    EXPECT_EQ("1", IniValue(box.Folder(), "SecureContents"));

    std::string loaded = "stale";
    zr::LoadSerialFromIni(box.Folder(), loaded);
    EXPECT_EQ("AB12-CD34", loaded);
}

TEST(BackupRestoreIni, SecureContentsIsOneOnlyForFlagOne) {
    CSandbox box;
    const std::pair<int, const char*> rows[] = {{1, "1"}, {0, "0"}, {2, "0"}, {-1, "0"}, {1, "1"}};
    for (const auto& row : rows) {
        zr::WriteSecureContents(box.Folder(), row.first);
        EXPECT_EQ(row.second, IniValue(box.Folder(), "SecureContents")) << "flag " << row.first;
    }
}

TEST(BackupRestoreIni, NoSerialLeavesFileAndOutputUntouched) {
    CSandbox box;
    std::string out = "untouched";
    zr::SaveSerialToIni(box.Folder(), out);
    EXPECT_EQ("untouched", out);
    EXPECT_FALSE(zrtest::FileExists(box.Path("BackupRestore.ini")));

    zr::WriteSecureContents(box.Folder(), 0);
    std::string before = zrtest::ReadTextFile(box.Path("BackupRestore.ini"));
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE, kSerialKey);  // key without the value
    zr::SaveSerialToIni(box.Folder(), out);
    EXPECT_EQ("untouched", out);
    EXPECT_EQ(before, zrtest::ReadTextFile(box.Path("BackupRestore.ini")));
}

// A serial that could not be stored must not look saved to the backup.
TEST(BackupRestoreIni, SerialNotStoredIsNotReported) {
    CSandbox box;
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kSerialKey, "SD-TalvSerial", "AB12");
    std::string out = "untouched";
    zr::SaveSerialToIni(box.Path("absent"), out);
    EXPECT_EQ("untouched", out);
    EXPECT_FALSE(zrtest::FolderExists(box.Path("absent")));
}

TEST(BackupRestoreIni, LoadReadsAtMostFifteenCharacters) {
    CSandbox box;
    std::string out = "stale";
    zr::LoadSerialFromIni(box.Folder(), out);
    EXPECT_EQ("", out);

    zrtest::WriteTextFile(box.Path("BackupRestore.ini"),
                          "[BackupData]\r\nSecureContents=1\r\nSdTalvSerial=ABCDEFGHIJKLMNOPQRST\r\n");
    zr::LoadSerialFromIni(box.Folder(), out);
    EXPECT_EQ("ABCDEFGHIJKLMNO", out);
}

TEST(BackupRestoreIni, WriteSerialStoresStringWithTerminator) {
    CSandbox box;
    zr::WriteSerialToRegistry("XY-9876");
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialKey, 0, KEY_READ, &key))
        << "the key must not be created";

    zrtest::SetRegString(HKEY_LOCAL_MACHINE, kSerialKey, "SD-TalvSerial", "old");
    zr::WriteSerialToRegistry("XY-9876");
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialKey, 0, KEY_READ, &key));
    // Read back as stored (UTF-16), terminator included.
    DWORD type = 0;
    wchar_t data[32] = {};
    DWORD size = sizeof(data);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(key, L"SD-TalvSerial", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::wstring(L"XY-9876", 8), std::wstring(data, size / sizeof(wchar_t)));
}

}  // namespace
