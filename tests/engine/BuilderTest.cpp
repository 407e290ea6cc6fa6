// The binding of the media library component: what CBuilder asks of the
// component, in which order, and what it gives back on each failure.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "common/ResultCodes.h"

using enginetest::CFakeEngineTest;
using Log = std::vector<std::string>;

namespace {

class BuilderTest : public CFakeEngineTest {
protected:
    zr::CBuilder& Builder() { return m_builder; }
    // The builder alone, as the engine holds one.
    zr::CBuilder m_builder;
    std::string Plugins() const { return m_libraryFolder + "\\Plugins"; }
};

TEST_F(BuilderTest, AttachOpensTheDeviceManagerAndTheSecureDevice) {
    zrtest::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Nerith\\Kovex\\SD-Core", "Program_Path", "D:\\Core\\");
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    EXPECT_EQ((Log{"Library.GetServices",
                   "Library.LoadPlugins(" + Plugins() + ")",
                   "Services.QueryService(SID_NMDeviceManager)",
                   "DeviceManager.Open",
                   "DeviceManager.CreateDevice(INMSecureDevice,3,0,0)",
                   "DeviceManager.SetProperty(4,D:\\Core\\)",
                   "SecureDevice.Open(0)"}),
              m_fake.log.Entries());
    EXPECT_NE(nullptr, Builder().SecureDevice());
}

TEST_F(BuilderTest, SecureDeviceGetsTheDefaultCoreFolderWhenNoneIsRegistered) {
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    EXPECT_EQ(1u, m_fake.log.Containing("SetProperty(4,C:\\Program Files\\Common Files\\Nerith\\Kovex\\)").size());
}

// Every failure while attaching leaves the secure device missing, which the
// secure components' Bind then reports; Attach itself succeeds.
struct AttachFailure {
    const char* name;
    const char* failing;
    Log tail;  // the log from the failing call on
    bool managerHeld;
};

class AttachFailureTest : public BuilderTest, public ::testing::WithParamInterface<AttachFailure> {};

TEST_P(AttachFailureTest, LeavesNoSecureDevice) {
    const AttachFailure& row = GetParam();
    Log tail = row.tail;
    for (std::string& entry : tail) {
        if (entry == "Library.LoadPlugins(<plugins>)") entry = "Library.LoadPlugins(" + Plugins() + ")";
    }
    m_fake.log.Fail(row.failing, static_cast<HRESULT>(0x80004005));
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    const Log& entries = m_fake.log.Entries();
    ASSERT_GE(entries.size(), tail.size());
    EXPECT_EQ(tail, Log(entries.end() - static_cast<std::ptrdiff_t>(tail.size()), entries.end()));
    EXPECT_EQ(nullptr, Builder().SecureDevice());
    EXPECT_EQ(row.managerHeld, Builder().DeviceManager() != nullptr);
    EXPECT_EQ(zr::RC_E_POINTER, zr::SecureDbComponents().Bind(Builder().SecureDevice()));

    Builder().Detach();
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AttachFailureTest,
    ::testing::Values(
        AttachFailure{"LoadPlugins", "Library.LoadPlugins", {"Library.GetServices", "Library.LoadPlugins(<plugins>)"},
                      false},
        AttachFailure{"QueryService", "Services.QueryService", {"Services.QueryService(SID_NMDeviceManager)"}, false},
        AttachFailure{"ManagerOpen", "DeviceManager.Open", {"Services.QueryService(SID_NMDeviceManager)",
                                                            "DeviceManager.Open"}, true},
        AttachFailure{"CreateDevice", "DeviceManager.CreateDevice",
                      {"DeviceManager.Open", "DeviceManager.CreateDevice(INMSecureDevice,3,0,0)"}, true},
        AttachFailure{"SecureOpen", "SecureDevice.Open",
                      {"SecureDevice.Open(0)", "DeviceManager.RemoveDevice(SecureDevice)", "SecureDevice.Release"},
                      true}),
    [](const ::testing::TestParamInfo<AttachFailure>& info) { return std::string(info.param.name); });

TEST_F(BuilderTest, AttachRefusesNoLibraryAndASecondOne) {
    EXPECT_EQ(zr::RC_E_POINTER, Builder().Attach(nullptr));
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    INMLibrary* second = m_fake.NewLibraryRef();
    EXPECT_EQ(zr::RC_E_FAIL, Builder().Attach(second));
    second->Release();  // refused: still the caller's
    Builder().Detach();
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

TEST_F(BuilderTest, MountAndUnmountTheVolume) {
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    m_fake.log.Clear();
    ASSERT_EQ(0, Builder().MountHDD("X:\\db\\contents.db", "X:\\Picture"));
    EXPECT_EQ(zr::RC_E_FAIL, Builder().MountHDD("X:\\db\\contents.db", "X:\\Picture"));
    ASSERT_EQ(0, Builder().UnmountHDD());
    EXPECT_EQ(1, Builder().UnmountHDD());
    EXPECT_EQ((Log{"DeviceManager.CreateDevice(INMHddVolume,1,0,0)", "Volume.QueryInterface(INMVolumeSettings)",
                   "Volume.SetPictureFolder(X:\\Picture)", "Volume.Release", "Volume.OpenDatabase(X:\\db\\contents.db)",
                   "Volume.CloseDatabase", "DeviceManager.RemoveDevice(Volume)", "Volume.Release"}),
              m_fake.log.Entries());
}

TEST_F(BuilderTest, MountFailures) {
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    EXPECT_EQ(zr::RC_E_POINTER, Builder().MountHDD(nullptr, "X:\\Picture"));
    EXPECT_EQ(zr::RC_E_POINTER, Builder().MountHDD("X:\\contents.db", nullptr));

    const HRESULT code = static_cast<HRESULT>(0x8ABC0001);
    m_fake.log.Fail("DeviceManager.CreateDevice", code);
    EXPECT_EQ(code, Builder().MountHDD("X:\\contents.db", "X:\\Picture"));
    m_fake.log.Heal("DeviceManager.CreateDevice");

    // A database that will not open: the volume is removed and let go.
    m_fake.log.Fail("Volume.OpenDatabase", code);
    m_fake.log.Clear();
    EXPECT_EQ(code, Builder().MountHDD("X:\\contents.db", "X:\\Picture"));
    EXPECT_EQ(nullptr, Builder().Volume());
    EXPECT_EQ((Log{"DeviceManager.CreateDevice(INMHddVolume,1,0,0)", "Volume.QueryInterface(INMVolumeSettings)",
                   "Volume.SetPictureFolder(X:\\Picture)", "Volume.Release", "Volume.OpenDatabase(X:\\contents.db)",
                   "DeviceManager.RemoveDevice(Volume)", "Volume.Release"}),
              m_fake.log.Entries());
}

TEST_F(BuilderTest, UnmountKeepsAVolumeThatWillNotClose) {
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    ASSERT_EQ(0, Builder().MountHDD("X:\\contents.db", "X:\\Picture"));
    const HRESULT code = static_cast<HRESULT>(0x8ABC0002);
    m_fake.log.Fail("Volume.CloseDatabase", code);
    EXPECT_EQ(code, Builder().UnmountHDD());
    EXPECT_NE(nullptr, Builder().Volume());

    // The job end still lets it go, so that nothing calls into the module after it is unloaded.
    Builder().Detach();
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

TEST_F(BuilderTest, DetachClosesAndReleasesInOrder) {
    ASSERT_EQ(0, Builder().Attach(m_fake.NewLibraryRef()));
    ASSERT_EQ(0, Builder().MountHDD("X:\\contents.db", "X:\\Picture"));
    m_fake.log.Clear();
    EXPECT_EQ(0, Builder().Detach());
    EXPECT_EQ((Log{"Volume.CloseDatabase", "DeviceManager.RemoveDevice(Volume)", "Volume.Release",
                   "SecureDevice.Close", "SecureDevice.Release", "DeviceManager.Close", "Library.Terminate",
                   "DeviceManager.Release", "Services.Release", "Library.Release"}),
              m_fake.log.Entries());
    EXPECT_EQ(Log{}, m_fake.Leaks());
    m_fake.log.Clear();
    EXPECT_EQ(0, Builder().Detach());
    EXPECT_EQ(Log{}, m_fake.log.Entries());
}

TEST_F(BuilderTest, DestructorReleasesInOrder) {
    {
        zr::CBuilder builder;
        ASSERT_EQ(0, builder.Attach(m_fake.NewLibraryRef()));
        ASSERT_EQ(0, builder.MountHDD("X:\\contents.db", "X:\\Picture"));
        m_fake.log.Clear();
    }
    EXPECT_EQ((Log{"SecureDevice.Release", "Volume.Release", "DeviceManager.Release", "Services.Release",
                   "Library.Release"}),
              m_fake.log.Entries());
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

TEST_F(BuilderTest, JobEndUnbindsTheSecureComponentsBeforeDetaching) {
    Bind();
    EndJob();
    EXPECT_EQ((Log{"ComponentB.Terminate", "ComponentB.Release", "PluginB.Unload", "PluginB.Release",
                   "Move.Terminate", "Move.Release", "MovePlugin.Unload", "MovePlugin.Release",
                   "InstanceA.Release", "InstanceA.Release", "PluginA.Unload", "PluginA.Release",
                   "PluginHost.Release", "SecureDevice.Close", "SecureDevice.Release", "DeviceManager.Close",
                   "Library.Terminate", "DeviceManager.Release", "Services.Release", "Library.Release"}),
              m_fake.log.Entries());
    EXPECT_EQ(Log{}, m_fake.Leaks());
}

}  // namespace
