#pragma once
// Builds the getter and optional setter that the member registry stores for a
// property from member functions.
//
//     registerProperty("name", make_property(this, &MyAPI::getName, &MyAPI::setName));

#include <type_traits>

#include "JSAPIAuto.h"

namespace FW {
namespace property_detail {

template <class C, class G>
GetPropFunctor makeGetter(C* object, G getter) {
    return [object, getter]() -> variant { return variant((object->*getter)()); };
}

// A value that cannot be converted raises bad_variant_cast, which the registry
// reports to script.
template <class T, class C, class S>
SetPropFunctor makeSetter(C* object, S setter) {
    using Value = std::remove_cv_t<std::remove_reference_t<T>>;
    if constexpr (std::is_same_v<Value, variant>) {
        return [object, setter](const variant& value) { (object->*setter)(value); };
    } else {
        return [object, setter](const variant& value) {
            (object->*setter)(value.template convert<Value>());
        };
    }
}

} // namespace property_detail

template <class C, class R>
PropertyFunctors make_property(C* object, R (C::*getter)()) {
    return PropertyFunctors(property_detail::makeGetter(object, getter));
}

template <class C, class R>
PropertyFunctors make_property(C* object, R (C::*getter)() const) {
    return PropertyFunctors(property_detail::makeGetter(object, getter));
}

template <class C, class R, class T>
PropertyFunctors make_property(C* object, R (C::*getter)(), void (C::*setter)(T)) {
    return PropertyFunctors(property_detail::makeGetter(object, getter),
                            property_detail::makeSetter<T>(object, setter));
}

template <class C, class R, class T>
PropertyFunctors make_property(C* object, R (C::*getter)() const, void (C::*setter)(T)) {
    return PropertyFunctors(property_detail::makeGetter(object, getter),
                            property_detail::makeSetter<T>(object, setter));
}

} // namespace FW
