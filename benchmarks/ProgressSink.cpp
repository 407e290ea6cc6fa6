#include "ProgressSink.h"

#include <cstdio>


namespace bench {

bool CProgressSink::TenthCosts(double& first, double& last) const {
    const std::size_t n = m_times.size();
    if (n < 20) return false;
    const std::size_t tenth = n / 10;
    first = Seconds(m_times[0], m_times[tenth]) / tenth * 1e6;
    last = Seconds(m_times[n - 1 - tenth], m_times[n - 1]) / tenth * 1e6;
    return true;
}

void PrintTenths(const CProgressSink& sink) {
    double first = 0, last = 0;
    if (!sink.TenthCosts(first, last)) return;
    std::printf("  within the walk: %.0f us per track over the first tenth, %.0f us over the last (x%.2f)\n", first,
                last, last / first);
}

}  // namespace bench
