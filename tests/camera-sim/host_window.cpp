#include "host_window.h"

#include "ax_host.h"

namespace {

const wchar_t kFrameClass[] = L"OrvelaCameraSimTestFrame";

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        if (HWND child = GetWindow(window, GW_CHILD))
            MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HostWindow::HostWindow(int x, int y, int width, int height, const ATL::AxWinClassNames* classes) {
    const ATL::AxWinClassNames& names = classes ? *classes : ATL::kAxWin100;
    if (!ATL::AtlAxWinInit(names))
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = frameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kFrameClass;
    RegisterClassExW(&wc);
    frame_ = CreateWindowExW(WS_EX_TOPMOST, kFrameClass, L"camera simulator host",
                             WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (!frame_)
        return;
    host_ = CreateWindowExW(0, names.host, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            width, height, frame_, nullptr, wc.hInstance, nullptr);
}

HostWindow::~HostWindow() {
    if (frame_)
        DestroyWindow(frame_);
}

HRESULT HostWindow::createControl(const wchar_t* progId, IUnknown** control) {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!host_)
        return E_FAIL;
    return ATL::CreateControlInHostWindow(host_, progId, control);
}

COLORREF HostWindow::pixel(int x, int y) const {
    POINT p{x, y};
    ClientToScreen(host_, &p);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

bool HostWindow::capture(const std::wstring& path) const {
    RECT client{};
    if (!host_ || !GetClientRect(host_, &client))
        return false;
    const int width = client.right, height = client.bottom;
    POINT origin{0, 0};
    ClientToScreen(host_, &origin);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height; // bottom-up, as .bmp files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (width * 3 + 3) & ~3u;
    header.biSizeImage = stride * height;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof file + sizeof header;
        file.bfSize = file.bfOffBits + header.biSizeImage;
        HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = WriteFile(out, &file, sizeof file, &written, nullptr) &&
                    WriteFile(out, &header, sizeof header, &written, nullptr) &&
                    WriteFile(out, bits, header.biSizeImage, &written, nullptr);
            CloseHandle(out);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}
