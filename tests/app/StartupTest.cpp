#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resource.h"
#include "app/App.h"
#include "app/settings/SystemFacts.h"
#include "support/Sandbox.h"
#include "ui/window/Window.h"

namespace {

enum class Groups { Administrators, AdministratorsDenyOnly, PowerUsers, None, Unreadable };

// The OS facts a start-up check reads, set per case.
class FakeFacts : public zr::CSystemFacts {
public:
    bool versionKnown = true;
    zr::OsVersion version{6, 1, VER_PLATFORM_WIN32_NT};
    WORD year = 2026;
    Groups groups = Groups::Administrators;
    bool hostRunning = false;
    bool mutexFails = false;
    std::vector<std::string> mutexNames;
    std::vector<BOOL> mutexOwners;
    // The mutexes themselves. The product gets a duplicate of each and closes
    // it when it likes (the probe at once, the owned one never): closing what
    // it was handed could close a handle the system has since given out again.
    std::vector<HANDLE> own;

    ~FakeFacts() override {
        for (HANDLE h : own) CloseHandle(h);
    }
    bool GetOsVersion(zr::OsVersion& v) override {
        if (versionKnown) v = version;
        return versionKnown;
    }
    void GetLocalTime(SYSTEMTIME& t) override {
        t = SYSTEMTIME{};
        t.wYear = year;
        t.wMonth = year == 2037 ? 12 : 1;
        t.wDay = year == 2037 ? 31 : 1;
    }
    bool GetTokenGroups(std::vector<BYTE>& buffer) override;
    HANDLE CreateNamedMutex(const char* name, BOOL owner, DWORD& lastError) override {
        mutexNames.push_back(name);
        mutexOwners.push_back(owner);
        if (mutexFails) {
            lastError = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        // An unnamed real mutex stands in: the name must not collide with other runs.
        HANDLE h = CreateMutexA(nullptr, owner, nullptr);
        HANDLE given = nullptr;
        if (h) own.push_back(h);
        if (!h || !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &given, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
            lastError = GetLastError();
            return nullptr;
        }
        lastError = hostRunning ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
        return given;
    }
};

// Builds TOKEN_GROUPS with one BUILTIN alias (or none) in a flat buffer.
bool FakeFacts::GetTokenGroups(std::vector<BYTE>& buffer) {
    if (groups == Groups::Unreadable) return false;
    DWORD rid = groups == Groups::PowerUsers ? DOMAIN_ALIAS_RID_POWER_USERS : DOMAIN_ALIAS_RID_ADMINS;
    DWORD count = groups == Groups::None ? 0 : 1;
    DWORD sidSize = GetSidLengthRequired(2);
    buffer.assign(sizeof(TOKEN_GROUPS) + sidSize, 0);
    auto* tg = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    tg->GroupCount = count;
    if (count) {
        PSID sid = buffer.data() + sizeof(TOKEN_GROUPS);
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        InitializeSid(sid, &nt, 2);
        *GetSidSubAuthority(sid, 0) = SECURITY_BUILTIN_DOMAIN_RID;
        *GetSidSubAuthority(sid, 1) = rid;
        tg->Groups[0].Sid = sid;
        tg->Groups[0].Attributes = groups == Groups::AdministratorsDenyOnly ? SE_GROUP_USE_FOR_DENY_ONLY
                                                                            : SE_GROUP_ENABLED;
    }
    return true;
}

class RecordingApp : public zr::CZuderaRurarizIdirApp {
public:
    std::vector<UINT> shown;
    std::string caption;
    bool dialogRan = false;

protected:
    void ShowStartupError(UINT id, const std::string& c) override {
        shown.push_back(id);
        caption = c;
    }
    void RunMainDialog() override { dialogRan = true; }
};

void InstallFirstHost(const zrtest::CSandbox& sandbox, const char* major, const char* minor) {
    zrtest::CreateRegKey(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4A7E2C19-6B3D-4F80-9E21-7C5D8A0B3F64}");
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Talvane\\Settings", "SD-TalvNumber", 1);
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dovr\\SD-Talvane\\Settings", "Dovr_Program_Path",
                         sandbox.Folder());
    zrtest::WriteTextFile(sandbox.Path("Device.ini"),
                          std::string("[SD-Talvane]\r\nMajorVersion=") + major + "\r\nMinorVersion=" + minor + "\r\n");
}

struct StartupCase {
    const char* name;
    bool hostInstalled;
    WORD year;
    DWORD platform;
    Groups groups;
    bool hostRunning;
    bool mutexFails;
    UINT expected;  // 0: the main dialog runs
};

void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }

class Startup : public testing::TestWithParam<StartupCase> {
protected:
    void SetUp() override { zr::SetSystemFacts(&facts); }
    void TearDown() override { zr::SetSystemFacts(nullptr); }
    zrtest::CSandbox sandbox;
    FakeFacts facts;
};

TEST_P(Startup, StopsAtTheFirstFailingCheck) {
    const StartupCase& c = GetParam();
    if (c.hostInstalled) InstallFirstHost(sandbox, "7", "0");
    facts.year = c.year;
    facts.version.platformId = c.platform;
    facts.groups = c.groups;
    facts.hostRunning = c.hostRunning;
    facts.mutexFails = c.mutexFails;

    RecordingApp app;
    EXPECT_FALSE(app.InitInstance());
    if (c.expected == 0) {
        EXPECT_TRUE(app.shown.empty());
        EXPECT_TRUE(app.dialogRan);
    } else {
        ASSERT_EQ(1u, app.shown.size());
        EXPECT_EQ(c.expected, app.shown[0]);
        EXPECT_EQ(zr::LoadResString(IDS_APP_TITLE), app.caption);
        EXPECT_FALSE(app.dialogRan);
    }
}

