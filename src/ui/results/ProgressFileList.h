// An owner-data, owner-drawn report list: each row is composed off-screen with
// a state image and state colours, and a dotted separator under it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/window/ListCtrl.h"

namespace zr {

class CProgressFileList : public CListCtrl {
public:
    CProgressFileList() = default;
    ~CProgressFileList() override;

    // The image list and the separator pen; 1, or 0 when a bitmap is missing.
    int InitList();
    void DrawItem(const DRAWITEMSTRUCT* draw) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Hooks for derived lists; font and colours are in-out.
    virtual void GetItemColors(int item, HFONT& font, COLORREF& text, COLORREF& background);
    virtual void GetSubItemColors(int item, int column, HFONT& font, COLORREF& text, COLORREF& background);
    virtual void DrawSubItem(HDC dc, int item, int column, const RECT& row, const RECT& cell, int format,
                             DWORD style, DWORD exStyle, HFONT font, COLORREF text, COLORREF background);

private:
    bool OnEraseBackground(HDC dc);
    void ReleaseResources();

    HIMAGELIST m_hImageList = nullptr;
    HPEN m_hSeparatorPen = nullptr;
};

}  // namespace zr
