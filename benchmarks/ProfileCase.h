// backup_bench --profile: where a job's thread spends its time, sampled
// (Sampler.h), for a backup of a generated library and two restores of it:
// one that replaces the host's library of as many tracks, one where the host
// has no library to replace.
#pragma once

#include <string>

namespace bench {

struct ProfileOptions {
    unsigned tracks = 20000;
    unsigned size = 16u << 10;
    unsigned intervalMs = 1;  // 0: no sampling, for a system profiler's run (the jobs' wall clock is printed)
    unsigned top = 15;
};

// The three jobs, each sampled and printed as tables; false when a job failed.
bool ProfileCase(const std::string& root, const ProfileOptions& options, bool keep);

}  // namespace bench
