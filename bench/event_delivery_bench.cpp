// Cost of delivering one event with three text arguments to page handlers,
// through a host whose main-thread queue runs each call at once and whose page
// call function only starts a timer: what the framework itself adds between
// FireEvent and the browser, without a test browser's bookkeeping.

#include <cstdio>
#include <string>
#include <vector>

#include "DOM/Window.h"
#include "JSAPIAuto.h"
#include "TestPageObject.h"
#include "bench_timing.h"

namespace {

template <class T>
inline void keep(T const& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

// The page call function: looks at what a browser would convert and answers a timer id.
class CallFunction : public FW::Testing::TestPageObject {
public:
    using TestPageObject::TestPageObject;
    FW::variant Invoke(const std::string&, const FW::VariantList& args) override {
        arguments += args.size() + args[2].get<FW::VariantList>().size();
        return FW::variant(1);
    }
    size_t arguments = 0;
};

class ImmediateHost : public FW::BrowserHost {
public:
    void setWindow(const FW::JSObjectPtr& window) { m_window = FW::DOM::Window::create(window); }
    FW::EventContext getContextID() const override { return this; }
    FW::DOM::DocumentPtr getDOMDocument() override { return nullptr; }
    FW::DOM::WindowPtr getDOMWindow() override { return m_window; }
    FW::DOM::ElementPtr getDOMElement() override { return nullptr; }
    void evaluateJavaScript(const std::string&) override {}
    void DeferredRelease() override {}
    bool ScheduleAsyncCall(void (*function)(void*), void* data) override {
        function(data);
        return true;
    }

private:
    FW::DOM::WindowPtr m_window;
};

class EventAPI : public FW::JSAPIAuto {};

double fireTo(int handlers, long events) {
    auto host = std::make_shared<ImmediateHost>();
    auto window = std::make_shared<FW::Testing::TestPageObject>(host);
    auto call = std::make_shared<CallFunction>(host);
    host->initJS(host.get());
    window->setProperty(host->getCallFunctionName(), FW::JSObjectPtr(call));
    host->setWindow(window);

    auto api = std::make_shared<EventAPI>();
    std::vector<FW::Testing::TestPageObjectPtr> pageHandlers;
    for (int i = 0; i < handlers; ++i) {
        pageHandlers.push_back(FW::Testing::TestPageObject::makeFunction(host));
        api->registerEventMethod("onOnCtrlEvent", pageHandlers.back());
    }
    const FW::VariantList args{FW::variant(std::string("camera 12 connected to the recorder")),
                               FW::variant(std::string("status")),
                               FW::variant(std::string("stream 2 of 4"))};
    const double ns = nsPerCall([&] { api->FireEvent("onOnCtrlEvent", args); }, events);
    if (call->arguments != static_cast<size_t>(6 * handlers) * 7 * events)
        std::fprintf(stderr, "event_delivery_bench: %zu arguments seen\n", call->arguments);
    keep(call->arguments);
    host->shutdown();
    return ns;
}

} // namespace

int main() {
    const long events = 200000;
    const double one = fireTo(1, events);
    const double eight = fireTo(8, events / 4);
    std::printf("event_delivery_bench: best of 7 rounds, 3 text arguments, immediate host\n");
    std::printf("  %-34s %8.1f ns/event\n", "FireEvent to 1 handler", one);
    std::printf("  %-34s %8.1f ns/event\n", "FireEvent to 8 handlers", eight);
    reportRow("event: FireEvent, 3 texts, to 1 handler (native, immediate host)", one, "ns/event",
              "-", 0, "-");
    reportRow("event: FireEvent, 3 texts, to 8 handlers (native, immediate host)", eight,
              "ns/event", "-", 0, "-");
    return 0;
}
