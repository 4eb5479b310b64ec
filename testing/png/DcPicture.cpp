#include "DcPicture.h"

namespace testpng {

std::vector<uint8_t> renderRgb(HDC reference, int width, int height,
                               const std::function<void(HDC)>& paint) {
    std::vector<uint8_t> rgb;
    if (width <= 0 || height <= 0)
        return rgb;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height; // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    HDC memory = CreateCompatibleDC(reference);
    if (!memory)
        return rgb;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(reference, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        paint(memory);
        GdiFlush();
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        const auto* pixels = static_cast<const uint8_t*>(bits);
        rgb.resize(count * 3);
        for (size_t i = 0; i < count; ++i) {
            rgb[i * 3] = pixels[i * 4 + 2];
            rgb[i * 3 + 1] = pixels[i * 4 + 1];
            rgb[i * 3 + 2] = pixels[i * 4];
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return rgb;
}

std::vector<uint8_t> captureRgb(HDC source, int x, int y, int width, int height) {
    return renderRgb(source, width, height, [&](HDC target) {
        BitBlt(target, 0, 0, width, height, source, x, y, SRCCOPY);
    });
}

} // namespace testpng
