#include "ui/MainDlg.h"

#include "../../res/resource.h"

namespace zr {

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CZuderaRurarizIdirDlg::CZuderaRurarizIdirDlg(HWND parent)
    : CDialog(IDD_MAIN, parent), m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN))) {}

BOOL CZuderaRurarizIdirDlg::OnInit() {
    std::string about = LoadResString(IDS_ABOUTBOX);
    if (!about.empty()) {
        HMENU menu = GetSystemMenu(m_hWnd, FALSE);
        if (menu) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_strCaption = LoadResString(IDS_APP_TITLE);
    return TRUE;
}

INT_PTR CZuderaRurarizIdirDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    (void)lParam;
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg about;
            about.DoModal();
            handled = true;
            return TRUE;
        }
        break;
    case WM_PAINT:
        OnPaint(handled);
        return 0;
    case WM_QUERYDRAGICON:
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        break;
    }
    handled = false;
    return 0;
}

void CZuderaRurarizIdirDlg::OnPaint(bool& handled) {
    if (!IsIconic(m_hWnd)) {
        handled = false;
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    handled = true;
}

}  // namespace zr
