// What a restore's check found, for the steps after it: the backup tree as it
// was listed once, the space it takes, and the folders the steps make and
// hand on to each other. The check fills the first part; each step fills in
// what it made.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine/FolderListing.h"

namespace zr {

struct CRestorePlan {
    CRestorePlan(const std::string& backupData, const std::string& restoreTo)
        : m_strBackupData(backupData), m_strRestoreTo(restoreTo) {}

    std::string m_strBackupData;  // the backup tree read
    std::string m_strRestoreTo;   // the destination RestoreData goes below

    // The backup tree listed deep by the check, for the copy to walk again;
    // null when the check has not run (the copy lists it itself), and once
    // the copy is done.
    std::unique_ptr<CFolderListing> m_pBackupListing;
    ULONGLONG m_nTreeOnDisk = 0;       // what the tree takes on the destination's drive
    ULONGLONG m_nDatabasesOnDisk = 0;  // what the database files take beside the live library

    std::string m_strRestoreData;          // made by RestoreNmlContents, a whole copy of the backup tree
    std::string m_strNewDatabasesFolder;   // prepared beside the live library by RestoreNmlContents
    std::string m_strOldDatabasesFolder;   // where the live library went aside, before the rights
    bool m_bRightsReplaced = false;        // the backup's rights took the place of the host's
    HRESULT m_hrLate = 0;                  // a failure after the rights were replaced, told at the end

    // Where the steps after the copy read the backup: from the copy, which
    // the check and the copy proved whole (a medium pulled out after the
    // copy takes nothing away), or from the backup when no copy was made.
    const std::string& ReadFrom() const { return m_strRestoreData.empty() ? m_strBackupData : m_strRestoreData; }
};

}  // namespace zr
