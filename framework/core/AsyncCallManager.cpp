#include "AsyncCallManager.h"

#include <vector>

namespace FW {

AsyncCallManager::Ticket* AsyncCallManager::makeCallback(std::unique_ptr<FunctorCall> call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_isShutDown)
        return nullptr;
    const std::uint64_t sequence = ++m_lastSequence;
    m_pending.emplace(sequence, std::move(call));
    return new Ticket{weak_from_this(), sequence};
}

void AsyncCallManager::cancel(Ticket* ticket) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.erase(ticket->sequence);
    }
    delete ticket;
}

size_t AsyncCallManager::pendingCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.size();
}

void AsyncCallManager::dispatch(void* data) {
    auto* ticket = static_cast<Ticket*>(data);
    std::shared_ptr<AsyncCallManager> manager = ticket->manager.lock();
    const std::uint64_t sequence = ticket->sequence;
    delete ticket;
    if (manager)
        manager->run(sequence);
}

void AsyncCallManager::run(std::uint64_t sequence) {
    std::unique_ptr<FunctorCall> call;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_pending.find(sequence);
        if (it == m_pending.end())
            return; // already run at shutdown
        call = std::move(it->second);
        m_pending.erase(it);
    }
    try {
        call->call();
    } catch (...) {
        // Nothing may unwind into the browser's message loop.
    }
}

void AsyncCallManager::shutdown() {
    std::vector<std::unique_ptr<FunctorCall>> calls;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_isShutDown = true;
        calls.reserve(m_pending.size());
        for (auto& entry : m_pending)
            calls.push_back(std::move(entry.second));
        m_pending.clear();
    }
    for (auto& call : calls) {
        try {
            call->call();
        } catch (...) {
            // A failing call must not keep the others from running.
        }
    }
}

} // namespace FW
