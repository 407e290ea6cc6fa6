#include "hostsim/module/MoveFormat.h"

#include <cstring>

#include "hostsim/core/SqliteUtil.h"

namespace hostsim {

namespace {

struct CrcTable {
    DWORD entries[256];
    CrcTable() {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
    }
};

void PutDword(std::vector<BYTE>& out, DWORD value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), p, p + sizeof(value));
}

void PutBytes(std::vector<BYTE>& out, const void* data, size_t size) {
    PutDword(out, static_cast<DWORD>(size));
    const BYTE* p = static_cast<const BYTE*>(data);
    out.insert(out.end(), p, p + size);
}

class CReader {
public:
    explicit CReader(const std::vector<BYTE>& data) : m_data(data) {}
    bool Dword(DWORD& value) {
        if (m_data.size() - m_pos < sizeof(value)) return false;
        std::memcpy(&value, &m_data[m_pos], sizeof(value));
        m_pos += sizeof(value);
        return true;
    }
    bool Bytes(DWORD limit, const BYTE*& p, DWORD& size) {
        if (!Dword(size) || size > limit || m_data.size() - m_pos < size) return false;
        p = m_data.data() + m_pos;
        m_pos += size;
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const std::vector<BYTE>& m_data;
    size_t m_pos = 0;
};

}  // namespace

DWORD Crc32(const void* data, size_t size) {
    static const CrcTable table;
    const BYTE* p = static_cast<const BYTE*>(data);
    DWORD crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

MoveFileHeader MakeMoveFileHeader(const BYTE* identifier) {
    MoveFileHeader header;
    std::memset(&header, 0, sizeof(header));
    std::memcpy(header.magic, kMoveFileMagic, sizeof(header.magic));
    header.version = kMoveFormatVersion;
    header.headerSize = sizeof(header);
    std::memcpy(header.identifier, identifier, sizeof(header.identifier));
    header.recordCount = 1;
    header.headerCrc = Crc32(&header, sizeof(header));
    return header;
}

HRESULT CheckMoveFileHeader(const MoveFileHeader& header, const BYTE* identifier) {
    if (std::memcmp(header.magic, kMoveFileMagic, sizeof(header.magic)) != 0) return kMoveErrFormat;
    MoveFileHeader copy = header;
    copy.headerCrc = 0;
    if (Crc32(&copy, sizeof(copy)) != header.headerCrc) return kMoveErrFormat;
    if (header.version != kMoveFormatVersion) return kMoveErrVersion;
    if (header.headerSize != sizeof(header) || header.recordCount != 1) return kMoveErrFormat;
    if (std::memcmp(header.identifier, identifier, sizeof(header.identifier)) != 0) return kMoveErrIdentifier;
    return S_OK;
}

std::vector<BYTE> SerializeRights(const std::vector<RightsRecord>& records) {
    std::vector<BYTE> data;
    PutDword(data, static_cast<DWORD>(records.size()));
    for (const RightsRecord& record : records) {
        std::string path = AnsiToUtf8(record.path);
        std::string title = AnsiToUtf8(record.title);
        PutBytes(data, path.data(), path.size());
        PutBytes(data, title.data(), title.size());
        PutBytes(data, record.rights.data(), record.rights.size());
    }
    return data;
}

MoveRecordHeader MakeMoveRecordHeader(const std::vector<BYTE>& data, DWORD rightsCount) {
    MoveRecordHeader header;
    std::memset(&header, 0, sizeof(header));
    std::memcpy(header.tag, kMoveRecordTag, sizeof(header.tag));
    header.rightsCount = rightsCount;
    header.dataSize = static_cast<DWORD>(data.size());
    header.dataCrc = Crc32(data.data(), data.size());
    header.headerCrc = Crc32(&header, sizeof(header));
    return header;
}

bool CheckMoveRecordHeader(const MoveRecordHeader& header, DWORD dataSize) {
    MoveRecordHeader copy = header;
    copy.headerCrc = 0;
    return std::memcmp(header.tag, kMoveRecordTag, sizeof(header.tag)) == 0 &&
           Crc32(&copy, sizeof(copy)) == header.headerCrc && header.dataSize == dataSize;
}

bool ParseRights(const MoveRecordHeader& header, const std::vector<BYTE>& data, std::vector<RightsRecord>& records) {
    records.clear();
    if (!CheckMoveRecordHeader(header, static_cast<DWORD>(data.size())) ||
        Crc32(data.data(), data.size()) != header.dataCrc)
        return false;
    CReader reader(data);
    DWORD count = 0;
    // Every record takes at least its three lengths: a count beyond that is a lie.
    if (!reader.Dword(count) || count != header.rightsCount || count > data.size() / 12) return false;
    std::vector<RightsRecord> parsed;
    parsed.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        const BYTE *path, *title, *rights;
        DWORD pathSize, titleSize, rightsSize;
        if (!reader.Bytes(kMoveMaxText, path, pathSize) || pathSize == 0 ||
            !reader.Bytes(kMoveMaxText, title, titleSize) || !reader.Bytes(kMoveMaxRights, rights, rightsSize))
            return false;
        RightsRecord record;
        record.path = Utf8ToAnsi(reinterpret_cast<const char*>(path), static_cast<int>(pathSize));
        record.title = Utf8ToAnsi(reinterpret_cast<const char*>(title), static_cast<int>(titleSize));
        record.rights.assign(rights, rights + rightsSize);
        if (record.path.empty()) return false;
        parsed.push_back(std::move(record));
    }
    if (!reader.AtEnd()) return false;
    records.swap(parsed);
    return true;
}

}  // namespace hostsim
