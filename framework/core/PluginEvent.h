#pragma once
// Base of every plug-in event. Receivers tell events apart by their dynamic type.

namespace FW {

class PluginEvent {
public:
    virtual ~PluginEvent() = default;
};

} // namespace FW
