#include "app/settings/SystemFacts.h"

#include <atomic>

namespace zr {

bool CSystemFacts::GetOsVersion(OsVersion& version) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.platformId = info.dwPlatformId;
    return true;
}

void CSystemFacts::GetLocalTime(SYSTEMTIME& time) { ::GetLocalTime(&time); }

bool CSystemFacts::GetTokenGroups(std::vector<BYTE>& groups) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    bool ok = false;
    if (size > 0) {
        groups.assign(size, 0);
        ok = GetTokenInformation(token, TokenGroups, groups.data(), size, &size) != FALSE;
    }
    CloseHandle(token);
    return ok;
}

HANDLE CSystemFacts::CreateNamedMutex(const char* name, BOOL initialOwner, DWORD& lastError) {
    HANDLE h = CreateMutexA(nullptr, initialOwner, name);
    lastError = GetLastError();
    return h;
}

namespace {
CSystemFacts g_realFacts;
std::atomic<CSystemFacts*> g_facts{&g_realFacts};
}  // namespace

CSystemFacts& SystemFacts() { return *g_facts.load(); }

CSystemFacts* SetSystemFacts(CSystemFacts* facts) {
    CSystemFacts* previous = g_facts.exchange(facts ? facts : &g_realFacts);
    return previous == &g_realFacts ? nullptr : previous;
}

}  // namespace zr
