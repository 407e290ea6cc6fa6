// What every benchmark program here needs: a clock, failures that mark the
// run, the process's CPU time, the disk cache emptied of a run's writes, and
// the shell's data folders moved below a scratch folder.
#pragma once

#include <chrono>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Prints the failure; the run ends with a failure code.
void Fail(const std::string& what);
bool Failed();

// CPU time of this process so far (user and kernel, all threads), in seconds.
// The system counts it in scheduler ticks: a run must last many of them.
double ProcessCpuSeconds();

// Asks the system to write every file below a folder to disk, so that the next
// timed run does not pay for data an earlier one left in the cache.
void FlushTree(const std::string& folder);
// Written, flushed, gone: the folder a run wrote leaves nothing for the next.
void Discard(const std::string& folder);

// The shell's common and user application data folders (where the host keeps
// its GUI data) made below root and pointed at in the registry, which must be
// a scratch one. False (with the reason) when a folder cannot be made.
bool UseShellFoldersBelow(const std::string& root, std::string& error);

}  // namespace bench
