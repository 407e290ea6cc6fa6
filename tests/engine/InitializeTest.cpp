// Initialize: the host's folders from the registry, the component module from
// the library folder, the binding of library and secure components.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "common/ResultCodes.h"
#include "support/HostRegistry.h"
#include "support/TestPaths.h"

using Log = std::vector<std::string>;
using enginetest::ModuleKind;

namespace {

class InitializeTest : public enginetest::CFakeModuleTest {
protected:
    void SetUp() override {
        CFakeModuleTest::SetUp();
        m_engine.m_strLibraryFolder.clear();
        m_engine.m_strPictureFolder.clear();
    }
};

TEST_F(InitializeTest, LoadsTheComponentAndBindsEverything) {
    PlaceModule(ModuleKind::Fake);
    m_engine.m_bCancelFlag = 1;
    HWND window = reinterpret_cast<HWND>(0x1234);
    ASSERT_EQ(0, m_engine.Initialize(window));

    EXPECT_EQ(0, m_engine.m_bCancelFlag);
    EXPECT_EQ(window, m_engine.m_hNotifyWnd);
    EXPECT_EQ(m_hostFolder, m_engine.m_strHostFolder);
    EXPECT_EQ(m_libraryFolder, m_engine.m_strLibraryFolder);
    EXPECT_EQ(m_sandbox.Path("Media\\Picture"), m_engine.m_strPictureFolder);
    EXPECT_EQ(m_module, m_engine.m_hMediaLibrary);
    EXPECT_EQ(1, m_engine.m_secureDb.m_bBound);
    EXPECT_EQ((Log{"Library.GetServices", "Library.LoadPlugins(" + m_libraryFolder + "\\Plugins)"}),
              Log(m_fake.log.Entries().begin(), m_fake.log.Entries().begin() + 2));

    EndJob();
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

TEST_F(InitializeTest, HostFolderStaysEmptyWithoutASupportedFirstHost) {
    zrtest::InstallTalvane(m_hostFolder, 8, 0);
    zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-Corvell\\Settings", "MediaPath",
                         m_sandbox.Path("CorvellMedia"));
    PlaceModule(ModuleKind::Fake);
    ASSERT_EQ(0, m_engine.Initialize(nullptr));
    EXPECT_EQ("", m_engine.m_strHostFolder);
    EXPECT_EQ(m_sandbox.Path("CorvellMedia\\Picture"), m_engine.m_strPictureFolder);
    EndJob();
}

struct InitFailure {
    const char* name;
    ModuleKind module;
    HRESULT exportResult;
    const char* failing;  // a fake call made to fail, or nullptr
    bool moduleKept;
};

class InitializeFailureTest : public InitializeTest, public ::testing::WithParamInterface<InitFailure> {};

// An unusable component never stops Initialize on the way; it shows as a
// missing pointer when the library or the secure device is bound.
TEST_P(InitializeFailureTest, EndsWithAMissingPointer) {
    const InitFailure& row = GetParam();
    PlaceModule(row.module, row.exportResult);
    if (row.failing) m_fake.log.Fail(row.failing, zr::RC_E_FAIL);

    EXPECT_EQ(zr::RC_E_POINTER, m_engine.Initialize(nullptr));
    EXPECT_EQ(row.moduleKept, m_engine.m_hMediaLibrary != nullptr);
    EXPECT_EQ(0, m_engine.m_secureDb.m_bBound);
    EndJob();
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InitializeFailureTest,
    ::testing::Values(InitFailure{"NoModule", ModuleKind::None, S_OK, nullptr, false},
                      InitFailure{"NoExport", ModuleKind::NoExport, S_OK, nullptr, false},
                      InitFailure{"ExportFails", ModuleKind::Fake, static_cast<HRESULT>(0x80004005), nullptr, false},
                      InitFailure{"NoSecureDevice", ModuleKind::Fake, S_OK, "DeviceManager.CreateDevice", true}),
    [](const ::testing::TestParamInfo<InitFailure>& info) { return std::string(info.param.name); });

// Without a library folder the module's name alone would lead to the root of
// the current drive: a module placed there must stay unloaded.
TEST_F(InitializeTest, LoadsNothingWithoutALibraryFolder) {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryA(m_sandbox.Folder().c_str()));
    const std::string rootModule = m_sandbox.Folder().substr(0, 2) + "\\NerithMediaLibrary.dll";
    ASSERT_TRUE(CopyFileA((zrtest::ExeFolder() + "\\engine_fake_module.dll").c_str(), rootModule.c_str(), FALSE));
    HMODULE module = LoadLibraryA(rootModule.c_str());
    ASSERT_NE(nullptr, module);
    auto set = reinterpret_cast<SetLibraryProc>(reinterpret_cast<void*>(GetProcAddress(module, "FakeModuleSetLibrary")));
    ASSERT_NE(nullptr, set);
    set(&m_fake.library, S_OK);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, zrtest::kNmlKey, "Program_Path");

    EXPECT_EQ(zr::RC_E_POINTER, m_engine.Initialize(nullptr));
    EXPECT_EQ(nullptr, m_engine.m_hMediaLibrary);
    EXPECT_EQ(Log{}, m_fake.log.Entries());

    EndJob();
    if (m_engine.m_hMediaLibrary) FreeLibrary(m_engine.m_hMediaLibrary);
    m_engine.m_hMediaLibrary = nullptr;
    FreeLibrary(module);
    SetCurrentDirectoryA(current);
    EXPECT_TRUE(DeleteFileA(rootModule.c_str()));
}

}  // namespace
