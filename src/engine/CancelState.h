// Whether a job goes on: one object, owned by the job, between the dialog
// thread, which asks the user, and the worker, which checks between files,
// tracks and steps. While the question is open the worker waits at its next
// check, so no further file or step starts before the answer.
#pragma once

#include <windows.h>

#include <atomic>

namespace zr {

class CCancelState {
public:
    enum class State : LONG {
        Running,    // the contents phase: a cancel may be asked for
        Asking,     // the question is open; the worker waits for the answer
        Cancelled,  // the user said yes; the engine's flag is set
        Finishing,  // committed to its end: nothing cancels from here on
    };

    // cancelFlag: the engine's m_bCancelFlag, set to 1 when the user says yes.
    explicit CCancelState(std::atomic<LONG>& cancelFlag);
    ~CCancelState();
    CCancelState(const CCancelState&) = delete;
    CCancelState& operator=(const CCancelState&) = delete;

    // Dialog thread. True when the question may be shown: not while one is
    // open, not once cancelled. A job finishing is asked too (the button may
    // be clicked just as the database phase begins), and the answer changes nothing.
    bool BeginQuestion();
    void Answer(bool cancel);
    bool IsQuestionOpen() const { return m_bQuestionOpen; }

    // Worker thread. Waits while the question is open; false once finishing.
    bool MayCancel();
    // Waits for an open question, then commits the job to its end.
    void CommitToFinish();

    State Get() const { return m_state; }

private:
    void WaitForAnswer();

    std::atomic<LONG>& m_cancelFlag;
    std::atomic<State> m_state{State::Running};
    std::atomic<bool> m_bQuestionOpen{false};
    // Manual-reset, signalled except while the worker must wait for an answer.
    HANDLE m_hAnswered;
};

}  // namespace zr
