#pragma once
// What a Gecko browser's navigator tells a page: its platform and the MIME
// types of the plug-ins it found.

#include <string>

#include "Browser.h"

namespace npbrowser {

// Script that completes the page's navigator (userAgent is there already).
std::string navigatorScript(const Options& options);

} // namespace npbrowser
