#include "job/ExecuteBackupRestore.h"

#include "common/CodeTexts.h"
#include "common/ResString.h"
#include "common/ResultCodes.h"
#include "common/Trace.h"
#include "job/JobMessages.h"
#include "engine/Recovery.h"
#include "job/steps/JobSteps.h"
#include "resource.h"
#include "ui/results/ResultView.h"

namespace zr {

namespace {

const char kTraceInitialize[] =
    "\n\nCExecuteBackupRestore::BackupRestoreThread m_cBackupRestore.Initialize failed\n\n";

// A disabled control loses the keyboard focus, which would leave the dialog
// with none: the dialog takes it. Only once the button is disabled, or the
// dialog manager could hand the focus straight back to it.
void DisableKeepingFocus(HWND dialog, const CButton& button) {
    const bool focused = GetFocus() == button.GetHWND();
    button.Enable(false);
    if (focused) SetFocus(dialog);
}

}  // namespace

CExecuteBackupRestore::CExecuteBackupRestore(HWND parent) : CDialog(IDD_EXECUTE_BACKUP_RESTORE, parent) {
    InitializeCriticalSection(&m_csSendMessage);
}

CExecuteBackupRestore::~CExecuteBackupRestore() {
    // The dialog closes only after the worker ended; this covers a dialog
    // that could not be created after all.
    if (m_pThread) m_pThread->Wait(INFINITE);
    DeleteCriticalSection(&m_csSendMessage);
}

void CExecuteBackupRestore::DoDataExchange() {
    m_btnCancel.Attach(GetItem(IDC_JOB_CANCEL));
    m_animate.Attach(GetItem(IDC_JOB_ANIMATE));
    m_staticStatus.Attach(GetItem(IDC_JOB_STATUS));
    m_progress.Attach(GetItem(IDC_JOB_PROGRESS));
}

BOOL CExecuteBackupRestore::OnInit() {
    DoDataExchange();
    m_strTitle = LoadResString(IDS_APP_TITLE);
    if (m_animate.Open(GetModuleHandleA(nullptr), IDR_JOB_ANIMATION)) m_animate.Play(0, 0xFFFF, -1);
    m_btnCancel.Enable(false);
    SetText(LoadResString(IsRestore() ? IDS_CAPTION_RESTORE : IDS_CAPTION_BACKUP).c_str());
    m_staticStatus.SetText(LoadResString(IDS_STATUS_PREPARING).c_str());
    m_progress.SetRange(0, 100);
    m_hNotifyWnd = m_hWnd;
    m_pThread = CThread::Begin(&CExecuteBackupRestore::BackupRestoreThread, this);
    if (!m_pThread) {
        // Without a worker nothing would ever close the dialog.
        PostMessageA(m_hWnd, WM_BR_COMPLETE, static_cast<WPARAM>(RC_E_FAIL), 0);
    }
    return TRUE;
}

bool CExecuteBackupRestore::OnButtonClicked(WORD id) {
    if (id == IDC_JOB_CANCEL) {
        OnBnClickedCancel();
        return true;
    }
    return CDialog::OnButtonClicked(id);
}

INT_PTR CExecuteBackupRestore::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    switch (message) {
    case WM_BR_COMPLETE:
        if (m_cancel.IsQuestionOpen()) {
            // Handled once the cancel question is answered.
            m_pendingComplete = static_cast<HRESULT>(wParam);
        } else {
            OnComplete(static_cast<HRESULT>(wParam));
        }
        break;
    case WM_BR_CONTENTS_PHASE:
        OnContentsPhase();
        break;
    case WM_BR_DATABASE_PHASE:
        OnDatabasePhase();
        break;
    case WM_BR_PROGRESS:
        OnProgress(static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
        break;
    case WM_BR_ASK_REPLACE_FIRST:
        // A sent message's answer goes back through the dialog's result slot.
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, OnAskReplaceFirst());
        return TRUE;
    default:
        handled = false;
        break;
    }
    // A dialog procedure's result for these messages: 0.
    return 0;
}

// ---- Worker ----

DWORD WINAPI CExecuteBackupRestore::BackupRestoreThread(void* arg) {
    auto* self = static_cast<CExecuteBackupRestore*>(arg);
    CBackupRestore& engine = self->m_cBackupRestore;
    if (FAILED(engine.Initialize(*self))) {
        Trace("%s", kTraceInitialize);
        self->PostComplete(RC_E_UNEXPECTED);
        return 1;
    }
    HRESULT result = self->RunJob();
    engine.ReleaseJob();
    self->PostComplete(result);
    return 1;
}

HRESULT CExecuteBackupRestore::RunJob() {
    SendMessageLocked(WM_BR_CONTENTS_PHASE);
    if (IsCancelled()) return RC_CANCELLED;
    // Without its record a job stopped midway could not be put right.
    if (!m_journal.Open(IsRestore() ? "restore" : "backup", {m_strBackupData, m_strRestoreTo})) {
        Trace("\n\nCExecuteBackupRestore::BackupRestoreThread the job's record cannot be written\n\n");
        return RC_E_FAIL;
    }
    return IsRestore() ? RunRestoreSteps(m_cBackupRestore, m_strBackupData, m_strRestoreTo, *this)
                       : RunBackupSteps(m_cBackupRestore, m_strBackupData, *this);
}

void CExecuteBackupRestore::Progress(DWORD done, DWORD total) {
    PostMessageA(m_hNotifyWnd, WM_BR_PROGRESS, done, total);
}

void CExecuteBackupRestore::EnterDatabasePhase() { SendMessageLocked(WM_BR_DATABASE_PHASE); }

bool CExecuteBackupRestore::ConfirmReplaceFirst() { return SendMessageLocked(WM_BR_ASK_REPLACE_FIRST) == IDYES; }

