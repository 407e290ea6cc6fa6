// Times the backup and restore jobs on generated libraries of the stand-in
// host against a bare CopyFileA loop over the same files, and checks that
// folder numbering stays the rule's and that the cost per track stays the
// same at any size; reports the engine's peak working set at the largest size.
//
// A ratio is only worth something when both sides meet the same machine: the
// job and its bare loop alternate (bare, job, bare, job, ...), each run into
// a fresh folder, with everything written so far flushed to disk before each
// timed run; each side prints its median and range, and the ratio is median
// over median.
//
// Wall time alone cannot tell a small regression from a noisy machine: each
// side also gets the CPU time the process spent (GetProcessTimes), and the
// content cases run the job against the timed module (TimedModule.cpp) in
// the component's place, which adds up the time inside the component's calls,
// and with the program's CopyFileA and CreateDirectoryA timed (CallTimers.h).
// Per track that gives the bare copy, the component's share and the tool's
// own: the job less its copying less the component's calls.
//
// Runs in a registry of its own (HKLM and HKCU redirected to a scratch key)
// and a scratch folder below %TEMP%, both removed at the end.
//
// This file holds the cases; BenchJobs.h the jobs and the bare loops they
// are set against, BenchStats.h the figures and how they print.
//
//   backup_bench [--quick] [--runs N] [--only big|small|numbering] [--keep] [--no-trace]
//   backup_bench --profile [--tracks N] [--size BYTES] [--interval MS] [--top N] [--keep] [--no-trace]
//
// --profile samples the thread of a backup and of two restores instead
// (ProfileCase.h), with the product's calls left as they are: no timers in
// the import table, the stand-in's module itself in the component's place.
#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BenchJobs.h"
#include "BenchStats.h"
#include "BenchUtil.h"
#include "CallTimers.h"
#include "ProfileCase.h"
#include "ProgressSink.h"
#include "common/PathUtil.h"
#include "common/Trace.h"
#include "hostsim/core/HostInstall.h"
#include "hostsim/core/HostIo.h"
#include "hostsim/core/LibraryDb.h"
#include "hostsim/core/LibraryGen.h"
#include "support/RegistryScope.h"

