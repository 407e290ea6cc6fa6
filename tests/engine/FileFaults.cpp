#include "FileFaults.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/ImportSlots.h"

namespace enginetest {
namespace {

struct State {
    CFileFaults::Decide decide;
    DWORD error = 0;
    int calls = 0;
    int failures = 0;
};
State* g_state = nullptr;

// True when this call is to fail; the error is then set.
bool Fail(FileOp op, const char* path, const char* target = nullptr, DWORD disposition = 0) {
    if (!g_state) return false;
    FileCall call{op, path ? path : "", target ? target : "", disposition};
    if (!g_state->decide(call, ++g_state->calls)) return false;
    ++g_state->failures;
    SetLastError(g_state->error);
    return true;
}

decltype(&CopyFileA) g_copyFile;
decltype(&MoveFileExA) g_moveFile;
decltype(&DeleteFileA) g_deleteFile;
decltype(&CreateDirectoryA) g_createDirectory;
decltype(&CreateFileA) g_createFile;
decltype(&ReadFile) g_readFile;
decltype(&WriteFile) g_writeFile;
decltype(&FindFirstFileA) g_findFirstFile;
decltype(&FindNextFileA) g_findNextFile;
// The pattern of each open search, so that its next entries name it.
std::map<HANDLE, std::string> g_searches;
decltype(&SHFileOperationA) g_shFileOperation;
decltype(&RemoveDirectoryA) g_removeDirectory;

BOOL WINAPI HookCopyFile(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    return Fail(FileOp::CopyFile, from, to) ? FALSE : g_copyFile(from, to, failIfExists);
}
BOOL WINAPI HookMoveFile(LPCSTR from, LPCSTR to, DWORD flags) {
    return Fail(FileOp::MoveFile, from, to) ? FALSE : g_moveFile(from, to, flags);
}
BOOL WINAPI HookDeleteFile(LPCSTR path) { return Fail(FileOp::DeleteFile, path) ? FALSE : g_deleteFile(path); }
BOOL WINAPI HookCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    return Fail(FileOp::CreateDirectory, path) ? FALSE : g_createDirectory(path, sa);
}
HANDLE WINAPI HookCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                             DWORD flags, HANDLE tmpl) {
    return Fail(FileOp::CreateFile, path, nullptr, disposition) ? INVALID_HANDLE_VALUE
                                          : g_createFile(path, access, share, sa, disposition, flags, tmpl);
}
BOOL WINAPI HookReadFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD done, LPOVERLAPPED ov) {
    return Fail(FileOp::ReadFile, nullptr) ? FALSE : g_readFile(h, buffer, n, done, ov);
}
BOOL WINAPI HookWriteFile(HANDLE h, LPCVOID buffer, DWORD n, LPDWORD done, LPOVERLAPPED ov) {
    return Fail(FileOp::WriteFile, nullptr) ? FALSE : g_writeFile(h, buffer, n, done, ov);
}
HANDLE WINAPI HookFindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (Fail(FileOp::FindFirstFile, pattern)) return INVALID_HANDLE_VALUE;
    HANDLE find = g_findFirstFile(pattern, data);
    if (find != INVALID_HANDLE_VALUE && pattern) {
        const DWORD error = GetLastError();
        g_searches[find] = pattern;
        SetLastError(error);
    }
    return find;
}
BOOL WINAPI HookFindNextFile(HANDLE find, LPWIN32_FIND_DATAA data) {
    auto search = g_searches.find(find);
    const std::string pattern = search == g_searches.end() ? std::string() : search->second;
    return Fail(FileOp::FindNextFile, pattern.c_str()) ? FALSE : g_findNextFile(find, data);
}
BOOL WINAPI HookRemoveDirectory(LPCSTR path) {
    return Fail(FileOp::RemoveDirectory, path) ? FALSE : g_removeDirectory(path);
}
int WINAPI HookShFileOperation(LPSHFILEOPSTRUCTA op) {
    return Fail(FileOp::ShellDelete, op ? op->pFrom : nullptr) ? 1 : g_shFileOperation(op);
}

struct Hook {
    const char* dll;
    const char* name;
    void* hook;
    void** original;  // where the real address is kept
};

template <class F>
Hook MakeHook(const char* dll, const char* name, F hook, F& original) {
    return Hook{dll, name, reinterpret_cast<void*>(hook), reinterpret_cast<void**>(&original)};
}

std::vector<Hook> Hooks() {
    return {
        MakeHook("kernel32.dll", "CopyFileA", &HookCopyFile, g_copyFile),
        MakeHook("kernel32.dll", "MoveFileExA", &HookMoveFile, g_moveFile),
        MakeHook("kernel32.dll", "DeleteFileA", &HookDeleteFile, g_deleteFile),
        MakeHook("kernel32.dll", "CreateDirectoryA", &HookCreateDirectory, g_createDirectory),
        MakeHook("kernel32.dll", "CreateFileA", &HookCreateFile, g_createFile),
        MakeHook("kernel32.dll", "ReadFile", &HookReadFile, g_readFile),
        MakeHook("kernel32.dll", "WriteFile", &HookWriteFile, g_writeFile),
        MakeHook("kernel32.dll", "FindFirstFileA", &HookFindFirstFile, g_findFirstFile),
        MakeHook("kernel32.dll", "FindNextFileA", &HookFindNextFile, g_findNextFile),
        MakeHook("shell32.dll", "SHFileOperationA", &HookShFileOperation, g_shFileOperation),
        MakeHook("kernel32.dll", "RemoveDirectoryA", &HookRemoveDirectory, g_removeDirectory),
    };
}

void Patch(bool install) {
    for (const Hook& h : Hooks()) {
        const std::vector<void**> slots = zrtest::ImportSlots(h.dll, h.name);
        if (install) {
            *h.original = slots.empty() ? reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(h.dll), h.name))
                                        : *slots.front();
        }
        for (void** slot : slots) zrtest::WriteSlot(slot, install ? h.hook : *h.original);
    }
}

}  // namespace

const char* FileOpName(FileOp op) {
    static const char* const names[] = {"CopyFileA",  "MoveFileExA", "DeleteFileA",    "CreateDirectoryA", "CreateFileA",
                                        "ReadFile",   "WriteFile",   "FindFirstFileA", "SHFileOperationA",
                                        "FindNextFileA", "RemoveDirectoryA"};
    return names[static_cast<int>(op)];
}

CFileFaults::CFileFaults(Decide decide, DWORD error) {
    EXPECT_EQ(nullptr, g_state) << "one CFileFaults at a time";
    g_state = new State{std::move(decide), error};
    Patch(true);
}

CFileFaults::~CFileFaults() {
    Patch(false);
    g_searches.clear();
    delete g_state;
    g_state = nullptr;
}

int CFileFaults::Calls() const { return g_state->calls; }
int CFileFaults::Failures() const { return g_state->failures; }

}  // namespace enginetest
