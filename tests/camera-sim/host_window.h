#pragma once
// A minimal control container for tests: a top-level window holding a
// control-host window of the platform layer ("AtlAxWin100" as in the plug-in,
// or "AtlAxWin80" as in the bridge), in which its host creates a control by
// ProgID, and a screen capture of that window into a .bmp file.

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace ATL {
struct AxWinClassNames;
}

class HostWindow {
public:
    // A visible top-level window at (x, y) whose client area is width x height,
    // hosting in an "AtlAxWin100" window unless other class names are given.
    HostWindow(int x, int y, int width, int height, const ATL::AxWinClassNames* classes = nullptr);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND frame() const { return frame_; }
    HWND host() const { return host_; }

    // Creates the control in the host window; the control's IUnknown on success.
    HRESULT createControl(const wchar_t* progId, IUnknown** control);
    // The control's own child window inside the host window, if it made one.
    HWND controlWindow() const { return GetWindow(host_, GW_CHILD); }

    // The colour on screen at a point of the host window's client area.
    COLORREF pixel(int x, int y) const;
    // Saves what the screen shows of the host window as a 24-bit .bmp file.
    bool capture(const std::wstring& path) const;

private:
    HWND frame_ = nullptr;
    HWND host_ = nullptr;
};
