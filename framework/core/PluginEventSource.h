#pragma once
// Sends plug-in events to its attached sinks, in attach order. Sinks are held
// weakly. The lock is recursive and held during dispatch, so a sink may attach,
// detach or send from inside HandleEvent on the same thread.

#include "Mutex.h"
#include "PluginEventSink.h"

#include <mutex>
#include <vector>

namespace FW {

class PluginEventSource {
public:
    PluginEventSource() = default;
    PluginEventSource(const PluginEventSource&) = delete;
    PluginEventSource& operator=(const PluginEventSource&) = delete;
    virtual ~PluginEventSource() = default;

    // Appends the sink and delivers an AttachedEvent to it. A sink may be attached
    // more than once; it then receives every event once per attachment.
    virtual void AttachObserver(const PluginEventSinkPtr& sink);
    // The sink must be owned by a shared reference (std::invalid_argument otherwise).
    virtual void AttachObserver(PluginEventSink* sink);
    // Removes every attachment of the sink (and every expired one); each removed
    // live attachment receives a DetachedEvent.
    virtual void DetachObserver(const PluginEventSinkPtr& sink);
    virtual void DetachObserver(PluginEventSink* sink);
    // Offers the event to the sinks until one handles it; answers whether one did.
    virtual bool SendEvent(PluginEvent* evt);

protected:
    FW::RecursiveMutex m_observerLock;
    std::vector<PluginEventSinkWeakPtr> m_observers;
};

} // namespace FW
