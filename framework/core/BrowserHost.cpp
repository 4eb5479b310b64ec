#include "BrowserHost.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <typeinfo>

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Node.h"
#include "BrowserStreamManager.h"
#include "BrowserStreamRequest.h"
#include "DOM/Window.h"
#include "SimpleStreamHelper.h"
#include "StreamEvents.h"
#include "SystemProxyDetector.h"
#include "utf8_tools.h"

namespace FW {

std::atomic<int> BrowserHost::s_instanceCount{0};

namespace {

// The page call function: calls f itself (three arguments) or its method
// fname (four), from a timer of the given delay.
const char* const kCallFunctionScript =
    "window.__FW_CALL_%1% = function(delay, f, args, fname) {"
    "   if (arguments.length == 3)"
    "       return setTimeout(function() { f.apply(null, args); }, delay);"
    "   else"
    "       return setTimeout(function() { f[fname].apply(f, args); }, delay);"
    "};";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

} // namespace

BrowserHost::BrowserHost()
    : m_mainThread(std::this_thread::get_id()),
      m_asyncManager(std::make_shared<AsyncCallManager>()),
      m_streamManager(std::make_shared<BrowserStreamManager>()) {
    ++s_instanceCount;
}

BrowserHost::~BrowserHost() {
    --s_instanceCount;
}

BrowserStreamPtr BrowserHost::createStream(const BrowserStreamRequest& request) {
    BrowserStreamRequest get(request);
    get.method = "GET";
    return createStreamFromRequest(get);
}

BrowserStreamPtr BrowserHost::createPostStream(const BrowserStreamRequest& request) {
    BrowserStreamRequest post(request);
    post.method = "POST";
    return createStreamFromRequest(post);
}

BrowserStreamPtr BrowserHost::createStreamFromRequest(const BrowserStreamRequest& request) {
    if (isShutDown())
        return BrowserStreamPtr();
    return adoptStream(_createStream(request), request);
}

BrowserStreamPtr BrowserHost::createUnsolicitedStream(const BrowserStreamRequest& request) {
    if (isShutDown())
        return BrowserStreamPtr();
    return adoptStream(_createUnsolicitedStream(request), request);
}

BrowserStreamPtr BrowserHost::_createStream(const BrowserStreamRequest&) {
    return BrowserStreamPtr();
}

BrowserStreamPtr BrowserHost::_createUnsolicitedStream(const BrowserStreamRequest&) {
    return BrowserStreamPtr();
}

BrowserStreamPtr BrowserHost::adoptStream(const BrowserStreamPtr& stream,
                                          const BrowserStreamRequest& request) {
    if (!stream)
        return stream;
    if (request.sink)
        stream->AttachObserver(request.sink);
    else if (request.callback)
        stream->AttachObserver(std::make_shared<SimpleStreamHelper>(request.callback));
    std::shared_ptr<BrowserStreamManager> manager;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        manager = m_streamManager;
    }
    if (manager)
        manager->retainStream(stream);
    StreamCreatedEvent created(stream.get());
    stream->SendEvent(&created);
    return stream;
}

void BrowserHost::Navigate(const std::string&, const std::string&) {}

void BrowserHost::evaluateJavaScript(const std::wstring& script) {
    evaluateJavaScript(wstring_to_utf8(script));
}

void BrowserHost::initJS(const void* instance) {
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(instance));
    const std::uint32_t key = address + address / 8;
    m_uniqueKey = std::to_string(key);
    m_callFunctionName = "__FW_CALL_" + m_uniqueKey;
    evaluateJavaScript(replaceAll(kCallFunctionScript, "%1%", m_uniqueKey));
}

JSObjectPtr BrowserHost::getJSCallFunction() {
    // Every event handler call goes through it: read from the page once and
    // kept. The function is the host's own; a page that later deletes or
    // replaces the name neither cuts the plug-in's events off nor takes them
    // over, and no event pays a browser round trip to look it up again
    // (reading it from the window for each event, or checking the cached one
    // against it, cost a quarter to a third of the event rate in both test
    // browsers).
    if (m_callFunction)
        return m_callFunction;
    DOM::WindowPtr window = getDOMWindow();
    if (!window)
        return JSObjectPtr();
    if (m_callFunctionName.empty())
        initJS(this);
    auto readCallFunction = [&]() -> JSObjectPtr {
        try {
            return window->getProperty<JSObjectPtr>(m_callFunctionName);
        } catch (const script_error&) {
            return JSObjectPtr();
        } catch (const std::bad_cast&) {
            return JSObjectPtr(); // overwritten by the page: installed again below
        }
    };
    JSObjectPtr function = readCallFunction();
    if (!function) {
        initJS(this);
        function = readCallFunction();
    }
    m_callFunction = function;
    return function;
}

int BrowserHost::delayedInvoke(int delayMs, const JSObjectPtr& function, const VariantList& args,
                               const std::string& methodName) {
    return delayedInvoke(delayMs, function, VariantList(args), methodName);
}

