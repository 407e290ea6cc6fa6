#include "support/UiDriver.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/window/ScreenDC.h"

namespace zrui {

namespace {

constexpr DWORD kPollMs = 50;

// Owns one reference of a COM interface.
template <typename T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() {
        if (m_p) m_p->Release();
    }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }

private:
    T* m_p = nullptr;
};

class CComApartment {
public:
    CComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    HRESULT m_hr;
};

class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() {
        if (m_h) CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

// A copy of some bytes inside another process, freed with the object.
class CRemoteCopy {
public:
    CRemoteCopy(HWND window, const void* data, size_t size)
        : m_process(OpenProcessOf(window)) {
        if (!m_process.get()) return;
        m_address = VirtualAllocEx(m_process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        SIZE_T written = 0;
        if (m_address && !(WriteProcessMemory(m_process.get(), m_address, data, size, &written) && written == size)) {
            VirtualFreeEx(m_process.get(), m_address, 0, MEM_RELEASE);
            m_address = nullptr;
        }
    }
    ~CRemoteCopy() {
        if (m_address) VirtualFreeEx(m_process.get(), m_address, 0, MEM_RELEASE);
    }
    CRemoteCopy(const CRemoteCopy&) = delete;
    CRemoteCopy& operator=(const CRemoteCopy&) = delete;
    char* get() const { return static_cast<char*>(m_address); }
    bool Write(size_t offset, const void* data, size_t size) {
        SIZE_T written = 0;
        return m_address && WriteProcessMemory(m_process.get(), get() + offset, data, size, &written) && written == size;
    }
    // What the other process has written there since.
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T read = 0;
        return m_address && ReadProcessMemory(m_process.get(), get() + offset, data, size, &read) && read == size;
    }

private:
    static HANDLE OpenProcessOf(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        return pid ? OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                 FALSE, pid)
                   : nullptr;
    }

    CHandle m_process;
    void* m_address = nullptr;
};

struct ChildSearch {
    const char* className;
    bool found;
};

BOOL CALLBACK FindChildOfClass(HWND child, LPARAM lParam) {
    auto* search = reinterpret_cast<ChildSearch*>(lParam);
    if (GetClass(child) == search->className) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

bool Matches(HWND window, const WindowQuery& query) {
    if (!IsWindowVisible(window)) return false;
    if (query.pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != query.pid) return false;
    }
    if (query.owner && GetWindow(window, GW_OWNER) != query.owner) return false;
    if (!query.className.empty() && GetClass(window) != query.className) return false;
    if (!query.title.empty() && GetText(window) != query.title) return false;
    if (query.requiredItem && !GetDlgItem(window, query.requiredItem)) return false;
    if (!query.requiredChildClass.empty()) {
        ChildSearch search{query.requiredChildClass.c_str(), false};
        EnumChildWindows(window, &FindChildOfClass, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return false;
    }
    return true;
}

struct TopSearch {
    const WindowQuery* query;
    HWND found;
};

BOOL CALLBACK FindMatchingTop(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<TopSearch*>(lParam);
    if (!Matches(window, *search->query)) return TRUE;
    search->found = window;
    return FALSE;
}

template <typename Predicate>
bool PollUntil(DWORD timeoutMs, Predicate done) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

bool SendSelection(HWND browser, BOOL isPath, const void* data, size_t size) {
    CRemoteCopy copy(browser, data, size);
    if (!copy.get()) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(browser, BFFM_SETSELECTIONA, isPath, reinterpret_cast<LPARAM>(copy.get()),
                               SMTO_NORMAL, kDefaultTimeoutMs, &result) != 0;
}

std::wstring Widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return std::wstring(wide.data());
}

