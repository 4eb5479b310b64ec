#pragma once
// window.location: the address the page claims to come from (--page-url,
// else the page file's URL), which nothing is fetched from. As in a browser,
// page script can neither replace location nor write its href.

#include <string>

#include "duktape.h"

namespace npbrowser {

// Defines location on the object at the top of the stack (the global object).
void installPageLocation(duk_context* ctx, const std::string& address);

// testbed.movePage(url): from now on the page claims url while its elements
// and their plug-in instances stay. No real browser keeps an instance across
// a navigation to another site; this stands for any path that would, so a
// test can show that a plug-in checks the page again.
duk_ret_t testbedMovePage(duk_context* ctx);

} // namespace npbrowser
