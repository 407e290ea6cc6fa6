// The Move component saving and loading the rights database through the real
// backup file stream.
#include <functional>
#include <ostream>

#include "ModuleFixture.h"
#include "hostsim/module/MoveFormat.h"
#include "securedb/SDMoveBackupFile.h"

namespace hostsim {

// Found by argument lookup from the comparisons and messages below.
bool operator==(const RightsRecord& a, const RightsRecord& b) {
    return a.path == b.path && a.title == b.title && a.rights == b.rights;
}
void PrintTo(const RightsRecord& r, std::ostream* os) {
    *os << "{" << r.path << ", " << r.title << ", " << r.rights.size() << " bytes}";
}

}  // namespace hostsim

namespace hostsimtest {
namespace {

using hostsim::RightsRecord;
using zr::CSDMoveBackupFile;

const BYTE kId[8] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
const BYTE kOtherId[8] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x81};
const char kJapanesePath[] = "C:\\音楽\\表示\\曲.wma";
const char kPathB[] = "C:\\Music\\B\\b.wma";
const char kPathC[] = "C:\\Music\\C\\c.wma";

class MoveTest : public CModuleTest {
protected:
    void SetUp() override {
        BindHost(m_host);
        ASSERT_EQ(S_OK, OpenMoveComponent(m_host.manager.Get(), m_device, m_move));
        m_file = m_sandbox.Path("MovePlugIn.bkd");
    }
    void TearDown() override {
        m_move.Reset();
        m_device.Reset();
        m_host = CBoundHost();
        CModuleTest::TearDown();
    }

    void SetRights(const std::vector<RightsRecord>& records) {
        hostsim::CRightsDb rights;
        ASSERT_TRUE(rights.Open(m_coreFolder, true));
        ASSERT_TRUE(rights.ReplaceAll(records));
    }
    std::vector<RightsRecord> Rights() {
        std::vector<RightsRecord> records;
        hostsim::CRightsDb rights;
        EXPECT_TRUE(rights.Open(m_coreFolder, false));
        EXPECT_TRUE(rights.LoadAll(records));
        return records;
    }
    std::string RightsFile() { return zrtest::ReadTextFile(hostsim::RightsDbPath(m_coreFolder)); }

    // Exports the rights of these paths; returns FinishExport's result.
    HRESULT Export(const BYTE* id, const std::vector<std::string>& paths) {
        CSDMoveBackupFile stream;
        EXPECT_EQ(S_OK, stream.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_WRITE));
        HRESULT hr = m_move->ExportTo(&stream, id, 8);
        if (FAILED(hr)) return hr;
        for (const std::string& path : paths) EXPECT_EQ(S_OK, m_move->AddMoveContent(path.c_str())) << path;
        hr = m_move->FinishExport();
        EXPECT_EQ(1u, stream.AddRef()) << "the component kept the stream";
        stream.Release();
        return hr;
    }

    // ImportFrom; when it succeeds also ApplyImport and EndImport. Returns the first failure.
    HRESULT Import(const BYTE* id) {
        CSDMoveBackupFile stream;
        EXPECT_EQ(S_OK, stream.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_READ));
        HRESULT hr = m_move->ImportFrom(&stream, id, 8);
        EXPECT_EQ(1u, stream.AddRef()) << "the component kept the stream";
        stream.Release();
        if (FAILED(hr)) return hr;
        HRESULT applied = m_move->ApplyImport();
        HRESULT ended = m_move->EndImport();
        return FAILED(applied) ? applied : ended;
    }

    CBoundHost m_host;
    CRef<INMSecureDevice> m_device;
    CRef<ISDMoveComponent> m_move;
    std::string m_file;
};

TEST_F(MoveTest, RoundTripBringsBackTheExportedRecords) {
    // In the order Rights() lists them: by path.
    const std::vector<RightsRecord> exported = {{kPathB, "B", {1}},
                                                {kJapanesePath, "曲", {0xDE, 0xAD, 0x00, 0xBE, 0xEF}}};
    SetRights({exported[0], exported[1], {kPathC, "C", {2, 3}}});

    CSDMoveBackupFile stream;
    ASSERT_EQ(S_OK, stream.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_WRITE));
    ASSERT_EQ(S_OK, m_move->ExportTo(&stream, kId, 8));
    EXPECT_EQ(S_OK, m_move->AddMoveContent(kJapanesePath));
    EXPECT_EQ(S_OK, m_move->AddMoveContent("c:\\music\\b\\B.WMA")) << "paths compare without ASCII case";
    EXPECT_EQ(S_OK, m_move->AddMoveContent(kPathB)) << "naming a file twice is harmless";
    EXPECT_GT(0, m_move->AddMoveContent("C:\\Music\\NoRights.wma"));
    EXPECT_EQ(S_OK, m_move->FinishExport());
    EXPECT_EQ(1u, stream.AddRef()) << "the component kept the stream";
    stream.Release();
    EXPECT_EQ(S_OK, stream.CloseFile());

    // The file is the stream's container: 48-byte header, one 32-byte record header, the data.
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(m_file.c_str(), GetFileExInfoStandard, &data));
    EXPECT_LT(80u, data.nFileSizeLow);

    // Another PC with other rights: the import replaces them.
    SetRights({{"C:\\Other\\x.wma", "X", {9}}});
    EXPECT_EQ(S_OK, Import(kId));
    EXPECT_EQ(exported, Rights());
}

