#include "engine/Recovery.h"

#include <windows.h>

#include "common/PathUtil.h"
#include "engine/FileOps.h"

namespace zr {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveItem(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveFolderTree(path) == ERROR_SUCCESS;
    return DeleteFileA(path.c_str()) != FALSE;
}

bool SamePath(const std::string& a, const std::string& b) { return ComparablePath(a) == ComparablePath(b); }

}  // namespace

const char kRightsMark[] = "rights";

bool RollBackRecord(const JournalRecord& record) {
    bool whole = true;
    for (auto line = record.lines.rbegin(); line != record.lines.rend(); ++line) {
        switch (line->kind) {
        case JournalLine::Kind::Move:
            // Moved and not moved on: back to where it was.
            if (Exists(line->to) && !Exists(line->path) && !MoveToFreeName(line->to, line->path)) whole = false;
            break;
        case JournalLine::Kind::Create:
            if (!RemoveItem(line->path)) whole = false;
            break;
        default:
            break;
        }
    }
    return whole;
}

bool PutRightBackup(const JournalRecord& record, RecoveryReport& report) {
    report.kind = record.Kind();
    report.folders = record.Folders();
    if (report.folders.empty()) return false;
    const std::string& backupData = report.folders.front();
    if (!Exists(FolderPart(backupData))) return false;

    // The new tree took the name when its move there is recorded and done.
    const JournalLine* swappedIn = nullptr;
    for (const JournalLine& line : record.lines) {
        if (line.kind == JournalLine::Kind::Move && SamePath(line.to, backupData)) swappedIn = &line;
    }
    if (swappedIn && Exists(backupData) && !Exists(swappedIn->path)) {
        // What went aside, and a working tree that never took the name, go.
        for (const JournalLine& line : record.lines) {
            const bool aside = line.kind == JournalLine::Kind::Move && SamePath(line.path, backupData);
            const bool working = line.kind == JournalLine::Kind::Create && !SamePath(line.path, backupData);
            if ((aside && !RemoveItem(line.to)) || (working && !RemoveItem(line.path))) report.incomplete = true;
        }
        report.finished = true;
        return true;
    }
    report.rolledBack = true;
    report.incomplete = !RollBackRecord(record);
    return true;
}

void EndJobRecord(CJobJournal& journal, bool succeeded) {
    if (!journal.IsOpen()) return;
    const JournalRecord& own = journal.Own();
    if (succeeded) {
        // A backup's earlier tree that did not go with the job goes now, or
        // at the next start.
        RecoveryReport report;
        if (own.Kind() == "backup" && PutRightBackup(own, report) && report.incomplete) {
            journal.Keep();
        } else {
            journal.Close();
        }
        return;
    }
    // Past the rights, a restore is taken to its end by the next start.
    if (own.HasMark(kRightsMark) || !RollBackRecord(own)) {
        journal.Keep();
        return;
    }
    journal.Close();
}

void PutRightBackupsInto(const std::string& backupData) {
    for (const JournalRecord& record : CJobJournal::ReadLeftRecords()) {
        const std::vector<std::string> folders = record.Folders();
        if (record.Kind() != "backup" || folders.empty() || !SamePath(folders.front(), backupData)) continue;
        RecoveryReport report;
        if (PutRightBackup(record, report) && !report.incomplete) CJobJournal::Forget(record);
    }
}

}  // namespace zr
