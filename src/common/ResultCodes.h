// Result codes shared by every part of the tool: signed 32-bit, COM style.
// 0 success, 1 cancelled, negative failure.
#pragma once

#include <windows.h>

namespace zr {

constexpr HRESULT RC_OK = 0;
constexpr HRESULT RC_CANCELLED = 1;
// ReadRecord of the secure backup stream: end of file before a record header.
constexpr HRESULT RC_END_OF_FILE = 1;

constexpr HRESULT RC_E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT RC_E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT RC_E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT RC_E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT RC_E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT RC_E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT RC_E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);  // job could not be initialised

constexpr HRESULT RC_E_FILE_COPY = static_cast<HRESULT>(0x86FF0002);      // file not created or copied
constexpr HRESULT RC_E_FOLDER_CREATE = static_cast<HRESULT>(0x86FF0003);  // folder not created
constexpr HRESULT RC_E_NO_BACKUPDATA = static_cast<HRESULT>(0x86FF0004);  // the backup tree is missing or no folder
// An earlier backup tree holds data of the host (its library's files, its GUI
// data): replacing the backup would delete them.
constexpr HRESULT RC_E_HOLDS_HOST_DATA = static_cast<HRESULT>(0x86FF0005);

// Codes of the items a job lists as not handled (besides 1, a missing content
// file, 0x80070057, a picture, and 0x80004005, rights not exported).
constexpr HRESULT RC_ITEM_MISSING = 1;
constexpr HRESULT RC_E_BAD_NAME = static_cast<HRESULT>(0x8007007B);        // a stored path of no shape a backup writes
constexpr HRESULT RC_E_NOT_REGISTERED = static_cast<HRESULT>(0x800710D9);  // the library refused the track's new path
constexpr HRESULT RC_E_NOT_RESTORED = static_cast<HRESULT>(0x86FF0006);    // a GUI item kept as the host had it

// Secure backup file stream.
constexpr HRESULT RC_E_STREAM_STATE = static_cast<HRESULT>(0x8F000001);
constexpr HRESULT RC_E_STREAM_SHORT_READ = static_cast<HRESULT>(0x8F000002);
constexpr HRESULT RC_E_STREAM_SHORT_WRITE = static_cast<HRESULT>(0x8F000003);
constexpr HRESULT RC_E_STREAM_READ = static_cast<HRESULT>(0x8F000004);
constexpr HRESULT RC_E_STREAM_WRITE = static_cast<HRESULT>(0x8F000005);
constexpr HRESULT RC_E_STREAM_OPEN_BASE = static_cast<HRESULT>(0x8F005000);  // OR-ed with the system error
constexpr HRESULT RC_E_STREAM_NOT_FOUND = static_cast<HRESULT>(0x8F005002);

inline HRESULT StreamOpenError(DWORD systemError) {
    return static_cast<HRESULT>(static_cast<DWORD>(RC_E_STREAM_OPEN_BASE) | systemError);
}

// A folder that could not be made: access denied or write protection is the
// user's folder choice, anything else is the disk or the name.
inline HRESULT FolderCreateError(DWORD lastError) {
    return (lastError == ERROR_ACCESS_DENIED || lastError == ERROR_WRITE_PROTECT) ? RC_E_ACCESSDENIED
                                                                                   : RC_E_FOLDER_CREATE;
}

}  // namespace zr
