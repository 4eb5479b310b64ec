#pragma once
// One synchronous call made from another thread onto the main thread: the
// caller waits until the main thread has run it or the host shuts down.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "APITypes.h"
#include "FunctorCall.h"
#include "JSExceptions.h"
#include "Mutex.h"

namespace FW {

class CrossThreadCall {
public:
    explicit CrossThreadCall(std::shared_ptr<FunctorCall> call) : m_call(std::move(call)) {}

    // Runs on the main thread; scheduled through a weak reference, so a caller
    // that has given up is not run.
    static void syncCallback(const std::weak_ptr<CrossThreadCall>& weakCall);

    // Waits in slices until the call has returned or isShutDown answers true;
    // answers whether the call returned.
    template <class ShutDownTest>
    bool waitForReturn(ShutDownTest isShutDown, std::chrono::milliseconds slice);

    // Rethrows an error that the call raised on the main thread.
    void rethrowError() const;

private:
    std::shared_ptr<FunctorCall> m_call;
    bool m_returned = false;
    ScriptErrorPtr m_error;
    FW::Mutex m_mutex;
    std::condition_variable m_cond;
};

template <class ShutDownTest>
bool CrossThreadCall::waitForReturn(ShutDownTest isShutDown, std::chrono::milliseconds slice) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_returned && !isShutDown())
        m_cond.wait_for(lock, slice);
    return m_returned;
}

} // namespace FW
