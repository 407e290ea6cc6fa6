// Result codes of the tool's steps and jobs: signed 32-bit, COM style.
// 0 success, 1 cancelled, negative failure. What an item (a track, a GUI item)
// is listed with is an ItemCode, a type of its own.
#pragma once

#include <windows.h>

namespace zr {

constexpr HRESULT RC_OK = 0;
constexpr HRESULT RC_CANCELLED = 1;
// RestoreGuiData for a backup without GUI data: the job reports it as it
// reports a cancel, so it keeps a cancel's number.
constexpr HRESULT RC_NO_GUI_DATA = RC_CANCELLED;

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

// A backup ended before it changed anything, because the user chose another
// folder rather than delete the earlier backup first.
constexpr HRESULT RC_E_OTHER_FOLDER = static_cast<HRESULT>(0x86FF0007);
// A restore found the live library held open by another program before it
// changed anything.
constexpr HRESULT RC_E_LIBRARY_IN_USE = static_cast<HRESULT>(0x86FF000A);

// Why a job listed an item as not handled; the number is what the result
// view shows beside the item's text.
enum class ItemCode : LONG {
    Missing = 1,                                         // the track's content file is not there
    NoPicture = static_cast<LONG>(0x80070057),           // a picture could not be saved or is not in the backup
    RightsNotExported = static_cast<LONG>(0x80004005),   // the Move component refused the track
    BadName = static_cast<LONG>(0x8007007B),             // a stored path of no shape a backup writes
    NotRegistered = static_cast<LONG>(0x800710D9),       // the library refused the track's new path
    NotRestored = static_cast<LONG>(0x86FF0006),         // a GUI item kept as the host had it
    NotRemoved = static_cast<LONG>(0x86FF0008),          // an item the job replaced that stays beside its replacement
    KeptNoRights = static_cast<LONG>(0x86FF0009),        // a replaced secure track's file kept: the backup held no rights
};
inline DWORD ItemCodeNumber(ItemCode code) { return static_cast<DWORD>(code); }

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
