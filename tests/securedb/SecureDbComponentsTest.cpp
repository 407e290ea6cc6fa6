#include "securedb/SecureDbComponents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/ResultCodes.h"
#include "securedb/SDMoveBackupFile.h"
#include "support/FakeComponent.h"

namespace {

using Log = std::vector<std::string>;

Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// As in the host, a plug-in's instance is its component: B's instance is
// "ComponentB", the Move instance is "Move", and component A is a second
// reference to "InstanceA".
const Log kBindLog = {
    "SecureDevice.QueryInterface(ISDPluginHost)",
    "PluginHost.GetPlugin(PluginA)",
    "PluginA.Load",
    "PluginA.CreateInstance(InstanceA)",
    "InstanceA.QueryInterface(ISDComponentA)",
    "PluginHost.GetPlugin(PluginB)",
    "PluginB.Load",
    "PluginB.CreateInstance(InstanceB)",
    "ComponentB.QueryInterface(ISDComponentB)",
    "ComponentB.Release",
    "ComponentB.InitComponent(0)",
    "PluginHost.GetPlugin(MovePlugin)",
    "MovePlugin.Load",
    "MovePlugin.CreateInstance(MoveInstance)",
    "Move.QueryInterface(ISDMoveComponent)",
    "Move.Release",
    "Move.InitComponent(0)",
};

// The pieces of Unbind, in its order.
const Log kDropB = {"ComponentB.Terminate", "ComponentB.Release", "PluginB.Unload", "PluginB.Release"};
const Log kDropMove = {"Move.Terminate", "Move.Release", "MovePlugin.Unload", "MovePlugin.Release"};
const Log kDropA = {"InstanceA.Release", "InstanceA.Release", "PluginA.Unload", "PluginA.Release",
                    "PluginHost.Release"};
const Log kUnbindLog = Join({kDropB, kDropMove, kDropA});

class SecureDbTest : public ::testing::Test {
protected:
    // Nothing of the fake is held or left loaded or initialised.
    void ExpectAllLetGo() { EXPECT_EQ(Log(), m_fake.Leaks()); }

    INMSecureDevice* Device() { return &m_fake.secureDevice; }
    const Log& Calls() const { return m_fake.log.Entries(); }

    void ExpectNothingHeld(const zr::SecureDbComponents& c) {
        EXPECT_EQ(0, c.m_bBound);
        EXPECT_EQ(nullptr, c.m_pPluginHost);
        EXPECT_EQ(nullptr, c.m_pPluginA);
        EXPECT_EQ(nullptr, c.m_pInstanceA);
        EXPECT_EQ(nullptr, c.m_pPluginB);
        EXPECT_EQ(nullptr, c.m_pMovePlugin);
        EXPECT_EQ(nullptr, c.m_pComponentA);
        EXPECT_EQ(nullptr, c.m_pComponentB);
        EXPECT_EQ(nullptr, c.m_pMoveComponent);
    }

    fake::CFakeComponent m_fake;
};

TEST_F(SecureDbTest, BindsInOrderAndUnbindsInOrder) {
    zr::SecureDbComponents c;
    ExpectNothingHeld(c);
    ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
    EXPECT_EQ(kBindLog, Calls());
    EXPECT_EQ(1, c.m_bBound);
    EXPECT_EQ(static_cast<ISDComponentA*>(&m_fake.instanceA), c.m_pComponentA);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<ISDComponentA*>(&m_fake.instanceA)), c.m_pInstanceA);
    EXPECT_EQ(static_cast<ISDMoveComponent*>(&m_fake.move), c.m_pMoveComponent);
    // Held: the host, each plug-in (loaded), instance and component A, and the
    // components B and Move (initialised); not the instances of B and Move.
    EXPECT_EQ((Log{"PluginHost=1", "PluginA=1", "PluginB=1", "MovePlugin=1", "InstanceA=2", "ComponentB=1", "Move=1",
                   "PluginA loaded=1", "PluginB loaded=1", "MovePlugin loaded=1", "ComponentB initialised=1",
                   "Move initialised=1"}),
              m_fake.Leaks());

    m_fake.log.Clear();
    EXPECT_EQ(zr::RC_OK, c.Unbind());
    EXPECT_EQ(kUnbindLog, Calls());
    ExpectNothingHeld(c);
    ExpectAllLetGo();

    m_fake.log.Clear();
    EXPECT_EQ(zr::RC_OK, c.Unbind());
    EXPECT_EQ(Log(), Calls()) << "a second Unbind has nothing to do";
}

TEST_F(SecureDbTest, DestructorUnbinds) {
    {
        zr::SecureDbComponents c;
        ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
        m_fake.log.Clear();
    }
    EXPECT_EQ(kUnbindLog, Calls());
    ExpectAllLetGo();
}

TEST_F(SecureDbTest, BindWhenBoundChangesNothing) {
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
    const Log held = m_fake.Leaks();
    m_fake.log.Clear();

    EXPECT_EQ(1, c.Bind(Device()));
    EXPECT_EQ(1, c.Bind(nullptr)) << "bound is checked before the device";
    EXPECT_EQ(Log(), Calls());
    EXPECT_EQ(held, m_fake.Leaks());
    EXPECT_EQ(1, c.m_bBound);
}

