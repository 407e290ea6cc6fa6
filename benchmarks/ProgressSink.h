// A progress dialog's stand-in: a window on its own thread that takes the
// engine's posts as a dialog would.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "BenchUtil.h"

namespace bench {

class CProgressSink {
public:
    CProgressSink();
    ~CProgressSink();
    CProgressSink(const CProgressSink&) = delete;
    CProgressSink& operator=(const CProgressSink&) = delete;

    HWND Handle() const { return m_hwnd; }
    // Waits until the window has taken every post so far.
    void Drain() { SendMessageA(m_hwnd, WM_NULL, 0, 0); }
    DWORD Count() const { return m_count; }
    DWORD Last() const { return m_last; }
    void Reset() {
        m_count = m_last = 0;
        m_times.clear();
    }
    // Per-track time over the first and the last tenth of the walk, in
    // microseconds, from when the posts arrived: equal when the cost per track
    // does not grow as the job proceeds.
    bool TenthCosts(double& first, double& last) const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Run();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    HWND m_hwnd = nullptr;
    volatile DWORD m_count = 0;
    volatile DWORD m_last = 0;
    std::vector<Clock::time_point> m_times;  // written by the window's thread, read after Drain
};

// The sink's TenthCosts as a line, when the walk was long enough.
void PrintTenths(const CProgressSink& sink);

}  // namespace bench
