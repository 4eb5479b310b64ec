#pragma once
// What an adapter hands the factory to make a plug-in window.

#include <windows.h>

namespace FW {

// A windowed instance: the native window the browser made for it.
struct WindowContextWin {
    HWND handle;
};

// A windowless instance: the browser's drawing context comes first.
struct WindowContextWindowless {
    HDC drawable;
};

} // namespace FW
