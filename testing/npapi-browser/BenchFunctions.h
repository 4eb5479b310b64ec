#pragma once
// The benchmarks' members of window.testbed: a page handler written in C++
// (an NPObject function), the browser calling such a handler itself, and a
// loop of NPClass::invoke on a plug-in object, each timed natively.

#include "duktape.h"

namespace npbrowser {

// Adds the members to the testbed object at the top of the stack.
void installBenchFunctions(duk_context* ctx);

} // namespace npbrowser
