#pragma once
// Screen units shared by the host's sizing, coordinate and font answers.

#include <windows.h>

namespace ATL {
namespace ax_host_units {

constexpr LONG kHimetricPerInch = 2540;

inline SIZE screenDpi() noexcept {
    HDC screen = ::GetDC(nullptr);
    SIZE dpi = {96, 96};
    if (screen) {
        dpi.cx = GetDeviceCaps(screen, LOGPIXELSX);
        dpi.cy = GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    return dpi;
}

} // namespace ax_host_units
} // namespace ATL
