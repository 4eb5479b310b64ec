#include "innermost_window.h"

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
