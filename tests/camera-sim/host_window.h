#pragma once
// A minimal control container for tests: a top-level window holding an
// "AtlAxWin100" control-host window, in which atl100.dll creates a control by
// ProgID the way the plug-in does, and a screen capture of that window into a
// .bmp file.

#include <windows.h>
#include <unknwn.h>

#include <string>

class HostWindow {
public:
    // A visible top-level window at (x, y) whose client area is width x height.
    HostWindow(int x, int y, int width, int height);
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
