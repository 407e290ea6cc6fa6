// An in-process stand-in for the media library component and the secure
// components behind it, shared by the engine and secure database tests. Every
// call lands in one ordered log ("Object.Method" or "Object.Method(arguments)"),
// and any call can be made to answer a chosen code by naming it. Objects are
// owned by CFakeComponent; reference counts, plug-in loads and component
// initialisations are tracked so a test can tell whether everything acquired
// was let go.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/NMInterfaces.h"
#include "securedb/SDInterfaces.h"

namespace fake {

class CCallLog {
public:
    void Add(const std::string& entry) {
        m_entries.push_back(entry);
        if (onCall) onCall(entry);
    }
    // Called after every logged call, e.g. to press cancel at a chosen moment.
    std::function<void(const std::string&)> onCall;
    const std::vector<std::string>& Entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }

    // Makes a call answer `code` (a failure, or an unusual success): key
    // "Object.Method" (any arguments) or the exact logged text with its arguments.
    void Fail(const std::string& key, HRESULT code) { m_failures[key] = code; }
    void Heal(const std::string& key) { m_failures.erase(key); }
    // The result for a call: its failure code when one was set, else `normal`.
    HRESULT Result(const std::string& name, const std::string& method, const std::string& args,
                   HRESULT normal = S_OK) const;
    bool Fails(const std::string& name, const std::string& method, const std::string& args = std::string()) const;

    // The entries that start with one of the prefixes, in order.
    std::vector<std::string> Starting(const std::vector<std::string>& prefixes) const;
    // The entries that contain `part`, in order.
    std::vector<std::string> Containing(const std::string& part) const;

private:
    std::vector<std::string> m_entries;
    std::map<std::string, HRESULT> m_failures;
};

// Reference counting and QueryInterface for one fake object.
class CUnknownPart {
public:
    CUnknownPart(CCallLog& log, std::string name) : m_log(log), m_name(std::move(name)) {}
    void Expose(REFIID iid, void* itf) { m_interfaces.push_back({iid, itf}); }
    HRESULT QueryInterface(REFIID iid, void** out);
    // The same lookup without a log entry, for the fake's own use.
    HRESULT Lookup(REFIID iid, void** out);
    ULONG AddRef() { return static_cast<ULONG>(++m_refs); }
    ULONG Release();

    CCallLog& Log() const { return m_log; }
    const std::string& Name() const { return m_name; }
    void Call(const std::string& method, const std::string& args = std::string()) const;
    HRESULT Result(const std::string& method, const std::string& args = std::string(), HRESULT normal = S_OK) const {
        return m_log.Result(m_name, method, args, normal);
    }
    LONG Refs() const { return m_refs; }

private:
    struct Exposed {
        GUID iid;
        void* itf;
    };
    CCallLog& m_log;
    std::string m_name;
    std::vector<Exposed> m_interfaces;
    LONG m_refs = 0;
};

#define FAKE_IUNKNOWN                                                                                     \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                          \
        return m_unk.QueryInterface(iid, out);                                                            \
    }                                                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return m_unk.AddRef(); }                                  \
    ULONG STDMETHODCALLTYPE Release() override { return m_unk.Release(); }                                \
    CUnknownPart m_unk

class CFakeComponent;

class CFakePicture : public INMPicture {
public:
    CFakePicture(CCallLog& log, const std::string& name, const std::string& path);
    FAKE_IUNKNOWN;
    void STDMETHODCALLTYPE SetFilePath(const char* path) override;
    const char* STDMETHODCALLTYPE GetFilePath() override;

    std::string m_path;
};

