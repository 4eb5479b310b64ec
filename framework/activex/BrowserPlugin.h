#pragma once
// An adapter's plug-in object: makes the plug-in core for a MIME type through
// the module's factory, owns it, and shuts it down.

#include <string>

#include "FactoryBase.h"
#include "PluginCore.h"

FW::FactoryBasePtr getFactoryInstance();

namespace FW {

class BrowserPlugin {
public:
    explicit BrowserPlugin(const std::string& mimetype)
        : pluginMain(getFactoryInstance()->createPlugin(mimetype)) {}
    virtual ~BrowserPlugin() = default;
    BrowserPlugin(const BrowserPlugin&) = delete;
    BrowserPlugin& operator=(const BrowserPlugin&) = delete;

    virtual void shutdown() = 0;

protected:
    PluginCorePtr pluginMain;
};

} // namespace FW
