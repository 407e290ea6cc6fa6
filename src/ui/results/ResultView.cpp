#include "ui/results/ResultView.h"

#include <cstdio>

#include "resource.h"
#include "common/CodeTexts.h"
#include "common/PathUtil.h"
#include "common/ResString.h"
#include "ui/window/Dpi.h"

namespace zr {

namespace {

// Pixels at 96 DPI.
const int kColumnResultWidth = 50;
const int kColumnTitleWidth = 125;
const int kColumnDetailWidth = 600;
const int kImageFailed = 4;

// Asked once per process: 0 not yet, 1 Japanese or Chinese, 2 any other language.
volatile LONG g_nTitleLanguage = 0;

UINT TitleHeaderString() {
    if (g_nTitleLanguage == 0) {
        const WORD primary = PRIMARYLANGID(GetUserDefaultLangID());
        g_nTitleLanguage = (primary == LANG_JAPANESE || primary == LANG_CHINESE) ? 1 : 2;
    }
    return g_nTitleLanguage == 1 ? IDS_COLUMN_TITLE : IDS_COLUMN_TITLE_HALFWIDTH;
}

// width: pixels at 96 DPI.
void InsertColumn(HWND list, int index, const std::string& text, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = ScaleByDpi(width);
    column.pszText = const_cast<char*>(text.c_str());
    column.iSubItem = index;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

}  // namespace

std::string FormatResultDetail(ItemCode code) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), " (%08X)", static_cast<unsigned>(ItemCodeNumber(code)));
    return LoadResString(ItemDetailText(code)) + suffix;
}

CResultView::CResultView(HWND parent) : CDialog(IDD_RESULT_VIEW, parent) {}

void CResultView::SetResults(const std::vector<std::string>& titles, const std::vector<ItemCode>& codes) {
    const size_t count = std::min(titles.size(), codes.size());
    for (size_t i = 0; i < count; ++i) m_rows.push_back(ResultRow{codes[i], titles[i], FormatResultDetail(codes[i])});
}

void CResultView::DoDataExchange() { m_list.Subclass(GetItem(IDC_RESULT_LIST)); }

BOOL CResultView::OnInit() {
    DoDataExchange();
    // Without the pictures the list still shows every row.
    m_list.InitList();
    HWND list = m_list.GetHWND();
    InsertColumn(list, 0, LoadResString(IDS_COLUMN_RESULT), kColumnResultWidth);
    InsertColumn(list, 1, LoadResString(TitleHeaderString()), kColumnTitleWidth);
    InsertColumn(list, 2, LoadResString(IDS_COLUMN_DETAIL), kColumnDetailWidth);
    SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(m_rows.size()), 0);
    return TRUE;
}

INT_PTR CResultView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (message == WM_DRAWITEM && wParam == IDC_RESULT_LIST) {
        m_list.DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        handled = true;
        return TRUE;
    }
    handled = false;
    return 0;
}

bool CResultView::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom != IDC_RESULT_LIST || header->code != LVN_GETDISPINFOA) return false;
    OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
    result = 0;
    return true;
}

void CResultView::OnGetDispInfo(NMLVDISPINFOA* info) {
    LVITEMA& item = info->item;
    if (item.iItem >= 0 && static_cast<size_t>(item.iItem) < m_rows.size()) {
        const ResultRow& row = m_rows[static_cast<size_t>(item.iItem)];
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            const std::string* text = item.iSubItem == 1 ? &row.title : item.iSubItem == 2 ? &row.detail : nullptr;
            // A cut inside a double-byte character would leave half of it to be drawn.
            CopyCutAtCharacter(item.pszText, static_cast<std::size_t>(item.cchTextMax), text ? text->c_str() : "");
        }
        if (item.mask & LVIF_IMAGE) item.iImage = item.iSubItem == 0 ? kImageFailed : -1;
    }
}

}  // namespace zr
