// A job's figures, the series of runs of each side of a comparison, and how
// they are printed: median and range, ratios, and the split of a job's time
// per track.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace bench {

// One job's figures.
struct JobTimes {
    double total = 0;      // wall, Initialize to the job end's releases
    double cpu = 0;        // this process's CPU time over the same stretch
    double contents = 0;   // wall of the contents phase: Initialize to the runner's database phase
    double component = 0;  // wall inside the component's calls (0 without the timed module)
    double copies = 0;     // wall inside CopyFileA and CreateDirectoryA
    double notices = 0;    // wall inside OutputDebugStringA and PostMessageA
    long long noticeCalls = 0;
    double listing = 0;    // wall inside FindFirstFileA and FindNextFileA
    long long listingCalls = 0;
    long long calls = 0;   // calls into the component
    HRESULT result = 0;
    std::size_t failedItems = 0;
};

// Timings of one side of a comparison.
struct Series {
    std::vector<double> seconds;
    double Median() const;
    double Min() const;
    double Max() const;
};

// One side's figures per run: wall and CPU seconds, and for a job the time
// inside the component's calls.
struct Side {
    Series wall, cpu, component, copies, notices, listing;
    std::vector<long long> calls, noticeCalls, listingCalls;
    void Add(double wallSeconds, double cpuSeconds) {
        wall.seconds.push_back(wallSeconds);
        cpu.seconds.push_back(cpuSeconds);
    }
    void Add(const JobTimes& t);
};

void PrintSeries(const char* label, const Series& s);
void PrintRatio(const char* label, const Series& job, const Series& bare, double goal);
// Per track, each job run against the bare copy run just before it (BenchStats.cpp says how).
void PrintSplit(const char* job, const Side& bare, const Side& run, unsigned tracks, unsigned bareFiles);

}  // namespace bench
