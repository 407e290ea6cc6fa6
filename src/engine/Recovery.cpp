#include "engine/Recovery.h"

#include <windows.h>

#include "common/PathUtil.h"
#include "engine/BackupRestore.h"
#include "engine/FileOps.h"
#include "engine/SwapBeside.h"

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

// What a stopped restore's record names: the live library, where it went
// aside, the library prepared beside it, and RestoreData.
struct RestoreNames {
    std::string live, aside, prepared, restoreData;
};

RestoreNames NamesOf(const JournalRecord& record) {
    RestoreNames names;
    const std::vector<std::string> folders = record.Folders();
    const std::string restoreTo = folders.size() > 1 ? ComparablePath(folders[1]) : std::string();
    for (const JournalLine& line : record.lines) {
        if (line.kind == JournalLine::Kind::Create && !restoreTo.empty() &&
            ComparablePath(FolderPart(line.path)) == restoreTo && names.restoreData.empty()) {
            names.restoreData = line.path;
        } else if (line.kind == JournalLine::Kind::Create && names.prepared.empty()) {
            names.prepared = line.path;  // the library is prepared first
        } else if (line.kind == JournalLine::Kind::Move && names.live.empty() && !names.prepared.empty() &&
                   IsBesideNameOf(ComparablePath(names.prepared), ComparablePath(line.path))) {
            names.live = line.path;
            names.aside = line.to;
        }
    }
    return names;
}

// The job runner's side for putting right: the record goes on.
struct CRecordRunner : IJobRunner {
    explicit CRecordRunner(CJobJournal& journal) : m_journal(journal) {}
    void Progress(DWORD, DWORD) override {}
    void EnterDatabasePhase() override {}
    bool IsCancelled() override { return false; }
    IJournal* Journal() override { return &m_journal; }
    CJobJournal& m_journal;
};

}  // namespace

const char kRightsMark[] = "rights";
const char kRightsReplacedMark[] = "rights-replaced";
const char kRightsKeptMark[] = "rights-kept";

bool RestoreMustFinish(const JournalRecord& record) {
    if (record.HasMark(kRightsReplacedMark)) return true;
    const RestoreNames names = NamesOf(record);
    for (const JournalLine& line : record.lines) {
        if (line.kind == JournalLine::Kind::Move && !names.prepared.empty() && SamePath(line.path, names.prepared) &&
            SamePath(line.to, names.live)) {
            return true;
        }
    }
    return false;
}

