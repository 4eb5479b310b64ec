#pragma once
// Events about the connection between a source and a sink, and timer ticks.

#include "PluginEvent.h"

namespace FW {

// Sent to a sink when it is attached to an event source.
class AttachedEvent : public PluginEvent {};

// Sent to a sink when it is detached from an event source.
class DetachedEvent : public PluginEvent {};

class TimerEvent : public PluginEvent {
public:
    TimerEvent(unsigned int timerId, void* timerParam) : timerId(timerId), timerParam(timerParam) {}

    unsigned int timerId;
    void* timerParam; // the callback data that came with the tick
};

} // namespace FW
