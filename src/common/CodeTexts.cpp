#include "common/CodeTexts.h"

#include "common/ResultCodes.h"
#include "resource.h"

namespace zr {
namespace {

struct CodeText {
    HRESULT code;
    UINT backupFailure;  // 0: the backup's own "failed"
    UINT restoreFailure;  // 0: the restore's own "failed"
    UINT itemDetail;      // 0: "processing failed"
};

// A code that means something else as an item's than as a job's (1 is a
// cancelled job and a missing track) has one row for both.
const CodeText kCodeTexts[] = {
    {RC_E_ACCESSDENIED, IDS_FOLDER_WRITE_FORBIDDEN, IDS_FOLDER_WRITE_FORBIDDEN, 0},
    {RC_E_UNEXPECTED, IDS_MODULE_MISSING, IDS_MODULE_MISSING, 0},
    {RC_E_FILE_COPY, IDS_FILE_CREATE_FAILED, IDS_FILE_CREATE_FAILED, 0},
    {RC_E_FOLDER_CREATE, IDS_FOLDER_CREATE_FAILED, IDS_FOLDER_CREATE_FAILED, 0},
    // The backup tree is gone or no folder: the same words as when it is chosen.
    {RC_E_NO_BACKUPDATA, 0, IDS_NO_BACKUPDATA, 0},
    {RC_E_HOLDS_HOST_DATA, IDS_BACKUP_HOLDS_HOST_DATA, IDS_BACKUP_HOLDS_HOST_DATA, 0},
    {RC_ITEM_MISSING, 0, 0, IDS_DETAIL_NO_CONTENT},
    {RC_E_FAIL, 0, 0, IDS_DETAIL_SECURE_FAILED},
    {RC_E_INVALIDARG, 0, 0, IDS_DETAIL_NO_PICTURE},
    {RC_E_NOT_RESTORED, 0, 0, IDS_DETAIL_NOT_RESTORED},
};

const CodeText* Find(HRESULT code) {
    for (const CodeText& row : kCodeTexts) {
        if (row.code == code) return &row;
    }
    return nullptr;
}

}  // namespace

UINT JobFailureText(HRESULT code, bool restore) {
    const CodeText* row = Find(code);
    const UINT text = row ? (restore ? row->restoreFailure : row->backupFailure) : 0;
    if (text) return text;
    return restore ? IDS_RESTORE_FAILED : IDS_BACKUP_FAILED;
}

UINT ItemDetailText(HRESULT code) {
    const CodeText* row = Find(code);
    return row && row->itemDetail ? row->itemDetail : IDS_DETAIL_FAILED;
}

}  // namespace zr
