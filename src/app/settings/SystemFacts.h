// The operating-system facts that start-up and host discovery read. Tests
// replace them to reach what a Wine prefix cannot be (a clock in 2038,
// Windows 5.0, a token with Power Users only); everything else uses the real ones.
#pragma once

#include <windows.h>

#include <vector>

namespace zr {

struct OsVersion {
    DWORD major = 0;
    DWORD minor = 0;
    DWORD platformId = 0;
};

class CSystemFacts {
public:
    virtual ~CSystemFacts() = default;
    // False when the system cannot say.
    virtual bool GetOsVersion(OsVersion& version);
    virtual void GetLocalTime(SYSTEMTIME& time);
    // The process token's TOKEN_GROUPS, as the system returns them; false when
    // the token cannot be opened or read.
    virtual bool GetTokenGroups(std::vector<BYTE>& groups);
    // CreateMutexA with no security attributes; lastError receives GetLastError() right after the call.
    virtual HANDLE CreateNamedMutex(const char* name, BOOL initialOwner, DWORD& lastError);
};

// The facts in force; the real system unless a test installed others.
CSystemFacts& SystemFacts();
// Installs facts (nullptr: the real system again); returns the previous ones.
CSystemFacts* SetSystemFacts(CSystemFacts* facts);

}  // namespace zr
