#pragma once
// A browser host for tests. Its main thread is the thread that made it, and its
// main-thread queue is run by the test (runPendingCalls, runUntil). Its page is
// in memory: a window with "console", "alert", "Array", "Object", "document"
// and "location"; a document with "body" and "createElement"; the plug-in's
// element. Script given to evaluateJavaScript is recorded; the page call
// function script installs a call function whose timers the test runs
// (runTimers).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "Mutex.h"
#include "TestPageObject.h"

namespace FW {
namespace Testing {

class TestBrowserHost;
using TestBrowserHostPtr = std::shared_ptr<TestBrowserHost>;

class TestBrowserHost : public BrowserHost {
public:
    struct Timer {
        int id;
        int delay;
        JSObjectPtr function;
        VariantList args;
        std::string method; // empty: the function itself is called
    };

    // Makes a host and its page; the calling thread becomes the main thread.
    static TestBrowserHostPtr create();
    TestBrowserHost();
    ~TestBrowserHost() override;

    EventContext getContextID() const override { return this; }
    DOM::DocumentPtr getDOMDocument() override;
    DOM::WindowPtr getDOMWindow() override;
    DOM::ElementPtr getDOMElement() override;
    using BrowserHost::evaluateJavaScript;
    void evaluateJavaScript(const std::string& script) override;
    void DeferredRelease() override { ++m_deferredReleases; }
    bool ScheduleAsyncCall(void (*function)(void*), void* data) override;

    // Runs the queued main-thread calls (also those queued meanwhile); answers
    // how many ran.
    size_t runPendingCalls();
    // Runs queued calls as they arrive until done() or the time is up; answers done().
    bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000);
    // Runs the due page timers in order; answers how many ran.
    size_t runTimers();
    // Runs calls and timers until neither has anything left.
    void runAll();

    size_t queuedCalls() const;
    size_t scheduleRequests() const { return m_scheduleRequests; }
    void setRefuseScheduling(bool refuse) { m_refuse = refuse; }
    using BrowserHost::setCrossThreadWaitSlice;
    void setPageHasConsole(bool present);
    void setWindowMissing(bool missing) { m_windowMissing = missing; }
    // Page script is not run at all: the call function is never installed.
    void setScriptDisabled(bool disabled) { m_scriptDisabled = disabled; }

    const std::vector<std::string>& evaluatedScripts() const { return m_scripts; }
    const std::vector<Timer>& pendingTimers() const { return m_timers; }
    int deferredReleases() const { return m_deferredReleases; }

    TestPageObjectPtr window() const { return m_window; }
    TestPageObjectPtr document() const { return m_document; }
    TestPageObjectPtr element() const { return m_element; }
    TestPageObjectPtr console() const { return m_console; }

private:
    void makePage();
    void installCallFunction(const std::string& name);

    mutable FW::Mutex m_queueMutex;
    std::condition_variable m_queueCond;
    std::deque<std::pair<void (*)(void*), void*>> m_queue;
    std::atomic<size_t> m_scheduleRequests{0};
    std::atomic<bool> m_refuse{false};
    bool m_windowMissing = false;
    bool m_scriptDisabled = false;
    int m_deferredReleases = 0;
    int m_nextTimerId = 1;
    std::vector<std::string> m_scripts;
    std::vector<Timer> m_timers;
    TestPageObjectPtr m_window;
    TestPageObjectPtr m_document;
    TestPageObjectPtr m_element;
    TestPageObjectPtr m_console;
};

} // namespace Testing
} // namespace FW
