// Window messages between the job's worker and the progress dialog.
#pragma once

#include <windows.h>

// Posted once by the worker as its last act; wParam: the job's result code.
constexpr UINT WM_BR_COMPLETE = 0x84B0;
// Sent by the worker when the contents phase begins.
constexpr UINT WM_BR_CONTENTS_PHASE = 0x84B1;
// Sent by the worker when the contents phase is over.
constexpr UINT WM_BR_DATABASE_PHASE = 0x84B2;
// Posted by engine steps; wParam: items done (from 1), lParam: items in total.
constexpr UINT WM_BR_PROGRESS = 0x84B6;
// Sent by the worker when a backup fits only in the earlier backup's place;
// the dialog asks the user and answers IDYES (delete the earlier one first)
// or IDNO (choose another folder).
constexpr UINT WM_BR_ASK_REPLACE_FIRST = 0x84B7;
