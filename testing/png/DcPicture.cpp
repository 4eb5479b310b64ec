#include "DcPicture.h"

#include "GdiGuards.h"

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
    MemoryDc memory(CreateCompatibleDC(reference));
    void* bits = nullptr;
    GdiObject<HBITMAP> bitmap(CreateDIBSection(reference, reinterpret_cast<BITMAPINFO*>(&header),
                                               DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory.get() || !bitmap.get() || !bits)
        return rgb;
    SelectedObject selection(memory.get(), bitmap.get());
    paint(memory.get());
    GdiFlush();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const auto* pixels = static_cast<const uint8_t*>(bits);
    rgb.resize(count * 3);
    for (size_t i = 0; i < count; ++i) {
        rgb[i * 3] = pixels[i * 4 + 2];
        rgb[i * 3 + 1] = pixels[i * 4 + 1];
        rgb[i * 3 + 2] = pixels[i * 4];
    }
    return rgb;
}

std::vector<uint8_t> captureRgb(HDC source, int x, int y, int width, int height) {
    return renderRgb(source, width, height, [&](HDC target) {
        BitBlt(target, 0, 0, width, height, source, x, y, SRCCOPY);
    });
}

} // namespace testpng
