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
    bool incomplete = false;      // something named could not be put right
};

// Undoes what the record names, newest first: a move is moved back when its
// target is there and its source free, a made item is deleted. False when
// something could not be undone.
bool RollBackRecord(const JournalRecord& record);

// A stopped backup: when its new tree had taken the name "BackupData", the
// earlier one it moved aside goes; else everything goes back, the working
// tree included. False when the record's folder is not there.
bool PutRightBackup(const JournalRecord& record, RecoveryReport& report);

// The records of stopped backups into `backupData`, put right and let go.
void PutRightBackupsInto(const std::string& backupData);

// The mark a restore records just before the rights are replaced: a restore
// stopped after it is taken to its end, one stopped before it is undone.
extern const char kRightsMark[];

// The end of a job that kept a record: one that succeeded removes what it
// left beside its result (an earlier backup it moved aside); one that failed
// or was cancelled undoes what it made (a backup's working tree, an earlier
// backup moved aside, a restore's prepared library and RestoreData), unless
// it had replaced the rights. The record stays for the next start when
// something it names could not be put right.
void EndJobRecord(CJobJournal& journal, bool succeeded);

}  // namespace zr
