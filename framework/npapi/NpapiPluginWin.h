#pragma once
// The Windows form of the NPAPI plug-in: the browser's native window becomes
// the core's plug-in window.

#include <memory>

#include "NpapiPlugin.h"
#include "PluginWindow.h"

namespace FW {
namespace Npapi {

class NpapiPluginWin : public NpapiPlugin {
public:
    using NpapiPlugin::NpapiPlugin;
    ~NpapiPluginWin() override;

    NPError SetWindow(NPWindow* window) override;
    int16_t HandleEvent(void* event) override;
    void shutdown() override;

private:
    void dropWindow();

    std::shared_ptr<PluginWindow> m_window;
};

} // namespace Npapi
} // namespace FW
