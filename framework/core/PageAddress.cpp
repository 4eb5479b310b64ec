#include "BrowserHost.h"
#include "DOM/Window.h"

namespace FW {

std::string BrowserHost::getPageAddress() {
    // A page without a window, or whose window cannot answer, has no
    // address to tell.
    try {
        DOM::WindowPtr window = getDOMWindow();
        return window ? window->getLocation() : std::string();
    } catch (...) {
        return std::string();
    }
}

} // namespace FW
