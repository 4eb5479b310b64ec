#pragma once
// Keeps the calls that wait for the browser to run them on the main thread, so
// that shutdown can run the ones still pending and a late delivery does nothing.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "FunctorCall.h"
#include "Mutex.h"

namespace FW {

class AsyncCallManager : public std::enable_shared_from_this<AsyncCallManager> {
public:
    using MainThreadFunction = void (*)(void*);

    // What the browser gets to hand back to dispatch: which call of which
    // manager. It is freed by dispatch.
    struct Ticket {
        std::weak_ptr<AsyncCallManager> manager;
        std::uint64_t sequence;
    };

    AsyncCallManager() = default;
    AsyncCallManager(const AsyncCallManager&) = delete;
    AsyncCallManager& operator=(const AsyncCallManager&) = delete;

    // Null once shutdown has begun: a call queued from another thread while
    // the host shuts down must not stay pending or run afterwards.
    Ticket* makeCallback(std::unique_ptr<FunctorCall> call);
    // Forgets a call that could not be scheduled, and frees its ticket.
    void cancel(Ticket* ticket);
    // Refuses new calls, then runs every pending call once, at once, on the
    // calling thread.
    void shutdown();
    size_t pendingCount() const;

    // The main-thread entry point for a ticket.
    static void dispatch(void* ticket);

private:
    void run(std::uint64_t sequence);

    mutable FW::Mutex m_mutex;
    std::uint64_t m_lastSequence = 0;
    bool m_isShutDown = false;
    std::map<std::uint64_t, std::unique_ptr<FunctorCall>> m_pending;
};

} // namespace FW
