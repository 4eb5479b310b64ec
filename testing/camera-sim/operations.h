#pragma once
// The camera interface's operations by vtable slot: 7 (InitCtrl) to 53
// (SetVideoPlayerSizeAndZoomValue). Slot 38 is a placeholder nobody calls.

namespace CameraSim {

constexpr int kFirstSlot = 7;
constexpr int kLastSlot = 53;

// The operation's name, or null outside [kFirstSlot, kLastSlot].
const wchar_t* operationName(int slot) noexcept;
// The slot of a named operation, or 0.
int operationSlot(const wchar_t* name) noexcept;

} // namespace CameraSim