bool WritePng(HBITMAP bitmap, const std::string& pngPath) {
    CComApartment apartment;
    CComPtr<IWICImagingFactory> factory;
    CComPtr<IWICBitmap> source;
    CComPtr<IWICStream> stream;
    CComPtr<IWICBitmapEncoder> encoder;
    CComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;
    if (FAILED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &source))) return false;
    UINT width = 0, height = 0;
    source->GetSize(&width, &height);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    std::wstring widePath = Widen(pngPath);
    return SUCCEEDED(factory->CreateStream(&stream)) &&
           SUCCEEDED(stream->InitializeFromFilename(widePath.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           SUCCEEDED(frame->WriteSource(source.get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
           SUCCEEDED(encoder->Commit());
}

using zr::CScreenDC;

// A 32-bit top-down bitmap selected into a memory DC: drawn into, then read.
class CSurface {
public:
    CSurface(int width, int height) : m_size(width > 0 && height > 0 ? static_cast<size_t>(width) * height : 0) {
        CScreenDC screen;
        if (!m_size || !screen.Get()) return;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_hDC = CreateCompatibleDC(screen.Get());
        m_hBitmap = CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &m_pBits, nullptr, 0);
        if (m_hDC && m_hBitmap) m_hOld = SelectObject(m_hDC, m_hBitmap);
    }
    ~CSurface() {
        if (m_hOld) SelectObject(m_hDC, m_hOld);
        if (m_hBitmap) DeleteObject(m_hBitmap);
        if (m_hDC) DeleteDC(m_hDC);
    }
    CSurface(const CSurface&) = delete;
    CSurface& operator=(const CSurface&) = delete;
    HDC dc() const { return m_hOld ? m_hDC : nullptr; }
    HBITMAP bitmap() const { return dc() ? m_hBitmap : nullptr; }
    // Puts pixels (as Pixels() gives them) back; false when the sizes differ.
    bool Put(const std::vector<DWORD>& pixels) {
        if (!dc() || pixels.size() != m_size) return false;
        GdiFlush();
        std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(m_pBits));
        return true;
    }
    // 0x00RRGGBB, rows top-down; empty when the surface could not be made.
    std::vector<DWORD> Pixels() const {
        if (!dc()) return std::vector<DWORD>();
        GdiFlush();
        std::vector<DWORD> pixels(static_cast<const DWORD*>(m_pBits), static_cast<const DWORD*>(m_pBits) + m_size);
        for (DWORD& p : pixels) p &= 0x00FFFFFF;
        return pixels;
    }

private:
    size_t m_size;
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld = nullptr;
    void* m_pBits = nullptr;
};

}  // namespace

std::vector<DWORD> CaptureScreen(const RECT& rect) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    CSurface surface(width, height);
    CScreenDC screen;
    if (!surface.dc() || !screen.Get() ||
        !BitBlt(surface.dc(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY))
        return std::vector<DWORD>();
    return surface.Pixels();
}

namespace {

// A system icon as a static control shows it: stretched over its client
// area, on the background colour.
std::vector<DWORD> DrawSystemIcon(LPCSTR id, int width, int height, DWORD background) {
    HICON icon = LoadIconA(nullptr, id);  // shared: never destroyed
    CSurface surface(width, height);
    if (!icon || !surface.dc()) return std::vector<DWORD>();
    const RECT all = {0, 0, width, height};
    SetBkColor(surface.dc(), RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
    ExtTextOutA(surface.dc(), 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    DrawIconEx(surface.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    return surface.Pixels();
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM lParam) {
    if (GetClass(child) != "Static" || !IsWindowVisible(child)) return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = child;
    return FALSE;
}

// Where centring puts [low, low + size) over [ownerLow, ownerHigh); empty
// when it does, within a pixel, or is moved in to the work area's edge that
// centring would cross.
std::string AxisError(const char* axis, LONG low, LONG size, LONG ownerLow, LONG ownerHigh, LONG workLow,
                      LONG workHigh) {
    if (low < workLow || low + size > workHigh) return std::string(axis) + " leaves the work area";
    const LONG centred = ownerLow + (ownerHigh - ownerLow - size) / 2;
    LONG expected = centred;
    if (centred < workLow) expected = workLow;
    if (centred + size > workHigh) expected = workHigh - size;
    if (std::labs(low - expected) > 1)
        return std::string(axis) + " at " + std::to_string(low) + ", expected " + std::to_string(expected);
    return std::string();
}

std::string RectText(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

}  // namespace

HWND FindTopWindow(const WindowQuery& query) {
    TopSearch search{&query, nullptr};
    EnumWindows(&FindMatchingTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    HWND found = nullptr;
    PollUntil(timeoutMs, [&] { return (found = FindTopWindow(query)) != nullptr; });
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool Sync(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool WaitForItemText(HWND dialog, int id, const std::string& text, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return GetItemText(dialog, id) == text; });
}

bool WaitForEnabled(HWND window, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return IsWindow(window) && IsWindowEnabled(window); });
}

HWND FindOwnedWindow(DWORD pid, HWND owner) {
    WindowQuery query;
    query.pid = pid;
    query.owner = owner;
    return FindTopWindow(query);
}

std::string GetText(HWND window) {
    // WM_GETTEXT, not GetWindowText: for another process's control that only
    // gives the caption the control was created with.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kDefaultTimeoutMs, &length) || length == 0)
        return std::string();
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             kDefaultTimeoutMs, &copied))
        return std::string();
    return std::string(text.data());
}

std::string GetItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? GetText(item) : std::string();
}

