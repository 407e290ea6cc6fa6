#include "support/RegistryScope.h"

namespace zrtest {

CRegistryScope::CRegistryScope(const std::string& key, bool owned) : m_key(key), m_owned(owned) {
    // A run that crashed left its keys; a later process with its id must not see them.
    if (m_owned) RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
    // Opened before the override, so these handles are real keys.
    m_ok = RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &m_hklm, nullptr) == ERROR_SUCCESS &&
           RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &m_hkcu, nullptr) == ERROR_SUCCESS;
    m_ok = m_ok && RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hklm) == ERROR_SUCCESS &&
           RegOverridePredefKey(HKEY_CURRENT_USER, m_hkcu) == ERROR_SUCCESS;
}

CRegistryScope::~CRegistryScope() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (m_hklm) RegCloseKey(m_hklm);
    if (m_hkcu) RegCloseKey(m_hkcu);
    if (m_owned) RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
}

}  // namespace zrtest
