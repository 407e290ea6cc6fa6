#include "securedb/SecureDbComponents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "FakeSecure.h"
#include "common/ResultCodes.h"
#include "securedb/SDMoveBackupFile.h"

namespace {

using Log = std::vector<std::string>;

Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Log kBindLog = {
    "device.QueryInterface(ISDPluginHost)",
    "host.GetPlugin(PluginA)",
    "pluginA.Load",
    "pluginA.CreateInstance(InstanceA)",
    "instanceA.QueryInterface(ISDComponentA)",
    "host.GetPlugin(PluginB)",
    "pluginB.Load",
    "pluginB.CreateInstance(InstanceB)",
    "instanceB.QueryInterface(ISDComponentB)",
    "instanceB.Release",
    "componentB.InitComponent(0)",
    "host.GetPlugin(MovePlugin)",
    "pluginMove.Load",
    "pluginMove.CreateInstance(MoveInstance)",
    "instanceMove.QueryInterface(ISDMoveComponent)",
    "instanceMove.Release",
    "moveComponent.InitComponent(0)",
};

// The pieces of Unbind, in its order.
const Log kDropB = {"componentB.Terminate", "componentB.Release", "pluginB.Unload", "pluginB.Release"};
const Log kDropMove = {"moveComponent.Terminate", "moveComponent.Release", "pluginMove.Unload", "pluginMove.Release"};
const Log kDropA = {"componentA.Release", "instanceA.Release", "pluginA.Unload", "pluginA.Release", "host.Release"};
const Log kUnbindLog = Join({kDropB, kDropMove, kDropA});

class SecureDbTest : public ::testing::Test {
protected:
    // Nothing of the fake is held or left loaded or initialised.
    void ExpectAllLetGo() {
        for (zrtest::CFakeState* o : m_fake.All()) {
            EXPECT_EQ(1, o->m_nRef) << o->m_name << " references";
            EXPECT_EQ(0, o->m_nLoaded) << o->m_name << " loads";
            EXPECT_EQ(0, o->m_nInitialised) << o->m_name << " initialisations";
        }
    }

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

