#pragma once
// A windowless plug-in built on the framework, for the browser tests: it paints
// its area in one colour into the browser's drawing context and counts the
// mouse presses it receives; script reads the counts and sets the colour.

#include <memory>
#include <string>

#include "FactoryBase.h"
#include "JSObject.h"
#include "JSAPIAuto.h"
#include "PluginCore.h"

class WindowlessPlugin;

class WindowlessAPI : public FW::JSAPIAuto {
public:
    explicit WindowlessAPI(const std::shared_ptr<WindowlessPlugin>& plugin);

    int get_clicks() const;
    std::string get_lastClick() const;
    int get_paints() const;
    int get_color() const;
    void set_color(int rgb);

    // Rule breaking the browser must catch: a browser block never freed, a
    // browser call from another thread, releases of the browser's reference.
    void leakBrowserMemory();
    void callBrowserOffThread();
    void overRelease(const FW::JSObjectPtr& object);

private:
    std::weak_ptr<WindowlessPlugin> m_plugin;
};

class WindowlessPlugin : public FW::PluginCore {
public:
    bool isWindowless() override { return true; }
    FW::JSAPIPtr createJSAPI() override;
    bool HandleEvent(FW::PluginEvent* event, FW::PluginEventSource* source) override;

    int clicks = 0;
    std::string lastClick;
    int paints = 0;
    int color = 0x2080C0; // 0xRRGGBB
    void repaint();
};

FW::FactoryBasePtr getFactoryInstance();
