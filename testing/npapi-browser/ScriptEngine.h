#pragma once
// The page's script engine (Duktape) and the bridge between it and NPAPI:
// plug-in objects reach script as proxies that call their NPClass, page values
// reach the plug-in as NPObjects of the browser's own class. Also the page's
// globals: console, alert, timers and the DOM prelude.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "duktape.h"
#include "npapi_abi.h"

namespace npbrowser {

// What script asks of the browser around it.
class PageHost {
public:
    virtual ~PageHost() = default;
    virtual void connectElement(duk_context* ctx) = 0;    // [proxy type w h names values]
    virtual void disconnectElement(duk_context* ctx) = 0; // [proxy]
    virtual void resizeElement(duk_context* ctx) = 0;     // [proxy w h]
    // The scriptable object of the element behind this proxy, borrowed; null
    // when the element has no plug-in.
    virtual NPObject* scriptableOf(void* elementProxy) = 0;
    virtual void closeWindow() = 0;
    virtual void installTestbed(duk_context* ctx) = 0; // [global]
};

class ScriptEngine {
public:
    ScriptEngine(PageHost& host, const std::string& pageUrl);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    static ScriptEngine* current();
    duk_context* ctx() const { return m_ctx; }

    // Runs page script at the top level; an escaping error is reported.
    void runScript(const std::string& code, const std::string& name);
    // Calls a global function by name if the page defines it.
    void callGlobal(const char* name);
    bool hadUncaughtError() const { return m_uncaught; }
    void reportUncaught(const char* message);

    // Timers: milliseconds until the next one is due (INFINITE when none).
    DWORD nextTimerDelay() const;
    void runDueTimers();

    // Value bridge. Values made for the plug-in either stay the browser's
    // (arguments of a call: the browser releases them afterwards) or become
    // the plug-in's (results it asked for).
    void pushValue(const NPVariant& value);
    void toVariant(duk_idx_t index, NPVariant* out, bool browserOwned);
    // A page object as an NPObject retained for the plug-in.
    NPObject* pageObject(duk_idx_t index);
    NPObject* windowObject();
    // Runs script text for NPN_Evaluate; the result belongs to the plug-in.
    bool evaluate(const NPString& script, NPVariant* result);

    // Lets go of every plug-in object that script still holds; the page is
    // closing and the plug-in library is about to be unloaded.
    void releasePluginObjects();

    // Internals shared with the native functions of the bridge.
    PageHost& host() { return m_host; }
    void pushPluginObject(NPObject* object);
    NPObject* pluginObjectOf(void* proxy);
    bool isElementProxy(void* proxy);
    // Forgets the proxy of a plug-in object, if it is still that proxy.
    void forgetProxy(NPObject* object, void* proxy);
    NPIdentifier identifierOf(duk_context* ctx, duk_idx_t index);
    bool tearingDown() const { return m_tearingDown; }
    void pushStashed(unsigned key);
    unsigned stash(duk_idx_t index);
    void unstash(unsigned key);
    void forgetPageObject(void* heapptr) { m_pageObjects.erase(heapptr); }

    unsigned addTimer(DWORD delay, bool repeat);
    void clearTimer(unsigned id);

private:
    void installGlobals(const std::string& pageUrl);

    PageHost& m_host;
    duk_context* m_ctx = nullptr;
    bool m_uncaught = false;
    bool m_tearingDown = false;
    unsigned m_nextKey = 1;
    std::map<NPObject*, void*> m_proxies;      // plug-in object -> its proxy
    std::map<void*, NPObject*> m_proxyTargets; // proxy -> plug-in object
    std::map<void*, NPObject*> m_pageObjects;  // page value -> its NPObject
    struct Timer {
        ULONGLONG due;
        DWORD interval;
        bool repeat;
    };
    std::map<unsigned, Timer> m_timers;
    // The timers in the order they run: by due time, then by creation.
    std::set<std::pair<ULONGLONG, unsigned>> m_schedule;
    unsigned m_nextTimer = 1;
    NPObject* m_window = nullptr;
};

} // namespace npbrowser
