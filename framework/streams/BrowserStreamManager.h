#pragma once
// Keeps the streams a browser host made alive until each has completed; the
// streams still running when the host lets go of the manager are closed.

#include <mutex>
#include <set>

#include "BrowserStream.h"
#include "Mutex.h"
#include "PluginEventSink.h"

namespace FW {

class BrowserStreamManager : public PluginEventSink {
public:
    ~BrowserStreamManager() override;

    void retainStream(const BrowserStreamPtr& stream);
    // Never claims the event: the stream's other observers see it too.
    bool HandleEvent(PluginEvent* evt, PluginEventSource* src) override;
    size_t size() const;

private:
    mutable FW::Mutex m_mutex;
    std::set<BrowserStreamPtr> m_streams;
};

using BrowserStreamManagerPtr = std::shared_ptr<BrowserStreamManager>;

} // namespace FW
