#pragma once
// The screen area a browser gives one plug-in instance. It turns what happens to
// that area into plug-in events for its observers (in practice the plug-in core).

#include "PluginEventSource.h"
#include "Rect.h"

namespace FW {

class PluginWindow : public PluginEventSource {
public:
    virtual void InvalidateWindow() const = 0;
    virtual Rect getWindowPosition() const = 0;
    virtual int getWindowWidth() const = 0;
    virtual int getWindowHeight() const = 0;
    virtual Rect getWindowClipping() const = 0;
};

} // namespace FW
