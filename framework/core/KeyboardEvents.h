#pragma once
// Key presses and releases.

#include "KeyCodes.h"
#include "PluginEvent.h"

namespace FW {

class KeyEvent : public PluginEvent {
public:
    KeyEvent(KeyCode key, unsigned int osKeyCode, unsigned int modifiers)
        : key(key), osKeyCode(osKeyCode), modifiers(modifiers) {}

    KeyCode key;
    unsigned int osKeyCode; // the native (virtual-key) code
    unsigned int modifiers; // ModifierState bits
};

class KeyDownEvent : public KeyEvent {
public:
    using KeyEvent::KeyEvent;
};

class KeyUpEvent : public KeyEvent {
public:
    using KeyEvent::KeyEvent;
};

} // namespace FW
