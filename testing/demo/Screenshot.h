#pragma once
// What the screen shows of a window's client area, saved as a 24-bit .bmp file.

#include <windows.h>

#include <cstddef>
#include <string>

namespace demo {

// Saves the picture; answers how many different colours it holds (0 when it
// could not be taken or saved).
size_t saveScreenshot(HWND window, const std::wstring& path);

} // namespace demo
