#include "common/CodeTexts.h"

#include "resource.h"

namespace zr {
namespace {

struct JobText {
    HRESULT code;
    UINT backupFailure;   // 0: the backup's own "failed"
    UINT restoreFailure;  // 0: the restore's own "failed"
};

const JobText kJobTexts[] = {
    {RC_E_ACCESSDENIED, IDS_FOLDER_WRITE_FORBIDDEN, IDS_FOLDER_WRITE_FORBIDDEN},
    {RC_E_UNEXPECTED, IDS_MODULE_MISSING, IDS_MODULE_MISSING},
    {RC_E_FILE_COPY, IDS_FILE_CREATE_FAILED, IDS_FILE_CREATE_FAILED},
    {RC_E_FOLDER_CREATE, IDS_FOLDER_CREATE_FAILED, IDS_FOLDER_CREATE_FAILED},
    // The backup tree is gone or no folder: the same words as when it is chosen.
    {RC_E_NO_BACKUPDATA, 0, IDS_NO_BACKUPDATA},
    {RC_E_HOLDS_HOST_DATA, IDS_BACKUP_HOLDS_HOST_DATA, IDS_BACKUP_HOLDS_HOST_DATA},
    {RC_E_LIBRARY_IN_USE, 0, IDS_LIBRARY_IN_USE},
};

struct ItemText {
    ItemCode code;
    UINT detail;
};

const ItemText kItemTexts[] = {
    {ItemCode::Missing, IDS_DETAIL_NO_CONTENT},
    {ItemCode::RightsNotExported, IDS_DETAIL_SECURE_FAILED},
    {ItemCode::NoPicture, IDS_DETAIL_NO_PICTURE},
    {ItemCode::NotRestored, IDS_DETAIL_NOT_RESTORED},
    {ItemCode::NotRemoved, IDS_DETAIL_NOT_REMOVED},
    {ItemCode::KeptNoRights, IDS_DETAIL_KEPT_NO_RIGHTS},
};

}  // namespace

UINT JobFailureText(HRESULT code, bool restore) {
    for (const JobText& row : kJobTexts) {
        if (row.code != code) continue;
        const UINT text = restore ? row.restoreFailure : row.backupFailure;
        if (text) return text;
    }
    return restore ? IDS_RESTORE_FAILED : IDS_BACKUP_FAILED;
}

UINT ItemDetailText(ItemCode code) {
    for (const ItemText& row : kItemTexts) {
        if (row.code == code) return row.detail;
    }
    return IDS_DETAIL_FAILED;
}

}  // namespace zr
