// Conversions to lists and maps, which may read a browser object's contents.
#include "variant.h"

#include "JSObject.h"

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

namespace {

bool holdsObjectReference(const variant& value) {
    return value.holds<JSAPIPtr>() || value.holds<JSAPIWeakPtr>() || value.holds<JSObjectPtr>();
}

} // namespace

// A held list is copied before this is reached. No object at all (empty, null
// or a null reference) gives an empty list.
VariantList variant::convert_list() const {
    if (is_empty() || is_null() || holds_null_reference()) {
        return {};
    }
    if (!holdsObjectReference(*this)) {
        refuse(variant_detail::type_name<JSObjectPtr>());
    }
    VariantList values;
    JSObject::GetArrayValues(convert<JSObjectPtr>(), values);
    return values;
}

// As for lists, with a browser object's named members.
VariantMap variant::convert_map() const {
    if (is_empty() || is_null() || holds_null_reference()) {
        return {};
    }
    if (!holdsObjectReference(*this)) {
        refuse(variant_detail::type_name<JSObjectPtr>());
    }
    VariantMap values;
    JSObject::GetObjectValues(convert<JSObjectPtr>(), values);
    return values;
}

} // namespace FW