    zrtest::CFakeSecure m_fake;
};

TEST_F(SecureDbTest, BindsInOrderAndUnbindsInOrder) {
    zr::SecureDbComponents c;
    ExpectNothingHeld(c);
    ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
    EXPECT_EQ(kBindLog, m_fake.m_log);
    EXPECT_EQ(1, c.m_bBound);
    EXPECT_EQ(static_cast<ISDComponentA*>(&m_fake.componentA), c.m_pComponentA);
    EXPECT_EQ(static_cast<IUnknown*>(&m_fake.instanceA), c.m_pInstanceA);
    EXPECT_EQ(static_cast<ISDMoveComponent*>(&m_fake.moveComponent), c.m_pMoveComponent);
    EXPECT_EQ(1, m_fake.instanceB.m_nRef) << "B's instance is not kept";
    EXPECT_EQ(1, m_fake.instanceMove.m_nRef) << "the Move instance is not kept";

    m_fake.m_log.clear();
    EXPECT_EQ(zr::RC_OK, c.Unbind());
    EXPECT_EQ(kUnbindLog, m_fake.m_log);
    ExpectNothingHeld(c);
    ExpectAllLetGo();

    m_fake.m_log.clear();
    EXPECT_EQ(zr::RC_OK, c.Unbind());
    EXPECT_EQ(Log(), m_fake.m_log) << "a second Unbind has nothing to do";
}

TEST_F(SecureDbTest, DestructorUnbinds) {
    {
        zr::SecureDbComponents c;
        ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
        m_fake.m_log.clear();
    }
    EXPECT_EQ(kUnbindLog, m_fake.m_log);
    ExpectAllLetGo();
}

TEST_F(SecureDbTest, BindWhenBoundChangesNothing) {
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
    std::vector<LONG> refs;
    for (zrtest::CFakeState* o : m_fake.All()) refs.push_back(o->m_nRef);
    m_fake.m_log.clear();

    EXPECT_EQ(1, c.Bind(&m_fake.device));
    EXPECT_EQ(1, c.Bind(nullptr)) << "bound is checked before the device";
    EXPECT_EQ(Log(), m_fake.m_log);
    std::vector<LONG> after;
    for (zrtest::CFakeState* o : m_fake.All()) after.push_back(o->m_nRef);
    EXPECT_EQ(refs, after);
    EXPECT_EQ(1, c.m_bBound);
}

TEST_F(SecureDbTest, EmptyDeviceAcquiresNothing) {
    zr::SecureDbComponents c;
    EXPECT_EQ(zr::RC_E_POINTER, c.Bind(nullptr));
    ExpectNothingHeld(c);
    EXPECT_EQ(Log(), m_fake.m_log);
}

TEST_F(SecureDbTest, ComponentAIsOptional) {
    m_fake.FailAt("instanceA.QueryInterface(ISDComponentA)", E_NOINTERFACE);
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
    EXPECT_EQ(nullptr, c.m_pComponentA);
    EXPECT_EQ(1, c.m_bBound);

    m_fake.m_log.clear();
    c.Unbind();
    EXPECT_EQ(Join({kDropB, kDropMove, {"instanceA.Release", "pluginA.Unload", "pluginA.Release", "host.Release"}}),
              m_fake.m_log);
    ExpectAllLetGo();
}

TEST_F(SecureDbTest, NonNegativeInitResultsBind) {
    m_fake.FailAt("moveComponent.InitComponent(0)", S_FALSE);
    zr::SecureDbComponents c;
    EXPECT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
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
    {"NoPluginHost", "device.QueryInterface(ISDPluginHost)", E_NOINTERFACE, zr::RC_E_FAIL, {}},
    {"GetPluginA", "host.GetPlugin(PluginA)", E_FAIL, zr::RC_E_FAIL, {"host.Release"}},
    {"LoadA", "pluginA.Load", E_FAIL, zr::RC_E_FAIL, {"pluginA.Release", "host.Release"}},
    {"CreateInstanceA", "pluginA.CreateInstance(InstanceA)", E_FAIL, zr::RC_E_FAIL,
     {"pluginA.Unload", "pluginA.Release", "host.Release"}},
    {"GetPluginB", "host.GetPlugin(PluginB)", E_FAIL, zr::RC_E_FAIL, kDropA},
    {"LoadB", "pluginB.Load", E_FAIL, zr::RC_E_FAIL, Join({{"pluginB.Release"}, kDropA})},
    {"CreateInstanceB", "pluginB.CreateInstance(InstanceB)", E_FAIL, zr::RC_E_FAIL,
     Join({{"pluginB.Unload", "pluginB.Release"}, kDropA})},
    {"QueryComponentB", "instanceB.QueryInterface(ISDComponentB)", E_NOINTERFACE, zr::RC_E_FAIL,
     Join({{"instanceB.Release", "pluginB.Unload", "pluginB.Release"}, kDropA})},
    {"InitComponentB", "componentB.InitComponent(0)", kInitFailure, kInitFailure,
     Join({{"componentB.Release", "pluginB.Unload", "pluginB.Release"}, kDropA})},
    {"GetMovePlugin", "host.GetPlugin(MovePlugin)", E_FAIL, zr::RC_E_FAIL, Join({kDropB, kDropA})},
    {"LoadMove", "pluginMove.Load", E_FAIL, zr::RC_E_FAIL, Join({{"pluginMove.Release"}, kDropB, kDropA})},
    {"CreateMoveInstance", "pluginMove.CreateInstance(MoveInstance)", E_FAIL, zr::RC_E_FAIL,
     Join({kDropB, {"pluginMove.Unload", "pluginMove.Release"}, kDropA})},
    {"QueryMoveComponent", "instanceMove.QueryInterface(ISDMoveComponent)", E_NOINTERFACE, zr::RC_E_FAIL,
     Join({{"instanceMove.Release"}, kDropB, {"pluginMove.Unload", "pluginMove.Release"}, kDropA})},
    {"InitMoveComponent", "moveComponent.InitComponent(0)", kInitFailure, kInitFailure,
     Join({{"moveComponent.Release"}, kDropB, {"pluginMove.Unload", "pluginMove.Release"}, kDropA})},
};

class BindFailureTest : public SecureDbTest, public ::testing::WithParamInterface<BindFailure> {};

TEST_P(BindFailureTest, ReturnsItsCodeAndLetsGoOfEverything) {
    const BindFailure& f = GetParam();
    m_fake.FailAt(f.failingCall, f.failCode);
    zr::SecureDbComponents c;
    EXPECT_EQ(f.expected, c.Bind(&m_fake.device));

    // The log is Bind's own up to the failing call, then the clean-up.
    auto at = std::find(kBindLog.begin(), kBindLog.end(), f.failingCall);
    ASSERT_NE(kBindLog.end(), at);
    EXPECT_EQ(Join({Log(kBindLog.begin(), at + 1), f.cleanup}), m_fake.m_log);
    ExpectNothingHeld(c);
    ExpectAllLetGo();

    // Nothing is left behind that would stop a later attempt.
    m_fake.FailNothing();
    EXPECT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
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
        ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
    }
    if (t.setup == Setup::BoundFlagCleared) c.m_bBound = 0;
    if (t.zeroIdentifier) std::memset(c.m_moveIdentifier, 0, sizeof(c.m_moveIdentifier));
    m_fake.m_log.clear();

