#pragma once
// The raw window message, offered to observers before the plug-in window
// interprets it. An observer that handles it stores its answer in `lRes`.

#include "PluginEvent.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>
#endif

namespace FW {

#ifdef _WIN32
using NativeWindowHandle = HWND;
using NativeMessage = UINT;
using NativeWParam = WPARAM;
using NativeLParam = LPARAM;
using NativeResult = LRESULT;
#else
// Same shapes as the Win32 types, so the event can be built and tested anywhere.
using NativeWindowHandle = void*;
using NativeMessage = unsigned int;
using NativeWParam = uintptr_t;
using NativeLParam = intptr_t;
using NativeResult = intptr_t;
#endif

class WindowsEvent : public PluginEvent {
public:
    WindowsEvent(NativeWindowHandle hWnd, NativeMessage msg, NativeWParam wParam,
                 NativeLParam lParam, NativeResult& lRes)
        : hWnd(hWnd), uMsg(msg), wParam(wParam), lParam(lParam), lRes(lRes) {}

    NativeWindowHandle hWnd; // null for a windowless plug-in
    NativeMessage uMsg;
    NativeWParam wParam;
    NativeLParam lParam;
    NativeResult& lRes;
};

} // namespace FW
