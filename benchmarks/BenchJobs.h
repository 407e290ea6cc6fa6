// The jobs backup_bench times and what it sets them against: a stand-in host
// in a scratch folder, one backup or restore run as the job runner runs it
// (with the component's, the copies' and the notices' time read out), the
// bare copy loops, the alternation of the two sides, and a job alone in a
// child process for its peak working set.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "BenchStats.h"
#include "ProgressSink.h"
#include "Sampler.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/LibraryDb.h"

namespace bench {

// The scratch registry key of the bench process `owner`, which its child processes share.
std::string RegistryKeyOf(DWORD owner);

struct Scratch {
    std::string root;
    hostsim::InstalledHost host;
    bool installed = false;
};

// A stand-in host below root (removed first), the shell's folders inside it.
// timed: the timed module in the component's place, the real one beside it.
bool Install(Scratch& s, const std::string& root, bool timed);
void Remove(Scratch& s, bool keep);

// A library's rows, in its order (a failure when it cannot be read).
std::vector<hostsim::TrackRow> Load(const std::string& contentsDb);
unsigned long long FileBytes(const std::vector<hostsim::TrackRow>& rows);

// One job: Initialize, the runner's steps, the runner's releases. The sink
// may be null for a restore (no posts); a sampler samples the job's thread
// from Initialize to the releases.
JobTimes RunBackup(const std::string& backupData, CProgressSink& sink, CSampler* sampler = nullptr);
JobTimes RunRestore(const std::string& backupData, const std::string& restoreTo, CProgressSink* sink,
                    CSampler* sampler = nullptr);

// The files a backup copies, copied one by one (BenchJobs.cpp says how);
// returns the wall seconds.
double BareCopy(const std::vector<hostsim::TrackRow>& rows, const std::string& target, unsigned& copied);

// Backups alternated with bare copies of the library's files; the last backup
// stays for the restores. False when a backup failed.
bool CompareBackups(const std::vector<hostsim::TrackRow>& rows, const std::string& root, unsigned runs,
                    CProgressSink& sink, const std::string& backupData, Side& bare, Side& job, unsigned& files);
// Restores of one backup alternated with bare copies of its tree, each into a
// fresh folder. False when a restore failed.
bool CompareRestores(const hostsim::InstalledHost& host, const std::string& backupData, const std::string& root,
                     unsigned runs, unsigned tracks, CProgressSink& sink, Side& bare, Side& job, unsigned& files);

// The folders a restore leaves beside the host's databases folder: only the
// live one stays, so that every restore meets the same library layout.
void RemoveRestoreLeftovers(const hostsim::InstalledHost& host);

// The engine's peak working set for one job ("backup", "walk", "restore"),
// measured in a child process that runs only that job (this process's own
// peak includes the library's making). 0 when the child could not report it.
double ChildPeakMiB(const char* kind, const std::string& backupData, const std::string& restoreTo,
                    const std::string& report, double& baselineMiB);
// The child's side (backup_bench --job ...): one job, then its peak working set into the report file.
int RunJobChild(int argc, char** argv);

}  // namespace bench
