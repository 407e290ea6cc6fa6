// The progress dialog of one backup or restore: it owns a fresh engine and one
// worker thread, shows phase and progress, and reports the outcome.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/BackupRestore.h"
#include "job/JobSteps.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Thread.h"

namespace zr {

class CExecuteBackupRestore : public CDialog, private IJobRunner {
public:
    explicit CExecuteBackupRestore(HWND parent = nullptr);
    ~CExecuteBackupRestore() override;

    // The backup tree: the user's folder + "\BackupData".
    void SetBackupDataFolder(const std::string& path) { m_strBackupData = path; }
    // The restore destination; empty for a backup.
    void SetRestoreFolder(const std::string& path) { m_strRestoreTo = path; }
    // DoModal (from CDialog) runs the job and returns IDOK once its outcome was shown.

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

    // Worker side.
    HRESULT RunJob();
    bool IsCancelled() override;
    void EnterDatabasePhase() override;
    void BackupTreeTouched() override;
    void WaitForAnswer();
    LRESULT SendMessageLocked(UINT message);
    void PostComplete(HRESULT result);
    static void CancelCheckPoint(void* context);

    // Dialog side.
    void OnContentsPhase();
    void OnDatabasePhase();
    void OnProgress(DWORD done, DWORD total);
    void OnComplete(HRESULT result);
    void OnBnClickedCancel();
    void ShowResultView();
    void DropQueuedProgress();
    void DeleteBackupTree();
    UINT FailureText(HRESULT result) const;

public:
    CButton m_btnCancel;
    CAnimateCtrl m_animate;
    CStatic m_staticStatus;
    CProgressCtrl m_progress;
    std::string m_strTitle;
    std::string m_strBackupData;
    std::string m_strRestoreTo;
    std::vector<std::string> m_vecFailedTitle;
    std::vector<HRESULT> m_vecFailedCode;
    // Written by this thread while the worker is held, read by the worker.
    std::atomic<LONG> m_bCancel;
    CBackupRestore m_cBackupRestore;
    std::unique_ptr<CThread> m_pThread;
    CRITICAL_SECTION m_csSendMessage;

private:
    // Manual-reset, signalled except while the cancel question is open; the
    // worker waits on it at every cancel check point.
    HANDLE m_hAnswered;
    volatile LONG m_bQuestionOpen = 0;
    // Set by the worker just before the first write to the backup tree, so a
    // job that never wrote there never deletes an earlier backup.
    volatile LONG m_bBackupTreeTouched;
    // The cancel question is open; a completion arriving meanwhile waits for the answer.
    bool m_bAsking = false;
    // Set by the database phase: from then on no progress message moves the bar.
    bool m_bDatabasePhase = false;
    bool m_bCompletePending = false;
    HRESULT m_nPendingResult = 0;
};

}  // namespace zr
