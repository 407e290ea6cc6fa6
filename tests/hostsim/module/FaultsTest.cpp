// The fault switches: each makes exactly its own operation fail with the
// configured code, and nothing else.
#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "ModuleFixture.h"
#include "hostsim/core/Faults.h"
#include "securedb/SDMoveBackupFile.h"

namespace hostsimtest {
namespace {

enum Step {
    LoadPlugins,
    OpenManager,
    CreateSecure,
    OpenSecure,
    ComponentA,
    InitB,
    InitMove,
    CreateVolume,
    OpenDatabase,
    RegisterAlpha,
    RegisterBeta,
    AddAlpha,
    AddBeta,
    FinishExport,
    ImportFrom,
    ApplyImport,
    EndImport,
    CloseDatabase,
};

const char* const kStepNames[] = {"LoadPlugins",  "OpenManager",   "CreateSecure", "OpenSecure",  "ComponentA",
                                  "InitB",        "InitMove",      "CreateVolume", "OpenDatabase", "RegisterAlpha",
                                  "RegisterBeta", "AddAlpha",      "AddBeta",      "FinishExport", "ImportFrom",
                                  "ApplyImport",  "EndImport",     "CloseDatabase"};

using Results = std::map<Step, HRESULT>;  // steps that could run, and what they returned

const char kAlphaPath[] = "C:\\Music\\Alpha\\a.wma";
const char kBetaPath[] = "C:\\Music\\Beta\\b.wma";

class FaultsTest : public CModuleTest {
protected:
    void SetUp() override {
        m_db = m_sandbox.Path("contents.db");
        hostsim::TrackRow alpha, beta;
        alpha.title = "Alpha Song";
        alpha.path = kAlphaPath;
        alpha.attributes = NM_ATTR_SECURE_A;
        beta.title = "Beta Song";
        beta.path = kBetaPath;
        beta.attributes = NM_ATTR_SECURE_B;
        MakeLibrary(m_db, {alpha, beta});
        hostsim::CRightsDb rights;
        ASSERT_TRUE(rights.Open(m_coreFolder, true));
        ASSERT_TRUE(rights.ReplaceAll({{kAlphaPath, "Alpha Song", {1, 2, 3}}, {kBetaPath, "Beta Song", {4, 5}}}));
    }

    // Drives every operation a switch can hit, in the order the tool uses them.
    Results Run() {
        Results r;
        CRef<INMLibrary> library;
        if (CreateLibrary(library) != S_OK) return r;
        CRef<INMServices> services;
        library->GetServices(services.Put());
        r[LoadPlugins] = library->LoadPlugins(m_pluginFolder.c_str());
        CRef<INMDeviceManager> manager;
        EXPECT_EQ(S_OK, services->QueryService(zr::SID_NMDeviceManager, manager.Put()));
        if (!manager || FAILED(r[OpenManager] = manager->Open())) return r;
        manager->SetProperty(NM_PROP_CORE_FOLDER, m_coreFolder.c_str());

        CRef<ISDMoveComponent> move = RunSecure(manager.Get(), r);

        NMCreateDeviceInfo info(NM_DEVICE_HDD_VOLUME);
        CRef<INMHddVolume> volume;
        if (FAILED(r[CreateVolume] = manager->CreateDevice(zr::IID_INMHddVolume, &info, volume.PutVoid(), 0, 0)))
            return r;
        if (FAILED(r[OpenDatabase] = volume->OpenDatabase(m_db.c_str()))) return r;
        std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
        EXPECT_EQ(2u, tracks.size());
        if (tracks.size() == 2) {
            r[RegisterAlpha] = tracks[0]->Register();
            r[RegisterBeta] = tracks[1]->Register();
        }
        tracks.clear();
        if (move) RunMove(move.Get(), r);
        r[CloseDatabase] = volume->CloseDatabase();
        manager->RemoveDevice(volume.Get());
        manager->Close();
        library->Terminate();
        return r;
    }