TEST_F(SecureDbTest, EmptyDeviceAcquiresNothing) {
    zr::SecureDbComponents c;
    EXPECT_EQ(zr::RC_E_POINTER, c.Bind(nullptr));
    ExpectNothingHeld(c);
    EXPECT_EQ(Log(), Calls());
}

TEST_F(SecureDbTest, ComponentAIsOptional) {
    m_fake.log.Fail("InstanceA.QueryInterface(ISDComponentA)", E_NOINTERFACE);
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
    EXPECT_EQ(nullptr, c.m_pComponentA);
    EXPECT_EQ(1, c.m_bBound);

    m_fake.log.Clear();
    c.Unbind();
    EXPECT_EQ(Join({kDropB, kDropMove, {"InstanceA.Release", "PluginA.Unload", "PluginA.Release", "PluginHost.Release"}}),
              Calls());
    ExpectAllLetGo();
}

TEST_F(SecureDbTest, NonNegativeInitResultsBind) {
    m_fake.log.Fail("Move.InitComponent(0)", S_FALSE);
    zr::SecureDbComponents c;
    EXPECT_EQ(zr::RC_OK, c.Bind(Device()));
    EXPECT_EQ(1, c.m_bBound);
}

// ---- Every failure of Bind --------------------------------------------------

struct BindFailure {
    const char* name;
    const char* failingCall;  // as logged by the fake
    HRESULT failCode;         // what the fake answers there
    HRESULT expected;         // what Bind returns
    Log cleanup;              // the calls Bind makes after the failing one
};

const HRESULT kInitFailure = static_cast<HRESULT>(0x8F0A0B0C);

const BindFailure kBindFailures[] = {
    {"NoPluginHost", "SecureDevice.QueryInterface(ISDPluginHost)", E_NOINTERFACE, zr::RC_E_FAIL, {}},
    {"GetPluginA", "PluginHost.GetPlugin(PluginA)", E_FAIL, zr::RC_E_FAIL, {"PluginHost.Release"}},
    {"LoadA", "PluginA.Load", E_FAIL, zr::RC_E_FAIL, {"PluginA.Release", "PluginHost.Release"}},
    {"CreateInstanceA", "PluginA.CreateInstance(InstanceA)", E_FAIL, zr::RC_E_FAIL,
     {"PluginA.Unload", "PluginA.Release", "PluginHost.Release"}},
    {"GetPluginB", "PluginHost.GetPlugin(PluginB)", E_FAIL, zr::RC_E_FAIL, kDropA},
    {"LoadB", "PluginB.Load", E_FAIL, zr::RC_E_FAIL, Join({{"PluginB.Release"}, kDropA})},
    {"CreateInstanceB", "PluginB.CreateInstance(InstanceB)", E_FAIL, zr::RC_E_FAIL,
     Join({{"PluginB.Unload", "PluginB.Release"}, kDropA})},
    {"QueryComponentB", "ComponentB.QueryInterface(ISDComponentB)", E_NOINTERFACE, zr::RC_E_FAIL,
     Join({{"ComponentB.Release", "PluginB.Unload", "PluginB.Release"}, kDropA})},
    {"InitComponentB", "ComponentB.InitComponent(0)", kInitFailure, kInitFailure,
     Join({{"ComponentB.Release", "PluginB.Unload", "PluginB.Release"}, kDropA})},
    {"GetMovePlugin", "PluginHost.GetPlugin(MovePlugin)", E_FAIL, zr::RC_E_FAIL, Join({kDropB, kDropA})},
    {"LoadMove", "MovePlugin.Load", E_FAIL, zr::RC_E_FAIL, Join({{"MovePlugin.Release"}, kDropB, kDropA})},
    {"CreateMoveInstance", "MovePlugin.CreateInstance(MoveInstance)", E_FAIL, zr::RC_E_FAIL,
     Join({kDropB, {"MovePlugin.Unload", "MovePlugin.Release"}, kDropA})},
    {"QueryMoveComponent", "Move.QueryInterface(ISDMoveComponent)", E_NOINTERFACE, zr::RC_E_FAIL,
     Join({{"Move.Release"}, kDropB, {"MovePlugin.Unload", "MovePlugin.Release"}, kDropA})},
    {"InitMoveComponent", "Move.InitComponent(0)", kInitFailure, kInitFailure,
     Join({{"Move.Release"}, kDropB, {"MovePlugin.Unload", "MovePlugin.Release"}, kDropA})},
};

class BindFailureTest : public SecureDbTest, public ::testing::WithParamInterface<BindFailure> {};

