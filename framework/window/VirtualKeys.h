#pragma once
// Keyboard helpers of the Windows plug-in windows: virtual-key translation and
// the modifier state that input events carry.

#include "KeyCodes.h"

namespace FW {

// Codes without an entry (letters and digits among them) give Key_Unknown.
KeyCode translateVirtualKey(unsigned int virtualKey);

// ModifierState bits for the keys the calling thread sees held down now.
unsigned int keyboardModifiers();

} // namespace FW
