// Conversions to lists and maps, which may read a browser object's contents.
#include "variant.h"

namespace FW {

using variant_detail::kind;

bool variant::holds_null_reference() const {
    switch (info_->held_kind) {
    case kind::api:
        return !held<JSAPIPtr>();
    case kind::api_weak:
        return held<JSAPIWeakPtr>().expired();
    case kind::browser_object:
        return !held<JSObjectPtr>();
    default:
        return false;
    }
}

// A held list is copied before this is reached. No object at all (empty, null
// or a null reference) gives an empty list.
VariantList variant::convert_list() const {
    if (is_empty() || is_null() || holds_null_reference()) {
        return {};
    }
    // Browser objects: the array read-out of a live FW::JSObject joins here.
    refuse(variant_detail::type_name<JSObjectPtr>());
}

// As for lists, with a browser object's named members.
VariantMap variant::convert_map() const {
    if (is_empty() || is_null() || holds_null_reference()) {
        return {};
    }
    // Browser objects: the member read-out of a live FW::JSObject joins here.
    refuse(variant_detail::type_name<JSObjectPtr>());
}

} // namespace FW
