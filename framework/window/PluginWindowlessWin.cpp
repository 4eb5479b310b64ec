#include "PluginWindowlessWin.h"

#include "PluginEvents.h"
#include "VirtualKeys.h"

namespace FW {

PluginWindowlessWin::PluginWindowlessWin(HDC hdc) : m_hdc(hdc) {}

void PluginWindowlessWin::InvalidateWindow() const {
    if (m_invalidate)
        m_invalidate(0, 0, m_width, m_height);
}

Rect PluginWindowlessWin::getWindowPosition() const {
    return Rect{m_y, m_x, m_y + m_height, m_x + m_width};
}

void PluginWindowlessWin::setWindowPosition(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (x == m_x && y == m_y && width == m_width && height == m_height)
        return;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    ResizedEvent evt;
    SendEvent(&evt);
}

bool PluginWindowlessWin::HandleDraw(HDC hdc, const Rect& bounds) {
    m_hdc = hdc;
    RefreshEvent evt(bounds);
    bool drawn = false;
    try {
        drawn = SendEvent(&evt);
    } catch (...) {
        drawn = false; // called straight from the browser: nothing may escape
    }
    if (!drawn) {
        static const wchar_t kText[] = L"Framework Plugin";
        const Rect pos = getWindowPosition();
        const UINT oldAlign = SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
        TextOutW(hdc, pos.left + (pos.right - pos.left) / 2, pos.top + (pos.bottom - pos.top) / 2,
                 kText, static_cast<int>(sizeof(kText) / sizeof(kText[0]) - 1));
        if (oldAlign != GDI_ERROR)
            SetTextAlign(hdc, oldAlign);
    }
    return true;
}

bool PluginWindowlessWin::HandleEvent(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    try {
        return dispatchMessage(msg, wParam, lParam, lRes);
    } catch (...) {
        // Called straight from the browser: nothing may escape.
        return false;
    }
}

bool PluginWindowlessWin::dispatchMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    {
        WindowsEvent raw(nullptr, msg, wParam, lParam, lRes);
        if (SendEvent(&raw))
            return true;
    }
    const int x = static_cast<short>(LOWORD(lParam)) - m_x;
    const int y = static_cast<short>(HIWORD(lParam)) - m_y;
    switch (msg) {
    case WM_KEYDOWN: {
        KeyDownEvent evt(translateVirtualKey(static_cast<unsigned>(wParam)),
                         static_cast<unsigned>(wParam), 0);
        return SendEvent(&evt);
    }
    case WM_KEYUP: {
        KeyUpEvent evt(translateVirtualKey(static_cast<unsigned>(wParam)),
                       static_cast<unsigned>(wParam), 0);
        return SendEvent(&evt);
    }
    case WM_MOUSEMOVE: {
        MouseMoveEvent evt(x, y);
        return SendEvent(&evt);
    }
    case WM_LBUTTONDOWN: {
        MouseDownEvent evt(MouseButtonEvent::MouseButton_Left, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_LBUTTONUP: {
        MouseUpEvent evt(MouseButtonEvent::MouseButton_Left, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_RBUTTONDOWN: {
        MouseDownEvent evt(MouseButtonEvent::MouseButton_Right, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_RBUTTONUP: {
        MouseUpEvent evt(MouseButtonEvent::MouseButton_Right, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_MBUTTONDOWN: {
        MouseDownEvent evt(MouseButtonEvent::MouseButton_Middle, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    case WM_MBUTTONUP: {
        MouseUpEvent evt(MouseButtonEvent::MouseButton_Middle, x, y, keyboardModifiers());
        return SendEvent(&evt);
    }
    default:
        return false;
    }
}

} // namespace FW
