#pragma once
// One stress run: worker threads that, until the deadline or until the host
// goes, each fire numbered events, make synchronous calls onto the main thread
// and drop page objects the main thread made for them. The threads own the
// run; the module waits for them before it unloads.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "JSAPIAuto.h"
#include "JSObject.h"
#include "Mutex.h"

class StressRun : public std::enable_shared_from_this<StressRun> {
public:
    StressRun(std::weak_ptr<FW::BrowserHost> host, std::weak_ptr<FW::JSAPIAuto> api,
              FW::JSObjectPtr maker, int threads);

    // Starts the threads; each runs for the given time.
    void start(std::chrono::milliseconds length);
    void stop() { m_stop = true; }

    bool running() const { return m_running > 0; }
    double fired() const { return static_cast<double>(m_fired.load()); }
    double mainCalls() const { return static_cast<double>(m_mainCalls.load()); }
    double released() const { return static_cast<double>(m_released.load()); }
    std::string errors() const;

    // Waits (bounded) until no worker of any run is left.
    static bool waitForAllThreads(std::chrono::milliseconds limit);

private:
    void work(int thread, std::chrono::steady_clock::time_point deadline);
    void note(const std::string& error);

    std::weak_ptr<FW::BrowserHost> m_host;
    std::weak_ptr<FW::JSAPIAuto> m_api;
    FW::JSObjectPtr m_maker;
    int m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_running{0};
    std::atomic<long long> m_fired{0};
    std::atomic<long long> m_mainCalls{0};
    std::atomic<long long> m_released{0};
    mutable FW::Mutex m_errorsMutex;
    std::string m_errors;
};
