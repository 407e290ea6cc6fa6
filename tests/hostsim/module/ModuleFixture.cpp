#include "ModuleFixture.h"

#include <cstdio>
#include <utility>

#include "hostsim/core/Faults.h"
#include "support/TestPaths.h"

namespace hostsimtest {
namespace {

LONG(STDMETHODCALLTYPE* g_liveObjects)() = nullptr;

template <class Proc>
Proc Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ModulePath() { return zrtest::BuiltPath("hostsim/module/NerithMediaLibrary.dll"); }

// Loaded once and kept for the whole run, as the tool keeps it for a job.
NerithMediaLibraryInterfaceProc Export() {
    static NerithMediaLibraryInterfaceProc proc = [] {
        HMODULE module = LoadLibraryA(ModulePath().c_str());
        if (!module) return NerithMediaLibraryInterfaceProc(nullptr);
        g_liveObjects = Lookup<LONG(STDMETHODCALLTYPE*)()>(module, "HostSimLiveObjects");
        return Lookup<NerithMediaLibraryInterfaceProc>(module, "NerithMediaLibraryInterface");
    }();
    return proc;
}

}  // namespace

CModuleTest::CModuleTest() {
    m_coreFolder = m_sandbox.Path("Common Files\\Nerith\\Kovex");
    m_pluginFolder = m_sandbox.Path("NML\\Plugins");
    zrtest::MakeFolder(m_coreFolder);
    zrtest::MakeFolder(m_pluginFolder);
}

void CModuleTest::TearDown() {
    // Every reference a test took is gone by now: nothing of the module may live on.
    ASSERT_NE(nullptr, g_liveObjects) << "the module exports no object count";
    EXPECT_EQ(0, g_liveObjects()) << "module objects leaked";
}

HRESULT CModuleTest::CreateLibrary(CRef<INMLibrary>& library) {
    NerithMediaLibraryInterfaceProc create = Export();
    if (!create) {
        ADD_FAILURE() << "cannot load " << ModulePath() << " or its export";
        return E_FAIL;
    }
    return create(library.Put());
}

void CModuleTest::BindHost(CBoundHost& host) {
    ASSERT_EQ(S_OK, CreateLibrary(host.library));
    ASSERT_TRUE(host.library);
    host.library->GetServices(host.services.Put());
    ASSERT_TRUE(host.services);
    ASSERT_EQ(S_OK, host.library->LoadPlugins(m_pluginFolder.c_str()));
    ASSERT_EQ(S_OK, host.services->QueryService(zr::SID_NMDeviceManager, host.manager.Put()));
    ASSERT_EQ(S_OK, host.manager->Open());
    host.manager->SetProperty(NM_PROP_CORE_FOLDER, m_coreFolder.c_str());
}

HRESULT CModuleTest::Mount(INMDeviceManager* manager, const std::string& contentsDb, CRef<INMHddVolume>& volume) {
    NMCreateDeviceInfo info(NM_DEVICE_HDD_VOLUME);
    CRef<INMHddVolume> created;
    HRESULT hr = manager->CreateDevice(zr::IID_INMHddVolume, &info, created.PutVoid(), 0, 0);
    if (FAILED(hr)) return hr;
    CRef<INMVolumeSettings> settings = created.Query<INMVolumeSettings>(zr::IID_INMVolumeSettings);
    if (!settings) return E_NOINTERFACE;
    settings->SetPictureFolder(m_sandbox.Path("Media\\Picture").c_str());
    hr = created->OpenDatabase(contentsDb.c_str());
    if (FAILED(hr)) {
        manager->RemoveDevice(created.Get());
        return hr;
    }
    volume = std::move(created);
    return hr;
}

HRESULT CModuleTest::OpenMoveComponent(INMDeviceManager* manager, CRef<INMSecureDevice>& device,
                                       CRef<ISDMoveComponent>& move) {
    NMCreateDeviceInfo info(NM_DEVICE_SECURE);
    HRESULT hr = manager->CreateDevice(zr::IID_INMSecureDevice, &info, device.PutVoid(), 0, 0);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = device->Open(0))) return hr;
    CRef<ISDPluginHost> host = device.Query<ISDPluginHost>(zr::IID_ISDPluginHost);
    if (!host) return E_NOINTERFACE;
    CRef<ISDPlugin> plugin;
    if (FAILED(hr = host->GetPlugin(zr::SDID_MovePlugin, plugin.Put()))) return hr;
    if (FAILED(hr = plugin->Load())) return hr;
    CRef<IUnknown> instance;
    if (FAILED(hr = plugin->CreateInstance(zr::SDID_MoveInstance, instance.Put()))) return hr;
    move = instance.Query<ISDMoveComponent>(zr::IID_ISDMoveComponent);
    if (!move) return E_NOINTERFACE;
    return move->InitComponent(0);
}

std::vector<CRef<INMTrack>> CModuleTest::Tracks(INMHddVolume* volume) {
    std::vector<CRef<INMTrack>> tracks;
    CRef<INMContent> entry(volume->GetFirstContent(zr::IID_INMTrack));
    while (entry) {
        CRef<INMTrack> track = entry.Query<INMTrack>(zr::IID_INMTrack);
        EXPECT_TRUE(track) << "entry " << tracks.size() << " yields no track";
        if (track) tracks.push_back(std::move(track));
        entry = CRef<INMContent>(entry->GetNextContent(zr::IID_INMTrack));
    }
    return tracks;
}

void CModuleTest::MakeLibrary(const std::string& path, std::vector<hostsim::TrackRow> rows) {
    hostsim::CLibraryDb db;
    ASSERT_TRUE(db.Create(path)) << path;
    ASSERT_TRUE(db.Begin());
    for (hostsim::TrackRow& row : rows) ASSERT_TRUE(db.Insert(row));
    ASSERT_TRUE(db.Commit());
}

std::vector<hostsim::TrackRow> CModuleTest::ReadLibrary(const std::string& path) {
    std::vector<hostsim::TrackRow> rows;
    hostsim::CLibraryDb db;
    EXPECT_TRUE(db.Open(path)) << path;
    EXPECT_TRUE(db.LoadAll(rows));
    return rows;
}

std::vector<hostsim::TrackRow> CModuleTest::SampleTracks(int n) {
    std::vector<hostsim::TrackRow> rows;
    for (int i = 1; i <= n; ++i) {
        char name[64];
        hostsim::TrackRow row;
        std::snprintf(name, sizeof(name), "Track %d", i);
        row.title = name;
        std::snprintf(name, sizeof(name), "C:\\Music\\Album\\track%02d.wma", i);
        row.path = name;
        row.attributes = (i % 3 == 0) ? NM_ATTR_SECURE_B : 0;
        row.pictureState = 1;
        std::snprintf(name, sizeof(name), "C:\\Pictures\\front%02d.jpg", i);
        row.pictures.push_back(name);
        std::snprintf(name, sizeof(name), "C:\\Pictures\\back%02d.jpg", i);
        row.pictures.push_back(name);
        rows.push_back(row);
    }
    return rows;
}

void CModuleTest::SetFault(const std::string& name, DWORD code) {
    zrtest::SetRegDword(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, code);
}

void CModuleTest::SetFault(const std::string& name, const std::string& text) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, hostsim::kFaultsKey, name, text);
}

}  // namespace hostsimtest
