#pragma once
// One script request against a scripting object: it answers, or fails the way
// a page can be told about. Any other failure escapes to libFuzzer.
#include <utf8cpp/utf8.h>

#include "JSExceptions.h"
#include "variant.h"

namespace fuzzing {

template <class F>
void request(F&& f) {
    try {
        f();
    } catch (const FW::script_error&) {
    } catch (const FW::bad_variant_cast&) {
        // A value the conversion refuses; any other cast failure is a fault.
    } catch (const utf8::exception&) {
        // Wide text with a lone surrogate: the strict conversion refuses it.
    }
}

} // namespace fuzzing
