#include "ProfileCase.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchJobs.h"
#include "BenchUtil.h"
#include "ProfileReport.h"
#include "ProgressSink.h"
#include "Sampler.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryGen.h"

namespace bench {
namespace {

// The wall clock as Unix seconds, which a system profiler's record of the
// same run can be cut by (perf record -k CLOCK_REALTIME; perf report --time from,to).
double UnixSeconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000ull) / 1e7;
}

// One job, sampled unless the interval is 0; its tables printed.
template <class Job>
bool Sampled(const char* title, unsigned tracks, unsigned top, unsigned intervalMs, Job job) {
    CSampler sampler;
    sampler.SetInterval(intervalMs);
    const double from = UnixSeconds();
    const JobTimes t = job(intervalMs ? &sampler : nullptr);
    const double to = UnixSeconds();
    if (t.result != 0) {
        Fail(std::string(title) + " returned " + std::to_string(static_cast<long>(t.result)));
        return false;
    }
    std::printf("\n== %s: %.2f s = %.1f us per track (the samples held the thread %.1f us per track),"
                " %zu items listed; wall clock %.6f,%.6f\n",
                title, t.total, t.total / tracks * 1e6, sampler.HeldSeconds() / tracks * 1e6, t.failedItems, from, to);
    if (intervalMs) PrintProfile(title, sampler, tracks, top);
    std::fflush(stdout);
    return true;
}

bool SampledRestore(const char* title, const Scratch& s, const std::string& backupData, const ProfileOptions& options,
                    CProgressSink& sink) {
    const std::string dest = s.root + "\\Dest";
    hostsim::RemoveTree(dest);
    CreateDirectoryA(dest.c_str(), nullptr);
    const bool ok = Sampled(title, options.tracks, options.top, options.intervalMs,
                            [&](CSampler* sampler) { return RunRestore(backupData, dest, &sink, sampler); });
    Discard(dest);
    RemoveRestoreLeftovers(s.host);
    return ok;
}

}  // namespace

bool ProfileCase(const std::string& root, const ProfileOptions& options, bool keep) {
    std::printf("\n== profile: %u tracks of %u bytes, %s\n", options.tracks, options.size,
                options.intervalMs ? ("a sample every " + std::to_string(options.intervalMs) + " ms").c_str()
                                   : "not sampled");
    std::fflush(stdout);
    Scratch s;
    if (!Install(s, root, false)) return false;
    hostsim::LibraryOptions library;
    library.tracks = options.tracks;
    library.folders = options.tracks / 10 ? options.tracks / 10 : 1;
    library.fileSize = options.size;
    library.picturesPerTrack = 1;
    library.secureTracks = options.tracks / 100;
    library.missingTracks = 0;
    std::string error;
    if (!hostsim::CreateLibrary(s.host, library, error)) {
        Fail(error);
        Remove(s, keep);
        return false;
    }
    FlushTree(root);
    std::printf("  library made\n");
    std::fflush(stdout);

    CProgressSink sink;
    const std::string backupData = root + "\\Backup\\BackupData";
    bool ok = Sampled("backup", options.tracks, options.top, options.intervalMs,
                      [&](CSampler* sampler) { return RunBackup(backupData, sink, sampler); });
    if (ok) {
        FlushTree(root + "\\Backup");
        // The first restore replaces the generated library, of as many tracks.
        ok = SampledRestore("restore, replacing a library", s, backupData, options, sink);
    }
    if (ok) {
        // As the restores of an earlier bench ran: the host's databases folder gone.
        Discard(s.host.databasesFolder);
        ok = SampledRestore("restore, no library to replace", s, backupData, options, sink);
    }
    Remove(s, keep);
    return ok;
}

}  // namespace bench
