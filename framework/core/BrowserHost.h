#pragma once
// One plug-in instance's access to the browser: running work on the browser's
// main thread, page script, page objects and DOM wrappers, logging, and keeping
// scripting objects alive while the page may use them. The adapters derive from
// it and supply the browser-specific operations.

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <type_traits>

#include "AsyncCallManager.h"
#include "CrossThreadCall.h"
#include "FunctorCall.h"
#include "JSObject.h"
#include "Mutex.h"

namespace FW {

namespace DOM {
class Node;
class Element;
class Window;
class Document;
using NodePtr = std::shared_ptr<Node>;
using ElementPtr = std::shared_ptr<Element>;
using WindowPtr = std::shared_ptr<Window>;
using DocumentPtr = std::shared_ptr<Document>;
} // namespace DOM

class BrowserStream;
class BrowserStreamRequest;
class BrowserStreamManager;
using BrowserStreamPtr = std::shared_ptr<BrowserStream>;

class BrowserHost : public std::enable_shared_from_this<BrowserHost> {
public:
    BrowserHost();
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;
    virtual ~BrowserHost();

    // Identifies the browser context of this host; event handlers are grouped by it.
    virtual EventContext getContextID() const = 0;

    // Browser streams; a null answer means that no stream was made. The host
    // keeps each stream alive until it completes; the request's sink observes
    // it, or a SimpleStreamHelper hands the whole body to its callback.
    virtual BrowserStreamPtr createStream(const BrowserStreamRequest& request);
    virtual BrowserStreamPtr createStreamFromRequest(const BrowserStreamRequest& request);
    virtual BrowserStreamPtr createPostStream(const BrowserStreamRequest& request);
    virtual BrowserStreamPtr createUnsolicitedStream(const BrowserStreamRequest& request);

    virtual DOM::DocumentPtr getDOMDocument() = 0;
    virtual DOM::WindowPtr getDOMWindow() = 0;
    virtual DOM::ElementPtr getDOMElement() = 0;

    // The address of the page the plug-in is on, as the browser itself
    // reports it (page script cannot restate it there); empty when unknown.
    virtual std::string getPageAddress();

    virtual void Navigate(const std::string& url, const std::string& target);
    virtual void evaluateJavaScript(const std::wstring& script);
    virtual void evaluateJavaScript(const std::string& script) = 0;
    // Installs the page call function used by delayedInvoke, named after the
    // instance's address.
    virtual void initJS(const void* instance);
    // Writes to standard output and to the page's console, on the main thread.
    virtual void htmlLog(const std::string& message);
    virtual void setEnableHtmlLog(bool enabled) { m_htmlLogEnabled = enabled; }
    virtual void shutdown();
    // Releases the browser handles whose release had to wait for the main thread.
    virtual void DeferredRelease() = 0;
    // The proxy the system chooses for the URL ("type", "hostname", "port");
    // false for a direct connection.
    virtual bool DetectProxySettings(std::map<std::string, std::string>& settings,
                                     const std::string& url);

    virtual DOM::WindowPtr wrapWindow(const JSObjectPtr& object) const;
    virtual DOM::DocumentPtr wrapDocument(const JSObjectPtr& object) const;
    virtual DOM::ElementPtr wrapElement(const JSObjectPtr& object) const;
    virtual DOM::NodePtr wrapNode(const JSObjectPtr& object) const;

    // Arranges for function(data) to be called on the main thread.
    virtual bool ScheduleAsyncCall(void (*function)(void*), void* data) = 0;

    bool isMainThread() const { return std::this_thread::get_id() == m_mainThread; }
    bool isShutDown() const;

    // Runs function(data) on the main thread later; false when the host is
    // shut down or the browser refuses.
    bool queueMainThreadCall(void (*function)(void*), void* data);
    // Runs call() on the main thread later, keeping object alive until then.
    template <class T, class F>
    bool ScheduleOnMainThread(const std::shared_ptr<T>& object, F call);
    // Runs call() on the main thread and answers its result; from another
    // thread it waits until the main thread has run it.
    template <class F>
    std::decay_t<std::invoke_result_t<F&>> CallOnMainThread(F call);

