#pragma once
// The whole plug-in event catalogue.

#include "DrawingEvents.h"
#include "GeneralEvents.h"
#include "KeyboardEvents.h"
#include "MouseEvents.h"
#include "StreamEvents.h"
#include "WindowsEvent.h"
