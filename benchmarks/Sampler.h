// A sampling profiler for one thread of this process, for the benchmarks.
//
// A thread of its own stops the watched thread about every millisecond
// (SuspendThread), reads its registers (GetThreadContext), walks its stack
// with the modules' own unwind tables (RtlVirtualUnwind: the x64 build needs
// no frame pointers) and lets it go on. Each sample keeps its return
// addresses as module and offset, and the time since the thread was last let
// go, so that a share of samples is a share of the thread's wall time.
//
// Under Wine a thread stopped inside a system call shows the call's stub in
// ntdll.dll or win32u.dll (NtXxx): its time there is Wine's unix side and its
// server's. A thread inside a server request is stopped only once the request
// returns, so that such a sample lands late, but on the right call.
//
// While the thread is stopped the sampler takes no lock (no heap, no loader
// lock): the stopped thread may hold one. Modules loaded and unloaded while
// it runs are followed through the loader's notifications.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// A module the sampled thread ran in, as it was loaded.
struct SampledModule {
    uintptr_t base = 0;
    DWORD size = 0;
    std::string path;
};

// One return address: the module's index and the offset in it.
struct SampledFrame {
    std::uint32_t module;
    std::uint32_t offset;
};

struct Sample {
    double weight = 0;     // seconds of the thread's time this sample stands for
    std::size_t first = 0;  // its frames in Frames(), innermost first
    std::size_t count = 0;
};

class CSampler {
public:
    CSampler();
    ~CSampler();
    CSampler(const CSampler&) = delete;
    CSampler& operator=(const CSampler&) = delete;

    // A sample about every `intervalMs` (1 unless told).
    void SetInterval(unsigned intervalMs) { m_intervalMs = intervalMs ? intervalMs : 1; }
    // Samples the calling thread until Stop. False when the sampler cannot
    // run (no thread, no module list).
    bool Start();
    void Stop();

    const std::vector<Sample>& Samples() const { return m_samples; }
    const std::vector<SampledFrame>& Frames() const { return m_frames; }
    // Every module seen since the sampler was made; an index of SampledFrame.
    std::vector<SampledModule> Modules() const;
    // Samples that could not be taken (the thread would not stop or its
    // stack could not be walked), and the time the thread was held stopped.
    std::size_t Missed() const { return m_missed; }
    double HeldSeconds() const { return m_held; }

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Run();
    bool TakeSample(HANDLE thread, LARGE_INTEGER lastResume);

    HANDLE m_watched = nullptr;
    HANDLE m_thread = nullptr;
    volatile LONG m_stop = 0;
    unsigned m_intervalMs = 1;
    uintptr_t m_stackBase = 0;
    std::vector<Sample> m_samples;      // reserved before the run: never grows while the thread is stopped
    std::vector<SampledFrame> m_frames;
    std::size_t m_missed = 0;
    double m_held = 0;
};

}  // namespace bench
