#include "orvela.h"

#include <exception>

#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
#include "orvelaAPI.h"

namespace {

// The ATL message that lets a host window pre-translate a message for its control.
constexpr UINT kForwardMessage = 0x037F;

} // namespace

orvela::orvela() = default;

orvela::~orvela() {
    m_api.reset();
    if (m_host)
        m_host->freeRetainedObjects();
}

bool orvela::HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) {
    auto* window = dynamic_cast<FW::PluginWindow*>(src);
    if (!evt || !window)
        return false;
    if (auto* e = dynamic_cast<FW::MouseDownEvent*>(evt))
        return onMouseDown(e, window);
    if (auto* e = dynamic_cast<FW::MouseUpEvent*>(evt))
        return onMouseUp(e, window);
    if (auto* e = dynamic_cast<FW::MouseMoveEvent*>(evt))
        return onMouseMove(e, window);
    if (auto* e = dynamic_cast<FW::AttachedEvent*>(evt))
        return onWindowAttached(e, window);
    if (auto* e = dynamic_cast<FW::DetachedEvent*>(evt))
        return onWindowDetached(e, window);
    if (auto* e = dynamic_cast<FW::KeyDownEvent*>(evt))
        return onKeyDown(e, window);
    if (auto* e = dynamic_cast<FW::KeyUpEvent*>(evt))
        return onKeyUp(e, window);
    if (auto* e = dynamic_cast<FW::ResizedEvent*>(evt))
        return onWindowResized(e, window);
    if (auto* e = dynamic_cast<FW::RefreshEvent*>(evt))
        return onWindowRefresh(e, window);
    return false;
}

FW::JSAPIPtr orvela::createJSAPI() {
    auto self = std::static_pointer_cast<orvela>(shared_from_this());
    return std::make_shared<orvelaAPI>(self, m_host);
}

bool orvela::isWindowless() {
    m_windowless = 0;
    return false;
}

std::shared_ptr<orvelaAPI> orvela::rootAPI() {
    return std::static_pointer_cast<orvelaAPI>(getRootJSAPI());
}

HWND orvela::liveHostWindow() {
    const HWND host = rootAPI()->getHostWindow();
    return IsWindow(host) ? host : nullptr;
}

bool orvela::onMouseDown(FW::MouseDownEvent*, FW::PluginWindow*) {
    return false;
}
bool orvela::onMouseUp(FW::MouseUpEvent*, FW::PluginWindow*) {
    return false;
}
bool orvela::onMouseMove(FW::MouseMoveEvent*, FW::PluginWindow*) {
    return false;
}

bool orvela::onWindowAttached(FW::AttachedEvent*, FW::PluginWindow* window) {
    if (auto* windowless = dynamic_cast<FW::PluginWindowlessWin*>(window))
        m_hWnd = windowless->getHWND();
    else if (auto* windowed = dynamic_cast<FW::PluginWindowWin*>(window))
        m_hWnd = windowed->getHWND();
    // A control that cannot be created shows only in the members' -1 and empty
    // answers; a second creation while still connected is refused the same way.
    try {
        rootAPI()->CreateHostedCtrl(m_hWnd);
    } catch (const std::exception&) {
    }
    return false;
}

bool orvela::onWindowDetached(FW::DetachedEvent*, FW::PluginWindow*) {
    rootAPI()->DetachHostedCtrl();
    return false;
}

bool orvela::onKeyDown(FW::KeyDownEvent* evt, FW::PluginWindow*) {
    if (const HWND host = liveHostWindow()) {
        MSG message = {};
        message.hwnd = host;
        message.message = WM_KEYDOWN;
        message.wParam = evt->osKeyCode;
        message.lParam = static_cast<LPARAM>(evt->modifiers);
        SendMessageW(host, kForwardMessage, 0, reinterpret_cast<LPARAM>(&message));
    }
    return false;
}

bool orvela::onKeyUp(FW::KeyUpEvent* evt, FW::PluginWindow*) {
    if (const HWND host = liveHostWindow())
        SendMessageW(host, WM_KEYUP, evt->osKeyCode, static_cast<LPARAM>(evt->modifiers));
    return false;
}

bool orvela::onWindowResized(FW::ResizedEvent*, FW::PluginWindow* window) {
    if (!IsWindow(m_hWnd))
        return false;
    const FW::Rect position = window->getWindowPosition();
    if (const HWND host = liveHostWindow())
        SetWindowPos(host, nullptr, 0, 0, position.right - position.left,
                     position.bottom - position.top, 0);
    return true;
}

bool orvela::onWindowRefresh(FW::RefreshEvent*, FW::PluginWindow*) {
    if (!IsWindow(m_hWnd))
        return false;
    if (const HWND host = liveHostWindow())
        InvalidateRect(host, nullptr, TRUE);
    return true;
}
