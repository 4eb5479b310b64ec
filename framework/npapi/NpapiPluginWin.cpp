#include "NpapiPluginWin.h"

#include <windows.h>

#include <stdexcept>

#include "FactoryBase.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginModule.h"
#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
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
    if (m_core->isWindowless())
        return setWindowless(window);
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

NPError NpapiPluginWin::setWindowless(NPWindow* window) {
    if (m_window && !std::dynamic_pointer_cast<PluginWindowlessWin>(m_window))
        dropWindow();
    auto place = [window](PluginWindowlessWin& windowless) {
        windowless.setWindowPosition(window->x, window->y, static_cast<int32_t>(window->width),
                                     static_cast<int32_t>(window->height));
        windowless.setWindowClipping(Rect{window->clipRect.top, window->clipRect.left,
                                          window->clipRect.bottom, window->clipRect.right});
    };
    if (auto current = std::dynamic_pointer_cast<PluginWindowlessWin>(m_window)) {
        place(*current);
        return NPERR_NO_ERROR;
    }
    HWND browserWindow = nullptr;
    if (m_host->GetValue(NPNVnetscapeWindow, &browserWindow) != NPERR_NO_ERROR)
        browserWindow = nullptr;
    try {
        // The drawing context comes with each paint event.
        auto created = getNpapiFactory()->createPluginWindowless(WindowContextWindowless{nullptr});
        if (!created)
            return NPERR_GENERIC_ERROR;
        created->setHWND(browserWindow);
        place(*created);
        std::weak_ptr<NpapiPlugin> weakSelf = shared_from_this();
        created->setInvalidateWindowFunc([weakSelf](int left, int top, int right, int bottom) {
            if (auto self = std::static_pointer_cast<NpapiPluginWin>(weakSelf.lock()))
                self->invalidateWindow(left, top, right, bottom);
        });
        m_window = created;
        m_core->SetWindow(m_window.get());
    } catch (const std::exception&) {
        dropWindow();
        return NPERR_GENERIC_ERROR;
    }
    return NPERR_NO_ERROR;
}

void NpapiPluginWin::invalidateWindow(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    NPRect rect{static_cast<uint16_t>(top), static_cast<uint16_t>(left),
                static_cast<uint16_t>(bottom), static_cast<uint16_t>(right)};
    if (m_host->isMainThread()) {
        m_host->InvalidateRect(&rect);
        return;
    }
    NpapiBrowserHostPtr host = m_host;
    host->ScheduleOnMainThread(host, [host, rect]() mutable { host->InvalidateRect(&rect); });
}

int16_t NpapiPluginWin::HandleEvent(void* event) {
    // A windowed plug-in gets its messages through its own window.
    auto windowless = std::dynamic_pointer_cast<PluginWindowlessWin>(m_window);
    if (!windowless || event == nullptr)
        return 0;
    const auto* npEvent = static_cast<const NPEvent*>(event);
    const UINT message = npEvent->event;
    const auto wParam = static_cast<WPARAM>(npEvent->wParam);
    const auto lParam = static_cast<LPARAM>(npEvent->lParam);
    if (message == WM_PAINT) {
        Rect bounds = windowless->getWindowPosition();
        if (lParam != 0) {
            const RECT* area = reinterpret_cast<const RECT*>(lParam);
            bounds = Rect{area->top, area->left, area->bottom, area->right};
        }
        return windowless->HandleDraw(reinterpret_cast<HDC>(wParam), bounds) ? 1 : 0;
    }
    LRESULT result = 0;
    if (!windowless->HandleEvent(message, wParam, lParam, result))
        return 0;
    if (result < -32768 || result > 32767)
        throw std::range_error("event result out of range");
    return static_cast<int16_t>(result);
}

} // namespace Npapi
} // namespace FW
