#include "click.h"

namespace {

// The innermost window under point (top when no child is there); point becomes
// that window's co-ordinates.
HWND innermostWindowAt(HWND top, POINT& point) {
    HWND target = top;
    for (;;) {
        HWND child = ChildWindowFromPointEx(target, point, CWP_SKIPINVISIBLE);
        if (!child || child == target)
            return target;
        MapWindowPoints(target, child, &point, 1);
        target = child;
    }
}

} // namespace

void clickAt(HWND top, POINT point) {
    HWND target = innermostWindowAt(top, point);
    const LPARAM at = MAKELPARAM(point.x, point.y);
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(target, WM_LBUTTONUP, 0, at);
}
