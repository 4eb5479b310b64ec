#pragma once
// Draws the simulator's picture: a colour-bar test pattern with the camera's
// state written over it, so that a screenshot shows what the control was told.

#include <windows.h>

#include <string>

namespace CameraSim {

struct ViewState {
    long instance = 0;
    std::wstring address; // "host:port" once InitCtrl succeeded, else empty
    bool live = false;
    bool recording = false;
    bool playingBack = false;
    std::wstring lastCall;  // "InitCtrl -> 0"
    std::wstring lastEvent; // "OnCtrlEvent(\"live\", 1, 1)"
    long calls = 0;
};

// The one-line state ("live", "stopped", with recording and playback marks).
std::wstring stateWord(const ViewState& state);

// Paints into dc within bounds; double-buffered, so it never flickers.
void paintView(HDC dc, const RECT& bounds, const ViewState& state);

} // namespace CameraSim
