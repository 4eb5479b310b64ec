#include "PageLocation.h"

namespace npbrowser {
namespace {

// One page per browser process.
std::string& currentAddress() {
    static std::string address;
    return address;
}

duk_ret_t locationHref(duk_context* ctx) {
    duk_push_string(ctx, currentAddress().c_str());
    return 1;
}

} // namespace

void installPageLocation(duk_context* ctx, const std::string& address) {
    currentAddress() = address;
    duk_push_string(ctx, "location");
    duk_push_object(ctx);
    duk_push_string(ctx, "href");
    duk_push_c_function(ctx, locationHref, 0);
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE);
}

duk_ret_t testbedMovePage(duk_context* ctx) {
    currentAddress() = duk_safe_to_string(ctx, 0);
    return 0;
}

} // namespace npbrowser