std::string GetClass(HWND window) {
    char name[256] = {};
    int n = GetClassNameA(window, name, sizeof(name));
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND GetFocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return thread && GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool IsItemVisible(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item && IsWindowVisible(item);
}

bool IsItemEnabled(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item && IsWindowEnabled(item);
}

bool ClickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button) || !IsWindowEnabled(dialog)) return false;
    return SendNotifyMessageA(button, BM_CLICK, 0, 0) != 0;
}

bool SendSystemCommand(HWND window, UINT command) {
    return IsWindowEnabled(window) && SendNotifyMessageA(window, WM_SYSCOMMAND, command, 0) != 0;
}

HWND WaitForMessageBox(DWORD pid, HWND owner, DWORD timeoutMs) {
    WindowQuery query;
    query.pid = pid;
    query.owner = owner;
    query.className = "#32770";
    query.requiredItem = 0xFFFF;
    return WaitForWindow(query, timeoutMs);
}

std::string MessageBoxText(HWND box) { return GetItemText(box, 0xFFFF); }

std::string ListCellText(HWND list, int item, int column) {
    // The request and the text buffer it names, both in the list's process.
    const size_t textSize = 1024;
    std::vector<char> block(sizeof(LVITEMA) + textSize + 1, '\0');
    CRemoteCopy remote(list, block.data(), block.size());
    if (!remote.get()) return std::string();
    LVITEMA request = {};
    request.mask = LVIF_TEXT;
    request.iSubItem = column;
    request.pszText = remote.get() + sizeof(LVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    DWORD_PTR length = 0;
    if (!remote.Write(0, &request, sizeof(request)) ||
        !SendMessageTimeoutA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.get()),
                             SMTO_NORMAL, kDefaultTimeoutMs, &length) ||
        !remote.Read(sizeof(LVITEMA), block.data(), textSize))
        return std::string();
    return std::string(block.data());
}

std::string MessageBoxButtons(HWND box) {
    static const struct {
        int id;
        const char* name;
    } kButtons[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};
    std::string names;
    for (const auto& button : kButtons) {
        if (!IsItemVisible(box, button.id)) continue;
        if (!names.empty()) names += "+";
        names += button.name;
    }
    return names;
}

namespace {

// The best match among the system's pictures for what the screen shows,
// with the number of pixels that differ from it.
UINT ClosestSystemIcon(const RECT& area, size_t& differing) {
    const std::vector<DWORD> shown = CaptureScreen(area);
    differing = shown.size();
    if (shown.empty()) return 0;
    static const struct {
        UINT flag;
        LPCSTR id;
    } kIcons[] = {{MB_ICONERROR, IDI_HAND},
                  {MB_ICONWARNING, IDI_EXCLAMATION},
                  {MB_ICONQUESTION, IDI_QUESTION},
                  {MB_ICONINFORMATION, IDI_ASTERISK}};
    UINT best = 0;
    for (const auto& icon : kIcons) {
        // The corner lies outside every picture: it is the background.
        const std::vector<DWORD> drawn =
            DrawSystemIcon(icon.id, area.right - area.left, area.bottom - area.top, shown[0]);
        if (drawn.size() != shown.size()) continue;
        size_t count = 0;
        for (size_t i = 0; i < shown.size(); ++i) count += shown[i] != drawn[i];
        if (count < differing) differing = count, best = icon.flag;
    }
    return best;
}

}  // namespace

UINT MessageBoxIcon(HWND box) {
    HWND control = nullptr;
    EnumChildWindows(box, &FindIconStatic, reinterpret_cast<LPARAM>(&control));
    if (!control) return 0;
    // A box just opened may not have painted its picture yet (a loaded
    // machine delays it): it is asked to paint now, and read where it is
    // now. Anything but a near match is some other picture.
    UINT icon = 0;
    PollUntil(10000, [&] {
        RECT area = {};
        if (!GetClientRect(control, &area)) return false;
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Sync(box);
        MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&area), 2);
        const size_t pixels = static_cast<size_t>(area.right - area.left) * (area.bottom - area.top);
        size_t differing = 0;
        icon = ClosestSystemIcon(area, differing);
        if (differing * 20 > pixels) icon = 0;
        return icon != 0;
    });
    return icon;
}

std::string IconName(UINT icon) {
    switch (icon) {
    case MB_ICONERROR:
        return "error";
    case MB_ICONWARNING:
        return "warning";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONINFORMATION:
        return "information";
    default:
        return "none";
    }
}

bool AnswerMessageBox(HWND box, int buttonId) { return ClickButton(box, buttonId) && WaitForWindowGone(box); }

