#include "e2e/JobDriver.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "resource.h"
#include "common/ResString.h"
#include "support/ToolProcess.h"
#include "support/ToolWindows.h"
#include "support/UiDriver.h"

namespace zre2e {
namespace {

const DWORD kStartTimeoutMs = 60000;

struct FolderTotals {
    unsigned long long bytes = 0;
    unsigned long files = 0;
};

void AddFolder(const std::string& folder, FolderTotals& totals) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddFolder(folder + "\\" + name, totals);
        } else {
            totals.bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            ++totals.files;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

std::set<std::string> FoldersNamed(const std::string& parent, const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((parent + "\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

// A message's first line, for the console.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Watches the windows a flow meets: a numbered screenshot and a console line
// for each, and the facts of the job read from them while they are open.
class CJobWatcher {
public:
    CJobWatcher(const DriveOptions& options, JobReport& report) : m_options(options), m_report(report) {
        m_report.nextShot = options.firstShot;
    }

    zrui::WindowSeen Callback() {
        return [this](HWND window, const std::string& name) { Seen(window, name); };
    }

    void Seen(HWND window, const std::string& name) {
        std::string what = name;
        if (name == "job-progress") {
            m_start = GetTickCount();
            what = "progress dialog \"" + zrui::GetText(window) + "\": " + zrui::GetItemText(window, IDC_JOB_STATUS);
        } else if (name == "job-result-view") {
            StopClock();
            HWND list = GetDlgItem(window, IDC_RESULT_LIST);
            int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < rows; ++i)
                m_report.failed.emplace_back(zrui::ListCellText(list, i, 1), zrui::ListCellText(list, i, 2));
            what = "result view: " + std::to_string(rows) + " failed item(s)";
        } else if (name.rfind("message-", 0) == 0) {
            std::string text = zrui::MessageBoxText(window);
            if (m_start) {
                // The job's closing message.
                StopClock();
                m_report.message = text;
            }
            what = "message " + name.substr(8) + ": " + FirstLine(text);
        } else if (name == "restore-folder-dialog-page2") {
            m_destination = zrui::GetItemText(window, IDC_FOLDER_EDIT);
            m_earlierRestores = FoldersNamed(m_destination, "RestoreData*");
            what = "restore dialog, page 2: destination " + m_destination;
        } else if (name == "main") {
            what = "main window \"" + zrui::GetText(window) + "\"";
        } else if (name == "folder-browser") {
            what = "shell folder browser: " + m_options.backupFolder;
        } else if (name.find("folder-dialog") != std::string::npos) {
            what = name;
            for (char& c : what)
                if (c == '-') c = ' ';
        }
        // "backup-main", "restore-folder-dialog-page2": one job prefix.
        Shot(window, name.rfind(m_report.job + "-", 0) == 0 ? name : m_report.job + "-" + name, what);
    }

    void Shot(HWND window, const std::string& name, const std::string& what) {
        char number[16];
        std::snprintf(number, sizeof(number), "%02d", m_report.nextShot);
        bool saved = zrui::SaveScreenshot(window, m_options.shotsFolder + "\\" + number + "-" + name + ".png");
        std::printf("  step %s  %-36s %s%s\n", number, name.c_str(), what.c_str(), saved ? "" : "  (no screenshot)");
        std::fflush(stdout);
        ++m_report.nextShot;
    }

    bool Fail(const std::string& what) {
        m_report.error = what;
        std::printf("  FAILED: %s\n", what.c_str());
        std::fflush(stdout);
        return false;
    }

    const std::string& Destination() const { return m_destination; }
    const std::set<std::string>& EarlierRestores() const { return m_earlierRestores; }

private:
    void StopClock() {
        if (m_start && m_report.seconds == 0) m_report.seconds = (GetTickCount() - m_start) / 1000.0;
    }

    const DriveOptions& m_options;
    JobReport& m_report;
    DWORD m_start = 0;
    std::string m_destination;
    std::set<std::string> m_earlierRestores;
};

// Starts the tool and waits for its main dialog.
HWND StartTool(zrui::CToolProcess& tool, CJobWatcher& watcher, const std::string& program) {
    if (!tool.Started()) {
        watcher.Fail("cannot start " + program);
        return nullptr;
    }
    HWND main = zrui::WaitForMainDialog(tool.Pid(), kStartTimeoutMs);
    if (!main) watcher.Fail("the main window did not appear");
    else watcher.Seen(main, "main");
    return main;
}

bool CloseTool(CJobWatcher& watcher, HWND main, zrui::CToolProcess& tool) {
    if (!zrui::WaitForEnabled(main)) return watcher.Fail("the main window stayed disabled");
    if (!zrui::ClickButton(main, IDCANCEL)) return watcher.Fail("the quit button cannot be clicked");
    if (tool.WaitExit(30000) != 0) return watcher.Fail("the tool did not end with exit code 0");
    return true;
}

bool Backup(const DriveOptions& o, JobReport& report, CJobWatcher& watcher) {
    zrui::CToolProcess tool(o.tool);
    HWND main = StartTool(tool, watcher, o.tool);
    if (!main) return false;
    std::string error;
    if (!zrui::BackupThroughWindow(tool.Pid(), main, o.backupFolder, error, watcher.Callback()))
        return watcher.Fail(error);
    report.folder = o.backupFolder + "\\BackupData";
    FolderTotals all, audio;
    AddFolder(report.folder, all);
    AddFolder(report.folder + "\\Data\\Audio", audio);
    report.bytes = all.bytes;
    report.files = all.files;
    report.audioFiles = audio.files;
    return CloseTool(watcher, main, tool);
}

bool Restore(const DriveOptions& o, JobReport& report, CJobWatcher& watcher) {
    zrui::CToolProcess tool(o.tool);
    HWND main = StartTool(tool, watcher, o.tool);
    if (!main) return false;
    std::string error;
    if (!zrui::RestoreThroughWindow(tool.Pid(), main, o.backupFolder, o.restoreTo, error, watcher.Callback()))
        return watcher.Fail(error);
    // The folder this restore made beside any earlier ones.
    for (const std::string& name : FoldersNamed(watcher.Destination(), "RestoreData*")) {
        if (watcher.EarlierRestores().count(name)) continue;
        report.folder = watcher.Destination() + "\\" + name;
        FolderTotals totals;
        AddFolder(report.folder, totals);
        report.bytes = totals.bytes;
        report.files = totals.files;
    }
    return CloseTool(watcher, main, tool);
}

}  // namespace

namespace {

using JobFlow = bool (*)(const DriveOptions&, JobReport&, CJobWatcher&);

JobReport Drive(const char* job, JobFlow flow, const DriveOptions& options) {
    JobReport report;
    report.job = job;
    CJobWatcher watcher(options, report);
    report.driven = flow(options, report, watcher);
    return report;
}

}  // namespace

JobReport DriveBackup(const DriveOptions& options) { return Drive("backup", &Backup, options); }
JobReport DriveRestore(const DriveOptions& options) { return Drive("restore", &Restore, options); }

std::string FormatReport(const JobReport& r) {
    char number[64];
    std::string out = "job\t" + r.job + "\r\n";
    out += std::string("driven\t") + (r.driven ? "1" : "0") + "\r\n";
    if (!r.error.empty()) out += "error\t" + r.error + "\r\n";
    std::snprintf(number, sizeof(number), "seconds\t%.1f\r\n", r.seconds);
    out += number;
    out += "message\t" + FirstLine(r.message) + "\r\n";
    for (const auto& f : r.failed) out += "failed\t" + f.first + "\t" + f.second + "\r\n";
    out += "folder\t" + r.folder + "\r\n";
    out += "bytes\t" + std::to_string(r.bytes) + "\r\n";
    out += "files\t" + std::to_string(r.files) + "\r\n";
    out += "audio\t" + std::to_string(r.audioFiles) + "\r\n";
    out += "next-shot\t" + std::to_string(r.nextShot) + "\r\n";
    return out;
}

bool ParseReport(const std::string& text, JobReport& r) {
    r = JobReport();
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 2;
        std::string::size_type tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string key = line.substr(0, tab), value = line.substr(tab + 1);
        if (key == "job") r.job = value;
        else if (key == "driven") r.driven = value == "1";
        else if (key == "error") r.error = value;
        else if (key == "seconds") r.seconds = std::atof(value.c_str());
        else if (key == "message") r.message = value;
        else if (key == "failed") {
            std::string::size_type second = value.find('\t');
            r.failed.emplace_back(value.substr(0, second), second == std::string::npos ? "" : value.substr(second + 1));
        } else if (key == "folder") r.folder = value;
        else if (key == "bytes") r.bytes = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "files") r.files = std::strtoul(value.c_str(), nullptr, 10);
        else if (key == "audio") r.audioFiles = std::strtoul(value.c_str(), nullptr, 10);
        else if (key == "next-shot") r.nextShot = std::atoi(value.c_str());
    }
    return !r.job.empty();
}

}  // namespace zre2e
