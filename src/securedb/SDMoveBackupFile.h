// The stream on one backup file through which the Move component saves and
// loads the secure database: a 48-byte file header, then records of a 32-byte
// header and their data. The component chooses every byte; the stream adds none.
#pragma once

#include <windows.h>

#include "securedb/SDInterfaces.h"

namespace zr {

// ReadRecord: the file ended before a record header. The Move component
// reads this number as the end of the records.
constexpr HRESULT RC_END_OF_FILE = 1;

class CSDMoveBackupFile : public ISDMoveBackupFile {
public:
    enum Mode { MODE_NONE = 0, MODE_READ = 1, MODE_WRITE = 2 };
    enum State { STATE_CLOSED = 0, STATE_OPEN = 1, STATE_HEADER_DONE = 2, STATE_ENDED = 3 };

    CSDMoveBackupFile() = default;
    CSDMoveBackupFile(const CSDMoveBackupFile&) = delete;
    CSDMoveBackupFile& operator=(const CSDMoveBackupFile&) = delete;

    // The component's view. AddRef and Release only count: the object lives as
    // long as the engine step's local variable.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE BeginFile(void* header48) override;
    HRESULT STDMETHODCALLTYPE EndFile() override;
    HRESULT STDMETHODCALLTYPE WriteRecord(const void* recordHeader32, const void* data, DWORD size) override;
    HRESULT STDMETHODCALLTYPE ReadRecord(void* recordHeader32, void* data, DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetDataSize(DWORD* size) override;

    // The engine's view. Closes the file when still open.
    virtual ~CSDMoveBackupFile();
    // mode MODE_READ opens an existing file, MODE_WRITE creates or empties it;
    // either way nobody else may open the file while it is open here.
    virtual HRESULT STDMETHODCALLTYPE OpenFile(const char* path, DWORD mode);
    virtual HRESULT STDMETHODCALLTYPE CloseFile();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    DWORD m_nMode = MODE_NONE;
    DWORD m_nState = STATE_CLOSED;
    ULONG m_nRefCount = 0;
};

}  // namespace zr
