#include "FakeComponent.h"

#include <cstring>

#include "common/ComponentIds.h"

namespace fake {
namespace {

struct NamedIid {
    const GUID* iid;
    const char* name;
};

const NamedIid kIids[] = {
    {&IID_IUnknown, "IUnknown"},
    {&zr::IID_INMLibrary, "INMLibrary"},
    {&zr::IID_INMServices, "INMServices"},
    {&zr::IID_INMDeviceManager, "INMDeviceManager"},
    {&zr::IID_INMSecureDevice, "INMSecureDevice"},
    {&zr::IID_INMHddVolume, "INMHddVolume"},
    {&zr::IID_INMVolumeSettings, "INMVolumeSettings"},
    {&zr::IID_INMContent, "INMContent"},
    {&zr::IID_INMTrack, "INMTrack"},
    {&zr::IID_INMPictureList, "INMPictureList"},
    {&zr::IID_INMPicture, "INMPicture"},
    {&zr::IID_ISDPluginHost, "ISDPluginHost"},
    {&zr::IID_ISDPlugin, "ISDPlugin"},
    {&zr::IID_ISDComponentA, "ISDComponentA"},
    {&zr::IID_ISDComponentB, "ISDComponentB"},
    {&zr::IID_ISDMoveComponent, "ISDMoveComponent"},
    {&zr::IID_ISDMoveBackupFile, "ISDMoveBackupFile"},
    {&zr::SID_NMDeviceManager, "SID_NMDeviceManager"},
    {&zr::SDID_PluginA, "PluginA"},
    {&zr::SDID_PluginB, "PluginB"},
    {&zr::SDID_MovePlugin, "MovePlugin"},
    {&zr::SDID_InstanceA, "InstanceA"},
    {&zr::SDID_InstanceB, "InstanceB"},
    {&zr::SDID_MoveInstance, "MoveInstance"},
};

std::string IidName(REFIID iid) {
    for (const NamedIid& known : kIids) {
        if (IsEqualGUID(iid, *known.iid)) return known.name;
    }
    return "?";
}

std::string Str(const char* s) { return s ? s : "(null)"; }

}  // namespace

HRESULT CCallLog::Result(const std::string& name, const std::string& method, const std::string& args,
                         HRESULT normal) const {
    auto exact = m_failures.find(name + "." + method + "(" + args + ")");
    if (exact != m_failures.end()) return exact->second;
    auto any = m_failures.find(name + "." + method);
    return any != m_failures.end() ? any->second : normal;
}

bool CCallLog::Fails(const std::string& name, const std::string& method, const std::string& args) const {
    return m_failures.count(name + "." + method + "(" + args + ")") || m_failures.count(name + "." + method);
}

std::vector<std::string> CCallLog::Starting(const std::vector<std::string>& prefixes) const {
    std::vector<std::string> out;
    for (const std::string& entry : m_entries) {
        for (const std::string& prefix : prefixes) {
            if (entry.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(entry);
                break;
            }
        }
    }
    return out;
}

std::vector<std::string> CCallLog::Containing(const std::string& part) const {
    std::vector<std::string> out;
    for (const std::string& entry : m_entries) {
        if (entry.find(part) != std::string::npos) out.push_back(entry);
    }
    return out;
}

void CUnknownPart::Call(const std::string& method, const std::string& args) const {
    m_log.Add(args.empty() ? m_name + "." + method : m_name + "." + method + "(" + args + ")");
}

HRESULT CUnknownPart::QueryInterface(REFIID iid, void** out) {
    const std::string name = IidName(iid);
    Call("QueryInterface", name);
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr = Result("QueryInterface", name);
    if (FAILED(hr)) return hr;
    return Lookup(iid, out);
}

HRESULT CUnknownPart::Lookup(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const Exposed& exposed : m_interfaces) {
        if (IsEqualGUID(iid, exposed.iid) || (IsEqualGUID(iid, IID_IUnknown) && &exposed == &m_interfaces[0])) {
            *out = exposed.itf;
            AddRef();
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

ULONG CUnknownPart::Release() {
    Call("Release");
    return static_cast<ULONG>(--m_refs);
}

// ---- pictures and tracks

CFakePicture::CFakePicture(CCallLog& log, const std::string& name, const std::string& path)
    : m_unk(log, name), m_path(path) {
    m_unk.Expose(zr::IID_INMPicture, static_cast<INMPicture*>(this));
}

void CFakePicture::SetFilePath(const char* path) {
    m_unk.Call("SetFilePath", Str(path));
    m_path = Str(path);
}

const char* CFakePicture::GetFilePath() {
    m_unk.Call("GetFilePath");
    return m_path.c_str();
}

CFakeTrack::CFakeTrack(CFakeComponent& owner, std::size_t index, const std::string& title, const std::string& path,
                       DWORD attributes)
    : m_unk(owner.log, title), m_owner(owner), m_index(index), m_title(title), m_path(path), m_attributes(attributes) {
    m_unk.Expose(zr::IID_INMContent, static_cast<INMContent*>(this));
    m_unk.Expose(zr::IID_INMTrack, static_cast<INMTrack*>(this));
    m_unk.Expose(zr::IID_INMPictureList, static_cast<INMPictureList*>(this));
}

INMContent* CFakeTrack::GetNextContent(REFGUID trackId) {
    m_unk.Call("GetNextContent", IidName(trackId));
    if (m_index + 1 >= m_owner.tracks.size()) return nullptr;
    CFakeTrack* next = m_owner.tracks[m_index + 1].get();
    next->AddRef();
    return static_cast<INMContent*>(next);
}

void CFakeTrack::SetTrackProperty(DWORD id, const void* value) {
    m_unk.Call("SetTrackProperty", std::to_string(id) + "," +
                                       (value ? std::to_string(*static_cast<const DWORD*>(value)) : "(null)"));
}

const char* CFakeTrack::GetFilePath() {
    m_unk.Call("GetFilePath");
    m_text = m_path;
    return m_text.c_str();
}

void CFakeTrack::SetFilePath(const char* path) {
    m_unk.Call("SetFilePath", Str(path));
    m_path = Str(path);
}

const char* CFakeTrack::GetTitle() {
    m_unk.Call("GetTitle");
    m_text = m_title;
    return m_text.c_str();
}

NM_TRACK_ATTRIBUTES* CFakeTrack::GetAttributes(NM_TRACK_ATTRIBUTES* record) {
    m_unk.Call("GetAttributes");
    if (!record) return nullptr;
    std::memset(record, 0, sizeof(*record));
    record->cbSize = sizeof(*record);
    record->dwFlags = m_attributes;
    return record;
}

HRESULT CFakeTrack::Register() {
    m_unk.Call("Register");
    HRESULT hr = m_unk.Result("Register");
    if (FAILED(hr)) return hr;
    ++m_registerCount;
    m_registeredPath = m_path;
    m_registeredPictures = PicturePaths();
    return hr;
}

void CFakeTrack::Unregister() {
    m_unk.Call("Unregister");
    m_unregistered = true;
}

void CFakeTrack::InsertPicture(INMPicture* picture, LONG position) {
    auto* p = static_cast<CFakePicture*>(picture);
    m_unk.Call("InsertPicture", (p ? p->m_unk.Name() : "(null)") + "," + std::to_string(position));
    if (!p) return;
    std::size_t at = position < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(position), m_pictures.size());
    m_pictures.insert(m_pictures.begin() + static_cast<std::ptrdiff_t>(at), p);
}

void CFakeTrack::RemovePicture(INMPicture* picture) {
    auto* p = static_cast<CFakePicture*>(picture);
    m_unk.Call("RemovePicture", p ? p->m_unk.Name() : "(null)");
    for (auto it = m_pictures.begin(); it != m_pictures.end(); ++it) {
        if (*it == p) {
            m_pictures.erase(it);
            return;
        }
    }
}

DWORD CFakeTrack::GetCount() {
    m_unk.Call("GetCount");
    return static_cast<DWORD>(m_pictures.size());
}

// Like the real list, a live view: removing a picture renumbers the rest.
INMPicture* CFakeTrack::GetItem(DWORD index) {
    m_unk.Call("GetItem", std::to_string(index));
    if (index < 1 || index > m_pictures.size()) return nullptr;
    return m_pictures[index - 1];
}

CFakePicture& CFakeTrack::AddPicture(const std::string& path) {
    const std::string name = m_title + ".Pic" + std::to_string(m_ownedPictures.size() + 1);
    m_ownedPictures.push_back(std::make_unique<CFakePicture>(m_owner.log, name, path));
    m_pictures.push_back(m_ownedPictures.back().get());
    return *m_ownedPictures.back();
}

std::vector<std::string> CFakeTrack::PicturePaths() const {
    std::vector<std::string> paths;
    for (const CFakePicture* p : m_pictures) paths.push_back(p->m_path);
    return paths;
}

// ---- volume

CFakeVolume::CFakeVolume(CFakeComponent& owner) : m_unk(owner.log, "Volume"), m_owner(owner) {
    m_unk.Expose(zr::IID_INMHddVolume, static_cast<INMHddVolume*>(this));
    m_unk.Expose(zr::IID_INMVolumeSettings, static_cast<INMVolumeSettings*>(this));
}

INMContent* CFakeVolume::GetFirstContent(REFGUID trackId) {
    m_unk.Call("GetFirstContent", IidName(trackId));
    if (m_owner.tracks.empty()) return nullptr;
    CFakeTrack* first = m_owner.tracks.front().get();
    first->AddRef();
    return static_cast<INMContent*>(first);
}

DWORD CFakeVolume::GetContentCount() {
    m_unk.Call("GetContentCount");
    return static_cast<DWORD>(m_owner.tracks.size());
}

HRESULT CFakeVolume::OpenDatabase(const char* contentsDbPath) {
    m_unk.Call("OpenDatabase", Str(contentsDbPath));
    return m_unk.Result("OpenDatabase", Str(contentsDbPath));
}

HRESULT CFakeVolume::CloseDatabase() {
    m_unk.Call("CloseDatabase");
    return m_unk.Result("CloseDatabase");
}

void CFakeVolume::SetPictureFolder(const char* folder) { m_unk.Call("SetPictureFolder", Str(folder)); }

// ---- secure components

CFakeMoveComponent::CFakeMoveComponent(CCallLog& log) : m_unk(log, "Move") {
    m_unk.Expose(zr::IID_ISDMoveComponent, static_cast<ISDMoveComponent*>(this));
}

DWORD CFakeMoveComponent::GetComponentVersion() {
    m_unk.Call("GetComponentVersion");
    return 1;
}

// A component may hold the stream until its export or import ends; one still
// held here would be released after the engine's step let it go.
void CFakeMoveComponent::Terminate() {
    m_unk.Call(m_stream ? "Terminate(stream held)" : "Terminate");
    m_stream = nullptr;
    --m_initialised;
}

HRESULT CFakeMoveComponent::InitComponent(DWORD flags) {
    m_unk.Call("InitComponent", std::to_string(flags));
    HRESULT hr = m_unk.Result("InitComponent", std::to_string(flags));
    if (SUCCEEDED(hr)) ++m_initialised;
    return hr;
}

namespace {

std::string HexIdentifier(const BYTE* identifier, DWORD length) {
    std::string hex;
    char byte[4];
    for (DWORD i = 0; identifier && i < length; ++i) {
        std::snprintf(byte, sizeof(byte), "%02X", identifier[i]);
        hex += byte;
    }
    return hex + "," + std::to_string(length);
}

}  // namespace

bool CFakeMoveComponent::Answered(const char* method, ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length,
                                  HRESULT& code) {
    const std::string args = HexIdentifier(identifier, length);
    m_unk.Call(method, args);
    m_lastStream = stream;
    m_lastIdentifier = identifier;
    if (!m_unk.Log().Fails(m_unk.Name(), method, args)) return false;
    code = m_unk.Result(method, args);
    return true;
}

// The export: a 48-byte header now, one record with the named paths at the end.
HRESULT CFakeMoveComponent::ExportTo(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) {
    HRESULT hr = S_OK;
    if (Answered("ExportTo", stream, identifier, length, hr)) return hr;
    m_exported.clear();
    BYTE header[SD_BACKUP_FILE_HEADER_SIZE] = "FAKEMOVE";
    hr = stream->BeginFile(header);
    if (FAILED(hr)) return hr;
    stream->AddRef();
    m_stream = stream;
    return S_OK;
}

HRESULT CFakeMoveComponent::AddMoveContent(const char* filePath) {
    m_unk.Call("AddMoveContent", Str(filePath));
    HRESULT hr = m_unk.Result("AddMoveContent", Str(filePath));
    if (SUCCEEDED(hr)) m_exported.push_back(Str(filePath));
    return hr;
}

HRESULT CFakeMoveComponent::FinishExport() {
    m_unk.Call("FinishExport");
    if (!m_stream) return E_UNEXPECTED;
    std::string data = "paths:";
    for (const std::string& p : m_exported) data += p + ";";
    BYTE record[SD_BACKUP_RECORD_HEADER_SIZE] = "RECORD";
    HRESULT hr = m_stream->WriteRecord(record, data.data(), static_cast<DWORD>(data.size()));
    if (SUCCEEDED(hr)) hr = m_stream->EndFile();
    m_stream->Release();
    m_stream = nullptr;
    return m_unk.Result("FinishExport", std::string(), hr);
}

HRESULT CFakeMoveComponent::ImportFrom(ISDMoveBackupFile* stream, const BYTE* identifier, DWORD length) {
    HRESULT hr = S_OK;
    if (Answered("ImportFrom", stream, identifier, length, hr)) return hr;
    BYTE header[SD_BACKUP_FILE_HEADER_SIZE] = {};
    hr = stream->BeginFile(header);
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    stream->GetDataSize(&size);
    m_imported.assign(size, '\0');
    BYTE record[SD_BACKUP_RECORD_HEADER_SIZE] = {};
    if (size > 0) {
        hr = stream->ReadRecord(record, &m_imported[0], size);
        if (FAILED(hr)) return hr;
    }
    stream->AddRef();
    m_stream = stream;
    return S_OK;
}

HRESULT CFakeMoveComponent::ApplyImport() {
    m_unk.Call("ApplyImport");
    return m_unk.Result("ApplyImport");
}

HRESULT CFakeMoveComponent::EndImport() {
    m_unk.Call("EndImport");
    if (m_stream) {
        m_stream->EndFile();
        m_stream->Release();
    }
    m_stream = nullptr;
    return m_unk.Result("EndImport");
}

CFakeComponentB::CFakeComponentB(CCallLog& log) : m_unk(log, "ComponentB") {
    m_unk.Expose(zr::IID_ISDComponentB, static_cast<ISDComponentB*>(this));
}

DWORD CFakeComponentB::GetComponentVersion() {
    m_unk.Call("GetComponentVersion");
    return 1;
}

void CFakeComponentB::Terminate() {
    m_unk.Call("Terminate");
    --m_initialised;
}

HRESULT CFakeComponentB::InitComponent(DWORD flags) {
    m_unk.Call("InitComponent", std::to_string(flags));
    HRESULT hr = m_unk.Result("InitComponent", std::to_string(flags));
    if (SUCCEEDED(hr)) ++m_initialised;
    return hr;
}

CFakeInstanceA::CFakeInstanceA(CCallLog& log) : m_unk(log, "InstanceA") {
    m_unk.Expose(zr::IID_ISDComponentA, static_cast<ISDComponentA*>(this));
}

CFakePlugin::CFakePlugin(CCallLog& log, const std::string& name, REFGUID instanceId, IUnknown& instance)
    : m_unk(log, name), m_instanceId(instanceId), m_instance(instance) {
    m_unk.Expose(zr::IID_ISDPlugin, static_cast<ISDPlugin*>(this));
}

HRESULT CFakePlugin::Load() {
    m_unk.Call("Load");
    HRESULT hr = m_unk.Result("Load");
    if (SUCCEEDED(hr)) ++m_loaded;
    return hr;
}

void CFakePlugin::Unload() {
    m_unk.Call("Unload");
    --m_loaded;
}

HRESULT CFakePlugin::CreateInstance(REFGUID id, IUnknown** instance) {
    m_unk.Call("CreateInstance", IidName(id));
    if (!instance) return E_POINTER;
    *instance = nullptr;
    HRESULT hr = m_unk.Result("CreateInstance", IidName(id));
    if (FAILED(hr)) return hr;
    if (!IsEqualGUID(id, m_instanceId)) return E_INVALIDARG;
    m_instance.AddRef();
    *instance = &m_instance;
    return S_OK;
}

CFakePluginHost::CFakePluginHost(CCallLog& log, CFakePlugin& a, CFakePlugin& b, CFakePlugin& move)
    : m_unk(log, "PluginHost"), m_a(a), m_b(b), m_move(move) {
    m_unk.Expose(zr::IID_ISDPluginHost, static_cast<ISDPluginHost*>(this));
}

HRESULT CFakePluginHost::GetPlugin(REFGUID id, ISDPlugin** plugin) {
    m_unk.Call("GetPlugin", IidName(id));
    if (!plugin) return E_POINTER;
    *plugin = nullptr;
    HRESULT hr = m_unk.Result("GetPlugin", IidName(id));
    if (FAILED(hr)) return hr;
    CFakePlugin* found = IsEqualGUID(id, zr::SDID_PluginA)     ? &m_a
                         : IsEqualGUID(id, zr::SDID_PluginB)   ? &m_b
                         : IsEqualGUID(id, zr::SDID_MovePlugin) ? &m_move
                                                                : nullptr;
    if (!found) return E_INVALIDARG;
    found->AddRef();
    *plugin = found;
    return S_OK;
}

CFakeSecureDevice::CFakeSecureDevice(CCallLog& log, CFakePluginHost& host) : m_unk(log, "SecureDevice"), m_host(host) {
    m_unk.Expose(zr::IID_INMSecureDevice, static_cast<INMSecureDevice*>(this));
}

HRESULT CFakeSecureDevice::QueryInterface(REFIID iid, void** out) {
    if (!IsEqualGUID(iid, zr::IID_ISDPluginHost)) return m_unk.QueryInterface(iid, out);
    m_unk.Call("QueryInterface", "ISDPluginHost");
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr = m_unk.Result("QueryInterface", "ISDPluginHost");
    if (FAILED(hr)) return hr;
    m_host.AddRef();
    *out = static_cast<ISDPluginHost*>(&m_host);
    return S_OK;
}

HRESULT CFakeSecureDevice::Open(DWORD flags) {
    m_unk.Call("Open", std::to_string(flags));
    return m_unk.Result("Open", std::to_string(flags));
}

void CFakeSecureDevice::Close() { m_unk.Call("Close"); }

// ---- library, services, device manager

CFakeDeviceManager::CFakeDeviceManager(CFakeComponent& owner) : m_unk(owner.log, "DeviceManager"), m_owner(owner) {
    m_unk.Expose(zr::IID_INMDeviceManager, static_cast<INMDeviceManager*>(this));
}

void CFakeDeviceManager::SetProperty(DWORD id, const char* value) {
    m_unk.Call("SetProperty", std::to_string(id) + "," + Str(value));
}

void CFakeDeviceManager::RemoveDevice(IUnknown* device) { m_unk.Call("RemoveDevice", m_owner.NameOf(device)); }

HRESULT CFakeDeviceManager::Open() {
    m_unk.Call("Open");
    return m_unk.Result("Open");
}

void CFakeDeviceManager::Close() { m_unk.Call("Close"); }

HRESULT CFakeDeviceManager::CreateDevice(REFGUID id, INMCreateInfo* info, void** device, DWORD reserved1,
                                         DWORD reserved2) {
    DWORD type = 0;
    if (info && info->IsKindOf(zr::NMID_CreateDeviceInfo)) type = static_cast<NMCreateDeviceInfo*>(info)->m_type;
    m_unk.Call("CreateDevice", IidName(id) + "," + std::to_string(type) + "," + std::to_string(reserved1) + "," +
                                   std::to_string(reserved2));
    if (!device) return E_POINTER;
    *device = nullptr;
    HRESULT hr = m_unk.Result("CreateDevice", IidName(id) + "," + std::to_string(type) + "," +
                                                   std::to_string(reserved1) + "," + std::to_string(reserved2));
    if (FAILED(hr)) return hr;
    if (type == NM_DEVICE_HDD_VOLUME) return m_owner.volume.m_unk.Lookup(id, device);
    if (type == NM_DEVICE_SECURE) return m_owner.secureDevice.m_unk.Lookup(id, device);
    return E_INVALIDARG;
}

CFakeServices::CFakeServices(CCallLog& log, CFakeDeviceManager& manager) : m_unk(log, "Services"), m_manager(manager) {
    m_unk.Expose(zr::IID_INMServices, static_cast<INMServices*>(this));
}

HRESULT CFakeServices::QueryService(REFGUID service, INMDeviceManager** manager) {
    m_unk.Call("QueryService", IidName(service));
    if (!manager) return E_POINTER;
    *manager = nullptr;
    HRESULT hr = m_unk.Result("QueryService", IidName(service));
    if (FAILED(hr)) return hr;
    if (!IsEqualGUID(service, zr::SID_NMDeviceManager)) return E_NOINTERFACE;
    m_manager.AddRef();
    *manager = &m_manager;
    return S_OK;
}

CFakeLibrary::CFakeLibrary(CCallLog& log, CFakeServices& services) : m_unk(log, "Library"), m_services(services) {
    m_unk.Expose(zr::IID_INMLibrary, static_cast<INMLibrary*>(this));
}

HRESULT CFakeLibrary::LoadPlugins(const char* folder) {
    m_unk.Call("LoadPlugins", Str(folder));
    return m_unk.Result("LoadPlugins", Str(folder));
}

void CFakeLibrary::Terminate() { m_unk.Call("Terminate"); }

void CFakeLibrary::GetServices(INMServices** services) {
    m_unk.Call("GetServices");
    if (!services) return;
    *services = nullptr;
    if (m_unk.Log().Fails("Library", "GetServices")) return;
    m_services.AddRef();
    *services = &m_services;
}

// ---- the whole component

CFakeComponent::CFakeComponent()
    : move(log),
      componentB(log),
      instanceA(log),
      pluginA(log, "PluginA", zr::SDID_InstanceA, instanceA),
      pluginB(log, "PluginB", zr::SDID_InstanceB, componentB),
      movePlugin(log, "MovePlugin", zr::SDID_MoveInstance, move),
      pluginHost(log, pluginA, pluginB, movePlugin),
      secureDevice(log, pluginHost),
      volume(*this),
      deviceManager(*this),
      services(log, deviceManager),
      library(log, services) {}

CFakeTrack& CFakeComponent::AddTrack(const std::string& title, const std::string& path, DWORD attributes) {
    tracks.push_back(std::make_unique<CFakeTrack>(*this, tracks.size(), title, path, attributes));
    return *tracks.back();
}

INMLibrary* CFakeComponent::NewLibraryRef() {
    library.AddRef();
    return &library;
}

std::vector<std::string> CFakeComponent::Leaks() const {
    std::vector<std::string> leaks;
    auto check = [&leaks](const CUnknownPart& unk) {
        if (unk.Refs() != 0) leaks.push_back(unk.Name() + "=" + std::to_string(unk.Refs()));
    };
    check(library.m_unk);
    check(services.m_unk);
    check(deviceManager.m_unk);
    check(volume.m_unk);
    check(secureDevice.m_unk);
    check(pluginHost.m_unk);
    check(pluginA.m_unk);
    check(pluginB.m_unk);
    check(movePlugin.m_unk);
    check(instanceA.m_unk);
    check(componentB.m_unk);
    check(move.m_unk);
    for (const auto& track : tracks) {
        check(track->m_unk);
        for (const auto& picture : track->m_ownedPictures) check(picture->m_unk);
    }
    auto count = [&leaks](const CUnknownPart& unk, const char* what, int n) {
        if (n != 0) leaks.push_back(unk.Name() + " " + what + "=" + std::to_string(n));
    };
    count(pluginA.m_unk, "loaded", pluginA.m_loaded);
    count(pluginB.m_unk, "loaded", pluginB.m_loaded);
    count(movePlugin.m_unk, "loaded", movePlugin.m_loaded);
    count(componentB.m_unk, "initialised", componentB.m_initialised);
    count(move.m_unk, "initialised", move.m_initialised);
    return leaks;
}

std::string CFakeComponent::NameOf(IUnknown* object) const {
    if (object == static_cast<INMHddVolume*>(const_cast<CFakeVolume*>(&volume))) return "Volume";
    if (object == static_cast<INMSecureDevice*>(const_cast<CFakeSecureDevice*>(&secureDevice))) return "SecureDevice";
    return object ? "?" : "(null)";
}

}  // namespace fake
