// A fresh sandbox, a fake media library component and an engine pointed at a
// library folder of the sandbox, for the tests that drive the engine's steps
// against the fake.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/BackupRestore.h"
#include "job/steps/JobSteps.h"
#include "support/FakeComponent.h"
#include "support/HostRegistry.h"
#include "support/Sandbox.h"
#include "support/StepsOnly.h"
#include "support/TestPaths.h"

namespace enginetest {

class CFakeEngineTest : public ::testing::Test {
protected:
    static constexpr const char* kDatabaseFiles[] = {"mirs.db", "contents.fdb", "contents.db",
                                                     "5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.hdb",
                                                     "5e1b9c37-2d84-4a6f-9c03-7b2e6f18d4a5.cdb"};

    void SetUp() override {
        m_libraryFolder = m_sandbox.Path("NML");
        m_backupData = m_sandbox.Path("Backup\\BackupData");
        zrtest::SetLibraryFolder(m_libraryFolder);
        zrtest::SetSerial("SERIAL-0001");
        zrtest::MakeFolder(m_libraryFolder + "\\databases");
        for (const char* name : kDatabaseFiles) {
            zrtest::WriteTextFile(m_libraryFolder + "\\databases\\" + name, std::string("db:") + name);
        }
    }

    // What Initialize does once the module handed out its library, with the
    // library folder of the sandbox (and a first host's folder, when given).
    void Bind(const std::string& hostFolder = std::string()) {
        m_engine.UseFolders({hostFolder, m_libraryFolder, m_sandbox.Path("Media\\Picture")});
        ASSERT_EQ(0, m_engine.BindLibrary(m_fake.NewLibraryRef(), &m_runner));
        m_fake.log.Clear();
    }

    // The job runner's own end of a job.
    void EndJob() { m_engine.ReleaseJob(); }

    // A content file of the sandbox with the given content.
    std::string MakeFile(const std::string& relative, const std::string& content = "data") {
        const std::string path = m_sandbox.Path(relative);
        zrtest::MakeTextFile(path, content);
        return path;
    }

    zrtest::CSandbox m_sandbox;
    fake::CFakeComponent m_fake;
    zrtest::CStepsOnly m_runner;
    // After the fake: destroyed first, while the fake objects still exist.
    zr::CBackupRestore m_engine;
    std::string m_libraryFolder;
    std::string m_backupData;
};

// The same with a host installed and a module in the component's place, for
// the tests that start from Initialize, as a job does.
enum class ModuleKind { None, Fake, NoExport };

class CFakeModuleTest : public CFakeEngineTest {
protected:
    typedef void(STDMETHODCALLTYPE* SetLibraryProc)(INMLibrary*, HRESULT);

    void SetUp() override {
        CFakeEngineTest::SetUp();
        m_hostFolder = m_sandbox.Path("Talvane");
        zrtest::InstallTalvane(m_hostFolder, 7, 0);
        zrtest::SetRegString(HKEY_CURRENT_USER, "Software\\Dovr\\SD-Talvane\\Settings", "MediaPath",
                             m_sandbox.Path("Media"));
        // Stored with a trailing backslash, used without it.
        zrtest::SetLibraryFolder(m_libraryFolder + "\\");
    }

    void TearDown() override {
        // A test that ended early still lets its job go before the module goes.
        m_engine.ReleaseJob();
        if (m_module) FreeLibrary(m_module);
    }

    // Puts a module in the component's place; the fake one hands out the fake library.
    void PlaceModule(ModuleKind kind, HRESULT exportResult = S_OK) {
        if (kind == ModuleKind::None) return;
        const std::string from = zrtest::ExeFolder() +
                                 (kind == ModuleKind::Fake ? "\\engine_fake_module.dll" : "\\engine_noexport_module.dll");
        m_modulePath = m_libraryFolder + "\\NerithMediaLibrary.dll";
        ASSERT_TRUE(CopyFileA(from.c_str(), m_modulePath.c_str(), FALSE)) << from;
        if (kind != ModuleKind::Fake) return;
        m_module = LoadLibraryA(m_modulePath.c_str());
        ASSERT_NE(nullptr, m_module);
        auto set = reinterpret_cast<SetLibraryProc>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FakeModuleSetLibrary")));
        ASSERT_NE(nullptr, set);
        set(&m_fake.library, exportResult);
    }

    std::string m_hostFolder;
    std::string m_modulePath;
    HMODULE m_module = nullptr;
};

}  // namespace enginetest
