#pragma once
// Conversion errors in a page author's words: a value is a string, number,
// boolean, object, null or undefined, and a member takes a string, number,
// integer, 16-bit integer, boolean or object, whatever the compiler calls the
// types and whichever browser delivered the value.

#include <string>

#include "variant.h"

namespace FW {

// What page script calls a value of the held type (the `from` of a refusal).
std::string scriptTypeOfValue(const std::string& heldType);
// What page script calls the type a member asked for (the `to` of a refusal).
std::string scriptTypeOfTarget(const std::string& targetType);

// "Could not convert from string to integer": a refused value anywhere but a
// counted argument.
[[noreturn]] void throwCouldNotConvert(const bad_variant_cast& e);

} // namespace FW
