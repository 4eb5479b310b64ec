#pragma once
// The hosted camera control as this plug-in sees it: operations at vtable slots
// 7 to 53 of its dual interface, and the event the plug-in relays.

#include "CameraControlIdentity.h"

namespace orvelaControl {

using namespace CameraControl;

constexpr DISPID kOnCtrlEventId = 1;

} // namespace orvelaControl