    CRef<ISDMoveComponent> RunSecure(INMDeviceManager* manager, Results& r) {
        NMCreateDeviceInfo info(NM_DEVICE_SECURE);
        CRef<INMSecureDevice> device;
        if (FAILED(r[CreateSecure] = manager->CreateDevice(zr::IID_INMSecureDevice, &info, device.PutVoid(), 0, 0)))
            return {};
        if (FAILED(r[OpenSecure] = device->Open(0))) return {};
        CRef<ISDPluginHost> host = device.Query<ISDPluginHost>(zr::IID_ISDPluginHost);
        CRef<ISDPlugin> a, b, m;
        CRef<IUnknown> instanceA, instanceB, instanceM;
        EXPECT_EQ(S_OK, host->GetPlugin(zr::SDID_PluginA, a.Put()));
        EXPECT_EQ(S_OK, a->Load());
        EXPECT_EQ(S_OK, a->CreateInstance(zr::SDID_InstanceA, instanceA.Put()));
        CRef<ISDComponentA> componentA;
        r[ComponentA] = instanceA->QueryInterface(zr::IID_ISDComponentA, componentA.PutVoid());
        EXPECT_EQ(S_OK, host->GetPlugin(zr::SDID_PluginB, b.Put()));
        EXPECT_EQ(S_OK, b->Load());
        EXPECT_EQ(S_OK, b->CreateInstance(zr::SDID_InstanceB, instanceB.Put()));
        CRef<ISDComponentB> componentB = instanceB.Query<ISDComponentB>(zr::IID_ISDComponentB);
        r[InitB] = componentB->InitComponent(0);
        componentB->Terminate();
        EXPECT_EQ(S_OK, host->GetPlugin(zr::SDID_MovePlugin, m.Put()));
        EXPECT_EQ(S_OK, m->Load());
        EXPECT_EQ(S_OK, m->CreateInstance(zr::SDID_MoveInstance, instanceM.Put()));
        CRef<ISDMoveComponent> move = instanceM.Query<ISDMoveComponent>(zr::IID_ISDMoveComponent);
        if (FAILED(r[InitMove] = move->InitComponent(0))) return {};
        return move;
    }

    void RunMove(ISDMoveComponent* move, Results& r) {
        const BYTE id[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        std::string file = m_sandbox.Path("MovePlugIn.bkd");
        {
            zr::CSDMoveBackupFile stream;
            ASSERT_EQ(S_OK, stream.OpenFile(file.c_str(), zr::CSDMoveBackupFile::MODE_WRITE));
            ASSERT_EQ(S_OK, move->ExportTo(&stream, id, 8));
            r[AddAlpha] = move->AddMoveContent(kAlphaPath);
            r[AddBeta] = move->AddMoveContent(kBetaPath);
            r[FinishExport] = move->FinishExport();
            stream.CloseFile();
        }
        zr::CSDMoveBackupFile stream;
        ASSERT_EQ(S_OK, stream.OpenFile(file.c_str(), zr::CSDMoveBackupFile::MODE_READ));
        if (FAILED(r[ImportFrom] = move->ImportFrom(&stream, id, 8))) return;
        r[ApplyImport] = move->ApplyImport();
        r[EndImport] = move->EndImport();
        stream.CloseFile();
    }

    // The host bound and the library mounted, with its two tracks.
    void MountLibrary(CBoundHost& host, CRef<INMHddVolume>& volume, std::vector<CRef<INMTrack>>& tracks) {
        BindHost(host);
        ASSERT_EQ(S_OK, Mount(host.manager.Get(), m_db, volume));
        tracks = Tracks(volume.Get());
        ASSERT_EQ(2u, tracks.size());
    }

    std::string m_db;
};

struct FaultCase {
    const char* name;
    const char* value;  // switch name, or nullptr for none
    DWORD dword;        // used when text is nullptr
    const char* text;   // REG_SZ value
    std::map<Step, HRESULT> failing;
};

class FaultTableTest : public FaultsTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTableTest, OnlyTheSwitchedOperationFails) {
    const FaultCase& c = GetParam();
    if (c.value && c.text) SetFault(c.value, std::string(c.text));
    if (c.value && !c.text) SetFault(c.value, c.dword);

