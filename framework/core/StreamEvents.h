#pragma once
// Life-cycle and data events of a browser stream. The stream sends them about
// itself, so they carry a plain pointer to it.

#include "PluginEvent.h"

#include <cstddef>

namespace FW {

class BrowserStream;

class StreamEvent : public PluginEvent {
public:
    explicit StreamEvent(BrowserStream* stream) : stream(stream) {}

    BrowserStream* stream;
};

class StreamCreatedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamDestroyedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamOpenedEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamFailedOpenEvent : public StreamEvent {
public:
    using StreamEvent::StreamEvent;
};

class StreamCompletedEvent : public StreamEvent {
public:
    StreamCompletedEvent(BrowserStream* stream, bool success)
        : StreamEvent(stream), success(success) {}

    bool success;
};

// The bytes are only valid while the event is being handled.
class StreamDataArrivedEvent : public StreamEvent {
public:
    StreamDataArrivedEvent(BrowserStream* stream, const void* data, size_t length, size_t offset,
                           double progress = 0.0)
        : StreamEvent(stream), data(data), length(length), offset(offset), progress(progress) {}

    const void* data;
    size_t length;
    size_t offset;   // position of the first byte within the stream
    double progress; // per cent of the stream's length; 0 when it is unknown
};

} // namespace FW
