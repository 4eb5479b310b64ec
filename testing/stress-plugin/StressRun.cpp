#include "StressRun.h"

#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>

namespace {

std::mutex g_threadsMutex;
std::condition_variable g_threadsDone;
int g_liveThreads = 0;

} // namespace

StressRun::StressRun(std::weak_ptr<FW::BrowserHost> host, std::weak_ptr<FW::JSAPIAuto> api,
                     FW::JSObjectPtr maker, int threads)
    : m_host(std::move(host)), m_api(std::move(api)), m_maker(std::move(maker)),
      m_threads(threads) {}

namespace {

void threadEnded() {
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    if (--g_liveThreads == 0)
        g_threadsDone.notify_all();
}

} // namespace

void StressRun::start(std::chrono::milliseconds length) {
    const auto deadline = std::chrono::steady_clock::now() + length;
    for (int thread = 0; thread < m_threads; ++thread) {
        ++m_running;
        {
            std::lock_guard<std::mutex> lock(g_threadsMutex);
            ++g_liveThreads;
        }
        try {
            std::thread([self = shared_from_this(), thread, deadline] {
                self->work(thread, deadline);
                --self->m_running;
                threadEnded();
            }).detach();
        } catch (const std::system_error& error) {
            // No thread: the counts must not wait for it.
            --m_running;
            threadEnded();
            note(error.what());
        }
    }
}

void StressRun::work(int thread, std::chrono::steady_clock::time_point deadline) {
    // Nothing may leave a thread start: every failure is noted for the page.
    try {
        for (int sequence = 1; !m_stop && std::chrono::steady_clock::now() < deadline; ++sequence) {
            auto host = m_host.lock();
            auto api = m_api.lock();
            if (!host || !api || host->isShutDown())
                return;
            api->FireEvent("onstress", FW::VariantList{thread, sequence});
            ++m_fired;
            host->CallOnMainThread([this] { return ++m_mainCalls; });
            FW::JSObjectPtr made = host->CallOnMainThread([this] {
                return m_maker->Invoke(std::string(), FW::VariantList{}).convert<FW::JSObjectPtr>();
            });
            // The last reference to a page object goes on this thread.
            if (made) {
                made.reset();
                ++m_released;
            }
        }
    } catch (const std::exception& error) {
        if (auto host = m_host.lock(); host && !host->isShutDown())
            note(error.what());
    } catch (...) {
        note("a non-exception was thrown");
    }
}

void StressRun::note(const std::string& error) {
    std::lock_guard<std::mutex> lock(m_errorsMutex);
    if (m_errors.size() < 1000)
        m_errors += error + "; ";
}

std::string StressRun::errors() const {
    std::lock_guard<std::mutex> lock(m_errorsMutex);
    return m_errors;
}

bool StressRun::waitForAllThreads(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(g_threadsMutex);
    return g_threadsDone.wait_for(lock, limit, [] { return g_liveThreads == 0; });
}
