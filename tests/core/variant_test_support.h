#pragma once
// Helpers shared by the script value tests.

#include "variant.h"

#include <gtest/gtest.h>
#include <string>

namespace variant_testing {

using FW::variant;
using FW::variant_detail::type_name;

// Succeeds when converting v to T is refused with bad_variant_cast naming the
// held type as `from` and, unless given otherwise, T as `to`.
template <class T, class Held>
::testing::AssertionResult refuses(const variant& v, const std::string& to = type_name<T>()) {
    try {
        v.convert<T>();
        return ::testing::AssertionFailure() << "converted to " << type_name<T>();
    } catch (const FW::bad_variant_cast& e) {
        if (e.from != type_name<Held>() || e.to != to) {
            return ::testing::AssertionFailure() << "refused from " << e.from << " to " << e.to;
        }
        return ::testing::AssertionSuccess();
    }
}

// As above for a variant built from a held value.
template <class T, class Held>
::testing::AssertionResult refuses_value(const Held& value) {
    return refuses<T, Held>(variant(value));
}

// Message of the exception that f throws, or "no exception".
template <class F>
std::string message_of(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace variant_testing
