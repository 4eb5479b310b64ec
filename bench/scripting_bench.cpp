// Cost of a script call through the member registry, next to a direct C++ call
// of the same member function, measured in the same run.

#include <cstdio>
#include <string>

#include "bench_timing.h"
#include "JSAPIAuto.h"
#include "TestBrowserHost.h"

namespace {

// Keeps the compiler from dropping or hoisting the measured work.
template <class T>
inline void keep(T const& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

class BenchAPI : public FW::JSAPIAuto {
public:
    BenchAPI() {
        // About fifty members, as a real API object has.
        for (int i = 0; i < 42; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "Member%02d", i);
            registerMethod(name, FW::make_method(this, &BenchAPI::pick));
        }
        registerMethod("pick", FW::make_method(this, &BenchAPI::pick));
        registerProperty("count", FW::make_property(this, &BenchAPI::getCount));
    }

    __attribute__((noinline)) long pick(long number, const std::string& text) {
        return number + static_cast<long>(text.size());
    }
    __attribute__((noinline)) long getCount() const { return m_count; }

private:
    long m_count = 3;
};

} // namespace

int main() {
    auto api = std::make_shared<BenchAPI>();
    const long iterations = 1000000;
    const FW::VariantList args{FW::variant(7), FW::variant(std::string("camera"))};
    const std::string name = "pick";
    const std::string property = "count";
    const std::string text = "camera";

    std::vector<std::string> members;
    api->getMemberNames(members);

    const double direct = nsPerCall(
        [&] {
            long r = api->pick(7, text);
            keep(r);
        },
        iterations);
    const double invoke = nsPerCall(
        [&] {
            FW::variant r = api->Invoke(name, args);
            keep(r);
        },
        iterations);
    const double directGetter = nsPerCall(
        [&] {
            long r = api->getCount();
            keep(r);
        },
        iterations);
    const double getProperty = nsPerCall(
        [&] {
            FW::variant r = api->GetProperty(property);
            keep(r);
        },
        iterations);
    // Script reading a method as a value (the browser's getter of obj.pick).
    const double getMethod = nsPerCall(
        [&] {
            FW::variant r = api->GetProperty(name);
            keep(r);
        },
        iterations);

    // An event to one page handler: firing, the main-thread call and the page
    // timer, with the in-process test host standing in for the browser.
    auto host = FW::Testing::TestBrowserHost::create();
    auto handler = FW::Testing::TestPageObject::makeFunction(host);
    api->registerEventMethod("onOnCtrlEvent", handler);
    const FW::VariantList eventArgs{FW::variant(std::wstring(L"status")), FW::variant(1L),
                                    FW::variant(2L)};
    const long events = 100000;
    const double fireEvent = nsPerCall(
        [&] {
            api->FireEvent("onOnCtrlEvent", eventArgs);
            host->runPendingCalls();
            host->runTimers();
            handler->clearCalls();
        },
        events);

    std::printf("scripting_bench: JSAPIAuto with %zu members, best of 7 rounds of %ld calls\n",
                members.size(), iterations);
    std::printf("  %-34s %8.1f ns/call\n", "direct pick(long, string)", direct);
    std::printf("  %-34s %8.1f ns/call  (%.1fx direct)\n", "Invoke(\"pick\", [7, \"camera\"])",
                invoke, invoke / direct);
    std::printf("  %-34s %8.1f ns/call\n", "direct getCount()", directGetter);
    std::printf("  %-34s %8.1f ns/call  (%.1fx direct)\n", "GetProperty(\"count\")", getProperty,
                getProperty / directGetter);
    std::printf("  %-34s %8.1f ns/call\n", "GetProperty(\"pick\"), a method", getMethod);
    std::printf("  %-34s %8.1f ns/event\n", "FireEvent to one handler, delivered", fireEvent);
    reportRow("scripted call: core Invoke (native)", invoke, "ns/call", "direct C++ call", direct,
              "-");
    reportRow("event: FireEvent to one page handler, delivered (native test host)", fireEvent,
              "ns/event", "-", 0, "-");
    reportRow("property read: core GetProperty (native)", getProperty, "ns/call",
              "direct C++ getter", directGetter, "-");
    reportRow("property read: core GetProperty of a method name (native)", getMethod, "ns/call",
              "-", 0, "-");
    return 0;
}
