// The progress dialog of one backup or restore: it owns a fresh engine and one
// worker thread, shows phase and progress, and reports the outcome.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/BackupRestore.h"
#include "engine/JobJournal.h"
#include "engine/JobRunner.h"
#include "job/CancelState.h"
#include "ui/window/Controls.h"
#include "ui/window/Dialog.h"
#include "ui/window/Thread.h"

namespace zr {

class CExecuteBackupRestore : public CDialog, private IJobRunner {
public:
    explicit CExecuteBackupRestore(HWND parent = nullptr);
    ~CExecuteBackupRestore() override;

    // The backup tree: the user's folder + "\BackupData".
    void SetBackupDataFolder(const std::string& path) { m_strBackupData = path; }
    // The restore destination; empty for a backup.
    void SetRestoreFolder(const std::string& path) { m_strRestoreTo = path; }
    // DoModal (from CDialog) runs the job and returns IDOK once its outcome was
    // shown, or IDRETRY when the user chose another folder for a backup.

    // The worker's entry point; arg is the dialog.
    static DWORD WINAPI BackupRestoreThread(void* arg);

protected:
    BOOL OnInit() override;
    // Esc does nothing: the dialog closes only when the job is complete.
    void OnCancel() override {}
    void OnOK() override {}
    bool OnButtonClicked(WORD id) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void DoDataExchange();
    bool IsRestore() const { return !m_strRestoreTo.empty(); }

    // Worker side: the engine's channel to this dialog.
    HRESULT RunJob();
    void Progress(DWORD done, DWORD total) override;
    bool IsCancelled() override;
    bool MayCancel() override;
    void EnterDatabasePhase() override;
    bool ConfirmReplaceFirst() override;
    void CommitToFinish() override;
    IJournal* Journal() override { return &m_journal; }
    LRESULT SendMessageLocked(UINT message);
    void PostComplete(HRESULT result);

    // Dialog side.
    void OnContentsPhase();
    void OnDatabasePhase();
    void OnProgress(DWORD done, DWORD total);
    void OnComplete(HRESULT result);
    void OnBnClickedCancel();
    int OnAskReplaceFirst();
    void ShowResultView();
    void DropQueuedProgress();

public:
    CButton m_btnCancel;
    CAnimateCtrl m_animate;
    CStatic m_staticStatus;
    CProgressCtrl m_progress;
    std::string m_strTitle;
    std::string m_strBackupData;
    std::string m_strRestoreTo;
    std::vector<std::string> m_vecFailedTitle;
    std::vector<ItemCode> m_vecFailedCode;
    CBackupRestore m_cBackupRestore;
    // The job's one cancel state, which holds its flag m_bCancel: the cancel
    // button asks through it, the worker and the engine's steps check it.
    CCancelState m_cancel;
    std::unique_ptr<CThread> m_pThread;
    // Held by the worker around each message it sends. The dialog never
    // enters it, so it guards nothing the dialog holds; it keeps the worker's
    // sends one at a time, as they always were.
    CRITICAL_SECTION m_csSendMessage;

private:
    // Where the worker's progress goes: this dialog's window, once it exists.
    HWND m_hNotifyWnd = nullptr;
    // The job's record of what it changes on the disk; it goes when the job
    // has ended, its tree deleted or not.
    CJobJournal m_journal;
    // Set by the database phase: from then on no progress message moves the bar.
    bool m_bDatabasePhase = false;
    // A completion that arrived while the cancel question was open.
    std::optional<HRESULT> m_pendingComplete;
};

}  // namespace zr
