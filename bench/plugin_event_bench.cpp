// Cost of delivering a plug-in (window) event through an event source, next to a direct
// virtual call of the sink, measured in the same run.

#include <cstdio>
#include <memory>
#include <vector>

#include "bench_timing.h"
#include "PluginEventSource.h"
#include "PluginEvents.h"

namespace {

template <class T>
inline void keep(T const& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

class CountingSink : public FW::PluginEventSink {
public:
    explicit CountingSink(bool answer) : m_answer(answer) {}
    __attribute__((noinline)) bool HandleEvent(FW::PluginEvent* evt,
                                               FW::PluginEventSource*) override {
        if (dynamic_cast<FW::MouseMoveEvent*>(evt))
            ++count;
        return m_answer;
    }
    long count = 0;

private:
    bool m_answer;
};

} // namespace

int main() {
    const long iterations = 1000000;
    FW::PluginEventSource one;
    auto core = std::make_shared<CountingSink>(true);
    one.AttachObserver(core);

    FW::PluginEventSource three;
    std::vector<std::shared_ptr<CountingSink>> sinks{std::make_shared<CountingSink>(false),
                                                     std::make_shared<CountingSink>(false),
                                                     std::make_shared<CountingSink>(true)};
    for (auto& sink : sinks)
        three.AttachObserver(sink);

    FW::PluginEventSink* direct = core.get();
    const double directCall = nsPerCall(
        [&] {
            FW::MouseMoveEvent evt(3, 4);
            bool r = direct->HandleEvent(&evt, &one);
            keep(r);
        },
        iterations);
    const double sendOne = nsPerCall(
        [&] {
            FW::MouseMoveEvent evt(3, 4);
            bool r = one.SendEvent(&evt);
            keep(r);
        },
        iterations);
    const double sendThree = nsPerCall(
        [&] {
            FW::MouseMoveEvent evt(3, 4);
            bool r = three.SendEvent(&evt);
            keep(r);
        },
        iterations);

    std::printf("plugin_event_bench: best of 7 rounds of %ld mouse-move events\n", iterations);
    std::printf("  %-34s %8.1f ns/event\n", "direct HandleEvent", directCall);
    std::printf("  %-34s %8.1f ns/event  (%.1fx direct)\n", "SendEvent, one sink", sendOne,
                sendOne / directCall);
    std::printf("  %-34s %8.1f ns/event\n", "SendEvent, three sinks", sendThree);
    reportRow("window event: SendEvent to one sink (native)", sendOne, "ns/event",
              "direct virtual HandleEvent", directCall, "-");
    return 0;
}
