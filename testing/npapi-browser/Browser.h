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
    std::string userAgent =
        "Mozilla/5.0 (Windows NT 6.1; WOW64; rv:52.0) Gecko/20100101 Firefox/52.0";
    uint16_t tableVersion = 27;
    int width = 800;
    int height = 600;
    std::wstring screenshot;
    DWORD screenshotDelay = 500;
    DWORD timeoutSeconds = 30;
    DWORD lingerSeconds = 0; // the window stays this long after window.close()
    bool journal = true;     // a fresh camera simulator journal for the run
    // Gecko makes an element's instance on a later turn of the event loop (or
    // at once when script touches the element's plug-in members); the older
    // path made it while the element was inserted.
    bool asyncInstances = true;
    std::wstring page;
    std::string pageUrl; // the address the page claims; its file's URL when empty
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

    // What NPP_New will get; the instance is made by create().
    void prepare(const std::string& mimeType, const RECT& rect, std::vector<std::string> names,
                 std::vector<std::string> values, std::vector<bool> present);
    bool pending() const { return m_pending; }
    bool create();
    void resize(int width, int height);
    void destroy();
    NPObject* scriptable();
    HWND window() const { return m_hwnd; }
    bool windowless() const { return m_windowless; }
    const RECT& rect() const { return m_rect; }
    int16_t handleEvent(UINT message, WPARAM wParam, LPARAM lParam);

    // What the browser did to the instance, for the test pages.
    struct WindowCall {
        HWND window;
        uint32_t width;
        uint32_t height;
    };
    bool created() const { return m_created; }
    const std::vector<std::string>& argumentNames() const { return m_names; }
    const std::vector<std::string>& argumentValues() const { return m_values; }
    const std::vector<bool>& argumentPresent() const { return m_present; }
    const std::vector<WindowCall>& windowCalls() const { return m_windowCalls; }
    bool askedScriptable() const { return m_askedScriptable; }

private:
    void setWindow();

    Browser& m_browser;
    void* m_proxy;
    unsigned m_proxyKey = 0;
    PluginLibrary& m_library;
    NPP_t m_npp{};
    bool m_alive = false;
    bool m_pending = false;
    bool m_created = false; // NPP_New was called
    std::string m_mimeType;
    std::vector<std::string> m_names, m_values;
    std::vector<bool> m_present;
    std::vector<WindowCall> m_windowCalls;
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

    static constexpr UINT kInstantiateMessage = WM_APP + 3;
    static constexpr UINT kPageLoadMessage = WM_APP + 4;
    static constexpr wchar_t kPluginClass[] = L"OrvelaNpapiBrowserPlugin";
    // The browser of this process, for the page's native functions.
    static Browser* current();
    const Options& options() const { return m_options; }

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
    void instantiate(void* proxy);
    void instantiatePending();
    void runPageLoad();

    Options m_options;
    HWND m_top = nullptr;
    std::unique_ptr<ScriptEngine> m_engine;
    std::vector<std::unique_ptr<PluginLibrary>> m_libraries;
    std::map<void*, std::unique_ptr<PluginElement>> m_elements;
    // Removed elements stay a while, so that a new element does not take the
    // NPP address of one just removed: the plug-in's late calls for it then
    // find no instance rather than the wrong one.
    std::deque<std::unique_ptr<PluginElement>> m_gone;
    // Elements inserted whose instance comes on a later turn, in insertion order.
    std::deque<void*> m_pending;
    std::string m_pageOnload; // the body's onload attribute
    bool m_closed = false;
    bool m_timedOut = false;
    int m_cursorX = 8;
    int m_cursorY = 8;
    int m_rowHeight = 0;
};

} // namespace npbrowser
