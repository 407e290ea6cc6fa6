// What a progress dialog would be told during a bench's job: the progress
// reports the engine hands its runner, counted and timed as they arrive.
#pragma once

#include <windows.h>

#include <vector>

#include "BenchUtil.h"

namespace bench {

class CProgressSink {
public:
    // One report of the engine's: `done` items so far.
    void Take(DWORD done) {
        ++m_count;
        m_last = done;
        m_times.push_back(Clock::now());
    }
    DWORD Count() const { return m_count; }
    DWORD Last() const { return m_last; }
    void Reset() {
        m_count = m_last = 0;
        m_times.clear();
    }
    // Per-track time over the first and the last tenth of the walk, in
    // microseconds, from when the reports arrived: equal when the cost per
    // track does not grow as the job proceeds.
    bool TenthCosts(double& first, double& last) const;

private:
    DWORD m_count = 0;
    DWORD m_last = 0;
    std::vector<Clock::time_point> m_times;
};

// The sink's TenthCosts as a line, when the walk was long enough.
void PrintTenths(const CProgressSink& sink);

}  // namespace bench
