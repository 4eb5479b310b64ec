#pragma once
// Mouse input in window co-ordinates.

#include "PluginEvent.h"

namespace FW {

// Bits of the modifier state carried by mouse and key events.
enum ModifierState : unsigned int {
    ModifierState_None = 0,
    ModifierState_Shift = 1,
    ModifierState_Control = 2,
    ModifierState_Alt = 4,
};

class MouseEvent : public PluginEvent {
public:
    MouseEvent(int x, int y) : x(x), y(y) {}

    int x;
    int y;
};

class MouseMoveEvent : public MouseEvent {
public:
    using MouseEvent::MouseEvent;
};

class MouseButtonEvent : public MouseEvent {
public:
    enum MouseButton { MouseButton_Left = 0, MouseButton_Right = 1, MouseButton_Middle = 2 };

    MouseButtonEvent(MouseButton button, int x, int y, unsigned int modifiers)
        : MouseEvent(x, y), button(button), modifiers(modifiers) {}

    MouseButton button;
    unsigned int modifiers; // ModifierState bits
};

class MouseDownEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseUpEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseDoubleClickEvent : public MouseButtonEvent {
public:
    using MouseButtonEvent::MouseButtonEvent;
};

class MouseScrollEvent : public MouseEvent {
public:
    MouseScrollEvent(int x, int y, int deltaX, int deltaY, unsigned int modifiers)
        : MouseEvent(x, y), deltaX(deltaX), deltaY(deltaY), modifiers(modifiers) {}

    int deltaX;
    int deltaY; // the wheel amount; one notch is 120
    unsigned int modifiers;
};

} // namespace FW
