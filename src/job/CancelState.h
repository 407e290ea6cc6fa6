// Whether a job goes on: one object, owned by the job, between the dialog
// thread, which asks the user, and the worker, which checks between files,
// tracks and steps. While the question is open the worker waits at its next
// check, so no further file or step starts before the answer.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace zr {

class CCancelState {
public:
    enum class State : LONG {
        Running,    // a cancel may be asked for
        Asking,     // the question is open; the worker waits for the answer
        Finishing,  // committed to its end: nothing cancels from here on
    };

    CCancelState();
    ~CCancelState();
    CCancelState(const CCancelState&) = delete;
    CCancelState& operator=(const CCancelState&) = delete;

    // Dialog thread. True when the question may be shown: not while one is
    // open, not once cancelled. A job finishing is asked too (the button may
    // be clicked just as the database phase begins), and the answer changes nothing.
    bool BeginQuestion();
    // The user's answer. A yes that cancels the job runs `cancelled` (which
    // sets the engine's flag) before the worker goes on.
    void Answer(bool cancel, const std::function<void()>& cancelled);
    bool IsQuestionOpen() const { return m_bQuestionOpen; }

    // Worker thread. Waits while the question is open; false once finishing.
    bool MayCancel();
    // Waits for an open question, then commits the job to its end.
    void CommitToFinish();
    // The job's cancel flag: 1 once the user said yes, set only while the
    // worker waits, and never cleared.
    bool IsCancelled() const { return m_bCancel == 1; }

    State Get() const { return m_state; }

private:
    void WaitForAnswer();

    std::atomic<LONG> m_bCancel{0};
    std::atomic<State> m_state{State::Running};
    std::atomic<bool> m_bQuestionOpen{false};
    // Manual-reset, signalled except while the worker must wait for an answer.
    HANDLE m_hAnswered;
};

}  // namespace zr
