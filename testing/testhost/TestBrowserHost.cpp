#include "TestBrowserHost.h"

#include <chrono>

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"

namespace FW {
namespace Testing {

namespace {
const char kCallFunctionPrefix[] = "window.__FW_CALL_";
}

TestBrowserHostPtr TestBrowserHost::create() {
    auto host = std::make_shared<TestBrowserHost>();
    host->makePage();
    return host;
}

TestBrowserHost::TestBrowserHost() = default;

TestBrowserHost::~TestBrowserHost() {
    // Queued tickets are handed back so that none is leaked; after shutdown
    // they find nothing to run.
    if (!isShutDown())
        BrowserHost::shutdown();
    std::deque<std::pair<void (*)(void*), void*>> queue;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        queue.swap(m_queue);
    }
    for (auto& entry : queue)
        entry.first(entry.second);
    if (m_document)
        m_document->RemoveProperty("window"); // the page's only reference cycle
}

void TestBrowserHost::makePage() {
    BrowserHostPtr self = shared_from_this();
    m_window = std::make_shared<TestPageObject>(self);
    m_document = std::make_shared<TestPageObject>(self);
    m_element = std::make_shared<TestPageObject>(self);
    m_console = std::make_shared<TestPageObject>(self);
    m_console->setMethod("log", [](const VariantList&) { return variant(); });

    auto location = std::make_shared<TestPageObject>(self);
    location->setProperty("href", std::string("http://test.invalid/page.html"));
    auto body = std::make_shared<TestPageObject>(self);
    body->setProperty("innerHTML", std::string());

    std::weak_ptr<BrowserHost> weakHost = self;
    m_window->setProperty("document", JSObjectPtr(m_document));
    m_window->setProperty("location", JSObjectPtr(location));
    m_window->setProperty("console", JSObjectPtr(m_console));
    m_window->setMethod("alert", [](const VariantList&) { return variant(); });
    m_window->setMethod("Array", [weakHost](const VariantList&) {
        return variant(JSObjectPtr(TestPageObject::makeArray(weakHost.lock(), VariantList())));
    });
    m_window->setMethod("Object", [weakHost](const VariantList&) {
        return variant(JSObjectPtr(std::make_shared<TestPageObject>(weakHost.lock())));
    });
    m_document->setProperty("window", JSObjectPtr(m_window));
    m_document->setProperty("body", JSObjectPtr(body));
    m_document->setMethod("createElement", [weakHost](const VariantList& args) {
        auto element = std::make_shared<TestPageObject>(weakHost.lock());
        element->setProperty("tagName", args.empty() ? variant() : args[0]);
        return variant(JSObjectPtr(element));
    });
    m_element->setProperty("width", 640);
    m_element->setProperty("height", 480);
}

void TestBrowserHost::setPageHasConsole(bool present) {
    if (present)
        m_window->setProperty("console", JSObjectPtr(m_console));
    else
        m_window->RemoveProperty("console");
}

DOM::DocumentPtr TestBrowserHost::getDOMDocument() {
    return m_document ? wrapDocument(m_document) : DOM::DocumentPtr();
}

DOM::WindowPtr TestBrowserHost::getDOMWindow() {
    return m_window && !m_windowMissing ? wrapWindow(m_window) : DOM::WindowPtr();
}

DOM::ElementPtr TestBrowserHost::getDOMElement() {
    return m_element ? wrapElement(m_element) : DOM::ElementPtr();
}

void TestBrowserHost::evaluateJavaScript(const std::string& script) {
    m_scripts.push_back(script);
    if (m_scriptDisabled ||
        script.compare(0, sizeof kCallFunctionPrefix - 1, kCallFunctionPrefix) != 0)
        return;
    const size_t nameStart = sizeof "window." - 1;
    const size_t nameEnd = script.find(' ', nameStart);
    installCallFunction(script.substr(nameStart, nameEnd - nameStart));
}

void TestBrowserHost::installCallFunction(const std::string& name) {
    // Does what the page's call function does: starts a timer that calls the
    // function (three arguments) or its named method (four).
    TestBrowserHost* self = this;
    auto function = TestPageObject::makeFunction(
        shared_from_this(), [self](const VariantList& args) -> variant {
            if (args.size() != 3 && args.size() != 4)
                throw script_error("call function: wrong argument count");
            Timer timer{self->m_nextTimerId++, args[0].convert<int>(),
                        args[1].convert<JSObjectPtr>(), args[2].convert<VariantList>(),
                        args.size() == 4 ? args[3].convert<std::string>() : std::string()};
            self->m_timers.push_back(timer);
            return variant(timer.id);
        });
    m_window->setProperty(name, JSObjectPtr(function));
}

bool TestBrowserHost::ScheduleAsyncCall(void (*function)(void*), void* data) {
    ++m_scheduleRequests;
    if (m_refuse)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.emplace_back(function, data);
    }
    m_queueCond.notify_all();
    return true;
}

size_t TestBrowserHost::queuedCalls() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_queue.size();
}

size_t TestBrowserHost::runPendingCalls() {
    size_t ran = 0;
    for (;;) {
        std::pair<void (*)(void*), void*> entry;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_queue.empty())
                return ran;
            entry = m_queue.front();
            m_queue.pop_front();
        }
        entry.first(entry.second);
        ++ran;
    }
}

bool TestBrowserHost::runUntil(const std::function<bool()>& done, int timeoutMs) {
    // done() may turn true without a queued call, so it is looked at often.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCond.wait_for(lock, std::chrono::milliseconds(2),
                                 [this] { return !m_queue.empty(); });
        }
        runPendingCalls();
    }
    return true;
}

size_t TestBrowserHost::runTimers() {
    std::vector<Timer> due;
    due.swap(m_timers);
    for (const auto& timer : due) {
        if (timer.method.empty())
            timer.function->Invoke(std::string(), timer.args);
        else
            timer.function->Invoke(timer.method, timer.args);
    }
    return due.size();
}

void TestBrowserHost::runAll() {
    while (runPendingCalls() + runTimers() > 0) {
    }
}

} // namespace Testing
} // namespace FW
