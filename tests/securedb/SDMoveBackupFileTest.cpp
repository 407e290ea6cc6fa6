#include "securedb/SDMoveBackupFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/ComponentIds.h"
#include "common/ResultCodes.h"
#include "support/Sandbox.h"

namespace {

using zr::CSDMoveBackupFile;

constexpr DWORD kRead = CSDMoveBackupFile::MODE_READ;
constexpr DWORD kWrite = CSDMoveBackupFile::MODE_WRITE;

// n bytes counting up from `first`, so that misplaced bytes show.
std::string Bytes(size_t n, unsigned char first) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i);
    return s;
}

const std::string kHeader = Bytes(48, 0x10);
const std::string kRecordHeader = Bytes(32, 0x80);
const std::string kData = Bytes(16, 0xC0);
// A file of one record of 16 bytes, as a writer makes it.
const std::string kOneRecordFile = kHeader + kRecordHeader + kData;

// Another open of the file that asks to share everything: it must be refused
// while the stream holds the file.
bool CanOpenShared(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

class StreamTest : public ::testing::Test {
protected:
    std::string FilePath() const { return m_sandbox.Path("MovePlugIn.bkd"); }

    // The component only ever sees the interface: calls go through its slots.
    ISDMoveBackupFile* Itf() { return &m_stream; }

    zrtest::CSandbox m_sandbox;
    CSDMoveBackupFile m_stream;
};

// ---- States x operations ------------------------------------------------

enum class Op { OpenFile, CloseFile, BeginFile, EndFile, WriteRecord, ReadRecord, GetDataSize };
enum class Stage { Closed, Open, HeaderDone, Ended };

struct StateCase {
    const char* name;
    DWORD mode;  // mode the stream is opened in (unused for Closed)
    Stage stage;
    Op op;
    HRESULT expected;
};

class StreamStateTest : public StreamTest, public ::testing::WithParamInterface<StateCase> {
protected:
    void Enter(DWORD mode, Stage stage) {
        if (mode == kRead) zrtest::WriteTextFile(FilePath(), kOneRecordFile);
        if (stage == Stage::Closed) return;
        ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), mode));
        if (stage == Stage::Open) return;
        std::string header = kHeader;
        ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
        if (stage == Stage::HeaderDone) return;
        ASSERT_EQ(zr::RC_OK, Itf()->EndFile());
    }

    HRESULT Run(Op op) {
        std::string header(48, '\0'), recordHeader = kRecordHeader, data = kData;
        DWORD size = 0;
        switch (op) {
            case Op::OpenFile: return m_stream.OpenFile(m_sandbox.Path("other.bkd").c_str(), kWrite);
            case Op::CloseFile: return m_stream.CloseFile();
            case Op::BeginFile: return Itf()->BeginFile(&header[0]);
            case Op::EndFile: return Itf()->EndFile();
            case Op::WriteRecord: return Itf()->WriteRecord(&recordHeader[0], &data[0], 16);
            case Op::ReadRecord: return Itf()->ReadRecord(&recordHeader[0], &data[0], 16);
            case Op::GetDataSize: return Itf()->GetDataSize(&size);
        }
        return E_UNEXPECTED;
    }
};

TEST_P(StreamStateTest, AnswersTheCodeOfItsState) {
    const StateCase& c = GetParam();
    Enter(c.mode, c.stage);
    if (HasFatalFailure()) return;
    // What the file holds at this stage (it cannot be read while the stream holds it).
    const std::string before =
        c.mode == kRead ? kOneRecordFile : (c.stage == Stage::HeaderDone || c.stage == Stage::Ended ? kHeader : "");

    EXPECT_EQ(c.expected, Run(c.op));

    if (c.expected < 0) {
        // A refused operation changes nothing: the file is as it was, and a
        // refused OpenFile made no second file.
        m_stream.CloseFile();
        EXPECT_EQ(before, zrtest::ReadTextFile(FilePath()));
        EXPECT_FALSE(zrtest::FileExists(m_sandbox.Path("other.bkd")));
    }
}

const HRESULT kState = zr::RC_E_STREAM_STATE;
const HRESULT kArg = zr::RC_E_INVALIDARG;

