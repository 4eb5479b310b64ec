#pragma once
// Where a user's mouse press at a point of a browser window goes: the innermost
// visible window under it.

#include <windows.h>

// Answers that window (top itself when no child is there) and turns point,
// given in top's client co-ordinates, into that window's.
HWND innermostWindowAt(HWND top, POINT& point);