TEST_F(MoveTest, ImportRefusesAnotherIdentifierAndChangesNothing) {
    SetRights({{kPathB, "B", {1}}});
    ASSERT_EQ(S_OK, Export(kId, {kPathB}));
    SetRights({{kPathC, "C", {2}}});
    const std::string before = RightsFile();

    EXPECT_EQ(hostsim::kMoveErrIdentifier, Import(kOtherId));
    EXPECT_EQ(before, RightsFile());
    EXPECT_GT(0, m_move->ApplyImport()) << "a refused import leaves nothing to apply";
    EXPECT_EQ(S_OK, Import(kId)) << "the component is ready for the next import";
    EXPECT_EQ((std::vector<RightsRecord>{{kPathB, "B", {1}}}), Rights());
}

struct DamageCase {
    const char* name;
    std::function<void(std::string&)> damage;  // changes the file's bytes
};

class DamagedFileTest : public MoveTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFileTest, ImportRefusesItAndTheRightsStayAsTheyWere) {
    SetRights({{kPathB, "B", {1, 2, 3}}, {kPathC, "C", {4}}});
    ASSERT_EQ(S_OK, Export(kId, {kPathB, kPathC}));
    std::string bytes = zrtest::ReadTextFile(m_file);
    ASSERT_LT(100u, bytes.size());
    GetParam().damage(bytes);
    zrtest::WriteTextFile(m_file, bytes);
    SetRights({{"C:\\Other\\x.wma", "X", {9}}});
    const std::string before = RightsFile();

    EXPECT_GT(0, Import(kId));
    EXPECT_EQ(before, RightsFile());
    EXPECT_GT(0, m_move->ApplyImport());
    EXPECT_GT(0, m_move->EndImport());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamageCase{"Empty", [](std::string& b) { b.clear(); }},
                      DamageCase{"PartOfTheHeader", [](std::string& b) { b.resize(47); }},
                      DamageCase{"HeaderOnly", [](std::string& b) { b.resize(48); }},
                      DamageCase{"HeadersWithoutData", [](std::string& b) { b.resize(80); }},
                      DamageCase{"LastByteMissing", [](std::string& b) { b.pop_back(); }},
                      DamageCase{"ByteAppended", [](std::string& b) { b.push_back('\0'); }},
                      DamageCase{"RecordAppended", [](std::string& b) { b += std::string(b, 48); }},
                      DamageCase{"MagicChanged", [](std::string& b) { b[0] ^= 0x01; }},
                      DamageCase{"IdentifierChanged", [](std::string& b) { b[16] ^= 0x01; }},
                      DamageCase{"RecordHeaderChanged", [](std::string& b) { b[52] ^= 0x01; }},
                      DamageCase{"RightsByteChanged", [](std::string& b) { b.back() ^= 0x01; }},
                      DamageCase{"ForeignFile", [](std::string& b) { b = std::string(300, 'x'); }}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST_F(MoveTest, CallsOutOfOrderAreRefused) {
    SetRights({{kPathB, "B", {1}}});
    EXPECT_GT(0, m_move->AddMoveContent(kPathB));
    EXPECT_GT(0, m_move->FinishExport());
    EXPECT_GT(0, m_move->ApplyImport());
    EXPECT_GT(0, m_move->EndImport());

    CSDMoveBackupFile stream;
    ASSERT_EQ(S_OK, stream.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_WRITE));
    EXPECT_EQ(E_INVALIDARG, m_move->ExportTo(&stream, kId, 7));
    EXPECT_GT(0, m_move->ExportTo(nullptr, kId, 8));
    ASSERT_EQ(S_OK, m_move->ExportTo(&stream, kId, 8));
    EXPECT_GT(0, m_move->ExportTo(&stream, kId, 8)) << "one export at a time";
    EXPECT_GT(0, m_move->ImportFrom(&stream, kId, 8));
    EXPECT_EQ(S_OK, m_move->AddMoveContent(kPathB));
    EXPECT_EQ(S_OK, m_move->FinishExport());
    EXPECT_EQ(S_OK, stream.CloseFile());

    // Terminate drops a pending import; after InitComponent the component works again.
    CSDMoveBackupFile reader;
    ASSERT_EQ(S_OK, reader.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_READ));
    ASSERT_EQ(S_OK, m_move->ImportFrom(&reader, kId, 8));
    m_move->Terminate();
    EXPECT_GT(0, m_move->ApplyImport());
    EXPECT_EQ(S_OK, m_move->InitComponent(0));
}

TEST_F(MoveTest, FailedApplyImportLeavesTheRightsAlone) {
    SetRights({{kPathB, "B", {1}}});
    ASSERT_EQ(S_OK, Export(kId, {kPathB}));
    SetRights({{kPathC, "C", {2}}});
    const std::string before = RightsFile();

    SetFault("ApplyImport", 0x80004005);
    CBoundHost host;
    BindHost(host);
    CRef<INMSecureDevice> device;
    ASSERT_EQ(S_OK, OpenMoveComponent(host.manager.Get(), device, m_move));
    EXPECT_EQ(E_FAIL, Import(kId));
    EXPECT_EQ(before, RightsFile());
}

TEST_F(MoveTest, CoreWithoutRightsHasNothingToExport) {
    CSDMoveBackupFile stream;
    ASSERT_EQ(S_OK, stream.OpenFile(m_file.c_str(), CSDMoveBackupFile::MODE_WRITE));
    ASSERT_EQ(S_OK, m_move->ExportTo(&stream, kId, 8));
    EXPECT_EQ(hostsim::kMoveErrNoRights, m_move->AddMoveContent(kPathB));
    EXPECT_EQ(S_OK, m_move->FinishExport());
    EXPECT_EQ(S_OK, stream.CloseFile());
    EXPECT_FALSE(zrtest::FileExists(hostsim::RightsDbPath(m_coreFolder))) << "exporting creates nothing";

    EXPECT_EQ(S_OK, Import(kId));
    EXPECT_TRUE(Rights().empty());
}

}  // namespace
}  // namespace hostsimtest
