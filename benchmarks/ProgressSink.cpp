#include "ProgressSink.h"

#include <cstdio>

#include "engine/EngineMessages.h"

namespace bench {

CProgressSink::CProgressSink() {
    m_thread = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return m_hwnd != nullptr; });
}

CProgressSink::~CProgressSink() {
    PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
    m_thread.join();
}

bool CProgressSink::TenthCosts(double& first, double& last) const {
    const std::size_t n = m_times.size();
    if (n < 20) return false;
    const std::size_t tenth = n / 10;
    first = Seconds(m_times[0], m_times[tenth]) / tenth * 1e6;
    last = Seconds(m_times[n - 1 - tenth], m_times[n - 1]) / tenth * 1e6;
    return true;
}

LRESULT CALLBACK CProgressSink::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CProgressSink*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == WM_BR_PROGRESS && self) {
        ++self->m_count;
        self->m_last = static_cast<DWORD>(wParam);
        self->m_times.push_back(Clock::now());
        return 0;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void CProgressSink::Run() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZrBenchProgress";
    RegisterClassA(&wc);
    HWND hwnd =
        CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hwnd = hwnd;
    }
    m_ready.notify_one();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
}

void PrintTenths(const CProgressSink& sink) {
    double first = 0, last = 0;
    if (!sink.TenthCosts(first, last)) return;
    std::printf("  within the walk: %.0f us per track over the first tenth, %.0f us over the last (x%.2f)\n", first,
                last, last / first);
}

}  // namespace bench
