// Drives the tool's window through one whole backup or restore, as a person
// would: main window, warning, folder dialog and the shell's folder browser,
// execute, progress dialog, result view, completion message. A screenshot of
// every step goes into one folder. The flows are the tests' own
// (support/ToolWindows.h); this adds the screenshots and reads the facts of
// the job from the windows as they pass.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zre2e {

struct DriveOptions {
    std::string tool;         // the program to start
    std::string shotsFolder;  // existing folder for NN-step.png
    int firstShot = 1;        // number of the first screenshot
    std::string backupFolder; // the folder chosen in the browser: it holds (or gets) "BackupData"
    std::string restoreTo;    // restore destination; empty: keep the one the dialog proposes
};

struct JobReport {
    std::string job;  // "backup" or "restore"
    bool driven = false;  // every step went as a person expects
    std::string error;    // the step that went wrong otherwise
    double seconds = 0;   // from the execute click to the completion message
    std::string message;  // the completion message's text
    std::vector<std::pair<std::string, std::string>> failed;  // result view rows: title, detail
    std::string folder;   // BackupData written, or RestoreData filled
    unsigned long long bytes = 0;
    unsigned long files = 0;
    unsigned long audioFiles = 0;  // backup: files below Data\Audio
    int nextShot = 1;
};

JobReport DriveBackup(const DriveOptions& options);
JobReport DriveRestore(const DriveOptions& options);

// The report as "key TAB value" lines, and back.
std::string FormatReport(const JobReport& report);
bool ParseReport(const std::string& text, JobReport& report);

}  // namespace zre2e
