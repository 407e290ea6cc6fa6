// The text a user is shown for a result code: as the outcome of a failed job,
// and as the detail of an item a job could not handle. One table holds both.
#pragma once

#include <windows.h>

namespace zr {

// The string-table id of a failed job's message; the backup's or the
// restore's "failed" for codes without one of their own.
UINT JobFailureText(HRESULT code, bool restore);
// The string-table id of an item's detail; "processing failed" for codes
// without one of their own.
UINT ItemDetailText(HRESULT code);

}  // namespace zr
