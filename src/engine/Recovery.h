// Putting right what a stopped job left, from its record alone: only what the
// record names is ever touched, and a record whose folders are not there (a
// drive not plugged in) is kept for a later time.
#pragma once

#include <string>
#include <vector>

#include "engine/JobJournal.h"

namespace zr {

// What the putting right of a record did, for the user to be told.
struct RecoveryReport {
    std::string kind;             // the job's: "backup" or "restore"
    std::vector<std::string> folders;  // the job's folders, as its record names them
    bool rolledBack = false;      // put back as it was before the job
    bool finished = false;        // taken to the end the job would have reached
    bool incomplete = false;      // something named could not be put right now: tried again at the next start
    bool lost = false;            // what the restore's end needs (its copy of the backup) is gone: not tried again
    bool earlierDeleted = false;  // a backup that had deleted the earlier one first, as the user chose
    bool earlierLeft = false;     // a backup's earlier tree that would not go whole stays beside the new one
};

// Undoes what the record names, newest first: a move is moved back when its
// target is there and its source free, a made item is deleted. False when
// something could not be undone.
bool RollBackRecord(const JournalRecord& record);

// A stopped backup: when its new tree had taken the name "BackupData", the
// earlier one it moved aside goes; else everything goes back, the working
// tree included. False when the record's folder is not there.
bool PutRightBackup(const JournalRecord& record, RecoveryReport& report);

// A stopped restore: one stopped before its rights import is undone (the old
// library back under its name, its prepared library, RestoreData and working
// names deleted); one stopped after it is taken to its end from what it had
// prepared: the new library in, the GUI data and the serial from RestoreData.
// It is never run again by itself.
void PutRightRestore(const JournalRecord& record, RecoveryReport& report);

// Every record a stopped job left, put right; the records so put right go.
// For the start, before anything else: what was done, for one message.
std::vector<RecoveryReport> PutRightLeftJobs();

// The records of stopped backups into `backupData`, put right and let go.
void PutRightBackupsInto(const std::string& backupData);

// The marks a restore records around the rights import: before it, and after
// it, whether the backup's rights replaced the host's or not. A restore
// stopped at the import itself (nothing tells then whether the component
// applied it) is undone: running the restore again gives a whole host.
extern const char kRightsMark[];
extern const char kRightsReplacedMark[];
extern const char kRightsKeptMark[];
// True when a stopped restore's record says it must be taken to its end: the
// backup's rights replaced the host's, or its library took the live name (a
// backup without rights). Undoing either would leave the host one library
// with another's rights, or without GUI items the restore had replaced.
bool RestoreMustFinish(const JournalRecord& record);

// The end of a job that kept a record: one that succeeded removes what it
// left beside its result (an earlier backup it moved aside); one that failed
// or was cancelled undoes what it made (a backup's working tree, an earlier
// backup moved aside, a restore's prepared library and RestoreData), unless
// it had replaced the rights. The record stays for the next start when
// something it names could not be put right.
void EndJobRecord(CJobJournal& journal, bool succeeded);

}  // namespace zr