const StateCase kStateCases[] = {
    {"Closed_CloseFile", kWrite, Stage::Closed, Op::CloseFile, kState},
    {"Closed_BeginFile", kWrite, Stage::Closed, Op::BeginFile, kState},
    {"Closed_EndFile", kWrite, Stage::Closed, Op::EndFile, kState},
    {"Closed_WriteRecord", kWrite, Stage::Closed, Op::WriteRecord, kArg},
    {"Closed_ReadRecord", kRead, Stage::Closed, Op::ReadRecord, kArg},
    {"Closed_GetDataSize", kRead, Stage::Closed, Op::GetDataSize, kArg},

    {"ReadOpen_OpenFile", kRead, Stage::Open, Op::OpenFile, kState},
    {"ReadOpen_EndFile", kRead, Stage::Open, Op::EndFile, kState},
    {"ReadOpen_ReadRecord", kRead, Stage::Open, Op::ReadRecord, kState},
    {"ReadOpen_GetDataSize", kRead, Stage::Open, Op::GetDataSize, kState},
    {"ReadOpen_WriteRecord", kRead, Stage::Open, Op::WriteRecord, kState},
    {"ReadOpen_CloseFile", kRead, Stage::Open, Op::CloseFile, zr::RC_OK},
    {"ReadHeaderDone_BeginFile", kRead, Stage::HeaderDone, Op::BeginFile, kState},
    {"ReadHeaderDone_WriteRecord", kRead, Stage::HeaderDone, Op::WriteRecord, kState},
    {"ReadHeaderDone_ReadRecord", kRead, Stage::HeaderDone, Op::ReadRecord, zr::RC_OK},
    {"ReadHeaderDone_GetDataSize", kRead, Stage::HeaderDone, Op::GetDataSize, zr::RC_OK},
    {"ReadHeaderDone_OpenFile", kRead, Stage::HeaderDone, Op::OpenFile, kState},
    {"ReadEnded_EndFile", kRead, Stage::Ended, Op::EndFile, kState},
    {"ReadEnded_ReadRecord", kRead, Stage::Ended, Op::ReadRecord, kState},
    {"ReadEnded_GetDataSize", kRead, Stage::Ended, Op::GetDataSize, kState},
    {"ReadEnded_BeginFile", kRead, Stage::Ended, Op::BeginFile, zr::RC_OK},

    {"WriteOpen_WriteRecord", kWrite, Stage::Open, Op::WriteRecord, kState},
    {"WriteOpen_EndFile", kWrite, Stage::Open, Op::EndFile, kState},
    {"WriteOpen_OpenFile", kWrite, Stage::Open, Op::OpenFile, kState},
    {"WriteHeaderDone_BeginFile", kWrite, Stage::HeaderDone, Op::BeginFile, kState},
    {"WriteHeaderDone_ReadRecord", kWrite, Stage::HeaderDone, Op::ReadRecord, kState},
    {"WriteHeaderDone_GetDataSize", kWrite, Stage::HeaderDone, Op::GetDataSize, kState},
    {"WriteHeaderDone_WriteRecord", kWrite, Stage::HeaderDone, Op::WriteRecord, zr::RC_OK},
    {"WriteEnded_WriteRecord", kWrite, Stage::Ended, Op::WriteRecord, kState},
    {"WriteEnded_EndFile", kWrite, Stage::Ended, Op::EndFile, kState},
    {"WriteEnded_BeginFile", kWrite, Stage::Ended, Op::BeginFile, zr::RC_OK},
    {"WriteEnded_CloseFile", kWrite, Stage::Ended, Op::CloseFile, zr::RC_OK},
};

INSTANTIATE_TEST_SUITE_P(Stream, StreamStateTest, ::testing::ValuesIn(kStateCases),
                         [](const ::testing::TestParamInfo<StateCase>& info) { return info.param.name; });

// ---- Arguments ------------------------------------------------------------

TEST_F(StreamTest, RefusesMissingArgumentsBeforeLookingAtTheState) {
    char header[48] = {}, recordHeader[32] = {}, data[16] = {};
    DWORD size = 0;
    EXPECT_EQ(kArg, m_stream.OpenFile(nullptr, kWrite));
    EXPECT_EQ(kArg, m_stream.OpenFile(FilePath().c_str(), 0));
    EXPECT_EQ(kArg, m_stream.OpenFile(FilePath().c_str(), 3));
    EXPECT_FALSE(zrtest::FileExists(FilePath()));

    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    EXPECT_EQ(kArg, Itf()->BeginFile(nullptr));
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(header));
    EXPECT_EQ(kArg, Itf()->WriteRecord(nullptr, data, 16));
    EXPECT_EQ(kArg, Itf()->WriteRecord(recordHeader, nullptr, 16));
    EXPECT_EQ(kArg, Itf()->WriteRecord(recordHeader, data, 0));
    // Wrong mode is checked after the arguments.
    EXPECT_EQ(kArg, Itf()->ReadRecord(nullptr, data, 16));
    EXPECT_EQ(kArg, Itf()->ReadRecord(recordHeader, nullptr, 16));
    EXPECT_EQ(kArg, Itf()->ReadRecord(recordHeader, data, 0));
    EXPECT_EQ(kArg, Itf()->GetDataSize(nullptr));
    EXPECT_EQ(kArg, Itf()->QueryInterface(zr::IID_ISDMoveBackupFile, nullptr));
    EXPECT_EQ(kState, Itf()->GetDataSize(&size));
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(std::string(header, 48), zrtest::ReadTextFile(FilePath()));
}

