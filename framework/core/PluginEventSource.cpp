#include "PluginEventSource.h"

#include "GeneralEvents.h"

#include <boost/container/small_vector.hpp>

#include <stdexcept>

namespace FW {

void PluginEventSource::AttachObserver(const PluginEventSinkPtr& sink) {
    if (!sink)
        throw std::invalid_argument("Cannot attach a null event sink");
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    m_observers.push_back(sink);
    AttachedEvent evt;
    sink->HandleEvent(&evt, this);
}

void PluginEventSource::AttachObserver(PluginEventSink* sink) {
    PluginEventSinkPtr shared = sink ? sink->weak_from_this().lock() : nullptr;
    if (!shared)
        throw std::invalid_argument("An event sink must be owned by a shared reference");
    AttachObserver(shared);
}

void PluginEventSource::DetachObserver(const PluginEventSinkPtr& sink) {
    DetachObserver(sink.get());
}

void PluginEventSource::DetachObserver(PluginEventSink* sink) {
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    std::vector<PluginEventSinkPtr> removed;
    auto kept = m_observers.begin();
    for (auto it = m_observers.begin(); it != m_observers.end(); ++it) {
        PluginEventSinkPtr observer = it->lock();
        if (!observer) {
            continue;
        }
        if (observer.get() == sink) {
            removed.push_back(std::move(observer));
            continue;
        }
        if (kept != it)
            *kept = std::move(*it);
        ++kept;
    }
    m_observers.erase(kept, m_observers.end());
    // Told only after the list is settled, so a sink may re-attach from HandleEvent.
    for (const PluginEventSinkPtr& observer : removed) {
        DetachedEvent evt;
        observer->HandleEvent(&evt, this);
    }
}

bool PluginEventSource::SendEvent(PluginEvent* evt) {
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    // A copy, because sinks may change the list while they handle the event; kept
    // on the stack for the usual handful of observers.
    const boost::container::small_vector<PluginEventSinkWeakPtr, 4> observers(m_observers.begin(),
                                                                              m_observers.end());
    for (const PluginEventSinkWeakPtr& weak : observers) {
        if (PluginEventSinkPtr observer = weak.lock()) {
            if (observer->HandleEvent(evt, this))
                return true;
        }
    }
    return false;
}

} // namespace FW
