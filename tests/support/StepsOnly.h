// The job runner's side without a dialog, for tests that run the engine's
// steps: nobody cancels unless told, nobody is asked, and the progress the
// engine reports is kept for the test to read.
#pragma once

#include <windows.h>

#include <ostream>
#include <utility>
#include <vector>

#include "common/ResultCodes.h"
#include "engine/JobRunner.h"

namespace zrtest {

struct CStepsOnly : zr::IJobRunner {
    void Progress(DWORD done, DWORD total) override { m_progress.emplace_back(done, total); }
    void EnterDatabasePhase() override {}
    bool IsCancelled() override { return false; }
    // The user's answer when a backup fits only in the earlier one's place.
    bool ConfirmReplaceFirst() override {
        ++m_nAskedReplaceFirst;
        return m_bReplaceFirst;
    }

    bool m_bReplaceFirst = false;
    int m_nAskedReplaceFirst = 0;

    // The progress reported since the last call, as (done, total).
    std::vector<std::pair<WPARAM, LPARAM>> Collect() {
        std::vector<std::pair<WPARAM, LPARAM>> reported;
        reported.swap(m_progress);
        return reported;
    }

private:
    std::vector<std::pair<WPARAM, LPARAM>> m_progress;
};

}  // namespace zrtest

namespace zr {
// Item codes in a failed assertion, as the result view shows them.
inline void PrintTo(ItemCode code, std::ostream* os) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08lX", static_cast<unsigned long>(ItemCodeNumber(code)));
    *os << text;
}
}  // namespace zr