// ---- Reference counting ---------------------------------------------------

TEST_F(StreamTest, AnswersOnlyItsOwnInterfaceAndOnlyCounts) {
    void* out = &out;
    EXPECT_EQ(zr::RC_E_NOINTERFACE, Itf()->QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);

    ASSERT_EQ(zr::RC_OK, Itf()->QueryInterface(zr::IID_ISDMoveBackupFile, &out));
    EXPECT_EQ(static_cast<ISDMoveBackupFile*>(&m_stream), out);
    EXPECT_EQ(2u, Itf()->AddRef());
    EXPECT_EQ(1u, Itf()->Release());
    // Down to 0 the object stays alive: it belongs to its owner's scope.
    EXPECT_EQ(0u, Itf()->Release());
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    EXPECT_EQ(zr::RC_OK, m_stream.CloseFile());
}

// ---- Opening --------------------------------------------------------------

TEST_F(StreamTest, ReadOfMissingFileReportsTheSystemErrorAndStaysClosed) {
    EXPECT_EQ(static_cast<HRESULT>(0x8F005002), m_stream.OpenFile(FilePath().c_str(), kRead));
    EXPECT_EQ(kState, m_stream.CloseFile());
    EXPECT_FALSE(zrtest::FileExists(FilePath()));
}

TEST_F(StreamTest, OpenOnAnOpenStreamKeepsTheFirstFile) {
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    EXPECT_EQ(kState, m_stream.OpenFile(m_sandbox.Path("second.bkd").c_str(), kWrite));
    std::string header = kHeader;
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(kHeader, zrtest::ReadTextFile(FilePath()));
    EXPECT_FALSE(zrtest::FileExists(m_sandbox.Path("second.bkd")));
}

TEST_F(StreamTest, WriteEmptiesAnExistingFile) {
    zrtest::WriteTextFile(FilePath(), kOneRecordFile);
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ("", zrtest::ReadTextFile(FilePath()));
}

TEST_F(StreamTest, HoldsTheFileExclusivelyUntilClosed) {
    zrtest::WriteTextFile(FilePath(), kOneRecordFile);
    for (DWORD mode : {kRead, kWrite}) {
        ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), mode));
        EXPECT_FALSE(CanOpenShared(FilePath())) << "mode " << mode;
        ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
        EXPECT_TRUE(CanOpenShared(FilePath())) << "mode " << mode;
    }
    {
        CSDMoveBackupFile scoped;
        ASSERT_EQ(zr::RC_OK, scoped.OpenFile(FilePath().c_str(), kRead));
    }
    EXPECT_TRUE(CanOpenShared(FilePath())) << "the destructor closes the file";
}

// ---- Writing --------------------------------------------------------------

TEST_F(StreamTest, FileOfOneRecordIsHeaderRecordHeaderAndData) {
    std::string header = kHeader;
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    ASSERT_EQ(zr::RC_OK, Itf()->WriteRecord(kRecordHeader.data(), kData.data(), 16));
    ASSERT_EQ(zr::RC_OK, Itf()->EndFile());
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(kOneRecordFile, zrtest::ReadTextFile(FilePath())) << "80 + n bytes, nothing added";
}

TEST_F(StreamTest, WritesRecordsBackToBack) {
    const std::string rh1 = Bytes(32, 0x40), d1 = Bytes(5, 0xA0);
    const std::string rh2 = Bytes(32, 0x60), d2 = Bytes(300, 0x01);
    std::string header = kHeader;
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    ASSERT_EQ(zr::RC_OK, Itf()->WriteRecord(rh1.data(), d1.data(), 5));
    ASSERT_EQ(zr::RC_OK, Itf()->WriteRecord(rh2.data(), d2.data(), 300));
    ASSERT_EQ(zr::RC_OK, Itf()->EndFile());
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(kHeader + rh1 + d1 + rh2 + d2, zrtest::ReadTextFile(FilePath()));
}

TEST_F(StreamTest, WriteAfterEndBeginsAnotherHeaderAtTheEnd) {
    std::string header = kHeader;
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    ASSERT_EQ(zr::RC_OK, Itf()->WriteRecord(kRecordHeader.data(), kData.data(), 16));
    ASSERT_EQ(zr::RC_OK, Itf()->EndFile());
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(kOneRecordFile + kHeader, zrtest::ReadTextFile(FilePath()));
}

