#include "e2e/JobDriver.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "../../res/resource.h"
#include "common/ResString.h"
#include "support/ToolProcess.h"
#include "support/UiDriver.h"

namespace zre2e {
namespace {

const DWORD kJobTimeoutMs = 600000;
const DWORD kStartTimeoutMs = 60000;

// Numbered steps, each with a screenshot and a line on the console.
class CSteps {
public:
    CSteps(const DriveOptions& options, JobReport& report) : m_options(options), m_report(report) {
        m_report.nextShot = options.firstShot;
    }
    void Shot(HWND window, const char* name, const std::string& what) {
        char file[64];
        std::snprintf(file, sizeof(file), "%02d-%s.png", m_report.nextShot, name);
        bool saved = zrui::SaveScreenshot(window, m_options.shotsFolder + "\\" + file);
        std::printf("  step %02d  %-28s %s%s\n", m_report.nextShot, name, what.c_str(),
                    saved ? "" : "  (no screenshot)");
        std::fflush(stdout);
        ++m_report.nextShot;
    }
    bool Fail(const std::string& what) {
        m_report.error = what;
        std::printf("  FAILED: %s\n", what.c_str());
        std::fflush(stdout);
        return false;
    }

private:
    const DriveOptions& m_options;
    JobReport& m_report;
};

// Memory in another process, freed on destruction.
class CRemoteBuffer {
public:
    CRemoteBuffer(HWND window, size_t size) : m_size(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process) m_remote = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~CRemoteBuffer() {
        if (m_remote) VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
        if (m_process) CloseHandle(m_process);
    }
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;
    char* get() const { return static_cast<char*>(m_remote); }
    bool Write(size_t offset, const void* data, size_t size) {
        return m_remote && offset + size <= m_size &&
               WriteProcessMemory(m_process, get() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) {
        return m_remote && offset + size <= m_size && ReadProcessMemory(m_process, get() + offset, data, size, nullptr);
    }

private:
    HANDLE m_process = nullptr;
    void* m_remote = nullptr;
    size_t m_size;
};

// A list view cell of another process, as the list itself gives it.
std::string ListCellText(HWND list, int item, int column) {
    const size_t textSize = 1024;
    CRemoteBuffer remote(list, sizeof(LVITEMA) + textSize);
    if (!remote.get()) return std::string();
    LVITEMA request = {};
    request.mask = LVIF_TEXT;
    request.iSubItem = column;
    request.pszText = remote.get() + sizeof(LVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    DWORD_PTR length = 0;
    char zero = '\0';
    if (!remote.Write(0, &request, sizeof(request)) || !remote.Write(sizeof(LVITEMA), &zero, 1) ||
        !SendMessageTimeoutA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.get()),
                             SMTO_NORMAL, zrui::kDefaultTimeoutMs, &length))
        return std::string();
    std::vector<char> text(textSize + 1, '\0');
    if (!remote.Read(sizeof(LVITEMA), text.data(), textSize)) return std::string();
    return std::string(text.data());
}

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

// A click is posted, so what it changes shows a little later.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD timeoutMs = zrui::kDefaultTimeoutMs) {
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
    }
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A message's first line, for the console.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

HWND WaitMainWindow(DWORD pid) {
    zrui::WindowQuery query;
    query.pid = pid;
    query.requiredItem = IDC_BACKUP;
    return zrui::WaitForWindow(query, kStartTimeoutMs);
}

// A message box that the owner shows, with the expected text.
bool ExpectMessageBox(CSteps& steps, DWORD pid, HWND owner, UINT id, HWND& box) {
    box = zrui::WaitForMessageBox(pid, owner);
    if (!box) return steps.Fail("message " + std::to_string(id) + " did not appear");
    std::string text = zrui::MessageBoxText(box);
    if (text != zr::LoadResString(id)) return steps.Fail("expected message " + std::to_string(id) + ", saw: " + text);
    return true;
}

// Browses for the folder from a folder dialog's browse button.
bool BrowseFor(CSteps& steps, DWORD pid, HWND dialog, int browseButton, int edit, const std::string& folder,
               const char* shotName) {
    if (!zrui::ClickButton(dialog, browseButton)) return steps.Fail("the browse button cannot be clicked");
    HWND browser = zrui::WaitForFolderBrowser(pid, dialog);
    if (!browser) return steps.Fail("the folder browser did not open");
    if (!zrui::SelectInFolderBrowser(browser, folder)) return steps.Fail("the folder browser did not select " + folder);
    steps.Shot(browser, shotName, "folder browser: " + folder + ", OK");
    if (!zrui::ClickButton(browser, IDOK) || !zrui::WaitForWindowGone(browser))
        return steps.Fail("the folder browser did not close on OK");
    std::string shown;
    if (!WaitUntil([&] { return _stricmp((shown = zrui::GetItemText(dialog, edit)).c_str(), folder.c_str()) == 0; }))
        return steps.Fail("the dialog shows \"" + shown + "\", not " + folder);
    return true;
}

// From the execute click to the completion message: progress dialog, result
// view (its rows read back), completion message with the expected text.
// A confirmation (such as 142 for a folder that holds a backup already) is answered Yes.
bool RunJob(CSteps& steps, JobReport& report, DWORD pid, HWND dialog, int executeButton, UINT caption, UINT complete,
            UINT confirm = 0) {
    const char* job = report.job.c_str();
    if (!zrui::ClickButton(dialog, executeButton)) return steps.Fail("the execute button cannot be clicked");
    if (confirm) {
        HWND box = nullptr;
        if (!ExpectMessageBox(steps, pid, dialog, confirm, box)) return false;
        steps.Shot(box, (report.job + "-confirm").c_str(), "message " + std::to_string(confirm) + ": " + FirstLine(zrui::MessageBoxText(box)) + " Yes");
        if (!zrui::ClickButton(box, IDYES)) return steps.Fail("the confirmation cannot be answered");
    }
    DWORD start = GetTickCount();
    zrui::WindowQuery progressQuery;
    progressQuery.pid = pid;
    progressQuery.title = zr::LoadResString(caption);
    HWND progress = zrui::WaitForWindow(progressQuery, kStartTimeoutMs);
    if (!progress) return steps.Fail("the progress dialog did not appear");
    steps.Shot(progress, (report.job + "-progress").c_str(),
               "progress dialog \"" + zrui::GetText(progress) + "\": " + zrui::GetItemText(progress, IDC_JOB_STATUS));

    zrui::WindowQuery resultQuery;
    resultQuery.pid = pid;
    resultQuery.owner = progress;
    resultQuery.requiredItem = IDC_RESULT_LIST;
    for (DWORD waited = 0;; waited = GetTickCount() - start) {
        if (waited > kJobTimeoutMs) return steps.Fail(std::string("the ") + job + " did not finish");
        if (HWND view = zrui::FindTopWindow(resultQuery)) {
            if (report.seconds == 0) report.seconds = (GetTickCount() - start) / 1000.0;
            HWND list = GetDlgItem(view, IDC_RESULT_LIST);
            int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < rows; ++i) report.failed.emplace_back(ListCellText(list, i, 1), ListCellText(list, i, 2));
            steps.Shot(view, (report.job + "-result").c_str(), "result view: " + std::to_string(rows) + " failed item(s), 閉じる");
            if (!zrui::ClickButton(view, IDOK) || !zrui::WaitForWindowGone(view))
                return steps.Fail("the result view did not close");
            continue;
        }
        HWND box = zrui::FindOwnedWindow(pid, progress);
        if (box && zrui::GetClass(box) == "#32770" && GetDlgItem(box, 0xFFFF) && !GetDlgItem(box, IDC_RESULT_LIST)) {
            if (report.seconds == 0) report.seconds = (GetTickCount() - start) / 1000.0;
            report.message = zrui::MessageBoxText(box);
            steps.Shot(box, (report.job + "-complete").c_str(), "message: " + FirstLine(report.message) + " OK");
            if (report.message != zr::LoadResString(complete))
                return steps.Fail("expected message " + std::to_string(complete));
            if (!zrui::AnswerMessageBox(box, IDOK)) return steps.Fail("the completion message did not close");
            break;
        }
        Sleep(50);
    }
    if (!zrui::WaitForWindowGone(progress)) return steps.Fail("the progress dialog stayed open");
    return true;
}

