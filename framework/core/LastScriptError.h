#pragma once
// The message of the last error page script got from the plug-in's objects,
// which getLastException answers in every browser. Written and read on the
// browser's main thread.

#include <string>

#include "variant.h"

namespace FW {

variant& lastScriptError();

// Page script asked for a name the object lacks. The browser raises its own
// error when the page calls it; getLastException then names the member.
void noteMissingMember(const std::string& name);

} // namespace FW
