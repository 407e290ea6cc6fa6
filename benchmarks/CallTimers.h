// Every CopyFileA and CreateDirectoryA of this program (the engine's and the
// bare loops') goes through the import table; the bench points those slots at
// timers, so that a job's copying (files and the folders they go into) can be
// told from the rest of its own work. OutputDebugStringA and PostMessageA are
// timed the same way: the trace lines and progress posts the job must make
// cost a call into the system each, and those calls are set apart from the
// rest of the tool's own code. FindFirstFileA and FindNextFileA are timed as
// the listing of folders: a tree is listed by every copy of it, the bare one too.
#pragma once

namespace bench {

// Wall time inside the timed calls since the program started.
struct CallTotals {
    double copySeconds = 0;    // CopyFileA and CreateDirectoryA
    double noticeSeconds = 0;  // OutputDebugStringA and PostMessageA: trace lines and progress posts
    long long notices = 0;     // calls of those two
    double listingSeconds = 0;  // FindFirstFileA and FindNextFileA
    long long listings = 0;     // calls of those two
};

// Points the program's imports of the six calls at their timers; false when
// an import of them is missing.
bool TimeSystemCalls();
CallTotals TimedCallTotals();

}  // namespace bench
