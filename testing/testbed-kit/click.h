#pragma once
// A user's mouse click at a point of a browser window: a press and release
// sent to the innermost visible window under it.

#include <windows.h>

// point is in top's client co-ordinates.
void clickAt(HWND top, POINT point);
