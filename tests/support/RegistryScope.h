// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER redirected (RegOverridePredefKey)
// to two keys below HKEY_CURRENT_USER\<key> for the life of the object, so
// that code run in this process sees only what was written there. The
// redirection is process-wide. No test framework: the benchmarks use it too.
#pragma once

#include <windows.h>

#include <string>

namespace zrtest {

class CRegistryScope {
public:
    // owned: the keys are this object's, cleared of a crashed run's leftovers
    // first and removed at the end; otherwise another process's (a job run in
    // a child process), used as they are and left for their owner.
    explicit CRegistryScope(const std::string& key, bool owned = true);
    ~CRegistryScope();
    CRegistryScope(const CRegistryScope&) = delete;
    CRegistryScope& operator=(const CRegistryScope&) = delete;

    // Both keys made and both predefined keys redirected.
    bool Ok() const { return m_ok; }

private:
    std::string m_key;
    bool m_owned;
    bool m_ok = false;
    HKEY m_hklm = nullptr;
    HKEY m_hkcu = nullptr;
};

}  // namespace zrtest