HWND WaitForFolderBrowser(DWORD pid, HWND owner, DWORD timeoutMs) {
    WindowQuery query;
    query.pid = pid;
    query.owner = owner;
    query.className = "#32770";
    query.requiredChildClass = "SysTreeView32";
    return WaitForWindow(query, timeoutMs);
}

namespace {

// The browser's edit box shows the display name of the selected item.
std::string BrowserEditText(HWND browser) {
    HWND edit = FindWindowExA(browser, nullptr, "Edit", nullptr);
    return edit ? GetText(edit) : std::string();
}

// The browser may still be filling its tree when it becomes visible, and then
// drops a selection: send it until the edit box names the wanted item.
template <typename SendFunction>
bool SelectUntilShown(HWND browser, const std::string& displayName, SendFunction send) {
    return PollUntil(kDefaultTimeoutMs, [&] {
        if (!send()) return false;
        Sync(browser);
        return BrowserEditText(browser) == displayName;
    });
}

std::string DisplayNameOf(const char* path, UINT flags) {
    SHFILEINFOA info = {};
    if (!SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_DISPLAYNAME | flags)) return std::string();
    return info.szDisplayName;
}

}  // namespace

bool SelectInFolderBrowser(HWND browser, const std::string& path) {
    std::string name = DisplayNameOf(path.c_str(), 0);
    if (name.empty()) return false;
    return SelectUntilShown(browser, name, [&] { return SendSelection(browser, TRUE, path.c_str(), path.size() + 1); });
}

bool SelectSpecialInFolderBrowser(HWND browser, int csidl) {
    ITEMIDLIST* item = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &item)) || !item) return false;
    std::string name = DisplayNameOf(reinterpret_cast<const char*>(item), SHGFI_PIDL);
    bool shown = !name.empty() &&
                 SelectUntilShown(browser, name, [&] { return SendSelection(browser, FALSE, item, ILGetSize(item)); });
    CoTaskMemFree(item);
    return shown;
}

bool ChooseInFolderBrowser(HWND browser, const std::string& path) {
    return SelectInFolderBrowser(browser, path) && Sync(browser) && ClickButton(browser, IDOK) &&
           WaitForWindowGone(browser);
}

bool ChooseSpecialInFolderBrowser(HWND browser, int csidl) {
    return SelectSpecialInFolderBrowser(browser, csidl) && Sync(browser) && ClickButton(browser, IDOK) &&
           WaitForWindowGone(browser);
}

bool CancelFolderBrowser(HWND browser) { return ClickButton(browser, IDCANCEL) && WaitForWindowGone(browser); }

std::string PlacementError(HWND window, HWND owner) {
    RECT rect = {};
    if (!GetWindowRect(window, &rect)) return "no window";
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTONEAREST), &monitor))
        return "no monitor";
    const RECT& work = monitor.rcWork;
    RECT over = work;
    if (owner && !GetWindowRect(owner, &over)) return "no owner";
    std::string error =
        AxisError("left", rect.left, rect.right - rect.left, over.left, over.right, work.left, work.right);
    if (error.empty())
        error = AxisError("top", rect.top, rect.bottom - rect.top, over.top, over.bottom, work.top, work.bottom);
    if (error.empty()) return error;
    return error + ": window " + RectText(rect) + (owner ? ", owner " + RectText(over) : std::string()) +
           ", work area " + RectText(work);
}

int ScreenDpi() {
    CScreenDC screen;
    return screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 96;
}

bool SaveScreenshot(HWND window, const std::string& pngPath) {
    RECT rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    std::vector<DWORD> shown;
    if (window) {
        // Let the window paint what it just received before it is captured:
        // the screen is read once it shows more than one colour (a window not
        // yet drawn is blank) and holds still (an animation never does). A
        // window that a modal one opens over meanwhile (a fast job's progress
        // dialog, when its result view comes) is kept as it showed before.
        Sync(window);
        if (!GetWindowRect(window, &rect)) return false;
        const bool enabled = IsWindowEnabled(window) != FALSE;
        shown = CaptureScreen(rect);
        int stillFor = 0;  // polls in a row that saw no change
        PollUntil(2000, [&] {
            Sync(window);
            std::vector<DWORD> now = CaptureScreen(rect);
            if (enabled && !IsWindowEnabled(window)) return true;
            const bool blank = now.empty() || std::all_of(now.begin(), now.end(), [&](DWORD p) { return p == now[0]; });
            stillFor = !blank && now == shown ? stillFor + 1 : 0;
            shown.swap(now);
            return stillFor >= 2;
        });
    } else {
        shown = CaptureScreen(rect);
    }
    CSurface surface(rect.right - rect.left, rect.bottom - rect.top);
    return surface.Put(shown) && WritePng(surface.bitmap(), pngPath);
}

}  // namespace zrui
