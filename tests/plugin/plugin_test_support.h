#pragma once
// What the plug-in tests share: a COM apartment with the control-host classes
// registered, one top-level window for the whole run (destroying top-level
// windows is slow under Xvfb), plug-in windows inside it, and helpers to read
// the camera simulator's journal.

#include <windows.h>

#include <memory>
#include <string>

#include "TestBrowserHost.h"
#include "camera_sim_client.h"
#include "orvelaAPI.h"

namespace plugintest {

// The top-level window that every plug-in window of the run lives in.
HWND frameWindow();

// A visible child window of the frame standing for the browser's plug-in window.
class PluginWindowHandle {
public:
    PluginWindowHandle(int width, int height);
    ~PluginWindowHandle();
    PluginWindowHandle(const PluginWindowHandle&) = delete;
    PluginWindowHandle& operator=(const PluginWindowHandle&) = delete;
    HWND get() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

// A window's rectangle relative to its parent's client area.
RECT rectInParent(HWND window);

// The text as the ANSI code page reads its bytes (what the control receives).
std::wstring asAnsiText(const std::string& bytes);

// An orvelaAPI on a test host, without a plug-in object.
struct ApiOnHost {
    FW::Testing::TestBrowserHostPtr host = FW::Testing::TestBrowserHost::create();
    std::shared_ptr<orvelaAPI> api = std::make_shared<orvelaAPI>(nullptr, host);
};

// The simulator's testing face on a control reference.
ATL::CComPtr<ICameraSimTesting> simulatorOf(IUnknown* control);

} // namespace plugintest
