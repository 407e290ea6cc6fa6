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

using InitializeTest = enginetest::CFakeModuleTest;

// A runner that says whether the engine asked it before a cancel.
struct CAskedRunner : zrtest::CStepsOnly {
    bool MayCancel() override {
        asked = true;
        return true;
    }
    bool asked = false;
};

TEST_F(InitializeTest, LoadsTheComponentAndBindsEverything) {
    PlaceModule(ModuleKind::Fake);
    m_engine.RequestCancel();
    CAskedRunner runner;
    ASSERT_EQ(0, m_engine.Initialize(runner));

    EXPECT_EQ(0, m_engine.CancelFlag());
    // The runner given is the engine's channel: a cancel is asked of it.
    zrtest::MakeTextFile(m_sandbox.Path("Tree\\a.txt"), "a");
    zrtest::MakeFolder(m_sandbox.Path("Copy"));
    m_engine.RequestCancel();
    EXPECT_EQ(zr::RC_CANCELLED, m_engine.CopyFolder(m_sandbox.Path("Tree"), m_sandbox.Path("Copy")));
    EXPECT_TRUE(runner.asked);
    EXPECT_EQ(m_hostFolder, m_engine.HostFolder());
    EXPECT_EQ(m_libraryFolder, m_engine.LibraryFolder());
    EXPECT_EQ(m_sandbox.Path("Media\\Picture"), m_engine.PictureFolder());
    EXPECT_EQ(m_module, m_engine.MediaLibraryModule());
    EXPECT_EQ(1, m_engine.SecureDb().m_bBound);
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
    ASSERT_EQ(0, m_engine.Initialize(m_runner));
    EXPECT_EQ("", m_engine.HostFolder());
    EXPECT_EQ(m_sandbox.Path("CorvellMedia\\Picture"), m_engine.PictureFolder());
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

    EXPECT_EQ(zr::RC_E_POINTER, m_engine.Initialize(m_runner));
    EXPECT_EQ(row.moduleKept, m_engine.MediaLibraryModule() != nullptr);
    EXPECT_EQ(0, m_engine.SecureDb().m_bBound);
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

    EXPECT_EQ(zr::RC_E_POINTER, m_engine.Initialize(m_runner));
    EXPECT_EQ(nullptr, m_engine.MediaLibraryModule());
    EXPECT_EQ(Log{}, m_fake.log.Entries());

    EndJob();
    FreeLibrary(module);
    SetCurrentDirectoryA(current);
    EXPECT_TRUE(DeleteFileA(rootModule.c_str()));
}

}  // namespace
