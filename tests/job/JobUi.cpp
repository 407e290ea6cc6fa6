#include "job/JobUi.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "support/TestPaths.h"
#include "support/UiDriver.h"

namespace jobtest {

namespace {

// Texts are compared as UTF-16 from code page 932, so a child process running
// under another code page finds the same windows.
std::wstring Wide(const std::string& text) {
    int n = MultiByteToWideChar(932, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    MultiByteToWideChar(932, 0, text.c_str(), -1, &wide[0], n);
    return wide.c_str();
}

std::wstring WideText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

struct FindData {
    std::wstring caption;
    std::wstring text;
    HWND found = nullptr;
};

BOOL CALLBACK FindInThread(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    if (!IsWindowVisible(hwnd)) return TRUE;
    if (!data->caption.empty() && WideText(hwnd) != data->caption) return TRUE;
    if (!data->text.empty() && WideText(GetDlgItem(hwnd, 0xFFFF)) != data->text) return TRUE;
    data->found = hwnd;
    return FALSE;
}

BOOL CALLBACK PrintWindowOfThread(HWND hwnd, LPARAM) {
    std::fprintf(stderr, "  window of the thread: visible %d, caption", IsWindowVisible(hwnd) ? 1 : 0);
    for (wchar_t c : WideText(hwnd)) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
    std::fprintf(stderr, ", text");
    for (wchar_t c : WideText(GetDlgItem(hwnd, 0xFFFF))) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
    return TRUE;
}

HWND FindNow(DWORD threadId, const std::string& caption, const std::string& text) {
    FindData data{Wide(caption), Wide(text)};
    EnumThreadWindows(threadId, &FindInThread, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

// PNG, 8-bit RGB, stored (uncompressed) deflate blocks: no library needed.
DWORD Crc(const unsigned char* data, size_t size, DWORD crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

void PutBig32(std::vector<unsigned char>& out, DWORD value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    PutBig32(out, static_cast<DWORD>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
}

std::vector<unsigned char> EncodePng(const std::vector<DWORD>& pixels, int width, int height) {
    std::vector<unsigned char> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            DWORD p = pixels[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<unsigned char>(p >> 16));
            raw.push_back(static_cast<unsigned char>(p >> 8));
            raw.push_back(static_cast<unsigned char>(p));
        }
    }
    std::vector<unsigned char> z = {0x78, 0x01};
    DWORD a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n >= raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        pos += n;
        if (n == 0) break;
    }
    PutBig32(z, (b << 16) | a);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    PutBig32(header, static_cast<DWORD>(width));
    PutBig32(header, static_cast<DWORD>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

std::string ScreenshotFolder() {
    std::string folder = zrtest::BuiltPath("screenshots");
    CreateDirectoryA(folder.c_str(), nullptr);
    if (zrui::ScreenDpi() != 96) {
        folder += "\\dpi" + std::to_string(zrui::ScreenDpi());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder;
}

}  // namespace

CUiThread::CUiThread(std::function<void()> body) : m_body(std::move(body)) {
    m_hThread = CreateThread(nullptr, 0, &CUiThread::Main, this, 0, &m_id);
}

CUiThread::~CUiThread() {
    if (m_hThread) {
        // A dialog nobody closed ends its modal loop on WM_QUIT.
        while (WaitForSingleObject(m_hThread, 5000) == WAIT_TIMEOUT) PostThreadMessageA(m_id, WM_QUIT, 0, 0);
        CloseHandle(m_hThread);
    }
}

COwnerWindow::COwnerWindow(const RECT& rect)
    : m_hWnd(CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_CAPTION | WS_VISIBLE, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr)) {}

COwnerWindow::~COwnerWindow() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

RECT OwnerRect(OwnerPlace place) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = 480, height = 360;
    LONG left = (work.left + work.right - width) / 2, top = (work.top + work.bottom - height) / 2;
    if (place == OwnerPlace::NearBottomRight) left = work.right - width / 3, top = work.bottom - height / 3;
    if (place == OwnerPlace::PastTopLeft) left = work.left - 2 * width / 3, top = work.top - height / 2;
    return RECT{left, top, left + width, top + height};
}

bool CUiThread::Join(DWORD milliseconds) {
    return m_hThread && WaitForSingleObject(m_hThread, milliseconds) == WAIT_OBJECT_0;
}

DWORD WINAPI CUiThread::Main(void* arg) {
    static_cast<CUiThread*>(arg)->m_body();
    return 0;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

HWND WaitForWindow(DWORD threadId, const std::string& caption, const std::string& text, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindNow(threadId, caption, text)) != nullptr; }, timeoutMs);
    if (!found && timeoutMs >= 5000) {
        // What the thread does show, for the failure message.
        EnumThreadWindows(threadId, &PrintWindowOfThread, 0);
    }
    return found;
}

bool HasWindow(DWORD threadId, const std::string& caption) { return FindNow(threadId, caption, "") != nullptr; }

std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string MessageBoxText(HWND box) {
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    return text;
}

void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::vector<DWORD> SaveScreenshot(HWND window, const std::string& name, int* widthOut, int* heightOut) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    std::vector<DWORD> pixels;
    if (width <= 0 || height <= 0) return pixels;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(150);  // lets the window's drawing reach the screen

    pixels = zrui::CaptureScreen(rect);
    if (pixels.empty()) return pixels;

    const std::vector<unsigned char> png = EncodePng(pixels, width, height);
    const std::string path = ScreenshotFolder() + "\\" + name + ".png";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), f);
        std::fclose(f);
    }
    if (widthOut) *widthOut = width;
    if (heightOut) *heightOut = height;
    return pixels;
}

}  // namespace jobtest
