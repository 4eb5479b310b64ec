#pragma once
// The visible top-level window that a test binary parents its child windows
// and controls to. There is one per process and it is never destroyed:
// destroying a top-level window costs two seconds under Xvfb.

#include <windows.h>

namespace testsupport {

inline HWND testTopWindow() {
    static const HWND top = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvelaTestTopWindow";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"orvela test", WS_POPUP | WS_VISIBLE, 0, 0,
                               640, 480, nullptr, nullptr, wc.hInstance, nullptr);
    }();
    return top;
}

// A child window of the test's top window, of a registered class of this
// module (a control host, a plain window).
inline HWND childWindow(const wchar_t* className, int width, int height,
                        DWORD style = WS_CHILD | WS_VISIBLE, int x = 0, int y = 0,
                        const wchar_t* text = nullptr, void* createData = nullptr) {
    return CreateWindowExW(0, className, text, style, x, y, width, height, testTopWindow(), nullptr,
                           GetModuleHandleW(nullptr), createData);
}

} // namespace testsupport
