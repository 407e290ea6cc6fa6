#include "ui/results/ProgressFileList.h"

#include <algorithm>
#include <vector>

#include "ui/window/Dpi.h"

namespace zr {

namespace {

const int kImageGrow = 12;
// Pixels at 96 DPI; the pictures are stretched to the display's scale. The
// separator stays one pixel, a hairline like the system's own grid lines.
const int kImageWidth = 18;
const int kImageHeight = 16;
const int kCellMargin = 3;
const int kImageGap = 2;
const COLORREF kTransparent = RGB(255, 0, 255);
const COLORREF kSeparatorColor = RGB(128, 128, 128);
const DWORD kExtendedStyles = LVS_EX_LABELTIP | LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES;

// In image-index order: in progress (three frames), succeeded, failed, audio, voice.
const char* const kBitmaps[] = {"LIST_ANIMATION_do1", "LIST_ANIMATION_do2", "LIST_ANIMATION_do3",
                                "LIST_ANIMATION_SC",  "LIST_ANIMATION_ER",  "ICON_LIST_RESULT_AUDIO",
                                "ICON_LIST_RESULT_VOICE"};

// An off-screen surface of the given size, compatible with dc.
class COffscreen {
public:
    COffscreen(HDC dc, int width, int height)
        : m_hDC(CreateCompatibleDC(dc)), m_hBitmap(CreateCompatibleBitmap(dc, width, height)) {
        if (m_hDC && m_hBitmap) m_hOld = SelectObject(m_hDC, m_hBitmap);
    }
    ~COffscreen() {
        if (m_hOld) SelectObject(m_hDC, m_hOld);
        if (m_hBitmap) DeleteObject(m_hBitmap);
        if (m_hDC) DeleteDC(m_hDC);
    }
    COffscreen(const COffscreen&) = delete;
    COffscreen& operator=(const COffscreen&) = delete;
    bool Valid() const { return m_hOld != nullptr; }
    HDC DC() const { return m_hDC; }

private:
    HDC m_hDC;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOld = nullptr;
};

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    COLORREF old = SetBkColor(dc, color);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

}  // namespace

CProgressFileList::~CProgressFileList() { ReleaseResources(); }

void CProgressFileList::ReleaseResources() {
    if (m_hImageList) {
        ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
    }
    if (m_hSeparatorPen) {
        DeleteObject(m_hSeparatorPen);
        m_hSeparatorPen = nullptr;
    }
}

int CProgressFileList::InitList() {
    ReleaseResources();
    const int width = ScaleByDpi(kImageWidth), height = ScaleByDpi(kImageHeight);
    m_hImageList = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 0, kImageGrow);
    if (!m_hImageList) return 0;
    HINSTANCE module = GetModuleHandleA(nullptr);
    for (const char* name : kBitmaps) {
        // Stretched pixel by pixel, so magenta stays exactly the transparent colour.
        HBITMAP bitmap =
            static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, width, height, LR_CREATEDIBSECTION));
        if (!bitmap) return 0;
        ImageList_AddMasked(m_hImageList, bitmap, kTransparent);
        DeleteObject(bitmap);
    }
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_hImageList));

    LOGBRUSH brush = {BS_SOLID, kSeparatorColor, 0};
    const DWORD dotted[] = {1, 1};
    m_hSeparatorPen = ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &brush, 2, dotted);

    DWORD styles = static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(styles | kExtendedStyles));
    return 1;
}

LRESULT CProgressFileList::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        if (OnEraseBackground(reinterpret_cast<HDC>(wParam))) return 1;
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHEADERA*>(lParam);
        if ((header->hdr.code == HDN_ITEMCHANGEDA || header->hdr.code == HDN_ITEMCHANGEDW) &&
            (!header->pitem || (header->pitem->mask & HDI_WIDTH)) && GetItemCount() > 0) {
            // Cells right of the resized column move: redraw them all.
            RECT cell = {};
            cell.top = header->iItem;
            cell.left = LVIR_BOUNDS;
            Send(LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell));
            RECT client;
            GetClientRect(m_hWnd, &client);
            client.left = cell.left;
            InvalidateRect(m_hWnd, &client, TRUE);
        }
        break;
    }
    case WM_NCDESTROY:
        ReleaseResources();
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

bool CProgressFileList::OnEraseBackground(HDC dc) {
    RECT client;
    GetClientRect(m_hWnd, &client);
    COffscreen off(dc, client.right, client.bottom);
    if (!off.Valid()) return false;
    FillSolid(off.DC(), client, static_cast<COLORREF>(Send(LVM_GETBKCOLOR)));

    HGDIOBJ oldPen = m_hSeparatorPen ? SelectObject(off.DC(), m_hSeparatorPen) : nullptr;
    const int count = GetItemCount();
    const int top = GetTopIndex();
    const int end = std::min(count, top + GetCountPerPage() + 1);
    for (int i = top; i < end; ++i) {
        RECT row;
        if (!GetItemRect(i, row, LVIR_BOUNDS)) continue;
        // Rows paint themselves; the erase never paints over one.
        ExcludeClipRect(dc, row.left, row.top, row.right, row.bottom - 1);
        MoveToEx(off.DC(), row.left, row.bottom - 1, nullptr);
        LineTo(off.DC(), row.right, row.bottom - 1);
    }
    if (oldPen) SelectObject(off.DC(), oldPen);

    BitBlt(dc, 0, 0, client.right, client.bottom, off.DC(), 0, 0, SRCCOPY);
    SelectClipRgn(dc, nullptr);
    return true;
}

