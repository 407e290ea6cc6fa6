#include "hostsim/core/Faults.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace hostsim {

const char kFaultsKey[] = "Software\\ZRHostSim\\Faults";
const char kRegisterDelayValue[] = "RegisterDelayMs";
const char kRegisterHoldValue[] = "RegisterHold";

namespace {

const char* const kNames[] = {"LoadPlugins",    "CreateDevice1",     "CreateDevice3",  "OpenDeviceManager",
                              "OpenSecureDevice", "NoComponentA",    "InitComponentB", "InitComponentMove",
                              "AddMoveContent", "ApplyImport",       "EndImport",      "OpenDatabase",
                              "Register",       "CloseDatabase",     "Unregister",     "StrictLiveDatabase",
                              "RegisterNewPicturePath"};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(Fault::Count), "one name per switch");

constexpr DWORD kMaxTextValue = 4096;

bool ParseCode(const std::string& text, DWORD& code) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return false;
    size_t end = text.find_last_not_of(" \t");
    std::string number = text.substr(begin, end - begin + 1);
    char* stop = nullptr;
    errno = 0;
    long long value = std::strtoll(number.c_str(), &stop, 0);
    if (errno != 0 || stop == number.c_str() || *stop != '\0') return false;
    if (value < -2147483648LL || value > 0xFFFFFFFFLL) return false;
    code = static_cast<DWORD>(value);
    return true;
}

// A REG_SZ value; false when it is absent, of another type or too long.
bool ReadString(HKEY key, const char* name, std::string& value) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size > kMaxTextValue)
        return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value = data.data();
    return true;
}

// "head|text" split at the first bar; text is empty without one.
void SplitAtBar(const std::string& value, std::string& head, std::string& text) {
    size_t bar = value.find('|');
    head = value.substr(0, bar);
    text = bar == std::string::npos ? std::string() : value.substr(bar + 1);
}

// Reads one value; false when it is absent or unreadable.
bool ReadSwitch(HKEY key, const char* name, DWORD& code, std::string& text) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type == REG_DWORD) {
        DWORD value = 0;
        size = sizeof(value);
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            return false;
        code = value;
        text.clear();
        return true;
    }
    std::string value, head;
    if (!ReadString(key, name, value)) return false;
    SplitAtBar(value, head, text);
    return ParseCode(head, code);
}

}  // namespace

const char* FaultName(Fault fault) {
    int i = static_cast<int>(fault);
    return i >= 0 && i < static_cast<int>(Fault::Count) ? kNames[i] : "";
}

CFaults CFaults::Load() {
    CFaults faults;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFaultsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return faults;
    for (int i = 0; i < static_cast<int>(Fault::Count); ++i) {
        Fault fault = static_cast<Fault>(i);
        DWORD code = 0;
        std::string text;
        if (!ReadSwitch(key, kNames[i], code, text) || code == 0) continue;
        HRESULT hr = static_cast<HRESULT>(code);
        if (fault == Fault::NoComponentA && hr > 0) hr = E_NOINTERFACE;
        // Only these have a subject; elsewhere a text would silently disarm the switch.
        if (fault != Fault::AddMoveContent && fault != Fault::Register && fault != Fault::Unregister &&
            fault != Fault::StrictLiveDatabase && fault != Fault::RegisterNewPicturePath) {
            text.clear();
        }
        if (hr < 0) faults.Set(fault, hr, text);
    }
    DWORD delay = 0;
    std::string text;
    if (ReadSwitch(key, kRegisterDelayValue, delay, text)) faults.SetRegisterDelay(delay, text);
    std::string hold, event;
    if (ReadString(key, kRegisterHoldValue, hold)) {
        SplitAtBar(hold, event, text);
        faults.SetRegisterHold(event, text);
    }
    RegCloseKey(key);
    return faults;
}

HRESULT CFaults::Check(Fault fault, const char* subject) const {
    int i = static_cast<int>(fault);
    if (i < 0 || i >= static_cast<int>(Fault::Count)) return S_OK;
    const Switch& s = m_switches[i];
    if (s.code == S_OK) return S_OK;
    if (!s.text.empty() && (!subject || !std::strstr(subject, s.text.c_str()))) return S_OK;
    return s.code;
}

void CFaults::Set(Fault fault, HRESULT code, const std::string& text) {
    int i = static_cast<int>(fault);
    if (i < 0 || i >= static_cast<int>(Fault::Count)) return;
    m_switches[i].code = code;
    m_switches[i].text = text;
}

DWORD CFaults::RegisterDelay(const char* title) const {
    if (m_nRegisterDelay == 0) return 0;
    if (!m_strRegisterDelayText.empty() && (!title || !std::strstr(title, m_strRegisterDelayText.c_str()))) return 0;
    return m_nRegisterDelay;
}

void CFaults::SetRegisterDelay(DWORD milliseconds, const std::string& text) {
    m_nRegisterDelay = milliseconds;
    m_strRegisterDelayText = text;
}

std::string CFaults::RegisterHold(const char* title) const {
    if (m_strRegisterHold.empty()) return std::string();
    if (!m_strRegisterHoldText.empty() && (!title || !std::strstr(title, m_strRegisterHoldText.c_str()))) {
        return std::string();
    }
    return m_strRegisterHold;
}

void CFaults::SetRegisterHold(const std::string& event, const std::string& text) {
    m_strRegisterHold = event;
    m_strRegisterHoldText = text;
}

}  // namespace hostsim