class CFakeTrack : public INMContent, public INMTrack, public INMPictureList {
public:
    CFakeTrack(CFakeComponent& owner, std::size_t index, const std::string& title, const std::string& path,
               DWORD attributes);
    FAKE_IUNKNOWN;
    // INMContent
    INMContent* STDMETHODCALLTYPE GetNextContent(REFGUID trackId) override;
    // INMTrack
    void STDMETHODCALLTYPE SetTrackProperty(DWORD id, const void* value) override;
    const char* STDMETHODCALLTYPE GetFilePath() override;
    void STDMETHODCALLTYPE SetFilePath(const char* path) override;
    const char* STDMETHODCALLTYPE GetTitle() override;
    NM_TRACK_ATTRIBUTES* STDMETHODCALLTYPE GetAttributes(NM_TRACK_ATTRIBUTES* record) override;
    HRESULT STDMETHODCALLTYPE Register() override;
    void STDMETHODCALLTYPE Unregister() override;
    void STDMETHODCALLTYPE InsertPicture(INMPicture* picture, LONG position) override;
    void STDMETHODCALLTYPE RemovePicture(INMPicture* picture) override;
    // INMPictureList
    DWORD STDMETHODCALLTYPE GetCount() override;
    INMPicture* STDMETHODCALLTYPE GetItem(DWORD index) override;

    CFakePicture& AddPicture(const std::string& path);
    // The picture paths as the track holds them now / as last registered.
    std::vector<std::string> PicturePaths() const;

    CFakeComponent& m_owner;
    std::size_t m_index;
    std::string m_title;
    std::string m_path;
    // Like a component with one text buffer per object: a text handed out
    // lives only until the next text getter call on the track.
    std::string m_text;
    DWORD m_attributes;
    std::vector<CFakePicture*> m_pictures;
    std::vector<std::unique_ptr<CFakePicture>> m_ownedPictures;
    // What the last Register stored.
    int m_registerCount = 0;
    std::string m_registeredPath;
    std::vector<std::string> m_registeredPictures;
    bool m_unregistered = false;
};

class CFakeVolume : public INMHddVolume, public INMVolumeSettings {
public:
    explicit CFakeVolume(CFakeComponent& owner);
    FAKE_IUNKNOWN;
    INMContent* STDMETHODCALLTYPE GetFirstContent(REFGUID trackId) override;
    DWORD STDMETHODCALLTYPE GetContentCount() override;
    HRESULT STDMETHODCALLTYPE OpenDatabase(const char* contentsDbPath) override;
    HRESULT STDMETHODCALLTYPE CloseDatabase() override;
    void STDMETHODCALLTYPE SetPictureFolder(const char* folder) override;

    CFakeComponent& m_owner;
};

class CFakeMoveComponent : public ISDMoveComponent {
public:
    explicit CFakeMoveComponent(CCallLog& log);
    FAKE_IUNKNOWN;
    DWORD STDMETHODCALLTYPE GetComponentVersion() override;
    void STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE AddMoveContent(const char* filePath) override;
    HRESULT STDMETHODCALLTYPE FinishExport() override;
    HRESULT STDMETHODCALLTYPE ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) override;
    HRESULT STDMETHODCALLTYPE ApplyImport() override;
    HRESULT STDMETHODCALLTYPE EndImport() override;

    ISDMoveBackupFile* m_stream = nullptr;  // only between ExportTo/ImportFrom and their end
    std::vector<std::string> m_exported;    // paths named by AddMoveContent
    std::string m_imported;                  // the record read by ImportFrom
    // What the last ExportTo or ImportFrom was handed.
    ISDMoveBackupFile* m_lastStream = nullptr;
    const BYTE* m_lastIdentifier = nullptr;
    int m_initialised = 0;  // successful InitComponent less Terminate

private:
    // A code set for the call is answered at once, before the stream is touched.
    bool Answered(const char* method, ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length,
                  HRESULT& code);
};

class CFakeServices;
class CFakeDeviceManager;
class CFakeSecureDevice;
class CFakePluginHost;
class CFakePlugin;

class CFakeLibrary : public INMLibrary {
public:
    CFakeLibrary(CCallLog& log, CFakeServices& services);
    FAKE_IUNKNOWN;
    HRESULT STDMETHODCALLTYPE LoadPlugins(const char* folder) override;
    void STDMETHODCALLTYPE Terminate() override;
    void STDMETHODCALLTYPE GetServices(INMServices** services) override;

    CFakeServices& m_services;
};