bool CloseTool(CSteps& steps, HWND main, zrui::CToolProcess& tool) {
    if (!zrui::WaitForEnabled(main)) return steps.Fail("the main window stayed disabled");
    if (!zrui::ClickButton(main, IDCANCEL)) return steps.Fail("the quit button cannot be clicked");
    if (tool.WaitExit(30000) != 0) return steps.Fail("the tool did not end with exit code 0");
    return true;
}

bool Backup(const DriveOptions& o, JobReport& report, CSteps& steps) {
    const std::string tree = o.backupFolder + "\\BackupData";
    const bool replacing = Exists(tree);
    zrui::CToolProcess tool(o.tool);
    if (!tool.Started()) return steps.Fail("cannot start " + o.tool);
    const DWORD pid = tool.Pid();
    HWND main = WaitMainWindow(pid);
    if (!main) return steps.Fail("the main window did not appear");
    steps.Shot(main, "main", "main window \"" + zrui::GetText(main) + "\": " + zrui::GetItemText(main, IDC_BACKUP));

    if (!zrui::ClickButton(main, IDC_BACKUP)) return steps.Fail("the backup button cannot be clicked");
    HWND box = nullptr;
    if (!ExpectMessageBox(steps, pid, main, IDS_BACKUP_WARNING, box)) return false;
    steps.Shot(box, "backup-warning", "message 147 (SD card check-outs): OK");
    if (!zrui::AnswerMessageBox(box, IDOK)) return steps.Fail("the warning did not close");

    zrui::WindowQuery folderQuery;
    folderQuery.pid = pid;
    folderQuery.owner = main;
    folderQuery.requiredItem = IDC_FOLDER_EDIT;
    HWND dialog = zrui::WaitForWindow(folderQuery);
    if (!dialog) return steps.Fail("the backup folder dialog did not open");
    steps.Shot(dialog, "backup-folder", "backup folder dialog: 参照");
    if (!BrowseFor(steps, pid, dialog, IDC_BROWSE_FOLDER, IDC_FOLDER_EDIT, o.backupFolder, "backup-browser")) return false;
    steps.Shot(dialog, "backup-folder-chosen", "backup folder " + o.backupFolder + ": 実行");

    if (!RunJob(steps, report, pid, dialog, IDOK, IDS_CAPTION_BACKUP, IDS_BACKUP_COMPLETE,
                replacing ? IDS_BACKUP_EXISTS : 0))
        return false;
    FolderTotals all, audio;
    AddFolder(tree, all);
    AddFolder(tree + "\\Data\\Audio", audio);
    report.folder = tree;
    report.bytes = all.bytes;
    report.files = all.files;
    report.audioFiles = audio.files;
    return CloseTool(steps, main, tool);
}

