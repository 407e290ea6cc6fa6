#include "app/App.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "resource.h"
#include "app/settings/HostSettings.h"
#include "app/settings/SystemFacts.h"
#include "common/ResString.h"
#include "engine/Recovery.h"
#include "ui/window/ComApartment.h"
#include "ui/MainDlg.h"

namespace zr {

const char kHostMutexName[] = "SDAppGlobalMutex_3F8A21C6_7E54_4B19_A0D2_96C47E1B5F03";

namespace {

struct SidDeleter {
    void operator()(void* sid) const {
        if (sid) FreeSid(sid);
    }
};
using SidPtr = std::unique_ptr<void, SidDeleter>;

SidPtr BuiltinSid(DWORD rid) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;
    return SidPtr(sid);
}

bool HasGroup(const TOKEN_GROUPS* groups, PSID sid) {
    if (!sid) return false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        // Attributes are not looked at: a deny-only group still counts.
        if (groups->Groups[i].Sid && EqualSid(groups->Groups[i].Sid, sid)) return true;
    }
    return false;
}

}  // namespace

bool IsNtPlatform() {
    OsVersion version;
    if (!SystemFacts().GetOsVersion(version)) return true;
    return version.platformId != VER_PLATFORM_WIN32_WINDOWS;
}

int GetUserPrivilegeLevel() {
    std::vector<BYTE> buffer;
    if (!SystemFacts().GetTokenGroups(buffer) || buffer.size() < sizeof(TOKEN_GROUPS)) return 0;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    if (HasGroup(groups, BuiltinSid(DOMAIN_ALIAS_RID_ADMINS).get())) return 2;
    if (HasGroup(groups, BuiltinSid(DOMAIN_ALIAS_RID_POWER_USERS).get())) return 1;
    return 0;
}

bool CZuderaRurarizIdirApp::AcquireHostMutex() {
    OsVersion version;
    bool prefixed = SystemFacts().GetOsVersion(version) &&
                    (version.major > 5 || (version.major == 5 && version.minor >= 1));
    size_t length = std::strlen(kHostMutexName);
    size_t size = prefixed ? length + 8 : length + 1;
    std::unique_ptr<char[]> name(new (std::nothrow) char[size]);
    if (!name) return false;
    if (prefixed)
        std::snprintf(name.get(), size, "%s%s", "Global\\", kHostMutexName);
    else
        std::snprintf(name.get(), size, "%s", kHostMutexName);

    DWORD error = 0;
    HANDLE probe = SystemFacts().CreateNamedMutex(name.get(), FALSE, error);
    if (probe) {
        CloseHandle(probe);
        if (error == ERROR_ALREADY_EXISTS) return false;
    }
    m_hHostMutex = SystemFacts().CreateNamedMutex(name.get(), TRUE, error);
    return m_hHostMutex != nullptr;
}

void CZuderaRurarizIdirApp::ShowStartupError(UINT messageId, const std::string& caption) {
    MessageBoxA(nullptr, LoadResString(messageId).c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

std::string CZuderaRurarizIdirApp::PutRightStoppedJobs(bool& incomplete) {
    incomplete = false;
    std::string text;
    auto add = [&text](UINT id) {
        if (!text.empty()) text += "\n\n";
        text += LoadResString(id);
    };
    bool retried = false;
    for (const RecoveryReport& report : PutRightLeftJobs()) {
        const bool restore = report.kind == "restore";
        if (report.rolledBack) {
            add(restore ? IDS_RECOVERED_RESTORE_UNDONE
                        : report.earlierDeleted ? IDS_RECOVERED_BACKUP_UNDONE_NONE_KEPT : IDS_RECOVERED_BACKUP_UNDONE);
        }
        if (report.finished) add(restore ? IDS_RECOVERED_RESTORE_FINISHED : IDS_RECOVERED_BACKUP_FINISHED);
        if (report.earlierLeft) add(IDS_RECOVERY_EARLIER_LEFT);
        if (report.lost) add(IDS_RECOVERY_LOST);
        retried = retried || report.incomplete;
        incomplete = incomplete || report.incomplete || report.lost;
    }
    if (retried) add(IDS_RECOVERY_INCOMPLETE);
    return text;
}

void CZuderaRurarizIdirApp::RunMainDialog() {
    CZuderaRurarizIdirDlg dialog;
    dialog.DoModal();
}

BOOL CZuderaRurarizIdirApp::InitInstance() {
    const std::string caption = LoadResString(IDS_APP_TITLE);

    if (!CheckTalvaneVersion() && !CheckCorvellVersion()) {
        ShowStartupError(IDS_HOST_NOT_INSTALLED, caption);
        return FALSE;
    }
    SYSTEMTIME now = {};
    SystemFacts().GetLocalTime(now);
    if (now.wYear < 1971 || now.wYear > 2037) {
        ShowStartupError(IDS_BAD_CLOCK, caption);
        return FALSE;
    }
    if (IsNtPlatform() && GetUserPrivilegeLevel() <= 1) {
        ShowStartupError(IDS_NO_ADMIN, caption);
        return FALSE;
    }
    if (!AcquireHostMutex()) {
        ShowStartupError(IDS_HOST_RUNNING, caption);
        return FALSE;
    }

    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    // The host is not running now: what a stopped job left is put right before
    // anything else, and the user told once.
    bool incomplete = false;
    const std::string recovered = PutRightStoppedJobs(incomplete);
    if (!recovered.empty()) {
        MessageBoxA(nullptr, recovered.c_str(), caption.c_str(), MB_OK | (incomplete ? MB_ICONWARNING : MB_ICONINFORMATION));
    }
    // One apartment for every dialog: the folder browser and the shell's
    // "open" need it, and setting it up once keeps each browse quick.
    CComApartment apartment;
    RunMainDialog();
    return FALSE;
}

}  // namespace zr
