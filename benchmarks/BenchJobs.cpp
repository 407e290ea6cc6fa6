#include "BenchJobs.h"

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "BenchUtil.h"
#include "CallTimers.h"
#include "common/PathUtil.h"
#include "common/Trace.h"
#include "app/settings/HostSettings.h"
#include "engine/BackupRestore.h"
#include "common/ComRef.h"
#include "hostsim/core/HostIo.h"
#include "job/steps/JobSteps.h"
#include "support/RegistryScope.h"

namespace bench {
namespace {

// The job runner's side of the steps: never cancelled; hands the progress to
// the sink, when there is one, and marks where the contents phase ends.
class CBenchRunner : public zr::IJobRunner {
public:
    CBenchRunner(Clock::time_point start, CProgressSink* sink) : m_start(start), m_sink(sink) {}
    void Progress(DWORD done, DWORD) override {
        if (m_sink) m_sink->Take(done);
    }
    bool IsCancelled() override { return false; }
    void EnterDatabasePhase() override { m_contents = Seconds(m_start, Clock::now()); }
    double Contents() const { return m_contents; }

private:
    Clock::time_point m_start;
    CProgressSink* m_sink;
    double m_contents = 0;
};

// Ends the job as the runner does, reading the timed module's totals first;
// the module must be gone afterwards, so that the next job starts from zero.
void EndJob(zr::CBackupRestore& engine, JobTimes& t) {
    using TotalsProc = void(STDMETHODCALLTYPE*)(long long*, long long*);
    HMODULE held = nullptr;
    TotalsProc totals = nullptr;
    const HMODULE module = engine.MediaLibraryModule();
    if (module && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<const char*>(module),
                                     &held)) {
        totals = reinterpret_cast<TotalsProc>(reinterpret_cast<void*>(GetProcAddress(held, "TimedModuleTotals")));
    }
    engine.ReleaseJob();
    if (!held) return;
    if (totals) {
        long long ticks = 0;
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        totals(&ticks, &t.calls);
        t.component = static_cast<double>(ticks) / frequency.QuadPart;
    }
    FreeLibrary(held);
}

// One job as the runner runs it: Initialize, the steps, the releases; timed,
// and sampled when there is a sampler.
template <class Steps>
JobTimes RunJob(CProgressSink* sink, CSampler* sampler, Steps steps) {
    JobTimes t;
    if (sampler && !sampler->Start()) Fail("the sampler cannot start");
    const double cpuStart = ProcessCpuSeconds();
    const CallTotals callsStart = TimedCallTotals();
    const auto start = Clock::now();
    CBenchRunner runner(start, sink);
    zr::CBackupRestore engine;
    HRESULT hr = engine.Initialize(runner);
    if (SUCCEEDED(hr)) hr = steps(engine, runner);
    EndJob(engine, t);
    const CallTotals calls = TimedCallTotals();
    t.total = Seconds(start, Clock::now());
    t.cpu = ProcessCpuSeconds() - cpuStart;
    if (sampler) sampler->Stop();
    t.copies = calls.copySeconds - callsStart.copySeconds;
    t.notices = calls.noticeSeconds - callsStart.noticeSeconds;
    t.noticeCalls = calls.notices - callsStart.notices;
    t.listing = calls.listingSeconds - callsStart.listingSeconds;
    t.listingCalls = calls.listings - callsStart.listings;
    t.contents = runner.Contents();
    t.result = hr;
    t.failedItems = engine.FailedItems().size();
    return t;
}

// The whole backup tree copied file by file, as a restore copies it.
void BareTreeCopy(const std::string& from, const std::string& to, unsigned& copied) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((from + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
        const std::string source = from + "\\" + data.cFileName;
        const std::string target = to + "\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            BareTreeCopy(source, target, copied);
        } else if (CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            ++copied;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::string RegistryKeyOf(DWORD owner) { return "Software\\ZRBackupBench\\" + std::to_string(owner); }

bool Install(Scratch& s, const std::string& root, bool timed) {
    s.root = root;
    hostsim::RemoveTree(root);
    std::string error;
    if (!hostsim::MakeFolder(root, error) || !UseShellFoldersBelow(root, error)) {
        Fail(error);
        return false;
    }
    hostsim::InstallOptions options;
    options.root = root + "\\Host";
    options.major = 7;
    const std::string module = hostsim::ProgramFolder() + "\\NerithMediaLibrary.dll";
    options.moduleSource = timed ? hostsim::ProgramFolder() + "\\timed\\NerithMediaLibrary.dll" : module;
    if (!hostsim::Install(options, s.host, error)) {
        Fail(error);
        return false;
    }
    if (timed && !CopyFileA(module.c_str(), (s.host.libraryFolder + "\\NerithMediaLibrary.inner.dll").c_str(), FALSE)) {
        Fail("cannot place the real module beside the timed one");
        return false;
    }
    s.installed = true;
    return true;
}

void Remove(Scratch& s, bool keep) {
    if (keep) return;
    if (s.installed) hostsim::Uninstall(s.host);
    hostsim::RemoveTree(s.root);
}

std::vector<hostsim::TrackRow> Load(const std::string& contentsDb) {
    hostsim::CLibraryDb db;
    std::vector<hostsim::TrackRow> rows;
    if (!db.Open(contentsDb) || !db.LoadAll(rows)) Fail("cannot read " + contentsDb);
    return rows;
}

unsigned long long FileBytes(const std::vector<hostsim::TrackRow>& rows) {
    unsigned long long total = 0;
    for (const hostsim::TrackRow& row : rows) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(row.path.c_str(), GetFileExInfoStandard, &data)) {
            total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    }
    return total;
}

JobTimes RunBackup(const std::string& backupData, CProgressSink& sink, CSampler* sampler) {
    sink.Reset();
    return RunJob(&sink, sampler, [&](zr::CBackupRestore& engine, CBenchRunner& runner) {
        return zr::RunBackupSteps(engine, backupData, runner);
    });
}

JobTimes RunRestore(const std::string& backupData, const std::string& restoreTo, CProgressSink* sink,
                    CSampler* sampler) {
    if (sink) sink->Reset();
    return RunJob(sink, sampler, [&](zr::CBackupRestore& engine, CBenchRunner& runner) {
        return zr::RunRestoreSteps(engine, backupData, restoreTo, runner);
    });
}

// Each track's content file into one target folder per source folder, as the
// backup has it (a flat folder of thousands of files would measure the file
// system's lookups, not the copying), then every distinct picture of a track
// without secure content into one flat folder, as the backup does.
double BareCopy(const std::vector<hostsim::TrackRow>& rows, const std::string& target, unsigned& copied) {
    std::map<std::string, std::string> folders;
    copied = 0;
    const std::size_t tenth = rows.size() / 10;
    Clock::time_point marks[4];
    const auto start = Clock::now();
    CreateDirectoryA(target.c_str(), nullptr);
    for (const hostsim::TrackRow& row : rows) {
        const std::string dir = zr::FolderPart(row.path);
        auto known = folders.find(dir);
        if (known == folders.end()) {
            const std::string folder = target + "\\" + std::to_string(folders.size());
            CreateDirectoryA(folder.c_str(), nullptr);
            known = folders.emplace(dir, folder).first;
        }
        const std::size_t i = &row - &rows[0];
        if (tenth && i == 0) marks[0] = Clock::now();
        if (tenth && i == tenth) marks[1] = Clock::now();
        if (tenth && i == rows.size() - 1 - tenth) marks[2] = Clock::now();
        if (CopyFileA(row.path.c_str(), (known->second + "\\" + zr::FileNamePart(row.path)).c_str(), FALSE)) ++copied;
    }
    marks[3] = Clock::now();
    const std::string pictures = target + "\\Picture";
    CreateDirectoryA(pictures.c_str(), nullptr);
    std::set<std::string> seen;
    for (const hostsim::TrackRow& row : rows) {
        if (row.attributes & (NM_ATTR_SECURE_A | NM_ATTR_SECURE_B)) continue;
        for (const std::string& picture : row.pictures) {
            if (!seen.insert(picture).second) continue;
            const std::string to = pictures + "\\" + std::to_string(seen.size()) + "_" + zr::FileNamePart(picture);
            if (CopyFileA(picture.c_str(), to.c_str(), FALSE)) ++copied;
        }
    }
    if (tenth >= 2) {
        const double first = Seconds(marks[0], marks[1]) / tenth * 1e6;
        const double last = Seconds(marks[2], marks[3]) / tenth * 1e6;
        std::printf("  bare copy: %.0f us per file over the first tenth, %.0f us over the last (x%.2f)\n", first, last,
                    last / first);
    }
    return Seconds(start, Clock::now());
}

bool CompareBackups(const std::vector<hostsim::TrackRow>& rows, const std::string& root, unsigned runs,
                    CProgressSink& sink, const std::string& backupData, Side& bare, Side& job, unsigned& files) {
    for (unsigned i = 0; i < runs; ++i) {
        const std::string bareFolder = root + "\\Bare";
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        BareCopy(rows, bareFolder, files);
        bare.Add(Seconds(start, Clock::now()), ProcessCpuSeconds() - cpuStart);
        Discard(bareFolder);

        hostsim::RemoveTree(zr::FolderPart(backupData));
        const JobTimes t = RunBackup(backupData, sink);
        if (t.result != 0) {
            Fail("backup returned " + std::to_string(static_cast<long>(t.result)));
            return false;
        }
        job.Add(t);
        if (i + 1 < runs) Discard(zr::FolderPart(backupData));
    }
    FlushTree(zr::FolderPart(backupData));
    return true;
}

bool CompareRestores(const hostsim::InstalledHost& host, const std::string& backupData, const std::string& root,
                     unsigned runs, unsigned tracks, CProgressSink& sink, Side& bare, Side& job, unsigned& files) {
    for (unsigned i = 0; i < runs; ++i) {
        files = 0;
        const std::string bareFolder = root + "\\BareTree";
        const double cpuStart = ProcessCpuSeconds();
        const long long listingsStart = TimedCallTotals().listings;
        const auto start = Clock::now();
        BareTreeCopy(backupData, bareFolder, files);
        bare.Add(Seconds(start, Clock::now()), ProcessCpuSeconds() - cpuStart);
        bare.listingCalls.push_back(TimedCallTotals().listings - listingsStart);
        Discard(bareFolder);

        const std::string dest = root + "\\Dest";
        hostsim::RemoveTree(dest);
        CreateDirectoryA(dest.c_str(), nullptr);
        const JobTimes t = RunRestore(backupData, dest, &sink);
        if (t.result != 0) {
            Fail("restore returned " + std::to_string(static_cast<long>(t.result)));
            return false;
        }
        if (sink.Count() != tracks || sink.Last() != tracks) {
            Fail("restore progress posts " + std::to_string(sink.Count()));
        }
        job.Add(t);
        Discard(dest);
        RemoveRestoreLeftovers(host);
    }
    return true;
}

void RemoveRestoreLeftovers(const hostsim::InstalledHost& host) {
    const std::string parent = zr::FolderPart(host.databasesFolder);
    const std::string name = zr::FileNamePart(host.databasesFolder);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((parent + "\\" + name + ".*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> leftovers;
    do {
        // The pattern matches the live folder's own name too (an empty extension).
        if (_stricmp(data.cFileName, name.c_str()) == 0) continue;
        leftovers.push_back(parent + "\\" + data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    for (const std::string& folder : leftovers) Discard(folder);
}

double ChildPeakMiB(const char* kind, const std::string& backupData, const std::string& restoreTo,
                    const std::string& report, double& baselineMiB) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof(exe));
    std::string command = std::string("\"") + exe + "\" --job " + kind + " " + std::to_string(GetCurrentProcessId()) +
                          " \"" + backupData + "\" \"" + restoreTo + "\" \"" + report + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (code != 0) Fail(std::string(kind) + " in the child process returned " + std::to_string(code));
    unsigned long long peak = 0, baseline = 0;
    FILE* f = std::fopen(report.c_str(), "r");
    if (!f) return 0;
    if (std::fscanf(f, "%llu %llu", &peak, &baseline) != 2) peak = 0;
    std::fclose(f);
    baselineMiB = baseline / 1048576.0;
    return peak / 1048576.0;
}

int RunJobChild(int argc, char** argv) {
    if (argc < 7) return 2;
    const std::string kind = argv[2];
    zrtest::CRegistryScope registry(RegistryKeyOf(std::strtoul(argv[3], nullptr, 10)), false);
    zr::SetTraceSink([](const char*) {});
    PROCESS_MEMORY_COUNTERS before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    HRESULT hr = 0;
    if (kind == "backup") {
        zr::CBackupRestore engine;
        CBenchRunner runner(Clock::now(), nullptr);
        hr = engine.Initialize(runner);
        if (hr == 0) hr = zr::RunBackupSteps(engine, argv[4], runner);
        engine.ReleaseJob();
    } else if (kind == "walk") {
        // The component alone: the host's library mounted and each track read
        // as a job reads it, so that what the component holds can be told
        // from what the tool holds.
        std::string libraryFolder, mediaFolder;
        zr::GetNmlProgramPath(libraryFolder);
        zr::GetMediaPath(mediaFolder);
        HMODULE module = LoadLibraryA((libraryFolder + "\\NerithMediaLibrary.dll").c_str());
        auto entryPoint = module ? reinterpret_cast<NerithMediaLibraryInterfaceProc>(reinterpret_cast<void*>(
                                       GetProcAddress(module, "NerithMediaLibraryInterface")))
                                 : nullptr;
        INMLibrary* library = nullptr;
        hr = entryPoint ? entryPoint(&library) : E_FAIL;
        zr::CBuilder builder;
        if (hr == 0) hr = builder.Attach(library);
        if (hr == 0) {
            const std::string db = zr::DatabasesFolderOf(libraryFolder) + "\\contents.db";
            hr = builder.MountHDD(db.c_str(), (mediaFolder + "\\Picture").c_str());
        }
        if (hr == 0 && builder.Volume()) {
            zr::CRef<INMContent> entry(builder.Volume()->GetFirstContent(zr::IID_INMTrack));
            for (; entry; entry.Attach(entry->GetNextContent(zr::IID_INMTrack))) {
                zr::CRef<INMTrack> track;
                if (zr::QueryRef(entry.Get(), zr::IID_INMTrack, track)) {
                    track->GetTitle();
                    track->GetFilePath();
                }
            }
            entry.Reset();
            builder.UnmountHDD();
        }
        builder.Detach();
        if (module) FreeLibrary(module);
    } else {
        hr = RunRestore(argv[4], argv[5], nullptr).result;
    }
    PROCESS_MEMORY_COUNTERS after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    FILE* f = std::fopen(argv[6], "w");
    if (f) {
        std::fprintf(f, "%llu %llu\n", static_cast<unsigned long long>(after.PeakWorkingSetSize),
                     static_cast<unsigned long long>(before.WorkingSetSize));
        std::fclose(f);
    }
    if (hr != 0) std::printf("  %s job in the child process: 0x%08lx\n", kind.c_str(), static_cast<unsigned long>(hr));
    return hr == 0 ? 0 : 1;
}

}  // namespace bench