class CFakeServices : public INMServices {
public:
    CFakeServices(CCallLog& log, CFakeDeviceManager& manager);
    FAKE_IUNKNOWN;
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, INMDeviceManager** manager) override;

    CFakeDeviceManager& m_manager;
};

class CFakeDeviceManager : public INMDeviceManager {
public:
    explicit CFakeDeviceManager(CFakeComponent& owner);
    FAKE_IUNKNOWN;
    void STDMETHODCALLTYPE SetProperty(DWORD id, const char* value) override;
    void STDMETHODCALLTYPE RemoveDevice(IUnknown* device) override;
    HRESULT STDMETHODCALLTYPE Open() override;
    void STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD reserved1,
                                           DWORD reserved2) override;

    CFakeComponent& m_owner;
};

// Its plug-in host is a separate object, reached by QueryInterface.
class CFakeSecureDevice : public INMSecureDevice {
public:
    CFakeSecureDevice(CCallLog& log, CFakePluginHost& host);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_unk.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_unk.Release(); }
    HRESULT STDMETHODCALLTYPE Open(DWORD flags) override;
    void STDMETHODCALLTYPE Close() override;

    CUnknownPart m_unk;
    CFakePluginHost& m_host;
};

class CFakePluginHost : public ISDPluginHost {
public:
    CFakePluginHost(CCallLog& log, CFakePlugin& a, CFakePlugin& b, CFakePlugin& move);
    FAKE_IUNKNOWN;
    HRESULT STDMETHODCALLTYPE GetPlugin(REFGUID id, ISDPlugin** plugin) override;

    CFakePlugin& m_a;
    CFakePlugin& m_b;
    CFakePlugin& m_move;
};

class CFakePlugin : public ISDPlugin {
public:
    CFakePlugin(CCallLog& log, const std::string& name, REFGUID instanceId, IUnknown& instance);
    FAKE_IUNKNOWN;
    HRESULT STDMETHODCALLTYPE Load() override;
    void STDMETHODCALLTYPE Unload() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(REFGUID id, IUnknown** instance) override;

    GUID m_instanceId;
    IUnknown& m_instance;
    int m_loaded = 0;  // successful Load less Unload
};

class CFakeInstanceA : public ISDComponentA {
public:
    explicit CFakeInstanceA(CCallLog& log);
    FAKE_IUNKNOWN;
};

class CFakeComponentB : public ISDComponentB {
public:
    explicit CFakeComponentB(CCallLog& log);
    FAKE_IUNKNOWN;
    DWORD STDMETHODCALLTYPE GetComponentVersion() override;
    void STDMETHODCALLTYPE Terminate() override;
    HRESULT STDMETHODCALLTYPE InitComponent(DWORD flags) override;

    int m_initialised = 0;  // successful InitComponent less Terminate
};

class CFakeComponent {
public:
    CFakeComponent();
    CFakeComponent(const CFakeComponent&) = delete;
    CFakeComponent& operator=(const CFakeComponent&) = delete;

    CFakeTrack& AddTrack(const std::string& title, const std::string& path, DWORD attributes = 0);
    // A new reference to the library, as the module's export hands it out.
    INMLibrary* NewLibraryRef();
    // Objects whose reference count is not 0, as "Name=count", then plug-ins
    // left loaded ("Name loaded=n") and components left initialised
    // ("Name initialised=n").
    std::vector<std::string> Leaks() const;
    // The fake's name for an object the engine hands back (RemoveDevice).
    std::string NameOf(IUnknown* object) const;

    CCallLog log;
    std::vector<std::unique_ptr<CFakeTrack>> tracks;
    CFakeMoveComponent move;
    CFakeComponentB componentB;
    CFakeInstanceA instanceA;
    CFakePlugin pluginA;
    CFakePlugin pluginB;
    CFakePlugin movePlugin;
    CFakePluginHost pluginHost;
    CFakeSecureDevice secureDevice;
    CFakeVolume volume;
    CFakeDeviceManager deviceManager;
    CFakeServices services;
    CFakeLibrary library;
};

}  // namespace fake