const DWORD kNt = VER_PLATFORM_WIN32_NT;
const DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;

INSTANTIATE_TEST_SUITE_P(
    Checks, Startup,
    testing::Values(
        StartupCase{"AllPass", true, 2026, kNt, Groups::Administrators, false, false, 0},
        StartupCase{"NoHost", false, 2026, kNt, Groups::Administrators, false, false, IDS_HOST_NOT_INSTALLED},
        StartupCase{"NoHostBeatsBadClock", false, 2038, kNt, Groups::None, true, false, IDS_HOST_NOT_INSTALLED},
        StartupCase{"Year1970", true, 1970, kNt, Groups::Administrators, false, false, IDS_BAD_CLOCK},
        StartupCase{"Year1971", true, 1971, kNt, Groups::Administrators, false, false, 0},
        StartupCase{"Year2037", true, 2037, kNt, Groups::Administrators, false, false, 0},
        StartupCase{"Year2038", true, 2038, kNt, Groups::Administrators, false, false, IDS_BAD_CLOCK},
        StartupCase{"BadClockBeatsRights", true, 2038, kNt, Groups::None, false, false, IDS_BAD_CLOCK},
        StartupCase{"PowerUsersOnly", true, 2026, kNt, Groups::PowerUsers, false, false, IDS_NO_ADMIN},
        StartupCase{"NoGroup", true, 2026, kNt, Groups::None, false, false, IDS_NO_ADMIN},
        StartupCase{"TokenUnreadable", true, 2026, kNt, Groups::Unreadable, false, false, IDS_NO_ADMIN},
        StartupCase{"AdministratorsDenyOnly", true, 2026, kNt, Groups::AdministratorsDenyOnly, false, false, 0},
        StartupCase{"Windows9xSkipsRights", true, 2026, k9x, Groups::None, false, false, 0},
        StartupCase{"RightsBeatHostRunning", true, 2026, kNt, Groups::PowerUsers, true, false, IDS_NO_ADMIN},
        StartupCase{"HostRunning", true, 2026, kNt, Groups::Administrators, true, false, IDS_HOST_RUNNING},
        StartupCase{"MutexCannotBeCreated", true, 2026, kNt, Groups::Administrators, false, true, IDS_HOST_RUNNING}),
    [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

TEST(StartupHost, VersionDecidesBetweenDialogAndMessage105) {
    struct Row {
        const char* major;
        const char* minor;
        bool dialog;
    } rows[] = {{"7", "0", true}, {"8", "0", false}, {"6", "6", true}, {"5", "2", false}};
    for (const Row& row : rows) {
        zrtest::CSandbox sandbox;
        FakeFacts facts;
        zr::SetSystemFacts(&facts);
        InstallFirstHost(sandbox, row.major, row.minor);
        RecordingApp app;
        app.InitInstance();
        EXPECT_EQ(row.dialog, app.dialogRan) << row.major << "." << row.minor;
        EXPECT_EQ(row.dialog ? 0u : 1u, app.shown.size()) << row.major << "." << row.minor;
        zr::SetSystemFacts(nullptr);
    }
}

struct MutexCase {
    const char* name;
    DWORD major, minor;
    bool versionKnown;
    const char* prefix;
};

class HostMutexName : public testing::TestWithParam<MutexCase> {};

TEST_P(HostMutexName, CarriesGlobalPrefixFromWindows51) {
    FakeFacts facts;
    facts.version.major = GetParam().major;
    facts.version.minor = GetParam().minor;
    facts.versionKnown = GetParam().versionKnown;
    zr::SetSystemFacts(&facts);
    RecordingApp app;
    EXPECT_TRUE(app.AcquireHostMutex());
    zr::SetSystemFacts(nullptr);

    std::string expected = std::string(GetParam().prefix) + zr::kHostMutexName;
    ASSERT_EQ(2u, facts.mutexNames.size());
    EXPECT_EQ(expected, facts.mutexNames[0]);
    EXPECT_EQ(expected, facts.mutexNames[1]);
    // Probe without ownership first, then create owned.
    EXPECT_FALSE(facts.mutexOwners[0]);
    EXPECT_TRUE(facts.mutexOwners[1]);
}

INSTANTIATE_TEST_SUITE_P(Versions, HostMutexName,
                         testing::Values(MutexCase{"Windows50", 5, 0, true, ""},
                                         MutexCase{"Windows51", 5, 1, true, "Global\\"},
                                         MutexCase{"Windows61", 6, 1, true, "Global\\"},
                                         MutexCase{"Windows100", 10, 0, true, "Global\\"},
                                         MutexCase{"VersionUnknown", 0, 0, false, ""}),
                         [](const testing::TestParamInfo<MutexCase>& info) { return std::string(info.param.name); });

// The real token under Wine: the process runs as an administrator.
TEST(StartupReal, WineTokenIsAdministratorAndMutexIsExclusive) {
    EXPECT_EQ(2, zr::GetUserPrivilegeLevel());
    EXPECT_TRUE(zr::IsNtPlatform());

    RecordingApp first;
    ASSERT_TRUE(first.AcquireHostMutex());
    RecordingApp second;
    EXPECT_FALSE(second.AcquireHostMutex());
}

}  // namespace
