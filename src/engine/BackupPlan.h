// What a backup's check found, for the steps after it: where the new tree is
// written (beside an earlier backup, under a working name, until it is whole)
// and whether the earlier one must go first to make room.
#pragma once

#include <windows.h>

#include <string>

namespace zr {

struct CBackupPlan {
    explicit CBackupPlan(const std::string& backupData) : m_strBackupData(backupData) {}

    std::string m_strBackupData;   // the user's folder + "\BackupData"
    std::string m_strWorkingTree;  // where the steps write the new tree; made by BeginBackupTree
    bool m_bEarlierBackup = false;  // an earlier BackupData is there
    // The drive holds the new tree only in the earlier one's place: the user
    // is asked before the earlier one is deleted first.
    bool m_bReplaceFirst = false;
    ULONGLONG m_nNeeded = 0;  // what the new tree takes on the drive
};

}  // namespace zr
