// The text a user is shown for a failed job's result code, and for the code
// an item a job could not handle was listed with.
#pragma once

#include <windows.h>

#include "common/ResultCodes.h"

namespace zr {

// The string-table id of a failed job's message; the backup's or the
// restore's "failed" for codes without one of their own.
UINT JobFailureText(HRESULT code, bool restore);
// The string-table id of an item's detail; "processing failed" for codes
// without one of their own.
UINT ItemDetailText(ItemCode code);

}  // namespace zr