TEST_F(StreamTest, RecordTooLargeForOneWriteIsRefusedWithoutTouchingTheFile) {
    std::string header = kHeader;
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kWrite));
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(&header[0]));
    // size + 32 would wrap to a 16-byte buffer.
    EXPECT_EQ(zr::RC_E_OUTOFMEMORY, Itf()->WriteRecord(kRecordHeader.data(), kData.data(), 0xFFFFFFF0u));
    EXPECT_EQ(zr::RC_OK, Itf()->WriteRecord(kRecordHeader.data(), kData.data(), 16));
    ASSERT_EQ(zr::RC_OK, m_stream.CloseFile());
    EXPECT_EQ(kOneRecordFile, zrtest::ReadTextFile(FilePath()));
}

// ---- Reading --------------------------------------------------------------

class StreamReadTest : public StreamTest {
protected:
    // Opens `content` for reading and reads its file header.
    void Begin(const std::string& content) {
        zrtest::WriteTextFile(FilePath(), content);
        ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kRead));
        char header[48];
        ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(header));
        ASSERT_EQ(kHeader, std::string(header, 48));
    }
};

TEST_F(StreamReadTest, ReadsRecordsUntilEndOfFileLeavingTheBuffersAlone) {
    const std::string rh2 = Bytes(32, 0x60), d2 = Bytes(16, 0x01);
    Begin(kOneRecordFile + rh2 + d2);
    char rh[32], data[16];
    ASSERT_EQ(zr::RC_OK, Itf()->ReadRecord(rh, data, 16));
    EXPECT_EQ(kRecordHeader, std::string(rh, 32));
    EXPECT_EQ(kData, std::string(data, 16));
    ASSERT_EQ(zr::RC_OK, Itf()->ReadRecord(rh, data, 16));
    EXPECT_EQ(rh2 + d2, std::string(rh, 32) + std::string(data, 16));

    std::memset(rh, 0x5A, sizeof(rh));
    std::memset(data, 0x5A, sizeof(data));
    EXPECT_EQ(zr::RC_END_OF_FILE, Itf()->ReadRecord(rh, data, 16));
    EXPECT_EQ(std::string(32, 'Z'), std::string(rh, 32));
    EXPECT_EQ(std::string(16, 'Z'), std::string(data, 16));
}

TEST_F(StreamReadTest, ShortRecordIsAnError) {
    char rh[32], data[16];
    Begin(kHeader + Bytes(10, 0x80));
    EXPECT_EQ(zr::RC_E_STREAM_SHORT_READ, Itf()->ReadRecord(rh, data, 16)) << "10 bytes of a record header";
    m_stream.CloseFile();

    Begin(kHeader + kRecordHeader + Bytes(15, 0xC0));
    EXPECT_EQ(zr::RC_E_STREAM_SHORT_READ, Itf()->ReadRecord(rh, data, 16)) << "15 of 16 data bytes";
}

TEST_F(StreamTest, ShortFileHeaderIsAnErrorAndLeavesTheStreamOpen) {
    zrtest::WriteTextFile(FilePath(), Bytes(47, 0x10));
    ASSERT_EQ(zr::RC_OK, m_stream.OpenFile(FilePath().c_str(), kRead));
    char header[48];
    EXPECT_EQ(zr::RC_E_STREAM_SHORT_READ, Itf()->BeginFile(header));
    EXPECT_EQ(kState, Itf()->EndFile()) << "still open, not header done";
    EXPECT_EQ(zr::RC_OK, m_stream.CloseFile());
}

TEST_F(StreamReadTest, BeginAfterEndRereadsTheSameHeader) {
    Begin(kOneRecordFile);
    char rh[32], data[16];
    ASSERT_EQ(zr::RC_OK, Itf()->ReadRecord(rh, data, 16));
    ASSERT_EQ(zr::RC_OK, Itf()->EndFile());
    char header[48] = {};
    ASSERT_EQ(zr::RC_OK, Itf()->BeginFile(header));
    EXPECT_EQ(kHeader, std::string(header, 48));
    ASSERT_EQ(zr::RC_OK, Itf()->ReadRecord(rh, data, 16));
    EXPECT_EQ(kData, std::string(data, 16));
}

struct SizeCase {
    size_t fileSize;
    DWORD expected;
};

class StreamDataSizeTest : public StreamReadTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(StreamDataSizeTest, IsTheFileSizeLessTheFixedParts) {
    Begin(kHeader + Bytes(GetParam().fileSize - 48, 0x80));
    DWORD size = 12345;
    EXPECT_EQ(zr::RC_OK, Itf()->GetDataSize(&size));
    EXPECT_EQ(GetParam().expected, size);
}

INSTANTIATE_TEST_SUITE_P(Stream, StreamDataSizeTest,
                         ::testing::Values(SizeCase{48, 0}, SizeCase{80, 0}, SizeCase{81, 1}, SizeCase{1080, 1000}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                             return "File" + std::to_string(info.param.fileSize);
                         });

}  // namespace