bool RollBackRecord(const JournalRecord& record) {
    bool whole = true;
    for (auto line = record.lines.rbegin(); line != record.lines.rend(); ++line) {
        switch (line->kind) {
        case JournalLine::Kind::Move:
            // Moved and not moved on: back to where it was.
            if (Exists(line->to) && !Exists(line->path) && !MoveToFreeName(line->to, line->path)) whole = false;
            break;
        case JournalLine::Kind::Create:
            if (record.Made(line->path) && !RemoveItem(line->path)) whole = false;
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
        if (line.kind == JournalLine::Kind::Delete && SamePath(line.path, backupData)) report.earlierDeleted = true;
    }
    if (swappedIn && Exists(backupData) && !Exists(swappedIn->path)) {
        // What went aside, and a working tree or copy that never took the name, go.
        for (const JournalLine& line : record.lines) {
            const bool aside = line.kind == JournalLine::Kind::Move && SamePath(line.path, backupData);
            const bool working =
                line.kind == JournalLine::Kind::Create && !SamePath(line.path, backupData) && record.Made(line.path);
            // The new backup is whole: an earlier tree that will not go (a
            // link in it the system removes only through its target) is told
            // of, not tried again and again.
            if (aside && !RemoveItem(line.to)) report.earlierLeft = true;
            if (working && !RemoveItem(line.path)) report.incomplete = true;
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
    const JournalRecord own = journal.Own();
    journal.Keep();
    RecoveryReport report;
    bool whole = true;
    if (succeeded) {
        // A backup's earlier tree that did not go with the job goes now; one
        // that will not go was listed to the user.
        if (own.Kind() == "backup") whole = !PutRightBackup(own, report) || !report.incomplete;
    } else if (own.Kind() == "restore" && RestoreMustFinish(own)) {
        // Past the rights or the library's move, a restore is taken to its end.
        PutRightRestore(own, report);
        whole = !report.incomplete;
    } else {
        whole = RollBackRecord(own);
    }
    // What could not be put right now the next start puts right.
    if (whole) CJobJournal::Forget(own);
}

void PutRightRestore(const JournalRecord& record, RecoveryReport& report) {
    report.kind = record.Kind();
    report.folders = record.Folders();
    if (!RestoreMustFinish(record)) {
        report.rolledBack = true;
        report.incomplete = !RollBackRecord(record);
        return;
    }
    report.finished = true;
    const RestoreNames names = NamesOf(record);
    // The new library takes the live name (an old one still there goes aside
    // first); when it cannot, the old one rather than none.
    if (!names.live.empty() && Exists(names.prepared)) {
        CSwapBeside databases = CSwapBeside::Adopt(names.live, CSwapBeside::Kind::Folder, nullptr, names.prepared);
        if (databases.SwapIn() != RC_OK) report.incomplete = true;
    }
    if (!names.live.empty() && !Exists(names.live) && !(Exists(names.aside) && MoveToFreeName(names.aside, names.live))) {
        report.incomplete = true;
    }
    // A GUI item stopped between its two moves comes back; working names go.
    for (auto line = record.lines.rbegin(); line != record.lines.rend(); ++line) {
        if (line->kind == JournalLine::Kind::Move && !SamePath(line->path, names.live) && Exists(line->to) &&
            !Exists(line->path) && IsBesideNameOf(ComparablePath(line->to), ComparablePath(line->path)) &&
            !MoveToFreeName(line->to, line->path)) {
            report.incomplete = true;
        }
        if (line->kind == JournalLine::Kind::Create && record.Made(line->path) &&
            !SamePath(line->path, names.prepared) && !SamePath(line->path, names.restoreData) &&
            !RemoveItem(line->path)) {
            report.incomplete = true;
        }
    }
    // The GUI data and the serial, as the restore would have put them, from
    // the whole copy of the backup it had made.
    if (names.restoreData.empty() || !Exists(names.restoreData)) {
        report.lost = true;
        return;
    }
    CJobJournal journal;
    if (!journal.Continue(record)) {
        report.incomplete = true;
        return;
    }
    CRecordRunner runner(journal);
    CBackupRestore engine;
    engine.AttachRunner(runner);
    CRestorePlan plan(report.folders.empty() ? std::string() : report.folders.front(),
                      report.folders.size() > 1 ? report.folders[1] : std::string());
    plan.m_strRestoreData = names.restoreData;
    const HRESULT gui = engine.RestoreGuiData(plan);
    journal.Keep();
    if (gui == RC_NO_GUI_DATA) report.lost = true;
    if (gui != RC_OK) {
        report.incomplete = report.incomplete || !report.lost;
        return;
    }
    // The GUI items the stopped job had put aside are replaced now: they go,
    // as the job would have let them go. The replaced library stays.
    for (const JournalLine& line : record.lines) {
        if (line.kind == JournalLine::Kind::Move && !SamePath(line.to, names.aside) &&
            IsBesideNameOf(ComparablePath(line.to), ComparablePath(line.path)) && !RemoveItem(line.to)) {
            report.incomplete = true;
        }
    }
}

std::vector<RecoveryReport> PutRightLeftJobs() {
    std::vector<RecoveryReport> reports;
    for (const JournalRecord& record : CJobJournal::ReadLeftRecords()) {
        RecoveryReport report;
        if (record.Kind() == "backup") {
            // A backup whose drive is not there waits for it.
            if (!PutRightBackup(record, report)) continue;
        } else if (record.Kind() == "restore") {
            PutRightRestore(record, report);
        } else {
            continue;
        }
        // Tried again at the next start only when that may go better.
        if (!report.incomplete) CJobJournal::Forget(record);
        reports.push_back(report);
    }
    return reports;
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
