#pragma once
// The plug-in object, one per plug-in element. It makes the scripting object,
// is always windowed, and ties the hosted camera control to the plug-in
// window: attaching the window creates the control in a host window covering
// it, detaching tears that host window down, and size changes, repaints and
// keys are passed on to the host window.

#include <windows.h>

#include <memory>

#include "PluginCore.h"
#include "PluginEvents.h"
#include "PluginWindow.h"

class orvelaAPI;

class orvela : public FW::PluginCore {
public:
    orvela();
    ~orvela() override;

    bool HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) override;
    FW::JSAPIPtr createJSAPI() override;
    // A camera view needs a window of its own; "windowless" is ignored.
    bool isWindowless() override;

    virtual bool onMouseDown(FW::MouseDownEvent* evt, FW::PluginWindow* window);
    virtual bool onMouseUp(FW::MouseUpEvent* evt, FW::PluginWindow* window);
    virtual bool onMouseMove(FW::MouseMoveEvent* evt, FW::PluginWindow* window);
    virtual bool onWindowAttached(FW::AttachedEvent* evt, FW::PluginWindow* window);
    virtual bool onWindowDetached(FW::DetachedEvent* evt, FW::PluginWindow* window);
    virtual bool onKeyDown(FW::KeyDownEvent* evt, FW::PluginWindow* window);
    virtual bool onKeyUp(FW::KeyUpEvent* evt, FW::PluginWindow* window);
    virtual bool onWindowResized(FW::ResizedEvent* evt, FW::PluginWindow* window);
    virtual bool onWindowRefresh(FW::RefreshEvent* evt, FW::PluginWindow* window);

    HWND getPluginWindow() const { return m_hWnd; }

private:
    std::shared_ptr<orvelaAPI> rootAPI();
    HWND liveHostWindow();

    HWND m_hWnd = nullptr;
};