    // Calls the page function (method name empty) or the named method of the
    // object after the delay, from a page timer; answers the timer's
    // identifier, or -1 when the page offers no call function.
    int delayedInvoke(int delayMs, const JSObjectPtr& function, const VariantList& args,
                      const std::string& methodName = std::string());
    // The same, handing the arguments on to the page without a copy.
    int delayedInvoke(int delayMs, const JSObjectPtr& function, VariantList&& args,
                      const std::string& methodName = std::string());
    JSObjectPtr getJSCallFunction();

    void retainJSAPIPtr(const JSAPIPtr& object);
    void releaseJSAPIPtr(const JSAPIPtr& object);
    void freeRetainedObjects();

    const std::string& getUniqueKey() const { return m_uniqueKey; }
    const std::string& getCallFunctionName() const { return m_callFunctionName; }
    static int getInstanceCount() { return s_instanceCount; }

protected:
    // The adapter's stream objects; the base makes none.
    virtual BrowserStreamPtr _createStream(const BrowserStreamRequest& request);
    virtual BrowserStreamPtr _createUnsolicitedStream(const BrowserStreamRequest& request);
    template <class F>
    bool queueCall(F call) {
        return queueFunctor(makeFunctorCall(std::move(call)));
    }
    bool queueFunctor(std::unique_ptr<FunctorCall> call);
    // How often a thread waiting for a synchronous call looks again at the
    // shut-down state when nothing wakes it.
    void setCrossThreadWaitSlice(std::chrono::milliseconds slice) {
        m_crossThreadWaitSlice = slice;
    }

private:
    BrowserStreamPtr adoptStream(const BrowserStreamPtr& stream,
                                 const BrowserStreamRequest& request);
    static void throwCouldNotMarshal();
    static void throwShuttingDown();

    const std::thread::id m_mainThread;
    bool m_isShutDown = false;
    mutable FW::SharedMutex m_shutdownMutex;
    std::shared_ptr<AsyncCallManager> m_asyncManager;
    FW::RecursiveMutex m_retainedMutex;
    std::list<JSAPIPtr> m_retainedObjects;
    FW::Mutex m_streamMutex;
    std::shared_ptr<BrowserStreamManager> m_streamManager;
    std::atomic<bool> m_htmlLogEnabled{true};
    std::string m_uniqueKey;
    std::string m_callFunctionName;
    JSObjectPtr m_callFunction; // main thread only
    std::chrono::milliseconds m_crossThreadWaitSlice{10000};
    static std::atomic<int> s_instanceCount;
};

using BrowserHostPtr = std::shared_ptr<BrowserHost>;
using BrowserHostWeakPtr = std::weak_ptr<BrowserHost>;

template <class T, class F>
bool BrowserHost::ScheduleOnMainThread(const std::shared_ptr<T>& object, F call) {
    return queueFunctor(makeFunctorCall(std::move(call), object));
}

template <class F>
std::decay_t<std::invoke_result_t<F&>> BrowserHost::CallOnMainThread(F call) {
    // The result is handed back by value: a reference would outlive its call.
    using Result = std::decay_t<std::invoke_result_t<F&>>;
    if (isMainThread())
        return call();
    auto functor = std::make_shared<FunctorCallImpl<F, Result>>(nullptr, std::move(call));
    auto crossCall = std::make_shared<CrossThreadCall>(functor);
    std::weak_ptr<CrossThreadCall> weakCall = crossCall;
    if (!queueCall([weakCall] { CrossThreadCall::syncCallback(weakCall); }))
        throwCouldNotMarshal();
    crossCall->waitForReturn([this] { return isShutDown(); }, m_crossThreadWaitSlice);
    if (isShutDown())
        throwShuttingDown();
    crossCall->rethrowError();
    return functor->takeResult();
}

} // namespace FW
