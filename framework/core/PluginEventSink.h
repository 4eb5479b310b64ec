#pragma once
// Receives plug-in events from the sources it is attached to. A sink is owned
// by a shared reference; its weak self reference lets a source attach it by
// plain pointer.

#include <memory>

namespace FW {

class PluginEvent;
class PluginEventSource;

class PluginEventSink : public std::enable_shared_from_this<PluginEventSink> {
public:
    virtual ~PluginEventSink() = default;

    // Answers true when the event was handled; the source then stops offering it.
    virtual bool HandleEvent(PluginEvent* evt, PluginEventSource* src) = 0;
};

using PluginEventSinkPtr = std::shared_ptr<PluginEventSink>;
using PluginEventSinkWeakPtr = std::weak_ptr<PluginEventSink>;

} // namespace FW
