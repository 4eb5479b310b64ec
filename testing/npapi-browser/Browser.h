#pragma once
// The test browser: one top-level window showing one page, a child window per
// windowed plug-in element, the message loop that runs timers, plug-in
// windows and cross-thread calls, and the tear-down that checks the plug-in.

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "NpRuntime.h"
#include "PluginLibrary.h"
#include "ScriptEngine.h"

namespace npbrowser {

struct Options {
    std::wstring plugin;
    std::string userAgent = "Mozilla/5.0 (Windows NT 6.1; rv:52.0) Gecko/20100101 Firefox/52.0";
    uint16_t tableVersion = 27;
    int width = 800;
    int height = 600;
    std::wstring screenshot;
    DWORD screenshotDelay = 500;
    DWORD timeoutSeconds = 30;
    DWORD lingerSeconds = 0; // the window stays this long after window.close()
    bool journal = true;     // a fresh camera simulator journal for the run
    std::wstring page;
};

class Browser;

// One plug-in element with its instance.
class PluginElement : public InstanceServices {
public:
    PluginElement(Browser& browser, void* proxy, PluginLibrary& library);
    ~PluginElement() override;

    NPObject* windowObject() override;
    NPObject* elementObject() override;
    HWND topWindow() override;
    bool evaluate(NPString* script, NPVariant* result) override;
    void setWindowless(bool windowless) override { m_windowless = windowless; }
    void invalidate(const NPRect* rect) override;
    NPError getURL(const char* url, const char* target) override;
    const NPPluginFuncs* pluginFuncs() const override { return &m_library.funcs(); }

    bool create(const std::string& mimeType, int x, int y, int width, int height,
                std::vector<std::string>& names, std::vector<std::string>& values,
                std::vector<bool>& present);
    void resize(int width, int height);
    void destroy();
    NPObject* scriptable();
    HWND window() const { return m_hwnd; }
    bool windowless() const { return m_windowless; }
    const RECT& rect() const { return m_rect; }
    int16_t handleEvent(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void setWindow();

    Browser& m_browser;
    void* m_proxy;
    unsigned m_proxyKey = 0;
    PluginLibrary& m_library;
    NPP_t m_npp{};
    bool m_alive = false;
    bool m_windowless = false;
    HWND m_hwnd = nullptr;
    RECT m_rect{};
    NPWindow m_npWindow{};
    NPObject* m_scriptable = nullptr;
    bool m_askedScriptable = false;
    std::string m_dataUrl;
};

class Browser : public PageHost {
public:
    explicit Browser(Options options);
    ~Browser() override;

    int run();

    // PageHost
    void connectElement(duk_context* ctx) override;
    void disconnectElement(duk_context* ctx) override;
    void resizeElement(duk_context* ctx) override;
    NPObject* scriptableOf(void* elementProxy) override;
    void closeWindow() override { m_closed = true; }
    void installTestbed(duk_context* ctx) override;

    HWND topWindow() const { return m_top; }
    ScriptEngine& engine() { return *m_engine; }
    PluginElement* elementOf(void* proxy);
    LRESULT handleTopMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool createTopWindow();
    PluginLibrary* libraryFor(const std::string& mimeType);
    void loadPage();
    void loop();
    void takeScreenshot();
    void tearDown();
    void retire(std::unique_ptr<PluginElement> element);

    Options m_options;
    HWND m_top = nullptr;
    std::unique_ptr<ScriptEngine> m_engine;
    std::vector<std::unique_ptr<PluginLibrary>> m_libraries;
    std::map<void*, std::unique_ptr<PluginElement>> m_elements;
    // Removed elements stay a while, so that a new element does not take the
    // NPP address of one just removed: the plug-in's late calls for it then
    // find no instance rather than the wrong one.
    std::deque<std::unique_ptr<PluginElement>> m_gone;
    bool m_closed = false;
    bool m_timedOut = false;
    int m_cursorX = 8;
    int m_cursorY = 8;
    int m_rowHeight = 0;
};

} // namespace npbrowser
