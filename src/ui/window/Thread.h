// A worker thread object: owns the thread's handle, so the handle stays valid
// after the thread function returned and until the owner lets it go.
#pragma once

#include <windows.h>

#include <memory>

namespace zr {

class CThread {
public:
    using Proc = DWORD(WINAPI*)(void* arg);

    // Starts proc(arg) at normal priority with the default stack; null when
    // the system refused.
    static std::unique_ptr<CThread> Begin(Proc proc, void* arg) {
        HANDLE handle = CreateThread(nullptr, 0, proc, arg, 0, nullptr);
        if (!handle) return nullptr;
        return std::unique_ptr<CThread>(new CThread(handle));
    }
    ~CThread() { CloseHandle(m_hThread); }
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    HANDLE Handle() const { return m_hThread; }
    bool Wait(DWORD milliseconds) const { return WaitForSingleObject(m_hThread, milliseconds) == WAIT_OBJECT_0; }

private:
    explicit CThread(HANDLE handle) : m_hThread(handle) {}
    HANDLE m_hThread;
};

}  // namespace zr
