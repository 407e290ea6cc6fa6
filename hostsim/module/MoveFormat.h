// What the Move component puts into the backup file: its own 48-byte file
// header, then one record (32-byte header + data) holding every rights record.
// Each header carries a CRC-32 of itself, the record header one of the data, so
// a damaged, truncated or foreign file is refused before anything is applied.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hostsim/core/RightsDb.h"

namespace hostsim {

constexpr char kMoveFileMagic[8] = {'H', 'S', 'M', 'V', 'B', 'K', 'U', 'P'};
constexpr char kMoveRecordTag[4] = {'R', 'G', 'T', 'S'};
constexpr DWORD kMoveFormatVersion = 1;
constexpr DWORD kMoveIdentifierSize = 8;
// Bounds for reading: nothing larger is ever allocated from a file's say-so.
constexpr DWORD kMoveMaxData = 256u * 1024 * 1024;
constexpr DWORD kMoveMaxText = 32u * 1024;
constexpr DWORD kMoveMaxRights = 1024u * 1024;

// Codes of the Move component besides the stream's own.
constexpr HRESULT kMoveErrFormat = static_cast<HRESULT>(0x8007000D);      // ERROR_INVALID_DATA: not ours, damaged, truncated
constexpr HRESULT kMoveErrVersion = static_cast<HRESULT>(0x8007051A);     // ERROR_REVISION_MISMATCH: a format we do not read
constexpr HRESULT kMoveErrIdentifier = static_cast<HRESULT>(0x80090003);  // NTE_BAD_KEY: made for another identifier
constexpr HRESULT kMoveErrNoRights = static_cast<HRESULT>(0x80070490);    // ERROR_NOT_FOUND: no rights record for the path

#pragma pack(push, 1)
struct MoveFileHeader {
    char magic[8];
    DWORD version;
    DWORD headerSize;  // 48
    BYTE identifier[8];
    DWORD recordCount;  // 1
    DWORD headerCrc;    // of this header with headerCrc 0
    BYTE reserved[16];
};
struct MoveRecordHeader {
    char tag[4];
    DWORD rightsCount;
    DWORD dataSize;
    DWORD dataCrc;
    DWORD headerCrc;  // of this header with headerCrc 0
    BYTE reserved[12];
};
#pragma pack(pop)
static_assert(sizeof(MoveFileHeader) == 48, "file header is 48 bytes");
static_assert(sizeof(MoveRecordHeader) == 32, "record header is 32 bytes");

DWORD Crc32(const void* data, size_t size);

MoveFileHeader MakeMoveFileHeader(const BYTE* identifier);
// kMoveErrFormat, kMoveErrVersion, kMoveErrIdentifier or S_OK.
HRESULT CheckMoveFileHeader(const MoveFileHeader& header, const BYTE* identifier);

// Record data: count, then per record path, title and rights, each as a 32-bit
// length and its bytes; texts in UTF-8.
std::vector<BYTE> SerializeRights(const std::vector<RightsRecord>& records);
MoveRecordHeader MakeMoveRecordHeader(const std::vector<BYTE>& data, DWORD rightsCount);
bool CheckMoveRecordHeader(const MoveRecordHeader& header, DWORD dataSize);
// Checks the data against its record header and parses all of it; false on any
// inconsistency, with records left empty.
bool ParseRights(const MoveRecordHeader& header, const std::vector<BYTE>& data, std::vector<RightsRecord>& records);

}  // namespace hostsim
