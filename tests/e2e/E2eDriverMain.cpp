// e2e_driver.exe: the end-to-end run's hands and eyes (never shipped).
//   backup  --tool EXE --folder DIR --shots DIR [--first N] --report FILE
//   restore --tool EXE --folder DIR [--to DIR] --shots DIR [--first N] --report FILE
//   summary --backup FILE --restore FILE --before LISTING --after LISTING
//           [--from TEXT] [--to TEXT] [--left-out TITLE]
// backup and restore drive the tool's window through one job and write a
// report; summary prints what both jobs did and the listing comparison, and
// exits 0 only when both jobs went through and the restored library is whole
// (--left-out: but for that track, whose stored path the backup was given to
// climb out; the restore must list it with 8007007B and leave it out).
// Texts are in the ANSI code page. Exit codes: 0 done, 1 failed, 2 bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "e2e/JobDriver.h"
#include "e2e/ListingCompare.h"

namespace {

using namespace zre2e;

bool ReadFileText(const std::string& path, std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != 0) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return ok;
}

bool WriteFileText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    return ok;
}

// "--name value" pairs after the command.
bool ParseOptions(int argc, char** argv, std::map<std::string, std::string>& options) {
    for (int i = 2; i < argc; i += 2) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0 || i + 1 >= argc) return false;
        options[name.substr(2)] = argv[i + 1];
    }
    return true;
}

std::string Grouped(unsigned long long n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

int Drive(bool backup, std::map<std::string, std::string>& o) {
    if (!o.count("tool") || !o.count("folder") || !o.count("shots") || !o.count("report")) return 2;
    DriveOptions options;
    options.tool = o["tool"];
    options.backupFolder = o["folder"];
    options.shotsFolder = o["shots"];
    options.restoreTo = o.count("to") ? o["to"] : std::string();
    options.firstShot = o.count("first") ? std::atoi(o["first"].c_str()) : 1;
    JobReport report = backup ? DriveBackup(options) : DriveRestore(options);
    if (!WriteFileText(o["report"], FormatReport(report))) {
        std::fprintf(stderr, "e2e_driver: cannot write %s\n", o["report"].c_str());
        return 1;
    }
    return report.driven ? 0 : 1;
}

void PrintJob(const char* what, const std::string& where, const JobReport& r) {
    std::printf("%s%s: %s in %.1f s\n", what, where.empty() ? "" : (" on " + where).c_str(),
                r.driven ? "done" : ("stopped: " + r.error).c_str(), r.seconds);
    std::printf("  message: %s\n", r.message.c_str());
    std::printf("  failed items: %u\n", static_cast<unsigned>(r.failed.size()));
    for (const auto& f : r.failed) std::printf("    %s: %s\n", f.first.c_str(), f.second.c_str());
}

int Summary(std::map<std::string, std::string>& o) {
    if (!o.count("backup") || !o.count("restore") || !o.count("before") || !o.count("after")) return 2;
    JobReport backup, restore;
    std::string text;
    if (!ReadFileText(o["backup"], text) || !ParseReport(text, backup)) backup.error = "no report";
    if (!ReadFileText(o["restore"], text) || !ParseReport(text, restore)) restore.error = "no report";
    Listing before, after;
    std::string beforeError, afterError;
    bool listed = ReadFileText(o["before"], text) && ParseListing(text, before, beforeError);
    listed = ReadFileText(o["after"], text) && ParseListing(text, after, afterError) && listed;

    std::printf("\n===== Summary =====\n");
    PrintJob("Backup", o["from"], backup);
    std::printf("  tracks backed up: %lu audio files; %s bytes in %lu files written to %s\n", backup.audioFiles,
                Grouped(backup.bytes).c_str(), backup.files, backup.folder.c_str());
    PrintJob("Restore", o["to"], restore);
    if (!listed) {
        std::printf("Library listings: cannot be read (%s%s)\nRESULT: FAILED\n", beforeError.c_str(), afterError.c_str());
        return 1;
    }
    const std::string leftOut = o.count("left-out") ? o["left-out"] : std::string();
    ListingComparison c = CompareListings(before, after, leftOut);
    if (!leftOut.empty()) {
        bool listed = false;
        for (const auto& f : restore.failed) {
            listed = listed || (f.first == leftOut && f.second.find("(8007007B)") != std::string::npos);
        }
        if (!listed) c.problems.push_back(leftOut + ": its refused path is not listed by the restore (8007007B)");
    }
    std::printf("  tracks restored: %u; %s bytes in %lu files copied into %s\n", static_cast<unsigned>(c.fileThere),
                Grouped(restore.bytes).c_str(), restore.files, restore.folder.c_str());
    std::printf("Stand-in host's library listing, before the backup and after the restore:\n");
    std::printf("  tracks listed: %u before, %u after\n", static_cast<unsigned>(c.tracksBefore),
                static_cast<unsigned>(c.tracksAfter));
    std::printf("  every track present:  %u of %u\n", static_cast<unsigned>(c.present), static_cast<unsigned>(c.expected));
    std::printf("  its file there:       %u of %u\n", static_cast<unsigned>(c.fileThere), static_cast<unsigned>(c.expected));
    std::printf("  its bytes equal:      %u of %u\n", static_cast<unsigned>(c.bytesEqual), static_cast<unsigned>(c.expected));
    for (const std::string& title : c.notBackedUp) std::printf("  not backed up (its file was missing): %s\n", title.c_str());
    std::printf("  pictures of the other tracks there, bytes equal: %u, %u of %u\n",
                static_cast<unsigned>(c.picturesThere), static_cast<unsigned>(c.picturesEqual),
                static_cast<unsigned>(c.pictures));
    std::printf("  pictures of secure tracks (their paths are kept as they were): %u, %u of them there\n",
                static_cast<unsigned>(c.securePictures), static_cast<unsigned>(c.securePicturesThere));
    if (!leftOut.empty()) {
        std::printf("  left out by the restore, its stored path refused: %s (%s)\n", leftOut.c_str(),
                    c.leftOut ? "absent, as it must be" : "PRESENT");
    }
    std::printf("  rights records: %u before, %u after, %u restored\n", static_cast<unsigned>(c.rightsBefore),
                static_cast<unsigned>(c.rightsAfter), static_cast<unsigned>(c.rightsKept));
    const size_t shown = 20;
    for (size_t i = 0; i < c.problems.size() && i < shown; ++i) std::printf("  PROBLEM %s\n", c.problems[i].c_str());
    if (c.problems.size() > shown)
        std::printf("  ... and %u more problems\n", static_cast<unsigned>(c.problems.size() - shown));
    bool passed = backup.driven && restore.driven && c.Passed() && c.expected > 0;
    std::printf("RESULT: %s\n", passed ? "PASSED" : "FAILED");
    return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    std::string command = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (ParseOptions(argc, argv, options)) {
        if (command == "backup") rc = Drive(true, options);
        else if (command == "restore") rc = Drive(false, options);
        else if (command == "summary") rc = Summary(options);
    }
    if (rc == 2) std::fprintf(stderr, "usage: e2e_driver backup|restore|summary --name value ... (see its source)\n");
    return rc;
}