void CExecuteBackupRestore::CommitToFinish() { m_cancel.CommitToFinish(); }

bool CExecuteBackupRestore::IsCancelled() { return m_cancel.MayCancel() && m_cancel.IsCancelled(); }

bool CExecuteBackupRestore::MayCancel() { return m_cancel.MayCancel(); }

LRESULT CExecuteBackupRestore::SendMessageLocked(UINT message) {
    EnterCriticalSection(&m_csSendMessage);
    LRESULT result = SendMessageA(m_hWnd, message, 0, 0);
    LeaveCriticalSection(&m_csSendMessage);
    // The dialog may have taken a click on cancel while handling the message;
    // nothing more starts before the answer.
    m_cancel.MayCancel();
    return result;
}

void CExecuteBackupRestore::PostComplete(HRESULT result) {
    // The dialog closes only on this message, so it must arrive; a full queue
    // empties as the dialog runs.
    while (!PostMessageA(m_hWnd, WM_BR_COMPLETE, static_cast<WPARAM>(static_cast<DWORD>(result)), 0)) {
        if (!IsWindow(m_hWnd)) return;
        Sleep(10);
    }
}

// ---- Dialog ----

void CExecuteBackupRestore::OnContentsPhase() {
    m_btnCancel.Enable(true);
    m_progress.SetPos(10);
    m_staticStatus.SetText(LoadResString(IsRestore() ? IDS_STATUS_RESTORE_CONTENTS : IDS_STATUS_BACKUP_CONTENTS).c_str());
}

void CExecuteBackupRestore::OnDatabasePhase() {
    // Sent messages overtake posted ones: progress of the contents phase still
    // queued would move the bar back below 90.
    DropQueuedProgress();
    m_bDatabasePhase = true;
    DisableKeepingFocus(m_hWnd, m_btnCancel);
    m_progress.SetPos(90);
    m_staticStatus.SetText(LoadResString(IsRestore() ? IDS_STATUS_RESTORE_DATABASE : IDS_STATUS_BACKUP_DATABASE).c_str());
}

void CExecuteBackupRestore::OnProgress(DWORD done, DWORD total) {
    if (total == 0) return;
    // A fast engine must not flood the queue.
    DropQueuedProgress();
    // Once the database phase has begun (perhaps just now, let through by the
    // drop) the bar stays where it is.
    if (m_bDatabasePhase) return;
    m_progress.SetPos(static_cast<int>(10u + (done * 80u) / total));
}

void CExecuteBackupRestore::DropQueuedProgress() {
    MSG stale;
    while (PeekMessageA(&stale, m_hWnd, WM_BR_PROGRESS, WM_BR_PROGRESS, PM_REMOVE)) {
    }
}

int CExecuteBackupRestore::OnAskReplaceFirst() {
    // Deleting the only backup there is: "No" is what a stray Enter does.
    return MessageBoxA(m_hWnd, LoadResString(IDS_BACKUP_REPLACE_FIRST).c_str(), m_strTitle.c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
}

void CExecuteBackupRestore::OnBnClickedCancel() {
    // The worker stops at its next check and waits for the answer; it is
    // never suspended, so it holds no lock this thread could need.
    if (!m_pThread || !m_cancel.BeginQuestion()) return;
    const bool yes = MessageBoxA(m_hWnd, LoadResString(IDS_CONFIRM_CANCEL).c_str(), m_strTitle.c_str(),
                                 MB_YESNO | MB_ICONQUESTION) == IDYES;
    m_cancel.Answer(yes, [this] { m_cBackupRestore.RequestCancel(); });
    if (yes) DisableKeepingFocus(m_hWnd, m_btnCancel);
    if (m_pendingComplete) {
        const HRESULT result = *m_pendingComplete;
        m_pendingComplete.reset();
        OnComplete(result);
    }
}

void CExecuteBackupRestore::OnComplete(HRESULT result) {
    // The worker posted this as its last act; once it has returned, its
    // engine data may be read here and the thread object let go.
    if (m_pThread) m_pThread->Wait(INFINITE);
    m_pThread.reset();
    m_animate.Stop();
    m_animate.Play(0, 0, 0);
    m_progress.SetPos(100);

    // The user chose another folder: nothing was changed, nothing to say.
    if (result == RC_E_OTHER_FOLDER) {
        m_journal.Close();
        EndDialog(IDRETRY);
        return;
    }

    UINT text = 0;
    UINT icon = MB_ICONINFORMATION;
    if (result == RC_OK) {
        ShowResultView();
        text = IsRestore() ? IDS_RESTORE_COMPLETE : IDS_BACKUP_COMPLETE;
    } else if (result == RC_CANCELLED) {
        text = IDS_CANCELLED;
    } else {
        text = JobFailureText(result, IsRestore());
        icon = MB_ICONERROR;
    }
    MessageBoxA(m_hWnd, LoadResString(text).c_str(), m_strTitle.c_str(), MB_OK | icon);
    // What a failed or cancelled job made goes by its record: a backup's
    // working tree (an earlier backup stays as it was), a restore's prepared
    // library and RestoreData. What cannot go now the next start puts right.
    EndJobRecord(m_journal, result == RC_OK);

    m_vecFailedTitle.clear();
    m_vecFailedCode.clear();
    EndDialog(IDOK);
}

void CExecuteBackupRestore::ShowResultView() {
    m_vecFailedTitle = m_cBackupRestore.FailedTitles();
    m_vecFailedCode = m_cBackupRestore.FailedCodes();
    if (m_vecFailedTitle.empty()) return;
    CResultView view(m_hWnd);
    view.SetResults(m_vecFailedTitle, m_vecFailedCode);
    view.DoModal();
}

}  // namespace zr
