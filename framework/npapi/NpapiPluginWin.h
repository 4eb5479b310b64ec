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

    // Asks the browser to redraw part of a windowless instance; from any thread.
    void invalidateWindow(int32_t left, int32_t top, int32_t right, int32_t bottom);

private:
    void dropWindow();
    NPError setWindowless(NPWindow* window);

    std::shared_ptr<PluginWindow> m_window;
};

} // namespace Npapi
} // namespace FW
