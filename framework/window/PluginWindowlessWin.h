#pragma once
// A plug-in window for a browser that draws the plug-in into its own surface.
// The browser supplies the drawing context, the position and the clipping, and
// forwards input messages through HandleEvent.

#include "PluginWindow.h"

#include <windows.h>

#include <functional>

namespace FW {

class PluginWindowlessWin : public PluginWindow {
public:
    using InvalidateWindowFunc = std::function<void(int, int, int, int)>;

    explicit PluginWindowlessWin(HDC hdc);

    void InvalidateWindow() const override;
    Rect getWindowPosition() const override;
    int getWindowWidth() const override { return m_width; }
    int getWindowHeight() const override { return m_height; }
    Rect getWindowClipping() const override { return m_clip; }

    // Stores the position; sends a ResizedEvent when any value changed.
    void setWindowPosition(int32_t x, int32_t y, int32_t width, int32_t height);
    void setWindowClipping(const Rect& clip) { m_clip = clip; }
    // Called with (0, 0, width, height) to ask the browser to redraw the plug-in.
    void setInvalidateWindowFunc(InvalidateWindowFunc func) { m_invalidate = std::move(func); }

    HDC getHDC() const { return m_hdc; }
    HWND getHWND() const { return m_browserHwnd; }
    void setHWND(HWND browserHwnd) { m_browserHwnd = browserHwnd; }

    // Draws with the given context: observers get a RefreshEvent with the bounds,
    // and when none handles it (or one throws) a placeholder text is drawn.
    // Always answers true.
    bool HandleDraw(HDC hdc, const Rect& bounds);
    // A message forwarded by the browser; answers whether it was handled. Observer
    // exceptions are caught and the message counts as not handled.
    bool HandleEvent(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

private:
    bool dispatchMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    HDC m_hdc;
    HWND m_browserHwnd = nullptr;
    int32_t m_x = 0;
    int32_t m_y = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    Rect m_clip{0, 0, 0, 0};
    InvalidateWindowFunc m_invalidate;
};

} // namespace FW