int BrowserHost::delayedInvoke(int delayMs, const JSObjectPtr& function, VariantList&& args,
                               const std::string& methodName) {
    const JSObjectPtr callFunction = getJSCallFunction();
    if (!callFunction)
        return -1;
    // Built in place: a braced list would copy every argument once more.
    VariantList callArgs;
    callArgs.reserve(4);
    callArgs.emplace_back(delayMs);
    callArgs.emplace_back(function);
    callArgs.emplace_back(std::move(args));
    if (!methodName.empty())
        callArgs.emplace_back(methodName);
    return callFunction->Invoke(std::string(), callArgs).convert<int>();
}

void BrowserHost::htmlLog(const std::string& message) {
    if (!m_htmlLogEnabled)
        return;
    std::weak_ptr<BrowserHost> weakSelf = weak_from_this();
    queueCall([weakSelf, message] {
        BrowserHostPtr self = weakSelf.lock();
        if (!self)
            return;
        try {
            DOM::WindowPtr window = self->getDOMWindow();
            if (!window || !window->getJSObject()->HasProperty("console"))
                return;
            JSObjectPtr console = window->getProperty<JSObjectPtr>("console");
            std::printf("Logging: %s\n", message.c_str());
            std::fflush(stdout);
            if (console)
                console->Invoke("log", VariantList{variant(message)});
        } catch (const std::exception&) {
            // Logging must never fail the caller.
        }
    });
}

void BrowserHost::shutdown() {
    std::list<JSAPIPtr> retained;
    {
        std::lock_guard<std::recursive_mutex> lock(m_retainedMutex);
        retained = m_retainedObjects;
    }
    for (const auto& object : retained)
        object->shutdown();
    freeRetainedObjects();
    {
        std::unique_lock<std::shared_mutex> lock(m_shutdownMutex);
        m_isShutDown = true;
    }
    m_asyncManager->shutdown();
    m_callFunction.reset(); // a page object: the browser may check that none is left
    // Streams still running are closed while the adapter can reach the browser.
    std::shared_ptr<BrowserStreamManager> streams;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        streams.swap(m_streamManager);
    }
}

bool BrowserHost::DetectProxySettings(std::map<std::string, std::string>& settings,
                                      const std::string& url) {
    const SystemProxyDetector* detector = SystemProxyDetector::get();
    return detector != nullptr && detector->detectProxy(settings, url);
}

DOM::WindowPtr BrowserHost::wrapWindow(const JSObjectPtr& object) const {
    return std::make_shared<DOM::Window>(object);
}
DOM::DocumentPtr BrowserHost::wrapDocument(const JSObjectPtr& object) const {
    return std::make_shared<DOM::Document>(object);
}
DOM::ElementPtr BrowserHost::wrapElement(const JSObjectPtr& object) const {
    return std::make_shared<DOM::Element>(object);
}
DOM::NodePtr BrowserHost::wrapNode(const JSObjectPtr& object) const {
    return std::make_shared<DOM::Node>(object);
}

bool BrowserHost::isShutDown() const {
    std::shared_lock<std::shared_mutex> lock(m_shutdownMutex);
    return m_isShutDown;
}

bool BrowserHost::queueMainThreadCall(void (*function)(void*), void* data) {
    return queueCall([function, data] { function(data); });
}

bool BrowserHost::queueFunctor(std::unique_ptr<FunctorCall> call) {
    if (isShutDown())
        return false;
    AsyncCallManager::Ticket* ticket = m_asyncManager->makeCallback(std::move(call));
    if (!ticket)
        return false;
    if (!ScheduleAsyncCall(&AsyncCallManager::dispatch, ticket)) {
        m_asyncManager->cancel(ticket);
        return false;
    }
    return true;
}

void BrowserHost::retainJSAPIPtr(const JSAPIPtr& object) {
    std::lock_guard<std::recursive_mutex> lock(m_retainedMutex);
    m_retainedObjects.push_back(object);
}

void BrowserHost::releaseJSAPIPtr(const JSAPIPtr& object) {
    // The released object dies outside the lock: its destructor may call back.
    std::list<JSAPIPtr> released;
    {
        std::lock_guard<std::recursive_mutex> lock(m_retainedMutex);
        auto it = std::find(m_retainedObjects.begin(), m_retainedObjects.end(), object);
        if (it != m_retainedObjects.end())
            released.splice(released.end(), m_retainedObjects, it);
    }
    if (isMainThread())
        DeferredRelease();
}

void BrowserHost::freeRetainedObjects() {
    std::list<JSAPIPtr> released;
    std::lock_guard<std::recursive_mutex> lock(m_retainedMutex);
    released.swap(m_retainedObjects);
    DeferredRelease();
}

void BrowserHost::throwCouldNotMarshal() {
    throw script_error("Could not marshal to main thread");
}

void BrowserHost::throwShuttingDown() {
    throw script_error("Shutting down");
}

} // namespace FW
