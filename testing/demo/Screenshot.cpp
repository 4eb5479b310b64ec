#include "Screenshot.h"

#include <set>

namespace demo {

namespace {

// Releases the GDI objects of one capture in reverse order of creation.
class ScreenCopy {
public:
    ScreenCopy(int width, int height) {
        m_header.biSize = sizeof m_header;
        m_header.biWidth = width;
        m_header.biHeight = height; // bottom-up, as .bmp files store rows
        m_header.biPlanes = 1;
        m_header.biBitCount = 24;
        m_header.biCompression = BI_RGB;
        m_header.biSizeImage = ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * height;
        m_screen = GetDC(nullptr);
        m_memory = CreateCompatibleDC(m_screen);
        m_bitmap = CreateDIBSection(m_screen, reinterpret_cast<BITMAPINFO*>(&m_header),
                                    DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (m_bitmap)
            m_previous = SelectObject(m_memory, m_bitmap);
    }
    ~ScreenCopy() {
        if (m_bitmap) {
            SelectObject(m_memory, m_previous);
            DeleteObject(m_bitmap);
        }
        DeleteDC(m_memory);
        ReleaseDC(nullptr, m_screen);
    }
    ScreenCopy(const ScreenCopy&) = delete;
    ScreenCopy& operator=(const ScreenCopy&) = delete;

    bool copyFrom(POINT origin) {
        if (!m_bitmap)
            return false;
        const bool copied = BitBlt(m_memory, 0, 0, m_header.biWidth, m_header.biHeight, m_screen,
                                   origin.x, origin.y, SRCCOPY);
        GdiFlush();
        return copied;
    }

    size_t distinctColours() const {
        std::set<DWORD> colours;
        const auto* bytes = static_cast<const BYTE*>(m_bits);
        const DWORD stride = m_header.biSizeImage / m_header.biHeight;
        for (LONG y = 0; y < m_header.biHeight; ++y) {
            const BYTE* row = bytes + y * stride;
            for (LONG x = 0; x < m_header.biWidth; ++x)
                colours.insert(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
        }
        return colours.size();
    }

    bool save(const std::wstring& path) const {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof file + sizeof m_header;
        file.bfSize = file.bfOffBits + m_header.biSizeImage;
        HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const bool saved = WriteFile(out, &file, sizeof file, &written, nullptr) &&
                           WriteFile(out, &m_header, sizeof m_header, &written, nullptr) &&
                           WriteFile(out, m_bits, m_header.biSizeImage, &written, nullptr);
        CloseHandle(out);
        return saved;
    }

private:
    BITMAPINFOHEADER m_header = {};
    HDC m_screen = nullptr;
    HDC m_memory = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    void* m_bits = nullptr;
};

} // namespace

size_t saveScreenshot(HWND window, const std::wstring& path) {
    RECT client = {};
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return 0;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    ScreenCopy copy(client.right, client.bottom);
    if (!copy.copyFrom(origin) || !copy.save(path))
        return 0;
    return copy.distinctColours();
}

} // namespace demo
