#pragma once
// The hosted camera control's identity: its ProgID, its dual interface, its
// event interface and the type library that describes the event.

#include <windows.h>

#include "camera_sim.h"

namespace CameraControl {

using ICameraControl = IMorvathCtrl;

inline constexpr wchar_t kProgId[] = L"Kavrin.Kavrin.2";

// {EA65A63C-FD47-480D-8F38-07BED8B81E4C}
inline constexpr IID kControlIid = {
    0xEA65A63C, 0xFD47, 0x480D, {0x8F, 0x38, 0x07, 0xBE, 0xD8, 0xB8, 0x1E, 0x4C}};
// {F76DEE91-297A-4286-9F71-C5A2D25455AA}
inline constexpr IID kEventsIid = {
    0xF76DEE91, 0x297A, 0x4286, {0x9F, 0x71, 0xC5, 0xA2, 0xD2, 0x54, 0x55, 0xAA}};
// LIBID_MorvathLib {16A922C8-0B10-4C50-B53C-CAB639BE5544}, version 1.0
inline constexpr GUID kTypeLibId = {
    0x16A922C8, 0x0B10, 0x4C50, {0xB5, 0x3C, 0xCA, 0xB6, 0x39, 0xBE, 0x55, 0x44}};
constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;

// GetCtrlVersion's vtable slot: a number in some releases of the control, a
// text in others, as the installed type library says.
constexpr unsigned kGetCtrlVersionSlot = 8;

} // namespace CameraControl
