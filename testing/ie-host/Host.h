#pragma once
// The IE host's page: its script engine, its window, document and web
// browser objects, and the embedded controls with their sites.

#include <windows.h>
#include <activscp.h>
#include <dispex.h>
#include <ocidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Page.h"
#include "com_ptr.h"
#include "com_types.h"

namespace IeHost {

class Window;
class Document;
class WebBrowser;
class ControlSite;
class Element;
class ScriptSite;

// How the host activates a control: Internet Explorer's way (IObjectSafety,
// IQuickActivate when offered, else SetClientSite), or SetClientSite and
// Advise calls only.
enum class Activation { internetExplorer, setClientSite };
// How a <script for> block finds the control's default source interface.
enum class ScriptFor { classInfo2, typeInfo };
// What an <object> element offers script: its own names, with the ones it
// lacks going to the control, or its own names and "object" only.
enum class ElementNames { forward, objectOnly };

struct Options {
    Activation activation = Activation::internetExplorer;
    ScriptFor scriptFor = ScriptFor::classInfo2;
    ElementNames elementNames = ElementNames::forward;
    // Internet Explorer's sites always offer windowless activation.
    bool windowless = true;
    int width = 800;
    int height = 600;
    std::wstring screenshot;
    int screenshotDelayMs = 500;
    int timeoutSeconds = 30;
    bool journal = false;        // a fresh camera simulator journal for the run (testbed.journal())
    int lingerSeconds = 0;       // the window stays this long after window.close()
    bool releaseRemoved = false; // a removed element's control goes at once
    std::wstring cpuClass;       // navigator.cpuClass; empty: the host's own
    std::wstring page;
    std::wstring pageUrl; // the address the page claims; its file's URL when empty
};

// Live page objects of the host, for the leak check at the end.
extern LONG g_liveObjects;

class Host {
public:
    explicit Host(const Options& options);
    ~Host();

    // Runs the page; answers the process's exit code.
    int run();

    // Script support for the page objects.
    HRESULT parseScript(const std::wstring& code, VARIANT* result = nullptr);
    // The value of a script expression.
    HRESULT evaluate(const std::wstring& expression, VARIANT* result);
    IDispatch* global();
    void scriptError(const std::wstring& message);
    void requestClose() { m_closeRequested = true; }
    int setTimer(IDispatch* function, const std::wstring& code, UINT delay, bool repeat);
    void clearTimer(int id);
    void onTimer(UINT_PTR id);

    ControlSite* elementById(const std::wstring& id);
    // An element of the page text: its control is made and activated at once.
    ControlSite* addElement(const PageItem& item);
    // An element script added: its control is made at once and activated
    // once the running script has returned, as a browser lays out first.
    bool appendElement(Element* element);
    void removeElement(ControlSite* site);
    // Activation of the controls script added (posted to the top window).
    void activatePending();
    void connectScriptFor(const PageItem& item);

    Window* window() const { return m_window; }
    Document* document() const { return m_document; }
    WebBrowser* webBrowser() const { return m_browser; }
    HWND topWindow() const { return m_top; }
    const Options& options() const { return m_options; }
    void nextElementPosition(int width, int height, RECT& rc);

private:
    struct Timer {
        ATL::CComPtr<IDispatch> function;
        std::wstring code;
        bool repeat;
    };
    struct ForHandler {
        std::wstring element;
        std::wstring event;
        std::wstring function;
        bool bound;
    };
    // Gives the handler to its element's sink when the element exists.
    bool bind(const ForHandler& handler);
    ControlSite* siteFor(Element* element, std::wstring& error);
    void createTopWindow();
    void startEngine();
    void loadPage(const Page& page);
    void connectPendingHandlers();
    void takeScreenshot();
    int tearDown();
    static LRESULT CALLBACK TopWindowProc(HWND, UINT, WPARAM, LPARAM);

    Options m_options;
    HWND m_top = nullptr;
    ATL::CComPtr<IActiveScript> m_engine;
    ATL::CComPtr<IActiveScriptParse> m_parse;
    ATL::CComPtr<IDispatch> m_global;
    ScriptSite* m_scriptSite = nullptr;
    Window* m_window = nullptr;
    Document* m_document = nullptr;
    WebBrowser* m_browser = nullptr;
    std::vector<ControlSite*> m_elements;
    std::vector<ControlSite*> m_removed;
    std::vector<ControlSite*> m_pendingActivation;
    std::map<int, Timer> m_timers;
    int m_nextTimer = 1;
    std::vector<ForHandler> m_forHandlers;
    int m_forCount = 0;
    bool m_closeRequested = false;
    bool m_scriptFailed = false;
    int m_nextTop = 0;
};

extern Host* g_host;

// Text form of a script value, as console.log prints it.
std::wstring displayText(const VARIANT& value);

} // namespace IeHost
