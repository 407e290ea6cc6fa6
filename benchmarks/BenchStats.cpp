#include "BenchStats.h"

#include <algorithm>
#include <cstdio>

namespace bench {
namespace {

void PrintMicros(const char* label, const Series& perTrack, const char* note = "") {
    std::printf("    %-40s %8.1f  [%.1f .. %.1f]%s\n", label, perTrack.Median() * 1e6, perTrack.Min() * 1e6,
                perTrack.Max() * 1e6, note);
}

// Each run's figure divided by `count`.
Series PerItem(const Series& s, double count) {
    Series r;
    for (double v : s.seconds) r.seconds.push_back(count > 0 ? v / count : 0);
    return r;
}

}  // namespace

double Series::Median() const {
    if (seconds.empty()) return 0;
    std::vector<double> v = seconds;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Series::Min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }

double Series::Max() const { return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()); }

void Side::Add(const JobTimes& t) {
    Add(t.total, t.cpu);
    component.seconds.push_back(t.component);
    copies.seconds.push_back(t.copies);
    notices.seconds.push_back(t.notices);
    calls.push_back(t.calls);
    noticeCalls.push_back(t.noticeCalls);
    listing.seconds.push_back(t.listing);
    listingCalls.push_back(t.listingCalls);
}

void PrintSeries(const char* label, const Series& s) {
    std::printf("  %-26s median %7.2f s, range %.2f .. %.2f s over %zu runs\n", label, s.Median(), s.Min(), s.Max(),
                s.seconds.size());
}

void PrintRatio(const char* label, const Series& job, const Series& bare, double goal) {
    const double ratio = bare.Median() > 0 ? job.Median() / bare.Median() : 0;
    std::printf("  ratio %-32s %.2f (goal within %.2f)%s\n", label, ratio, goal, ratio <= goal ? "" : "  OVER");
}

// Inside the job, its copies (wall inside CopyFileA and CreateDirectoryA,
// which the bare loops call as well) and the component's calls (wall inside
// them) are timed; the rest of the job's wall is the tool's own: the trace
// lines and progress posts the steps must make (wall inside
// OutputDebugStringA and PostMessageA, timed as well) and its own code: path
// handling, file checks, lists. That direct figure counts any wait or
// preemption of the tool's code too, so it is an upper bound of its CPU; "by
// CPU" is the job's CPU less the bare copy's and the component's, which the
// copy's own swings make noisy with big files. Under Wine a call into the
// system that needs its server spends most of its time in the server's
// process, which the process's CPU time does not count: hence the wall figures.
// A job that copies a whole tree lists it as the bare copy does (FindFirstFileA,
// FindNextFileA, timed as well): "less its listings" sets the tool's code
// against the bare copy without the listing both make, shown with the calls
// of each side.
void PrintSplit(const char* job, const Side& bare, const Side& run, unsigned tracks, unsigned bareFiles) {
    Series own, code, codeLessListing, ownByCpu;
    for (std::size_t i = 0; i < run.wall.seconds.size() && i < bare.wall.seconds.size(); ++i) {
        const double component = run.component.seconds[i];
        own.seconds.push_back(run.wall.seconds[i] - run.copies.seconds[i] - component);
        code.seconds.push_back(own.seconds.back() - run.notices.seconds[i]);
        codeLessListing.seconds.push_back(code.seconds.back() - run.listing.seconds[i]);
        ownByCpu.seconds.push_back(run.cpu.seconds[i] - bare.cpu.seconds[i] - component);
    }
    const double per = tracks ? tracks : 1;
    const long long calls = run.calls.empty() ? 0 : run.calls.back();
    const long long notices = run.noticeCalls.empty() ? 0 : run.noticeCalls.back();
    std::printf("  %s, us per track, median [range] over %zu runs:\n", job, run.wall.seconds.size());
    PrintMicros("bare copy, wall", PerItem(bare.wall, tracks));
    PrintMicros("bare copy, CPU", PerItem(bare.cpu, tracks));
    PrintMicros("job, wall", PerItem(run.wall, tracks));
    PrintMicros("job, CPU", PerItem(run.cpu, tracks));
    PrintMicros("job's copies and folders, wall", PerItem(run.copies, tracks));
    char note[96];
    std::snprintf(note, sizeof(note), "  (%.1f calls per track)", calls / per);
    PrintMicros("component's calls, wall", PerItem(run.component, tracks), note);
    PrintMicros("tool's own (job - copies - component)", PerItem(own, tracks));
    std::snprintf(note, sizeof(note), "  (%.1f calls per track)", notices / per);
    PrintMicros("  of it trace lines and progress posts", PerItem(run.notices, tracks), note);
    PrintMicros("  of it the tool's code", PerItem(code, tracks));
    const long long listings = run.listingCalls.empty() ? 0 : run.listingCalls.back();
    const long long bareListings = bare.listingCalls.empty() ? 0 : bare.listingCalls.back();
    std::snprintf(note, sizeof(note), "  (%.2f calls per track; the bare copy %.2f)", listings / per, bareListings / per);
    PrintMicros("    of that folder listings", PerItem(run.listing, tracks), note);
    PrintMicros("    the tool's code less them", PerItem(codeLessListing, tracks));
    PrintMicros("tool's own by CPU (job - bare - comp.)", PerItem(ownByCpu, tracks));
    const double barePerFile = bare.cpu.Median() / (bareFiles ? bareFiles : 1);
    auto share = [&](const Series& s, const char* label) {
        const double perTrack = s.Median() / per;
        std::printf("    %s per track / bare copy's CPU per file (%.1f us, %u files): %.1f%% (goal at most 10%%)%s\n",
                    label, barePerFile * 1e6, bareFiles, barePerFile > 0 ? perTrack / barePerFile * 100 : 0.0,
                    barePerFile > 0 && perTrack <= barePerFile * 0.10 ? "" : "  OVER");
    };
    share(own, "tool's own");
    share(code, "tool's code");
    if (listings > 0) share(codeLessListing, "tool's code less its listings");
}

}  // namespace bench
