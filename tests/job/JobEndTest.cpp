// The end of a job run through the progress dialog, against the fake
// component: what the job took is let go in the order the component needs,
// and its module is unloaded last.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "common/ResString.h"
#include "engine/EngineFixture.h"
#include "support/TestPaths.h"
#include "job/ExecuteBackupRestore.h"
#include "job/JobUi.h"

namespace {

using Log = std::vector<std::string>;

class JobEndTest : public enginetest::CFakeModuleTest {
protected:
    void SetUp() override {
        CFakeModuleTest::SetUp();
        zrtest::RedirectShellFolders(m_sandbox.Folder());
        PlaceModule(enginetest::ModuleKind::Fake);
        m_fake.AddTrack("Song", MakeFile("Music\\Song.wav"));
    }
};

TEST_F(JobEndTest, LetsGoInTheComponentsOrderThenUnloadsTheModule) {
    INT_PTR result = -2;
    {
        jobtest::CUiThread thread([&] {
            zr::CExecuteBackupRestore dialog(nullptr);
            dialog.SetBackupDataFolder(m_backupData);
            dialog.SetRestoreFolder("");
            result = dialog.DoModal();
        });
        // The job's closing message, whichever it is.
        HWND box = jobtest::WaitForWindow(thread.Id(), zr::LoadResString(IDS_APP_TITLE));
        ASSERT_NE(nullptr, box);
        const std::string message = jobtest::MessageBoxText(box);
        jobtest::Click(box, IDOK);
        ASSERT_TRUE(thread.Join(30000)) << message;
        EXPECT_EQ(zr::LoadResString(IDS_BACKUP_COMPLETE), message);
    }
    EXPECT_EQ(IDOK, result);

    const Log& log = m_fake.log.Entries();
    const Log end = {"ComponentB.Terminate", "ComponentB.Release", "PluginB.Unload", "PluginB.Release",
                     "Move.Terminate", "Move.Release", "MovePlugin.Unload", "MovePlugin.Release",
                     "InstanceA.Release", "InstanceA.Release", "PluginA.Unload", "PluginA.Release",
                     "PluginHost.Release", "SecureDevice.Close", "SecureDevice.Release", "DeviceManager.Close",
                     "Library.Terminate", "DeviceManager.Release", "Services.Release", "Library.Release"};
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(end, Log(log.end() - static_cast<std::ptrdiff_t>(end.size()), log.end()));
    EXPECT_EQ(Log{}, m_fake.Leaks());

    // Only the test's own reference keeps the module loaded now.
    FreeLibrary(m_module);
    m_module = nullptr;
    EXPECT_EQ(nullptr, GetModuleHandleA(m_modulePath.c_str())) << "the job left its module loaded";
}

}  // namespace
