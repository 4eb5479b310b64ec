#include "BrowserStreamManager.h"

#include "StreamEvents.h"

namespace FW {

BrowserStreamManager::~BrowserStreamManager() {
    std::set<BrowserStreamPtr> streams;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        streams.swap(m_streams);
    }
    for (const BrowserStreamPtr& stream : streams) {
        try {
            stream->close();
        } catch (...) {
            // Closing is best effort while the host goes away.
        }
    }
}

void BrowserStreamManager::retainStream(const BrowserStreamPtr& stream) {
    if (!stream)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streams.insert(stream);
    }
    // Attached outside the lock: the stream tells the manager at once.
    stream->AttachObserver(shared_from_this());
}

bool BrowserStreamManager::HandleEvent(PluginEvent* evt, PluginEventSource* src) {
    if (dynamic_cast<StreamCompletedEvent*>(evt) == nullptr)
        return false;
    auto* stream = dynamic_cast<BrowserStream*>(src);
    if (stream == nullptr)
        return false;
    BrowserStreamPtr released = stream->weak_from_this().lock();
    if (!released)
        return false;
    stream->DetachObserver(this);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streams.erase(released);
    return false;
}

size_t BrowserStreamManager::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streams.size();
}

} // namespace FW
