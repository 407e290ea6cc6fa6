// The list of items a job could not handle: title and a detail text per item.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/ResultCodes.h"
#include "ui/window/Dialog.h"
#include "ui/results/ProgressFileList.h"

namespace zr {

struct ResultRow {
    ItemCode code;
    std::string title;
    std::string detail;
};

// The message for code, then " (%08X)" with the code.
std::string FormatResultDetail(ItemCode code);

class CResultView : public CDialog {
public:
    explicit CResultView(HWND parent);

    // Parallel lists in the order the engine recorded them; called before DoModal.
    void SetResults(const std::vector<std::string>& titles, const std::vector<ItemCode>& codes);

protected:
    BOOL OnInit() override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void DoDataExchange();
    void OnGetDispInfo(NMLVDISPINFOA* info);

    CProgressFileList m_list;
    // Filled before the view opens and read only on its own thread: no lock.
    std::vector<ResultRow> m_rows;
};

}  // namespace zr