void CProgressFileList::DrawItem(const DRAWITEMSTRUCT* draw) {
    RECT target = draw->rcItem;
    target.bottom -= 1;  // keeps the separator line
    const int width = target.right - target.left;
    const int height = target.bottom - target.top;
    if (width <= 0 || height <= 0) return;

    COffscreen off(draw->hDC, width, height);
    if (!off.Valid()) return;
    HDC dc = off.DC();
    SetStretchBltMode(dc, COLORONCOLOR);
    HFONT listFont = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    HGDIOBJ oldFont = listFont ? SelectObject(dc, listFont) : nullptr;

    const int item = static_cast<int>(draw->itemID);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
    COLORREF text = static_cast<COLORREF>(Send(LVM_GETTEXTCOLOR));
    COLORREF background = static_cast<COLORREF>(Send(LVM_GETBKCOLOR));
    if (draw->itemState & ODS_SELECTED) {
        if (GetFocus() == m_hWnd) {
            text = GetSysColor(COLOR_CAPTIONTEXT);
            background = GetSysColor(COLOR_ACTIVECAPTION);
        } else if (style & LVS_SHOWSELALWAYS) {
            text = GetSysColor(COLOR_WINDOWTEXT);
            background = GetSysColor(COLOR_BTNFACE);
        }
    }
    HFONT font = nullptr;
    GetItemColors(item, font, text, background);
    if (!font) font = listFont;

    const RECT row = {0, 0, width, height};
    FillSolid(dc, row, background);

    HWND header = GetHeader();
    const int columns = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    std::vector<int> order(columns > 0 ? static_cast<size_t>(columns) : 0);
    if (columns > 0) Send(LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(columns), reinterpret_cast<LPARAM>(order.data()));
    int left = 0;
    for (int column : order) {
        LVCOLUMNA info = {};
        info.mask = LVCF_WIDTH | LVCF_FMT;
        if (!Send(LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info))) continue;
        const RECT cell = {left, 0, left + info.cx, height};
        left += info.cx;
        HFONT cellFont = font;
        COLORREF cellText = text, cellBackground = background;
        GetSubItemColors(item, column, cellFont, cellText, cellBackground);
        if (!cellFont) cellFont = font;
        DrawSubItem(dc, item, column, row, cell, info.fmt, style, exStyle, cellFont, cellText, cellBackground);
    }

    BitBlt(draw->hDC, target.left, target.top, width, height, dc, 0, 0, SRCCOPY);
    if (oldFont) SelectObject(dc, oldFont);
}

void CProgressFileList::GetItemColors(int item, HFONT& font, COLORREF& text, COLORREF& background) {
    (void)font;
    LVITEMA info = {};
    info.mask = LVIF_IMAGE;
    info.iItem = item;
    info.iImage = -1;
    Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    switch (info.iImage) {
    case -1:
        text = RGB(128, 128, 128);
        background = RGB(255, 255, 255);
        break;
    case 0:
    case 1:
    case 2:
        text = RGB(255, 64, 0);
        background = RGB(255, 240, 128);
        break;
    case 3:
        text = RGB(0, 0, 0);
        background = RGB(255, 255, 255);
        break;
    case 4:
        text = RGB(255, 0, 0);
        background = RGB(255, 255, 255);
        break;
    default:
        break;
    }
}

void CProgressFileList::GetSubItemColors(int item, int column, HFONT& font, COLORREF& text, COLORREF& background) {
    (void)item, (void)column, (void)font, (void)text, (void)background;
}

void CProgressFileList::DrawSubItem(HDC dc, int item, int column, const RECT& row, const RECT& cell, int format,
                                    DWORD style, DWORD exStyle, HFONT font, COLORREF text, COLORREF background) {
    (void)row, (void)style, (void)exStyle;
    char buffer[512] = {};
    LVITEMA info = {};
    info.mask = LVIF_TEXT | LVIF_IMAGE;
    info.iItem = item;
    info.iSubItem = column;
    info.pszText = buffer;
    info.cchTextMax = sizeof(buffer);
    info.iImage = -1;
    Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    const char* label = info.pszText ? info.pszText : "";

    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    COLORREF oldText = SetTextColor(dc, text);
    COLORREF oldBackground = SetBkColor(dc, background);
    FillSolid(dc, cell, background);
    RECT rect = cell;
    const int margin = ScaleByDpi(kCellMargin);
    rect.left += margin;
    rect.right -= margin;

    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
    if (info.iImage >= 0 && images) {
        int imageWidth = 0, imageHeight = 0;
        ImageList_GetIconSize(images, &imageWidth, &imageHeight);
        ImageList_Draw(images, info.iImage, dc, rect.left, cell.top + (cell.bottom - cell.top - imageHeight) / 2,
                       ILD_TRANSPARENT);
        rect.left += imageWidth + ScaleByDpi(kImageGap);
    }

    const UINT base = DT_NOPREFIX | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER;
    SIZE extent = {};
    GetTextExtentPoint32A(dc, label, lstrlenA(label), &extent);
    UINT flags = base;
    if (extent.cx <= rect.right - rect.left) {
        if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT) flags |= DT_RIGHT;
        else if ((format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER) flags |= DT_CENTER;
    }
    DrawTextA(dc, label, -1, &rect, flags);

    SetBkColor(dc, oldBackground);
    SetTextColor(dc, oldText);
    if (oldFont) SelectObject(dc, oldFont);
}

}  // namespace zr