TEST_P(BindFailureTest, ReturnsItsCodeAndLetsGoOfEverything) {
    const BindFailure& f = GetParam();
    m_fake.log.Fail(f.failingCall, f.failCode);
    zr::SecureDbComponents c;
    EXPECT_EQ(f.expected, c.Bind(Device()));

    // The log is Bind's own up to the failing call, then the clean-up.
    auto at = std::find(kBindLog.begin(), kBindLog.end(), f.failingCall);
    ASSERT_NE(kBindLog.end(), at);
    EXPECT_EQ(Join({Log(kBindLog.begin(), at + 1), f.cleanup}), Calls());
    ExpectNothingHeld(c);
    ExpectAllLetGo();

    // Nothing is left behind that would stop a later attempt.
    m_fake.log.Heal(f.failingCall);
    EXPECT_EQ(zr::RC_OK, c.Bind(Device()));
}

INSTANTIATE_TEST_SUITE_P(SecureDb, BindFailureTest, ::testing::ValuesIn(kBindFailures),
                         [](const ::testing::TestParamInfo<BindFailure>& info) { return info.param.name; });

// ---- The Move component's calls ------------------------------------------------

enum class Setup { Unbound, BoundFlagCleared, Bound };

struct TransferCase {
    const char* name;
    Setup setup;
    bool stream;
    bool zeroIdentifier;
    HRESULT expected;
};

const TransferCase kTransferCases[] = {
    {"Unbound", Setup::Unbound, true, false, zr::RC_E_FAIL},
    {"UnboundBeforeStream", Setup::Unbound, false, true, zr::RC_E_FAIL},
    {"NotMarkedBound", Setup::BoundFlagCleared, true, false, zr::RC_E_FAIL},
    {"NotMarkedBoundBeforeStream", Setup::BoundFlagCleared, false, true, zr::RC_E_FAIL},
    {"NoStream", Setup::Bound, false, false, zr::RC_E_INVALIDARG},
    {"NoStreamBeforeIdentifier", Setup::Bound, false, true, zr::RC_E_INVALIDARG},
    {"ZeroIdentifier", Setup::Bound, true, true, zr::RC_E_FAIL},
};

class TransferTest : public SecureDbTest,
                     public ::testing::WithParamInterface<std::tuple<TransferCase, bool>> {
protected:
    // The export (true) or the import (false).
    HRESULT Transfer(zr::SecureDbComponents& c, bool exportTo, ISDMoveBackupFile* stream) {
        return exportTo ? c.ExportTo(stream) : c.ImportFrom(stream);
    }

    zr::CSDMoveBackupFile m_stream;
};

TEST_P(TransferTest, RefusesBeforeCallingTheComponent) {
    const TransferCase& t = std::get<0>(GetParam());
    const bool exportTo = std::get<1>(GetParam());
    zr::SecureDbComponents c;
    if (t.setup != Setup::Unbound) {
        ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
    }
    if (t.setup == Setup::BoundFlagCleared) c.m_bBound = 0;
    if (t.zeroIdentifier) std::memset(c.m_moveIdentifier, 0, sizeof(c.m_moveIdentifier));
    m_fake.log.Clear();

    EXPECT_EQ(t.expected, Transfer(c, exportTo, t.stream ? &m_stream : nullptr));
    EXPECT_EQ(Log(), Calls());
    if (t.setup == Setup::BoundFlagCleared) c.m_bBound = 1;  // so that the destructor lets go
}

INSTANTIATE_TEST_SUITE_P(
    SecureDb, TransferTest, ::testing::Combine(::testing::ValuesIn(kTransferCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<TransferCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Export" : "_Import");
    });

TEST_F(SecureDbTest, TransfersPassStreamAndIdentifierAndReturnTheComponentsCode) {
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(Device()));
    zr::CSDMoveBackupFile stream;

    EXPECT_NE(std::string(8, '\0'), std::string(reinterpret_cast<const char*>(c.m_moveIdentifier), 8));
    zr::SecureDbComponents other;
    EXPECT_EQ(0, std::memcmp(c.m_moveIdentifier, other.m_moveIdentifier, 8)) << "fixed, so backups restore anywhere";

    const HRESULT codes[] = {S_OK, 2, static_cast<HRESULT>(0x8F000003)};
    for (HRESULT code : codes) {
        m_fake.log.Fail("Move.ExportTo", code);
        m_fake.log.Fail("Move.ImportFrom", code);
        m_fake.log.Clear();
        EXPECT_EQ(code, c.ExportTo(&stream));
        EXPECT_EQ(static_cast<ISDMoveBackupFile*>(&stream), m_fake.move.m_lastStream);
        EXPECT_EQ(c.m_moveIdentifier, m_fake.move.m_lastIdentifier);
        m_fake.move.m_lastStream = nullptr;
        EXPECT_EQ(code, c.ImportFrom(&stream));
        EXPECT_EQ(static_cast<ISDMoveBackupFile*>(&stream), m_fake.move.m_lastStream);
        EXPECT_EQ(c.m_moveIdentifier, m_fake.move.m_lastIdentifier);
        EXPECT_EQ(Log({"Move.ExportTo(5A524D5601003CA7,8)", "Move.ImportFrom(5A524D5601003CA7,8)"}), Calls());
    }
}

}  // namespace
