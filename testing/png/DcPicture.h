#pragma once
// Pictures of what GDI draws, as the 8-bit RGB pixels (top row first) that
// writePng takes: screenshots of windows, and a control's picture rendered
// off screen.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace testpng {

// Has paint draw into a fresh width x height bitmap (a memory DC compatible
// with reference, origin at its top left) and answers the bitmap's pixels;
// empty when GDI refuses.
std::vector<uint8_t> renderRgb(HDC reference, int width, int height,
                               const std::function<void(HDC)>& paint);
// The pixels of a rectangle of a device context (a window's, the screen's).
std::vector<uint8_t> captureRgb(HDC source, int x, int y, int width, int height);

} // namespace testpng