    Results results = Run();
    for (const auto& expected : c.failing) {
        ASSERT_TRUE(results.count(expected.first)) << kStepNames[expected.first] << " never ran";
        EXPECT_EQ(expected.second, results[expected.first]) << kStepNames[expected.first];
    }
    for (const auto& got : results) {
        if (!c.failing.count(got.first)) {
            EXPECT_EQ(S_OK, got.second) << kStepNames[got.first];
        }
    }
}

const HRESULT kFail = E_FAIL;
const HRESULT kDenied = E_ACCESSDENIED;

INSTANTIATE_TEST_SUITE_P(
    Switches, FaultTableTest,
    ::testing::Values(
        FaultCase{"NoSwitch", nullptr, 0, nullptr, {}},
        FaultCase{"LoadPlugins", "LoadPlugins", 0x80004005, nullptr, {{LoadPlugins, kFail}}},
        FaultCase{"CreateDevice1", "CreateDevice1", 0x80070005, nullptr, {{CreateVolume, kDenied}}},
        FaultCase{"CreateDevice3", "CreateDevice3", 0x80004005, nullptr, {{CreateSecure, kFail}}},
        FaultCase{"OpenDeviceManager", "OpenDeviceManager", 0x8000FFFF, nullptr, {{OpenManager, E_UNEXPECTED}}},
        FaultCase{"OpenSecureDevice", "OpenSecureDevice", 0x80004005, nullptr, {{OpenSecure, kFail}}},
        FaultCase{"NoComponentA", "NoComponentA", 1, nullptr, {{ComponentA, E_NOINTERFACE}}},
        FaultCase{"InitComponentB", "InitComponentB", 0x80070057, nullptr, {{InitB, E_INVALIDARG}}},
        FaultCase{"InitComponentMove", "InitComponentMove", 0x80004005, nullptr, {{InitMove, kFail}}},
        FaultCase{"AddMoveContentAll", "AddMoveContent", 0x80004005, nullptr, {{AddAlpha, kFail}, {AddBeta, kFail}}},
        FaultCase{"AddMoveContentForPath", "AddMoveContent", 0, "0x80070005|Beta\\b.wma", {{AddBeta, kDenied}}},
        FaultCase{"ApplyImport", "ApplyImport", 0x80004005, nullptr, {{ApplyImport, kFail}}},
        FaultCase{"EndImport", "EndImport", 0x80004005, nullptr, {{EndImport, kFail}}},
        FaultCase{"OpenDatabaseAsText", "OpenDatabase", 0, "0x80004005", {{OpenDatabase, kFail}}},
        FaultCase{"OpenDatabaseTextIgnoresSubject", "OpenDatabase", 0, "-2147024891|x", {{OpenDatabase, kDenied}}},
        FaultCase{"RegisterAll", "Register", 0x80004005, nullptr, {{RegisterAlpha, kFail}, {RegisterBeta, kFail}}},
        FaultCase{"RegisterForTitle", "Register", 0, "0x80004005|Beta", {{RegisterBeta, kFail}}},
        FaultCase{"CloseDatabase", "CloseDatabase", 0x80004005, nullptr, {{CloseDatabase, kFail}}},
        FaultCase{"StrictLiveDatabase", "StrictLiveDatabase", 0, "0x80070005|contents.db", {{OpenDatabase, kDenied}}},
        FaultCase{"StrictOtherDatabase", "StrictLiveDatabase", 0, "0x80070005|other.db", {}},
        FaultCase{"NonFailureCodeIsOff", "Register", 1, nullptr, {}},
        FaultCase{"UnreadableTextIsOff", "Register", 0, "soon|Beta", {}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(FaultsTest, SwitchesAreReadWhenTheLibraryIsCreated) {
    CBoundHost host;
    BindHost(host);
    SetFault("LoadPlugins", 0x80004005);
    EXPECT_EQ(S_OK, host.library->LoadPlugins(m_pluginFolder.c_str())) << "an existing library keeps its snapshot";

    CRef<INMLibrary> later;
    ASSERT_EQ(S_OK, CreateLibrary(later));
    EXPECT_EQ(E_FAIL, later->LoadPlugins(m_pluginFolder.c_str()));
}

TEST_F(FaultsTest, FailedCloseDatabaseWritesNothing) {
    const std::string before = zrtest::ReadTextFile(m_db);
    SetFault("CloseDatabase", 0x80004005);
    CBoundHost host;
    CRef<INMHddVolume> volume;
    std::vector<CRef<INMTrack>> tracks;
    ASSERT_NO_FATAL_FAILURE(MountLibrary(host, volume, tracks));
    tracks[0]->SetFilePath("Alpha\\a.wma");
    EXPECT_EQ(S_OK, tracks[0]->Register());
    tracks.clear();
    EXPECT_EQ(E_FAIL, volume->CloseDatabase());
    // Nothing is left open: the tool's second unmount at job end succeeds.
    EXPECT_LE(0, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());
    volume.Reset();
    EXPECT_EQ(before, zrtest::ReadTextFile(m_db));
}

// A held Register of a matching title waits for its event; others do not.
TEST_F(FaultsTest, RegisterHoldWaitsForItsEventOnMatchingTitles) {
    const std::string name = "ZRHostSimHoldTest" + std::to_string(GetCurrentProcessId());
    std::unique_ptr<void, decltype(&CloseHandle)> hold(CreateEventA(nullptr, TRUE, FALSE, name.c_str()), &CloseHandle);
    ASSERT_TRUE(hold);
    SetFault("RegisterHold", name + "|Beta");
    CBoundHost host;
    CRef<INMHddVolume> volume;
    std::vector<CRef<INMTrack>> tracks;
    ASSERT_NO_FATAL_FAILURE(MountLibrary(host, volume, tracks));
    EXPECT_EQ(S_OK, tracks[0]->Register());  // Alpha goes through

    std::atomic<HRESULT> beta{E_PENDING};
    std::thread registering([&] { beta = tracks[1]->Register(); });
    Sleep(300);
    EXPECT_EQ(E_PENDING, beta.load()) << "Beta's Register did not wait";
    SetEvent(hold.get());
    registering.join();
    EXPECT_EQ(S_OK, beta.load());
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());
}

// Only a Register that would store a picture path other than the stored one
// fails: the track's earlier Registers, and other titles, go through.
TEST_F(FaultsTest, RegisterNewPicturePathFailsOnlyWhenAPictureMoved) {
    const std::string db = m_sandbox.Path("pictures.db");
    MakeLibrary(db, SampleTracks(2));
    SetFault("RegisterNewPicturePath", std::string("0x80004005|Track 1"));
    const std::string renamed = "C:\\Pictures\\back_00001.jpg";
    CBoundHost host;
    BindHost(host);
    CRef<INMHddVolume> volume;
    ASSERT_EQ(S_OK, Mount(host.manager.Get(), db, volume));
    std::vector<CRef<INMTrack>> tracks = Tracks(volume.Get());
    ASSERT_EQ(2u, tracks.size());
    CRef<INMPictureList> first = tracks[0].Query<INMPictureList>(zr::IID_INMPictureList);
    CRef<INMPictureList> second = tracks[1].Query<INMPictureList>(zr::IID_INMPictureList);
    ASSERT_TRUE(first && second);

    EXPECT_EQ(S_OK, tracks[0]->Register());
    tracks[0]->SetFilePath("Album\\track01.wma");
    EXPECT_EQ(S_OK, tracks[0]->Register()) << "the track's own path is no picture";
    first->GetItem(2)->SetFilePath(renamed.c_str());
    EXPECT_EQ(E_FAIL, tracks[0]->Register());
    EXPECT_EQ(E_FAIL, tracks[0]->Register()) << "the database still holds the old picture path";
    second->GetItem(2)->SetFilePath(renamed.c_str());
    EXPECT_EQ(S_OK, tracks[1]->Register()) << "another title";
    first.Reset();
    second.Reset();
    tracks.clear();
    EXPECT_EQ(S_OK, volume->CloseDatabase());
    host.manager->RemoveDevice(volume.Get());

    const std::vector<hostsim::TrackRow> rows = ReadLibrary(db);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("Album\\track01.wma", rows[0].path);
    EXPECT_EQ(SampleTracks(2)[0].pictures, rows[0].pictures);
    EXPECT_EQ(renamed, rows[1].pictures[1]);
}

}  // namespace

// A strict component opens the named database only for its own secure export.
TEST_F(FaultsTest, StrictLiveDatabaseOpensOnlyDuringAnExport) {
    SetFault("StrictLiveDatabase", std::string("0x80070005|contents.db"));
    CRef<INMLibrary> library;
    ASSERT_EQ(S_OK, CreateLibrary(library));
    CRef<INMServices> services;
    library->GetServices(services.Put());
    CRef<INMDeviceManager> manager;
    ASSERT_EQ(S_OK, services->QueryService(zr::SID_NMDeviceManager, manager.Put()));
    ASSERT_EQ(S_OK, manager->Open());
    manager->SetProperty(NM_PROP_CORE_FOLDER, m_coreFolder.c_str());
    Results r;
    CRef<ISDMoveComponent> move = RunSecure(manager.Get(), r);
    ASSERT_TRUE(move);

    auto open = [&]() {
        NMCreateDeviceInfo info(NM_DEVICE_HDD_VOLUME);
        CRef<INMHddVolume> volume;
        EXPECT_EQ(S_OK, manager->CreateDevice(zr::IID_INMHddVolume, &info, volume.PutVoid(), 0, 0));
        const HRESULT hr = volume->OpenDatabase(m_db.c_str());
        if (SUCCEEDED(hr)) volume->CloseDatabase();
        manager->RemoveDevice(volume.Get());
        return hr;
    };
    EXPECT_EQ(kDenied, open());
    {
        const BYTE id[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        zr::CSDMoveBackupFile stream;
        ASSERT_EQ(S_OK, stream.OpenFile(m_sandbox.Path("MovePlugIn.bkd").c_str(), zr::CSDMoveBackupFile::MODE_WRITE));
        ASSERT_EQ(S_OK, move->ExportTo(&stream, id, 8));
        EXPECT_EQ(S_OK, open());
        EXPECT_EQ(S_OK, move->FinishExport());
        stream.CloseFile();
    }
    EXPECT_EQ(kDenied, open());
    move->Terminate();
    manager->Close();
    library->Terminate();
}

}  // namespace hostsimtest