    EXPECT_EQ(t.expected, Transfer(c, exportTo, t.stream ? &m_stream : nullptr));
    EXPECT_EQ(Log(), m_fake.m_log);
    if (t.setup == Setup::BoundFlagCleared) c.m_bBound = 1;  // so that the destructor lets go
}

INSTANTIATE_TEST_SUITE_P(
    SecureDb, TransferTest, ::testing::Combine(::testing::ValuesIn(kTransferCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<TransferCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Export" : "_Import");
    });

TEST_F(SecureDbTest, TransfersPassStreamAndIdentifierAndReturnTheComponentsCode) {
    zr::SecureDbComponents c;
    ASSERT_EQ(zr::RC_OK, c.Bind(&m_fake.device));
    zr::CSDMoveBackupFile stream;

    EXPECT_NE(std::string(8, '\0'), std::string(reinterpret_cast<const char*>(c.m_moveIdentifier), 8));
    zr::SecureDbComponents other;
    EXPECT_EQ(0, std::memcmp(c.m_moveIdentifier, other.m_moveIdentifier, 8)) << "fixed, so backups restore anywhere";

    const HRESULT codes[] = {S_OK, 2, static_cast<HRESULT>(0x8F000003)};
    for (HRESULT code : codes) {
        m_fake.moveComponent.m_transferResult = code;
        m_fake.m_log.clear();
        EXPECT_EQ(code, c.ExportTo(&stream));
        EXPECT_EQ(code, c.ImportFrom(&stream));
        EXPECT_EQ(Log({"moveComponent.ExportTo", "moveComponent.ImportFrom"}), m_fake.m_log);
        EXPECT_EQ(static_cast<ISDMoveBackupFile*>(&stream), m_fake.moveComponent.m_pLastStream);
        EXPECT_EQ(c.m_moveIdentifier, m_fake.moveComponent.m_pLastIdentifier);
        EXPECT_EQ(8u, m_fake.moveComponent.m_nLastLength);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.m_moveIdentifier), 8),
                  m_fake.moveComponent.m_lastIdentifierBytes);
    }
}

}  // namespace
