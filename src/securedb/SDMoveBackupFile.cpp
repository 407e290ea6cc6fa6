#include "securedb/SDMoveBackupFile.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/ComponentIds.h"
#include "common/ResultCodes.h"

namespace zr {

CSDMoveBackupFile::~CSDMoveBackupFile() {
    if (m_nState != STATE_CLOSED) CloseFile();
    m_hFile = INVALID_HANDLE_VALUE;
    m_nMode = MODE_NONE;
    m_nState = STATE_CLOSED;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::QueryInterface(REFIID id, void** object) {
    if (!object) return RC_E_INVALIDARG;
    // Only the stream interface: the component has no use for the bare IUnknown.
    if (!IsEqualGUID(id, IID_ISDMoveBackupFile)) {
        *object = nullptr;
        return RC_E_NOINTERFACE;
    }
    *object = static_cast<ISDMoveBackupFile*>(this);
    AddRef();
    return RC_OK;
}

ULONG STDMETHODCALLTYPE CSDMoveBackupFile::AddRef() { return ++m_nRefCount; }

ULONG STDMETHODCALLTYPE CSDMoveBackupFile::Release() { return --m_nRefCount; }

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::OpenFile(const char* path, DWORD mode) {
    if (!path || (mode != MODE_READ && mode != MODE_WRITE)) return RC_E_INVALIDARG;
    if (m_nState != STATE_CLOSED) return RC_E_STREAM_STATE;

    const bool read = mode == MODE_READ;
    HANDLE file = CreateFileA(path, read ? GENERIC_READ : GENERIC_WRITE, 0, nullptr,
                              read ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return StreamOpenError(GetLastError());

    m_hFile = file;
    m_nMode = mode;
    m_nState = STATE_OPEN;
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::CloseFile() {
    if (m_nState == STATE_CLOSED) return RC_E_STREAM_STATE;
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_nMode = MODE_NONE;
    m_nState = STATE_CLOSED;
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::BeginFile(void* header48) {
    if (!header48) return RC_E_INVALIDARG;
    if (m_hFile == INVALID_HANDLE_VALUE || m_nState == STATE_HEADER_DONE) return RC_E_STREAM_STATE;

    DWORD done = 0;
    if (m_nMode == MODE_READ) {
        if (!ReadFile(m_hFile, header48, SD_BACKUP_FILE_HEADER_SIZE, &done, nullptr)) return RC_E_STREAM_READ;
        if (done < SD_BACKUP_FILE_HEADER_SIZE) return RC_E_STREAM_SHORT_READ;
    } else if (m_nMode == MODE_WRITE) {
        if (!WriteFile(m_hFile, header48, SD_BACKUP_FILE_HEADER_SIZE, &done, nullptr)) return RC_E_STREAM_WRITE;
        if (done < SD_BACKUP_FILE_HEADER_SIZE) return RC_E_STREAM_SHORT_WRITE;
    } else {
        return RC_E_STREAM_STATE;
    }
    m_nState = STATE_HEADER_DONE;
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::EndFile() {
    if (m_nState != STATE_HEADER_DONE) return RC_E_STREAM_STATE;
    m_nState = STATE_ENDED;
    // A reader that begins again starts from the file header.
    if (m_nMode == MODE_READ) SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::WriteRecord(const void* recordHeader32, const void* data, DWORD size) {
    if (!recordHeader32 || !data || m_hFile == INVALID_HANDLE_VALUE || size == 0) return RC_E_INVALIDARG;
    if (m_nState != STATE_HEADER_DONE || m_nMode != MODE_WRITE) return RC_E_STREAM_STATE;
    // size + 32 must fit the one write's 32-bit count; past that no buffer can be had.
    if (size > MAXDWORD - SD_BACKUP_RECORD_HEADER_SIZE) return RC_E_OUTOFMEMORY;

    // Header and data go out in one write so that a record is never half written
    // by a second call.
    const DWORD total = size + SD_BACKUP_RECORD_HEADER_SIZE;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[total]);
    if (!buffer) return RC_E_OUTOFMEMORY;
    std::memcpy(buffer.get(), recordHeader32, SD_BACKUP_RECORD_HEADER_SIZE);
    std::memcpy(buffer.get() + SD_BACKUP_RECORD_HEADER_SIZE, data, size);

    DWORD written = 0;
    if (!WriteFile(m_hFile, buffer.get(), total, &written, nullptr)) return RC_E_STREAM_WRITE;
    if (written < total) return RC_E_STREAM_SHORT_WRITE;
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::ReadRecord(void* recordHeader32, void* data, DWORD size) {
    if (!recordHeader32 || !data || m_hFile == INVALID_HANDLE_VALUE || size == 0) return RC_E_INVALIDARG;
    if (m_nState != STATE_HEADER_DONE || m_nMode != MODE_READ) return RC_E_STREAM_STATE;

    DWORD done = 0;
    if (!ReadFile(m_hFile, recordHeader32, SD_BACKUP_RECORD_HEADER_SIZE, &done, nullptr)) return RC_E_STREAM_READ;
    if (done == 0) return RC_END_OF_FILE;
    if (done < SD_BACKUP_RECORD_HEADER_SIZE) return RC_E_STREAM_SHORT_READ;

    if (!ReadFile(m_hFile, data, size, &done, nullptr)) return RC_E_STREAM_READ;
    if (done < size) return RC_E_STREAM_SHORT_READ;
    return RC_OK;
}

HRESULT STDMETHODCALLTYPE CSDMoveBackupFile::GetDataSize(DWORD* size) {
    if (!size || m_hFile == INVALID_HANDLE_VALUE) return RC_E_INVALIDARG;
    if (m_nState != STATE_HEADER_DONE || m_nMode != MODE_READ) return RC_E_STREAM_STATE;

    // The data size of a file's only record. The whole size is asked for, so a
    // file past 4 GB is not mistaken for a small one by its low 32 bits.
    constexpr LONGLONG kFixed = SD_BACKUP_FILE_HEADER_SIZE + SD_BACKUP_RECORD_HEADER_SIZE;
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(m_hFile, &fileSize) || fileSize.QuadPart <= kFixed ||
        fileSize.QuadPart - kFixed > static_cast<LONGLONG>(MAXDWORD)) {
        *size = 0;
    } else {
        *size = static_cast<DWORD>(fileSize.QuadPart - kFixed);
    }
    return RC_OK;
}

}  // namespace zr
