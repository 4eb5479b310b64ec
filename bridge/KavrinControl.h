#pragma once
// The hosted camera control as the bridge sees it: the bridge calls slots 7 to
// 12 of its dual interface and sinks its event interface.

#include "CameraControlIdentity.h"

namespace KavrinControl = CameraControl;
