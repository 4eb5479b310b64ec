#pragma once
// The page the demo plays, in the test browser host: its window defines the
// onload function "camReady", and it listens to the plug-in's events. Pumping
// does what a browser's main thread does: dispatch Windows messages, run the
// host's queued calls and fire page timers once their delay has passed.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TestBrowserHost.h"

namespace demo {

class DemoPage {
public:
    using Clock = std::chrono::steady_clock;

    // One call of a page function.
    struct Received {
        std::string function; // "camReady" or the event's name
        FW::VariantList args;
        Clock::time_point at;
    };

    static constexpr const char* kOnloadFunction = "camReady";

    DemoPage();
    ~DemoPage();
    DemoPage(const DemoPage&) = delete;
    DemoPage& operator=(const DemoPage&) = delete;

    const FW::Testing::TestBrowserHostPtr& host() const { return m_host; }

    // Registers a page handler for the scripting object's event ("onOnCtrlEvent").
    void listen(const FW::JSAPIPtr& object, const std::string& event);
    // Every page function call so far, in order.
    const std::vector<Received>& received() const { return m_received; }
    std::vector<Received> receivedBy(const std::string& function) const;

    // Runs the page's main thread for the given time.
    void pump(DWORD milliseconds);
    // Runs it until done() holds or the time is up; answers done().
    bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

    // Drops every recorded call and handler, and the script values they hold.
    void forget();

private:
    void runOnce();
    FW::Testing::TestPageObjectPtr recorder(const std::string& function);

    FW::Testing::TestBrowserHostPtr m_host;
    std::vector<FW::Testing::TestPageObjectPtr> m_functions;
    std::vector<Received> m_received;
    bool m_timersPending = false;
    Clock::time_point m_timersSince;
};

} // namespace demo