namespace bench {
namespace {

// The folder rule, done the plain way: per new source folder, its last name,
// or that name with the first "%05d" not yet in use.
std::map<std::string, std::string> RuleFolders(const std::vector<hostsim::TrackRow>& rows) {
    std::map<std::string, std::string> folderOf;
    std::set<std::string> taken;
    std::map<std::string, int> next;  // only to keep this check itself fast
    for (const hostsim::TrackRow& row : rows) {
        const std::string dir = zr::FolderPart(row.path);
        if (folderOf.count(dir)) continue;
        std::string name = zr::FileNamePart(dir);
        if (name.size() == 2 && name[1] == ':') name = "root";
        std::string folder = name;
        if (taken.count(zr::FoldCase(name))) {
            for (int& i = next[zr::FoldCase(name)];; ++i) {
                char suffix[8];
                std::snprintf(suffix, sizeof(suffix), "%05d", i);
                if (!taken.count(zr::FoldCase(name + suffix))) {
                    folder = name + suffix;
                    break;
                }
            }
        }
        taken.insert(zr::FoldCase(folder));
        folderOf[dir] = folder;
    }
    return folderOf;
}

// True when every track of the backup's database sits where the rule puts it.
bool CheckNumbering(const std::vector<hostsim::TrackRow>& live, const std::string& backupDb) {
    const std::map<std::string, std::string> folderOf = RuleFolders(live);
    const std::vector<hostsim::TrackRow> backup = Load(backupDb);
    std::size_t b = 0;
    for (const hostsim::TrackRow& row : live) {
        if (GetFileAttributesA(row.path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        const std::string expected = folderOf.at(zr::FolderPart(row.path)) + "\\" + zr::FileNamePart(row.path);
        if (b >= backup.size() || backup[b].path != expected) {
            Fail("track " + row.title + " at \"" + (b < backup.size() ? backup[b].path : "") + "\", rule says \"" +
                 expected + "\"");
            return false;
        }
        ++b;
    }
    return b == backup.size();
}

// A generated library of n tracks of `size` bytes: its backups beside bare
// copies of its files, then restores of the backup beside bare copies of the
// backup tree.
void ContentCase(const char* label, const std::string& root, unsigned tracks, unsigned size, unsigned runs,
                 CProgressSink& sink, bool keep) {
    std::printf("\n== %s: %u tracks of %u bytes\n", label, tracks, size);
    std::fflush(stdout);
    Scratch s;
    if (!Install(s, root, true)) return;
    hostsim::LibraryOptions options;
    options.tracks = tracks;
    options.folders = tracks / 10 ? tracks / 10 : 1;
    options.fileSize = size;
    options.picturesPerTrack = 1;
    options.secureTracks = tracks / 100;
    options.missingTracks = 0;
    std::string error;
    auto start = Clock::now();
    if (!hostsim::CreateLibrary(s.host, options, error)) {
        Fail(error);
        Remove(s, keep);
        return;
    }
    const std::vector<hostsim::TrackRow> rows = Load(s.host.contentsDb);
    std::printf("  library made in %.1f s (%.1f MB of content)\n", Seconds(start, Clock::now()),
                FileBytes(rows) / 1048576.0);
    FlushTree(root);

    const std::string backupData = root + "\\Backup\\BackupData";
    Side bareBackup, backup;
    unsigned bareFiles = 0;
    if (CompareBackups(rows, root, runs, sink, backupData, bareBackup, backup, bareFiles)) {
        if (sink.Count() != tracks || sink.Last() != tracks) Fail("progress posts " + std::to_string(sink.Count()));
        if (!CheckNumbering(rows, backupData + "\\DB\\NMLDB\\contents.db")) Fail("numbering differs from the rule");
        PrintTenths(sink);
        PrintSeries("bare copy of the files", bareBackup.wall);
        PrintSeries("backup job", backup.wall);
        PrintRatio("backup job / bare copy", backup.wall, bareBackup.wall, 1.15);
        PrintSplit("backup", bareBackup, backup, tracks, bareFiles);

        Side bareRestore, restore;
        unsigned treeFiles = 0;
        if (CompareRestores(s.host, backupData, root, runs, tracks, sink, bareRestore, restore, treeFiles)) {
            PrintSeries("bare copy of the tree", bareRestore.wall);
            PrintSeries("restore job", restore.wall);
            PrintRatio("restore job / bare copy", restore.wall, bareRestore.wall, 1.15);
            PrintSplit("restore", bareRestore, restore, tracks, treeFiles);
        }
    }
    std::fflush(stdout);
    Remove(s, keep);
}

// A library of `tracks` tracks in `folders` source folders, `repeated` of
// which are named "Disc 1" under different parents; tiny content files.
bool MakeNumberingLibrary(Scratch& s, unsigned tracks, unsigned folders, unsigned repeated) {
    std::string error;
    const std::string music = s.root + "\\Music";
    const unsigned perFolder = tracks / folders;
    const unsigned every = folders / repeated;  // every n-th folder is a "Disc 1"
    std::vector<hostsim::TrackRow> rows;
    rows.reserve(tracks);
    char buffer[MAX_PATH];
    for (unsigned f = 0; f < folders; ++f) {
        if (f % every == 0 && f / every < repeated) {
            std::snprintf(buffer, sizeof(buffer), "%s\\Artist %05u\\Disc 1", music.c_str(), f);
        } else {
            std::snprintf(buffer, sizeof(buffer), "%s\\Artist %05u\\Album %05u", music.c_str(), f, f);
        }
        const std::string folder = buffer;
        if (!hostsim::MakeFolder(folder, error)) {
            Fail(error);
            return false;
        }
        for (unsigned k = 0; k < perFolder; ++k) {
            hostsim::TrackRow row;
            std::snprintf(buffer, sizeof(buffer), "Track %05u-%u", f, k);
            row.title = buffer;
            std::snprintf(buffer, sizeof(buffer), "\\%02u Track.wma", k + 1);
            row.path = folder + buffer;
            if (!hostsim::WriteWholeFile(row.path, row.title, error)) {
                Fail(error);
                return false;
            }
            rows.push_back(row);
        }
    }
    hostsim::CLibraryDb db;
    bool ok = db.Open(s.host.contentsDb) && db.Begin();
    for (std::size_t i = 0; ok && i < rows.size(); ++i) ok = db.Insert(rows[i]);
    if (!ok || !db.Commit()) {
        Fail("cannot write the numbering library");
        return false;
    }
    return true;
}

struct NumberingResult {
    double perTrackMicros = 0;
    double barePerTrackMicros = 0;
    double restorePerTrackMicros = 0;      // the whole restore job, median
    double bareTreePerTrackMicros = 0;     // the bare copy of the backup tree, median
    bool ok = false;
};

NumberingResult NumberingCase(const std::string& root, unsigned tracks, unsigned folders, unsigned repeated,
                              unsigned runs, bool measurePeak, CProgressSink& sink, bool keep) {
    NumberingResult r;
    std::printf("\n== numbering: %u tracks in %u source folders, %u of them named \"Disc 1\"\n", tracks, folders,
                repeated);
    std::fflush(stdout);
    Scratch s;
    if (!Install(s, root, false)) return r;
    const auto start = Clock::now();
    if (!MakeNumberingLibrary(s, tracks, folders, repeated)) {
        Remove(s, keep);
        return r;
    }
    std::printf("  library made in %.1f s\n", Seconds(start, Clock::now()));
    const std::vector<hostsim::TrackRow> rows = Load(s.host.contentsDb);

    const std::string backupData = root + "\\Backup\\BackupData";
    const JobTimes t = RunBackup(backupData, sink);
    r.ok = t.result == 0 && CheckNumbering(rows, backupData + "\\DB\\NMLDB\\contents.db");
    if (t.result != 0) Fail("backup returned " + std::to_string(static_cast<long>(t.result)));

    // The last "Disc 1" folder carries the number repeated - 2.
    char last[64];
    std::snprintf(last, sizeof(last), "\\Data\\Audio\\Disc 1%05u", repeated - 2);
    char beyond[64];
    std::snprintf(beyond, sizeof(beyond), "\\Data\\Audio\\Disc 1%05u", repeated - 1);
    if (!PathIsDirectoryA((backupData + last).c_str()) || PathIsDirectoryA((backupData + beyond).c_str())) {
        Fail(std::string("expected the last numbered folder to be") + last);
        r.ok = false;
    }

    // What the plain search would have cost: one folder test per number tried,
    // 1 + 2 + ... + (repeated - 1) of them for the repeated name, each an
    // existing folder. And what a test for a name that is not there costs in
    // a folder this large (the file system may have to read it all).
    const std::string audio = backupData + "\\Data\\Audio\\";
    const unsigned probes = 2000;
    auto probeStart = Clock::now();
    for (unsigned i = 0; i < probes; ++i) PathIsDirectoryA((audio + "Disc 100001").c_str());
    const double perProbe = Seconds(probeStart, Clock::now()) / probes;
    probeStart = Clock::now();
    for (unsigned i = 0; i < 20; ++i) PathIsDirectoryA((audio + "Not there " + std::to_string(i)).c_str());
    const double perMiss = Seconds(probeStart, Clock::now()) / 20;
    const double naiveExtra = perProbe * (static_cast<double>(repeated) * (repeated - 1) / 2);
    FlushTree(root);

    unsigned copied = 0;
    const double bare = BareCopy(rows, root + "\\Bare", copied);
    hostsim::RemoveTree(root + "\\Bare");

    r.perTrackMicros = t.contents / tracks * 1e6;
    r.barePerTrackMicros = bare / tracks * 1e6;
    std::printf("  backup job %.2f s, contents phase %.2f s = %.1f us per track; numbering %s\n", t.total, t.contents,
                r.perTrackMicros, r.ok ? "exactly the rule's" : "WRONG");
    std::printf("  bare CopyFileA loop (same folders) %.2f s = %.1f us per track; ratio %.2f\n", bare,
                r.barePerTrackMicros, r.perTrackMicros / r.barePerTrackMicros);
    PrintTenths(sink);
    std::printf("  a search from 00000 for every repeated folder would add ~%.1f s (%.0f folder tests at %.1f us)\n",
                naiveExtra, static_cast<double>(repeated) * (repeated - 1) / 2, perProbe * 1e6);
    std::printf("  testing for a name that is not in Data\\Audio (%u folders) costs %.0f us\n", folders, perMiss * 1e6);
    std::fflush(stdout);

    if (measurePeak && r.ok) {
        // Each job alone in a process of its own, so that its peak is the
        // engine's; the backup while the host still has its own library.
        double baseline = 0;
        const std::string peakBackup = root + "\\PeakBackup\\BackupData";
        const double backupPeak = ChildPeakMiB("backup", peakBackup, "-", root + "\\peak.txt", baseline);
        std::printf("  peak working set, backup of %u tracks: %.1f MiB (process at start %.1f MiB; goal under 64)%s\n",
                    tracks, backupPeak, baseline, backupPeak > 0 && backupPeak < 64 ? "" : "  OVER or unknown");
        Discard(root + "\\PeakBackup");
        const double walkPeak = ChildPeakMiB("walk", "-", "-", root + "\\peak.txt", baseline);
        std::printf("  peak working set, the component alone walking the library: %.1f MiB (process at start %.1f MiB):"
                    " the tool's own share of the backup's peak is %.1f MiB\n",
                    walkPeak, baseline, backupPeak - walkPeak);
    }

    Side bareTree, restore;
    unsigned treeFiles = 0;
    if (r.ok && CompareRestores(s.host, backupData, root, runs, tracks, sink, bareTree, restore, treeFiles)) {
        r.restorePerTrackMicros = restore.wall.Median() / tracks * 1e6;
        r.bareTreePerTrackMicros = bareTree.wall.Median() / tracks * 1e6;
        PrintSeries("bare copy of the tree", bareTree.wall);
        PrintSeries("restore job", restore.wall);
        std::printf("  restore job %.1f us per track, bare copy of the tree %.1f us per track; ratio %.2f\n",
                    r.restorePerTrackMicros, r.bareTreePerTrackMicros,
                    r.restorePerTrackMicros / r.bareTreePerTrackMicros);
    } else {
        r.ok = false;
    }

    if (measurePeak && r.ok) {
        double baseline = 0;
        const std::string dest = root + "\\PeakDest";
        CreateDirectoryA(dest.c_str(), nullptr);
        const double restorePeak = ChildPeakMiB("restore", backupData, dest, root + "\\peak.txt", baseline);
        std::printf("  peak working set, restore of %u tracks: %.1f MiB (process at start %.1f MiB; goal under 64)%s\n",
                    tracks, restorePeak, baseline, restorePeak > 0 && restorePeak < 64 ? "" : "  OVER or unknown");
        std::fflush(stdout);
    }
    Remove(s, keep);
    return r;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    if (argc > 1 && !std::strcmp(argv[1], "--job")) return RunJobChild(argc, argv);

    bool quick = false, keep = false, traces = true, profile = false;
    unsigned runs = 3;
    std::string only;
    ProfileOptions sampling;
    auto number = [&](int& i) { return static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10)); };
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quick")) {
            quick = true;
        } else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (runs < 1) runs = 1;
        } else if (!std::strcmp(argv[i], "--no-trace")) {
            // Shows what the debugger trace costs: under Wine each line is a slow system call.
            traces = false;
        } else if (!std::strcmp(argv[i], "--keep")) {
            keep = true;
        } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
            only = argv[++i];
        } else if (!std::strcmp(argv[i], "--profile")) {
            profile = true;
        } else if (!std::strcmp(argv[i], "--tracks") && i + 1 < argc) {
            sampling.tracks = std::max(1u, number(i));
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            sampling.size = number(i);
        } else if (!std::strcmp(argv[i], "--interval") && i + 1 < argc) {
            sampling.intervalMs = number(i);
        } else if (!std::strcmp(argv[i], "--top") && i + 1 < argc) {
            sampling.top = number(i);
        } else {
            std::printf("usage: backup_bench [--quick] [--runs N] [--only big|small|numbering] [--keep] [--no-trace]\n"
                        "       backup_bench --profile [--tracks N] [--size BYTES] [--interval MS] [--top N] [--keep]"
                        " [--no-trace]\n");
            return 2;
        }
    }

    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    char name[64];
    std::snprintf(name, sizeof(name), "zr_bench_%lu", GetCurrentProcessId());
    const std::string root = std::string(temp) + name;

    if (!traces) zr::SetTraceSink([](const char*) {});
    if (profile) {
        zrtest::CRegistryScope registry(RegistryKeyOf(GetCurrentProcessId()));
        std::printf("backup_bench --profile: scratch folder %s\n", root.c_str());
        ProfileCase(root + "\\profile", sampling, keep);
        if (!keep) hostsim::RemoveTree(root);
        std::printf(Failed() ? "\nbackup_bench: FAILED\n" : "\nbackup_bench: done\n");
        return Failed() ? 1 : 0;
    }
    if (!TimeSystemCalls()) Fail("the copying, trace and progress calls cannot be timed: an import of them is missing");
    zrtest::CRegistryScope registry(RegistryKeyOf(GetCurrentProcessId()));
    CProgressSink sink;
    std::printf("backup_bench%s: scratch folder %s\n", quick ? " (quick)" : "", root.c_str());

    if (only.empty() || only == "big") {
        ContentCase("big files", root + "\\big", quick ? 200 : 2000, quick ? 1u << 20 : 4u << 20, runs, sink, keep);
    }
    if (only.empty() || only == "small") {
        ContentCase("small files", root + "\\small", quick ? 2000 : 20000, 16u << 10, runs, sink, keep);
    }
    if (only.empty() || only == "numbering") {
        const unsigned scale = quick ? 10 : 1;
        NumberingResult small =
            NumberingCase(root + "\\num-small", 5000 / scale, 1000 / scale, 200 / scale, runs, false, sink, keep);
        NumberingResult large =
            NumberingCase(root + "\\num-large", 50000 / scale, 10000 / scale, 2000 / scale, runs, true, sink, keep);
        if (small.ok && large.ok) {
            std::printf("\n  per-track cost, large / small library: backup %.2f, bare copy %.2f;"
                        " restore %.2f, bare copy of the tree %.2f (goal within 1.20)\n",
                        large.perTrackMicros / small.perTrackMicros,
                        large.barePerTrackMicros / small.barePerTrackMicros,
                        large.restorePerTrackMicros / small.restorePerTrackMicros,
                        large.bareTreePerTrackMicros / small.bareTreePerTrackMicros);
        }
    }
    if (!keep) hostsim::RemoveTree(root);
    std::printf(Failed() ? "\nbackup_bench: FAILED\n" : "\nbackup_bench: done\n");
    return Failed() ? 1 : 0;
}
