#pragma once
// A plug-in window over a native window that the browser gives the instance. The
// window is subclassed with one shared window procedure; messages become plug-in
// events for the observers. No exception leaves the window procedure: when an
// observer throws, the message is passed on as if nobody had handled it.

#include "PluginWindow.h"

#include <windows.h>

namespace FW {

class PluginWindowWin : public PluginWindow {
public:
    // Subclasses the window; std::invalid_argument when hWnd is not a window.
    explicit PluginWindowWin(HWND hWnd);
    ~PluginWindowWin() override;
    PluginWindowWin(const PluginWindowWin&) = delete;
    PluginWindowWin& operator=(const PluginWindowWin&) = delete;

    void InvalidateWindow() const override;
    Rect getWindowPosition() const override;
    int getWindowWidth() const override;
    int getWindowHeight() const override;
    Rect getWindowClipping() const override;

    virtual void setSuppressEraseBackground(bool suppress) { m_suppressEraseBackground = suppress; }
    virtual bool getSuppressEraseBackground() const { return m_suppressEraseBackground; }
    // Sees every message first; answering true ends handling with lRes as the result.
    virtual bool CustomWinProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    HWND getHWND() const { return m_hWnd; }
    HWND getBrowserHWND() const { return m_browserHwnd; }
    void setBrowserHWND(HWND hWnd) { m_browserHwnd = hWnd; }
    // Unhandled messages go to the window's previous procedure when on, else to
    // the system's default procedure.
    void setCallOldWinProc(bool callOld) { m_callOldWinProc = callOld; }
    bool getCallOldWinProc() const { return m_callOldWinProc; }

    // The procedure every plug-in window is subclassed with.
    static LRESULT CALLBACK SharedWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    // Turns one message into events; answers whether it was handled.
    bool WinProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

private:
    HWND m_hWnd;
    HWND m_browserHwnd = nullptr;
    WNDPROC m_oldWinProc = nullptr;
    bool m_callOldWinProc = false;
    bool m_suppressEraseBackground = false;
};

} // namespace FW
