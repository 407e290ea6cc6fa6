// File-system failures that Wine cannot produce on demand (a folder that will
// not be renamed, a disk that fails on the Nth write), for the engine's steps.
//
// The test program's own import table is patched while a CFileFaults lives:
// the engine is linked into the test program, so its calls to the functions
// below go through this table, while the stand-in host's module, the shell
// and the system keep theirs. The product code has no hook and pays nothing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace enginetest {

enum class FileOp { CopyFile, MoveFile, DeleteFile, CreateDirectory, CreateFile, ReadFile, WriteFile, FindFirstFile,
                    ShellDelete, FindNextFile, RemoveDirectory };

const char* FileOpName(FileOp op);

struct FileCall {
    FileOp op;
    std::string path;    // the source or only path (FindNextFile: its search's pattern); empty for ReadFile and WriteFile
    std::string target;  // CopyFile and MoveFile
    DWORD disposition = 0;  // CreateFile: whether it may make the file (OPEN_EXISTING never does)
};

class CFileFaults {
public:
    // Decides per call: true fails it with `error`. Calls are counted from 1.
    using Decide = std::function<bool(const FileCall& call, int number)>;

    explicit CFileFaults(Decide decide, DWORD error = ERROR_WRITE_FAULT);
    ~CFileFaults();
    CFileFaults(const CFileFaults&) = delete;
    CFileFaults& operator=(const CFileFaults&) = delete;

    int Calls() const;     // calls seen so far
    int Failures() const;  // calls failed so far
};

}  // namespace enginetest
