#include "job/CancelState.h"

namespace zr {

CCancelState::CCancelState() : m_hAnswered(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}

CCancelState::~CCancelState() {
    if (m_hAnswered) CloseHandle(m_hAnswered);
}

bool CCancelState::BeginQuestion() {
    if (m_bQuestionOpen || m_bCancel == 1) return false;
    m_bQuestionOpen = true;
    // The worker is held only when the job can still be cancelled; one that
    // committed to its end meanwhile goes on.
    if (m_hAnswered) ResetEvent(m_hAnswered);
    State expected = State::Running;
    if (!m_state.compare_exchange_strong(expected, State::Asking) && m_hAnswered) SetEvent(m_hAnswered);
    return true;
}

void CCancelState::Answer(bool cancel, const std::function<void()>& cancelled) {
    if (!m_bQuestionOpen) return;
    if (m_state == State::Asking) {
        if (cancel) {
            m_bCancel = 1;
            if (cancelled) cancelled();
        }
        m_state = State::Running;
    }
    m_bQuestionOpen = false;
    if (m_hAnswered) SetEvent(m_hAnswered);
}

void CCancelState::WaitForAnswer() {
    // The state spares the worker a system call at every check while nobody is asked.
    if (m_state == State::Asking && m_hAnswered) WaitForSingleObject(m_hAnswered, INFINITE);
}

bool CCancelState::MayCancel() {
    WaitForAnswer();
    return m_state != State::Finishing;
}

void CCancelState::CommitToFinish() {
    for (;;) {
        WaitForAnswer();
        State current = m_state;
        if (current == State::Asking) continue;
        if (m_state.compare_exchange_strong(current, State::Finishing)) return;
    }
}

}  // namespace zr
