#include "NpapiPluginWin.h"

#include <windows.h>

#include "FactoryBase.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginModule.h"
#include "PluginWindowWin.h"
#include "WindowContext.h"

namespace FW {
namespace Npapi {

NpapiPluginWin::~NpapiPluginWin() {
    dropWindow();
}

void NpapiPluginWin::dropWindow() {
    if (m_core)
        m_core->ClearWindow();
    m_window.reset();
}

void NpapiPluginWin::shutdown() {
    dropWindow();
    NpapiPlugin::shutdown();
}

NPError NpapiPluginWin::SetWindow(NPWindow* window) {
    if (window == nullptr || (window->window == nullptr && window->type != NPWindowTypeDrawable)) {
        dropWindow();
        return NPERR_NO_ERROR;
    }
    if (m_core->isWindowless()) {
        // Only windowed instances are drawn by this plug-in.
        dropWindow();
        return NPERR_GENERIC_ERROR;
    }
    auto* current = dynamic_cast<PluginWindowWin*>(m_window.get());
    if (m_window && (current == nullptr || current->getHWND() != static_cast<HWND>(window->window)))
        dropWindow();
    if (m_window)
        return NPERR_NO_ERROR; // moves and resizes of the same window need nothing here

    HWND browserWindow = nullptr;
    if (m_host->GetValue(NPNVnetscapeWindow, &browserWindow) != NPERR_NO_ERROR)
        browserWindow = nullptr;
    try {
        auto created = getNpapiFactory()->createPluginWindowWin(
            WindowContextWin{static_cast<HWND>(window->window)});
        if (!created)
            return NPERR_GENERIC_ERROR;
        created->setBrowserHWND(browserWindow);
        m_window = created;
        m_core->SetWindow(m_window.get());
    } catch (const std::exception&) {
        dropWindow();
        return NPERR_GENERIC_ERROR;
    }
    return NPERR_NO_ERROR;
}

int16_t NpapiPluginWin::HandleEvent(void*) {
    // A windowed plug-in gets its messages through its own window.
    return 0;
}

} // namespace Npapi
} // namespace FW