bool Restore(const DriveOptions& o, JobReport& report, CSteps& steps) {
    zrui::CToolProcess tool(o.tool);
    if (!tool.Started()) return steps.Fail("cannot start " + o.tool);
    const DWORD pid = tool.Pid();
    HWND main = WaitMainWindow(pid);
    if (!main) return steps.Fail("the main window did not appear");
    steps.Shot(main, "restore-main", "main window \"" + zrui::GetText(main) + "\": " + zrui::GetItemText(main, IDC_RESTORE));

    if (!zrui::ClickButton(main, IDC_RESTORE)) return steps.Fail("the restore button cannot be clicked");
    HWND box = nullptr;
    if (!ExpectMessageBox(steps, pid, main, IDS_RESTORE_WARNING, box)) return false;
    steps.Shot(box, "restore-warning", "message 134 (the library will be replaced): OK");
    if (!zrui::AnswerMessageBox(box, IDOK)) return steps.Fail("the warning did not close");

    zrui::WindowQuery folderQuery;
    folderQuery.pid = pid;
    folderQuery.owner = main;
    folderQuery.requiredItem = IDC_SOURCE_EDIT;
    HWND dialog = zrui::WaitForWindow(folderQuery);
    if (!dialog) return steps.Fail("the restore folder dialog did not open");
    steps.Shot(dialog, "restore-page1", "restore dialog, page 1: 参照");
    if (!BrowseFor(steps, pid, dialog, IDC_BROWSE_SOURCE, IDC_SOURCE_EDIT, o.backupFolder, "restore-browser"))
        return false;
    steps.Shot(dialog, "restore-page1-chosen", "backup in " + o.backupFolder + ": " + zrui::GetItemText(dialog, IDC_NEXT));
    if (!zrui::ClickButton(dialog, IDC_NEXT) || !WaitUntil([&] { return zrui::IsItemVisible(dialog, IDC_FOLDER_EDIT); }))
        return steps.Fail("page 2 of the restore dialog did not show");
    zrui::Sync(dialog);  // the page switch's handler has returned
    if (!o.restoreTo.empty() &&
        !BrowseFor(steps, pid, dialog, IDC_BROWSE_FOLDER, IDC_FOLDER_EDIT, o.restoreTo, "restore-dest-browser"))
        return false;
    const std::string destination = zrui::GetItemText(dialog, IDC_FOLDER_EDIT);
    steps.Shot(dialog, "restore-page2", "restore destination " + destination + ": " + zrui::GetItemText(dialog, IDC_NEXT));

    std::set<std::string> earlier = FoldersNamed(destination, "RestoreData*");
    if (!RunJob(steps, report, pid, dialog, IDC_NEXT, IDS_CAPTION_RESTORE, IDS_RESTORE_COMPLETE)) return false;
    for (const std::string& name : FoldersNamed(destination, "RestoreData*")) {
        if (earlier.count(name)) continue;
        report.folder = destination + "\\" + name;
        FolderTotals totals;
        AddFolder(report.folder, totals);
        report.bytes = totals.bytes;
        report.files = totals.files;
    }
    return CloseTool(steps, main, tool);
}

}  // namespace

JobReport DriveBackup(const DriveOptions& options) {
    JobReport report;
    report.job = "backup";
    CSteps steps(options, report);
    report.driven = Backup(options, report, steps);
    return report;
}

JobReport DriveRestore(const DriveOptions& options) {
    JobReport report;
    report.job = "restore";
    CSteps steps(options, report);
    report.driven = Restore(options, report, steps);
    return report;
}

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
