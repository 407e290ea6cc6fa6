// Fault switches of the stand-in host: make one operation of the media library
// module fail on purpose, so that the tool's handling of that failure can be
// run end to end.
//
// Key: HKLM "Software\ZRHostSim\Faults" (read in the module's own registry view,
// like the host keys the tool reads). One value per switch; a missing value is
// off. The module reads all of them once, when NerithMediaLibraryInterface
// creates the library object; changes made later take effect with the next
// library object.
//
// Value forms:
//   REG_DWORD  code             the failure code to return, e.g. 0x80004005
//   REG_SZ     "code"           the same, as text (hex with 0x, or decimal)
//   REG_SZ     "code|text"      only where a subject is named below: fails only
//                               when the subject contains text (byte-wise,
//                               case-sensitive); without |text every subject fails
// A code must be a failure code (high bit set); 0, positive or unreadable
// values leave the switch off. NoComponentA is the exception: any non-zero value
// turns it on.
//
// | Value                  | Fails                                              | Subject     |
// |------------------------|----------------------------------------------------|-------------|
// | LoadPlugins            | INMLibrary::LoadPlugins                            |             |
// | CreateDevice1          | INMDeviceManager::CreateDevice, HDD volume (type 1)|             |
// | CreateDevice3          | INMDeviceManager::CreateDevice, secure device (3)  |             |
// | OpenDeviceManager      | INMDeviceManager::Open                             |             |
// | OpenSecureDevice       | INMSecureDevice::Open                              |             |
// | NoComponentA           | the first instance refuses ISDComponentA           |             |
// |                        | (QueryInterface returns the code, or E_NOINTERFACE |             |
// |                        | for a non-negative value)                          |             |
// | InitComponentB         | ISDComponentB::InitComponent                       |             |
// | InitComponentMove      | ISDMoveComponent::InitComponent                    |             |
// | AddMoveContent         | ISDMoveComponent::AddMoveContent                   | file path   |
// | ApplyImport            | ISDMoveComponent::ApplyImport (nothing applied)    |             |
// | EndImport              | ISDMoveComponent::EndImport                        |             |
// | OpenDatabase           | INMHddVolume::OpenDatabase                         |             |
// | Register               | INMTrack::Register (nothing written)               | track title |
// | CloseDatabase          | INMHddVolume::CloseDatabase (changes rolled back)  |             |
// | Unregister             | INMTrack::Unregister does nothing (the interface   | track title |
// |                        | has no result): the track stays in the library     |             |
// | StrictLiveDatabase     | INMHddVolume::OpenDatabase outside a secure export | file path   |
// |                        | (between ExportTo and FinishExport): a component   |             |
// |                        | that lets only its own export open the host's live |             |
// |                        | database (name it as text)                         |             |
// | RegisterNewPicturePath | INMTrack::Register of a track one of whose         | track title |
// |                        | pictures has a path other than the one the         |             |
// |                        | database holds for it (nothing written); other     |             |
// |                        | Registers of the track go through                  |             |
//
// A slow job, for cancelling at a chosen point: RegisterDelayMs (REG_DWORD
// milliseconds, or REG_SZ "ms|text" for titles containing text) makes every
// INMTrack::Register sleep that long before it does its work.
//
// A held job, for acting while a track is on its way: RegisterHold (REG_SZ
// "event", or "event|text" for titles containing text) makes INMTrack::Register
// wait until the named event is signalled before it does its work (at most
// kRegisterHoldMs; no wait when no such event exists). The test that creates
// the event releases the job by setting it.
//
// hostsim/FAULTS.md has the same table with examples.
#pragma once

#include <windows.h>

#include <string>

namespace hostsim {

enum class Fault {
    LoadPlugins,
    CreateDevice1,
    CreateDevice3,
    OpenDeviceManager,
    OpenSecureDevice,
    NoComponentA,
    InitComponentB,
    InitComponentMove,
    AddMoveContent,
    ApplyImport,
    EndImport,
    OpenDatabase,
    Register,
    CloseDatabase,
    Unregister,
    StrictLiveDatabase,
    RegisterNewPicturePath,
    Count
};

extern const char kFaultsKey[];  // "Software\ZRHostSim\Faults" under HKLM
extern const char kRegisterDelayValue[];  // "RegisterDelayMs"
extern const char kRegisterHoldValue[];   // "RegisterHold"
// The longest a held Register waits: a test that never releases it costs a
// minute, not a hung job.
constexpr DWORD kRegisterHoldMs = 60000;

// The registry value name of a switch.
const char* FaultName(Fault fault);

class CFaults {
public:
    // Reads every switch from the registry now; no key means all off.
    static CFaults Load();

    // The failure code when the switch is on and (for switches with a subject)
    // its text occurs in subject; otherwise S_OK.
    HRESULT Check(Fault fault, const char* subject = nullptr) const;

    // Sets a switch directly (code S_OK turns it off).
    void Set(Fault fault, HRESULT code, const std::string& text = std::string());

    // Milliseconds INMTrack::Register of the titled track sleeps first; 0 for none.
    DWORD RegisterDelay(const char* title) const;
    void SetRegisterDelay(DWORD milliseconds, const std::string& text = std::string());

    // The event INMTrack::Register of the titled track waits on first; empty for none.
    std::string RegisterHold(const char* title) const;
    void SetRegisterHold(const std::string& event, const std::string& text = std::string());

private:
    struct Switch {
        HRESULT code = S_OK;
        std::string text;
    };
    Switch m_switches[static_cast<int>(Fault::Count)];
    DWORD m_nRegisterDelay = 0;
    std::string m_strRegisterDelayText;
    std::string m_strRegisterHold;
    std::string m_strRegisterHoldText;
};

}  // namespace hostsim
