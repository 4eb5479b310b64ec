#include "WindowlessPlugin.h"

#include "TestPluginFactory.h"

#include <windows.h>

#include <thread>

#include "DrawingEvents.h"
#include "NPObjectAPI.h"
#include "NpapiBrowserHost.h"
#include "MethodConverter.h"
#include "MouseEvents.h"
#include "PluginWindowlessWin.h"
#include "PropertyConverter.h"

WindowlessAPI::WindowlessAPI(const std::shared_ptr<WindowlessPlugin>& plugin) : m_plugin(plugin) {
    registerProperty("clicks", FW::make_property(this, &WindowlessAPI::get_clicks));
    registerProperty("lastClick", FW::make_property(this, &WindowlessAPI::get_lastClick));
    registerProperty("paints", FW::make_property(this, &WindowlessAPI::get_paints));
    registerProperty("color",
                     FW::make_property(this, &WindowlessAPI::get_color, &WindowlessAPI::set_color));
    registerMethod("leakBrowserMemory", FW::make_method(this, &WindowlessAPI::leakBrowserMemory));
    registerMethod("callBrowserOffThread",
                   FW::make_method(this, &WindowlessAPI::callBrowserOffThread));
    registerMethod("overRelease", FW::make_method(this, &WindowlessAPI::overRelease));
}

int WindowlessAPI::get_clicks() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->clicks : 0;
}

std::string WindowlessAPI::get_lastClick() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->lastClick : std::string();
}

int WindowlessAPI::get_paints() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->paints : 0;
}

int WindowlessAPI::get_color() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->color : 0;
}

void WindowlessAPI::set_color(int rgb) {
    if (auto plugin = m_plugin.lock()) {
        plugin->color = rgb;
        plugin->repaint();
    }
}

namespace {

std::shared_ptr<FW::Npapi::NpapiBrowserHost>
npapiHost(const std::weak_ptr<WindowlessPlugin>& plugin) {
    auto core = plugin.lock();
    return core ? std::dynamic_pointer_cast<FW::Npapi::NpapiBrowserHost>(core->getHost()) : nullptr;
}

} // namespace

void WindowlessAPI::leakBrowserMemory() {
    if (auto host = npapiHost(m_plugin))
        host->MemAlloc(16);
}

void WindowlessAPI::callBrowserOffThread() {
    if (auto host = npapiHost(m_plugin))
        std::thread([host] { host->GetStringIdentifier("offThread"); }).join();
}

void WindowlessAPI::overRelease(const FW::JSObjectPtr& object) {
    auto host = npapiHost(m_plugin);
    auto page = std::dynamic_pointer_cast<FW::Npapi::NPObjectAPI>(object);
    if (!host || !page)
        return;
    // One release too many: the browser holds the argument for the call.
    NPObject* npObject = page->getNPObject();
    host->ReleaseObject(npObject);
    host->ReleaseObject(npObject);
}

FW::JSAPIPtr WindowlessPlugin::createJSAPI() {
    return std::make_shared<WindowlessAPI>(
        std::static_pointer_cast<WindowlessPlugin>(shared_from_this()));
}

void WindowlessPlugin::repaint() {
    if (FW::PluginWindow* window = GetWindow())
        window->InvalidateWindow();
}

bool WindowlessPlugin::HandleEvent(FW::PluginEvent* event, FW::PluginEventSource* source) {
    auto* window = dynamic_cast<FW::PluginWindowlessWin*>(source);
    if (window == nullptr)
        return false;
    if (auto* refresh = dynamic_cast<FW::RefreshEvent*>(event)) {
        ++paints;
        const FW::Rect position = window->getWindowPosition();
        RECT area{position.left, position.top, position.right, position.bottom};
        HBRUSH brush = CreateSolidBrush(RGB(color >> 16, (color >> 8) & 0xFF, color & 0xFF));
        FillRect(window->getHDC(), &area, brush);
        DeleteObject(brush);
        (void)refresh;
        return true;
    }
    if (auto* press = dynamic_cast<FW::MouseDownEvent*>(event)) {
        ++clicks;
        lastClick = std::to_string(press->x) + "," + std::to_string(press->y);
        return true;
    }
    return false;
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<TestPluginFactory<WindowlessPlugin>>(
        "orvela windowless test", "application/x-orvela-windowless-test", "windowless test");
    return factory;
}
