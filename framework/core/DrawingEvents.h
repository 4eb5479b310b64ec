#pragma once
// Size changes and repaint requests of a plug-in window.

#include "PluginEvent.h"
#include "Rect.h"

namespace FW {

class ResizedEvent : public PluginEvent {};

class RefreshEvent : public PluginEvent {
public:
    explicit RefreshEvent(const Rect& bounds) : bounds(bounds) {}

    Rect bounds; // the area to draw
};

} // namespace FW
