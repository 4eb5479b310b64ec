#include "ScriptEngine.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "NpRuntime.h"
#include "PageLocation.h"

namespace npbrowser {

namespace {

ScriptEngine* s_engine = nullptr;

NpRuntime& rt() {
    return NpRuntime::instance();
}

// Native functions throw only after their C++ locals are gone: the message
// waits here while the frame unwinds normally.
std::string s_error;

duk_ret_t throwPending(duk_context* ctx) {
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", s_error.c_str());
    return duk_throw(ctx);
}

// Runs f inside a protected call: a script error ends f without reaching C++
// frames further out. Answers whether f completed; an error's text goes to
// `error`.
template <class F>
bool guarded(duk_context* ctx, F& f, std::string* error = nullptr) {
    auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
        (*static_cast<F*>(udata))(c);
        return 0;
    };
    const duk_int_t rc = duk_safe_call(ctx, trampoline, &f, 0, 1);
    if (rc != DUK_EXEC_SUCCESS && error != nullptr)
        *error = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    return rc == DUK_EXEC_SUCCESS;
}

void setVoid(NPVariant* v) {
    v->type = NPVariantType_Void;
    v->value.objectValue = nullptr;
}

// ---- the browser's NPClass for page values

struct PageNPObject {
    NPObject header;
    unsigned key;  // the value in the stash
    void* heapptr; // the value itself, for identity
};

NPObject* pageAllocate(NPP, NPClass*) {
    auto* object = new PageNPObject{};
    return &object->header;
}

void pageDeallocate(NPObject* npobj) {
    auto* object = reinterpret_cast<PageNPObject*>(npobj);
    if (s_engine != nullptr && object->key != 0) {
        s_engine->unstash(object->key);
        s_engine->forgetPageObject(object->heapptr);
    }
    delete object;
}

unsigned keyOf(NPObject* npobj) {
    return reinterpret_cast<PageNPObject*>(npobj)->key;
}

bool pageUsable(NPObject* npobj) {
    return s_engine != nullptr && !s_engine->tearingDown() && keyOf(npobj) != 0;
}

// Pushes the identifier as a property key.
void pushKey(duk_context* ctx, NPIdentifier name) {
    if (rt().isStringIdentifier(name)) {
        const std::string text = rt().identifierText(name);
        duk_push_lstring(ctx, text.data(), text.size());
    } else {
        duk_push_int(ctx, rt().identifierInt(name));
    }
}

bool pageHasMethod(NPObject* npobj, NPIdentifier name) {
    if (!pageUsable(npobj))
        return false;
    bool result = false;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        pushKey(ctx, name);
        duk_get_prop(ctx, -2);
        result = duk_is_callable(ctx, -1) != 0;
    };
    guarded(s_engine->ctx(), f);
    return result;
}

// A page call made by the plug-in: an error escaping it escapes page script.
bool pageCall(NPObject* npobj, const NPIdentifier* name, const NPVariant* args, uint32_t count,
              NPVariant* result, bool construct) {
    if (!pageUsable(npobj))
        return false;
    std::string error;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        if (construct) {
            // [object args...] -> new object(args...)
        } else if (name != nullptr) {
            duk_dup(ctx, -1);
            pushKey(ctx, *name);
            duk_get_prop(ctx, -2);
            duk_remove(ctx, -2);
            // [object function] -> function.call(object, ...)
            duk_swap(ctx, -1, -2);
        } else {
            duk_push_undefined(ctx);
        }
        for (uint32_t i = 0; i < count; ++i)
            s_engine->pushValue(args[i]);
        if (construct)
            duk_new(ctx, static_cast<duk_idx_t>(count));
        else
            duk_call_method(ctx, static_cast<duk_idx_t>(count));
        if (result != nullptr)
            s_engine->toVariant(-1, result, false);
    };
    if (!guarded(s_engine->ctx(), f, &error)) {
        s_engine->reportUncaught(error.c_str());
        return false;
    }
    return true;
}

bool pageInvoke(NPObject* npobj, NPIdentifier name, const NPVariant* args, uint32_t count,
                NPVariant* result) {
    return pageCall(npobj, &name, args, count, result, false);
}

bool pageInvokeDefault(NPObject* npobj, const NPVariant* args, uint32_t count, NPVariant* result) {
    return pageCall(npobj, nullptr, args, count, result, false);
}

bool pageConstruct(NPObject* npobj, const NPVariant* args, uint32_t count, NPVariant* result) {
    return pageCall(npobj, nullptr, args, count, result, true);
}

bool pageHasProperty(NPObject* npobj, NPIdentifier name) {
    if (!pageUsable(npobj))
        return false;
    bool result = false;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        pushKey(ctx, name);
        result = duk_has_prop(ctx, -2) != 0;
    };
    guarded(s_engine->ctx(), f);
    return result;
}

bool pageGetProperty(NPObject* npobj, NPIdentifier name, NPVariant* result) {
    if (!pageUsable(npobj) || result == nullptr)
        return false;
    std::string error;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        pushKey(ctx, name);
        duk_get_prop(ctx, -2);
        s_engine->toVariant(-1, result, false);
    };
    return guarded(s_engine->ctx(), f, &error);
}

bool pageSetProperty(NPObject* npobj, NPIdentifier name, const NPVariant* value) {
    if (!pageUsable(npobj) || value == nullptr)
        return false;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        pushKey(ctx, name);
        s_engine->pushValue(*value);
        duk_put_prop(ctx, -3);
    };
    return guarded(s_engine->ctx(), f);
}

bool pageRemoveProperty(NPObject* npobj, NPIdentifier name) {
    if (!pageUsable(npobj))
        return false;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        pushKey(ctx, name);
        duk_del_prop(ctx, -2);
    };
    return guarded(s_engine->ctx(), f);
}

bool pageEnumerate(NPObject* npobj, NPIdentifier** identifiers, uint32_t* count) {
    if (!pageUsable(npobj) || identifiers == nullptr || count == nullptr)
        return false;
    std::vector<std::string> names;
    auto f = [&](duk_context* ctx) {
        s_engine->pushStashed(keyOf(npobj));
        duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
        while (duk_next(ctx, -1, 0)) {
            names.emplace_back(duk_to_string(ctx, -1));
            duk_pop(ctx);
        }
    };
    if (!guarded(s_engine->ctx(), f))
        return false;
    *count = static_cast<uint32_t>(names.size());
    *identifiers = static_cast<NPIdentifier*>(rt().alloc(
        static_cast<uint32_t>(sizeof(NPIdentifier) * (names.empty() ? 1 : names.size()))));
    if (*identifiers == nullptr)
        return false;
    for (size_t i = 0; i < names.size(); ++i)
        (*identifiers)[i] = rt().stringIdentifier(names[i].c_str());
    return true;
}

NPClass s_pageClass = {NP_CLASS_STRUCT_VERSION,
                       pageAllocate,
                       pageDeallocate,
                       nullptr,
                       pageHasMethod,
                       pageInvoke,
                       pageInvokeDefault,
                       pageHasProperty,
                       pageGetProperty,
                       pageSetProperty,
                       pageRemoveProperty,
                       pageEnumerate,
                       pageConstruct};

// ---- plug-in objects as proxies

const char kNpKey[] = DUK_HIDDEN_SYMBOL("np");
const char kMethodsKey[] = DUK_HIDDEN_SYMBOL("methods");
const char kOwnerKey[] = DUK_HIDDEN_SYMBOL("owner");
const char kProxyKey[] = DUK_HIDDEN_SYMBOL("proxy");
// On a proxy: the plug-in object it stands for.
const char kProxyOwnerKey[] = DUK_HIDDEN_SYMBOL("owner");
const char kIdKey[] = DUK_HIDDEN_SYMBOL("id");
// On a proxy: that it stands for a plug-in element. The mark goes with the
// proxy, so a later object at its address is not taken for an element.
const char kElementMarkKey[] = DUK_HIDDEN_SYMBOL("element");

bool takePluginException() {
    std::string message;
    if (!rt().takeException(message))
        return false;
    s_error = message;
    return true;
}

// The plug-in object a proxy stands for: its own, or the scriptable object of
// the element it is.
NPObject* objectOfProxy(void* proxy) {
    if (s_engine->isElementProxy(proxy))
        return s_engine->host().scriptableOf(proxy);
    return s_engine->pluginObjectOf(proxy);
}

// Calls into the plug-in with the arguments at [first, first + count);
// answers false with s_error set on failure; the result is on the stack.
bool callPlugin(duk_context*, NPObject* object, NPIdentifier method, bool construct,
                duk_idx_t first, duk_idx_t count) {
    std::vector<NPVariant> args(static_cast<size_t>(count));
    for (duk_idx_t i = 0; i < count; ++i)
        s_engine->toVariant(first + i, &args[i], true);
    NPVariant result;
    setVoid(&result);
    std::string message;
    rt().takeException(message);
    bool ok = false;
    NPClass* c = rt().isLive(object) ? object->_class : nullptr;
    const NPVariant* argv = args.empty() ? nullptr : args.data();
    if (c == nullptr)
        ok = false;
    else if (construct)
        ok = c->structVersion >= 2 && c->construct != nullptr &&
             c->construct(object, argv, static_cast<uint32_t>(count), &result);
    else if (method != nullptr)
        ok = c->invoke != nullptr &&
             c->invoke(object, method, argv, static_cast<uint32_t>(count), &result);
    else
        ok = c->invokeDefault != nullptr &&
             c->invokeDefault(object, argv, static_cast<uint32_t>(count), &result);
    for (NPVariant& arg : args)
        rt().releaseBrowserValue(arg);
    if (takePluginException()) {
        rt().releaseBrowserValue(result);
        return false;
    }
    if (!ok) {
        s_error = "Error calling method on NPObject.";
        return false;
    }
    s_engine->pushValue(result);
    // The result was handed over; the browser's own reference, if it keeps the
    // value, was taken above.
    if (result.type == NPVariantType_String)
        rt().free(const_cast<NPUTF8*>(result.value.stringValue.UTF8Characters));
    else if (result.type == NPVariantType_Object)
        rt().release(result.value.objectValue);
    return true;
}

// A method of a plug-in object, bound to it as browsers bind them.
duk_ret_t methodCall(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kOwnerKey);
    void* owner = duk_get_heapptr(ctx, -1);
    duk_get_prop_string(ctx, -2, kIdKey);
    auto method = static_cast<NPIdentifier>(duk_get_pointer(ctx, -1));
    duk_pop_3(ctx);
    bool ok;
    {
        NPObject* object = objectOfProxy(owner);
        if (object == nullptr) {
            s_error = "The plug-in object is gone";
            ok = false;
        } else {
            ok = callPlugin(ctx, object, method, false, 0, count);
        }
    }
    return ok ? 1 : throwPending(ctx);
}

// The proxy's target: called through Function.prototype.apply or call.
duk_ret_t targetCall(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kNpKey);
    auto* object = static_cast<NPObject*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    bool ok;
    {
        if (object == nullptr || !rt().isLive(object)) {
            s_error = "The plug-in object is gone";
            ok = false;
        } else {
            ok = callPlugin(ctx, object, nullptr, duk_is_constructor_call(ctx) != 0, 0, count);
        }
    }
    return ok ? 1 : throwPending(ctx);
}

duk_ret_t targetFinalizer(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kNpKey);
    auto* object = static_cast<NPObject*>(duk_get_pointer(ctx, -1));
    duk_get_prop_string(ctx, 0, kProxyKey);
    void* proxy = duk_get_pointer(ctx, -1);
    if (object != nullptr && s_engine != nullptr && !s_engine->tearingDown())
        s_engine->forgetProxy(object, proxy);
    return 0;
}

// Reads the trap's key at `index` as a string; false for symbols.
bool keyName(duk_context* ctx, duk_idx_t index) {
    return !duk_is_symbol(ctx, index);
}

// Whether the trap's target (index 0) has the trap's key (index 1).
bool targetHas(duk_context* ctx) {
    duk_dup(ctx, 1);
    return duk_has_prop(ctx, 0) != 0;
}

// The proxy of a trap's target; targets know it by pointer, not reference.
void* proxyOfTarget(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kProxyKey);
    void* proxy = duk_get_pointer(ctx, -1);
    duk_pop(ctx);
    return proxy;
}

// Pushes the cached method function of `proxy` for `name`.
void pushMethod(duk_context* ctx, duk_idx_t target, duk_idx_t keyIndex, void* proxy,
                NPIdentifier method) {
    if (!duk_get_prop_string(ctx, target, kMethodsKey)) {
        duk_pop(ctx);
        duk_push_object(ctx);
        duk_dup(ctx, -1);
        duk_put_prop_string(ctx, target, kMethodsKey);
    }
    duk_dup(ctx, keyIndex);
    if (duk_get_prop(ctx, -2)) {
        duk_remove(ctx, -2);
        return;
    }
    duk_pop(ctx);
    duk_push_c_function(ctx, methodCall, DUK_VARARGS);
    duk_push_heapptr(ctx, proxy);
    duk_put_prop_string(ctx, -2, kOwnerKey);
    duk_push_pointer(ctx, method);
    duk_put_prop_string(ctx, -2, kIdKey);
    duk_dup(ctx, keyIndex);
    duk_dup(ctx, -2);
    duk_put_prop(ctx, -4);
    duk_remove(ctx, -2);
}

// Trap arguments: get(target, key, receiver); the proxy is the receiver.
duk_ret_t trapGet(duk_context* ctx) {
    void* proxy = proxyOfTarget(ctx);
    const bool element = s_engine->isElementProxy(proxy);
    if (!keyName(ctx, 1) || (element && targetHas(ctx))) {
        duk_dup(ctx, 1);
        duk_get_prop(ctx, 0);
        return 1;
    }
    bool ok = true;
    int outcome = 0; // 0: from the target, 1: method, 2: value pushed
    NPIdentifier id = nullptr;
    {
        NPObject* object = objectOfProxy(proxy);
        id = s_engine->identifierOf(ctx, 1);
        if (object != nullptr && rt().isLive(object) && id != nullptr) {
            NPClass* c = object->_class;
            std::string ignored;
            rt().takeException(ignored);
            if (c->hasMethod != nullptr && c->hasMethod(object, id)) {
                outcome = 1;
            } else if (c->hasProperty != nullptr && c->hasProperty(object, id)) {
                NPVariant result;
                setVoid(&result);
                if (c->getProperty != nullptr && c->getProperty(object, id, &result)) {
                    s_engine->pushValue(result);
                    if (result.type == NPVariantType_String)
                        rt().free(const_cast<NPUTF8*>(result.value.stringValue.UTF8Characters));
                    else if (result.type == NPVariantType_Object)
                        rt().release(result.value.objectValue);
                    outcome = 2;
                }
            }
            if (takePluginException()) {
                if (outcome == 2)
                    duk_pop(ctx);
                ok = false;
            }
        }
    }
    if (!ok)
        return throwPending(ctx);
    if (outcome == 1) {
        pushMethod(ctx, 0, 1, proxy, id);
        return 1;
    }
    if (outcome == 2)
        return 1;
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0);
    return 1;
}

// set(target, key, value, receiver)
duk_ret_t trapSet(duk_context* ctx) {
    void* proxy = proxyOfTarget(ctx);
    const bool element = s_engine->isElementProxy(proxy);
    bool toTarget = !keyName(ctx, 1) || (element && targetHas(ctx));
    bool ok = true;
    if (!toTarget) {
        NPObject* object = objectOfProxy(proxy);
        NPIdentifier id = s_engine->identifierOf(ctx, 1);
        if (object == nullptr || !rt().isLive(object) || id == nullptr) {
            toTarget = true;
        } else {
            NPClass* c = object->_class;
            std::string ignored;
            rt().takeException(ignored);
            if (element && (c->hasProperty == nullptr || !c->hasProperty(object, id))) {
                toTarget = true;
            } else {
                NPVariant value;
                s_engine->toVariant(2, &value, true);
                const bool set = c->setProperty != nullptr && c->setProperty(object, id, &value);
                rt().releaseBrowserValue(value);
                if (takePluginException()) {
                    ok = false;
                } else if (!set) {
                    s_error = "Error setting property on NPObject.";
                    ok = false;
                }
            }
        }
    }
    if (!ok)
        return throwPending(ctx);
    if (toTarget) {
        duk_dup(ctx, 1);
        duk_dup(ctx, 2);
        duk_put_prop(ctx, 0);
    }
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t trapHas(duk_context* ctx) {
    void* proxy = proxyOfTarget(ctx);
    bool found = targetHas(ctx);
    if (!found && keyName(ctx, 1) && proxy != nullptr) {
        NPObject* object = objectOfProxy(proxy);
        NPIdentifier id = s_engine->identifierOf(ctx, 1);
        if (object != nullptr && rt().isLive(object) && id != nullptr) {
            NPClass* c = object->_class;
            found = (c->hasProperty != nullptr && c->hasProperty(object, id)) ||
                    (c->hasMethod != nullptr && c->hasMethod(object, id));
        }
        std::string ignored;
        rt().takeException(ignored);
    }
    duk_push_boolean(ctx, found);
    return 1;
}

// deleteProperty(target, key)
duk_ret_t trapDelete(duk_context* ctx) {
    void* proxy = proxyOfTarget(ctx);
    if (keyName(ctx, 1) && proxy != nullptr && !s_engine->isElementProxy(proxy)) {
        NPObject* object = objectOfProxy(proxy);
        NPIdentifier id = s_engine->identifierOf(ctx, 1);
        if (object != nullptr && rt().isLive(object) && id != nullptr &&
            object->_class->removeProperty != nullptr)
            object->_class->removeProperty(object, id);
        std::string ignored;
        rt().takeException(ignored);
    } else {
        duk_dup(ctx, 1);
        duk_del_prop(ctx, 0);
    }
    duk_push_true(ctx);
    return 1;
}

// ownKeys(target): the plug-in's enumeration, then the target's own names.
duk_ret_t trapOwnKeys(duk_context* ctx) {
    void* proxy = proxyOfTarget(ctx);
    duk_push_array(ctx);
    duk_uarridx_t n = 0;
    NPObject* object = proxy != nullptr ? objectOfProxy(proxy) : nullptr;
    if (object != nullptr && rt().isLive(object) && object->_class->structVersion >= 2 &&
        object->_class->enumerate != nullptr) {
        NPIdentifier* ids = nullptr;
        uint32_t count = 0;
        if (object->_class->enumerate(object, &ids, &count)) {
            for (uint32_t i = 0; i < count; ++i) {
                const std::string name = rt().identifierText(ids[i]);
                duk_push_lstring(ctx, name.data(), name.size());
                duk_put_prop_index(ctx, -2, n++);
            }
            rt().free(ids);
        }
    }
    duk_get_global_string(ctx, "Object");
    duk_get_prop_string(ctx, -1, "getOwnPropertyNames");
    duk_dup(ctx, 0);
    duk_call(ctx, 1);
    const duk_size_t own = duk_get_length(ctx, -1);
    for (duk_size_t i = 0; i < own; ++i) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
        duk_put_prop_index(ctx, -4, n++);
    }
    duk_pop_2(ctx);
    return 1;
}

// apply(target, this, args) and construct(target, args)
duk_ret_t applyOrConstruct(duk_context* ctx, duk_idx_t argsIndex, bool construct) {
    duk_get_prop_string(ctx, 0, kNpKey);
    auto* object = static_cast<NPObject*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    const duk_idx_t first = duk_get_top(ctx);
    const duk_size_t count = duk_get_length(ctx, argsIndex);
    for (duk_size_t i = 0; i < count; ++i)
        duk_get_prop_index(ctx, argsIndex, static_cast<duk_uarridx_t>(i));
    bool ok;
    {
        if (object == nullptr || !rt().isLive(object)) {
            s_error = "The plug-in object is gone";
            ok = false;
        } else {
            ok = callPlugin(ctx, object, nullptr, construct, first, static_cast<duk_idx_t>(count));
        }
    }
    return ok ? 1 : throwPending(ctx);
}

duk_ret_t trapApply(duk_context* ctx) {
    return applyOrConstruct(ctx, 2, false);
}

duk_ret_t trapConstruct(duk_context* ctx) {
    return applyOrConstruct(ctx, 1, true);
}

// ---- page globals

std::string joinArguments(duk_context* ctx) {
    std::string line;
    const duk_idx_t count = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i) {
        if (i > 0)
            line += ' ';
        line += duk_safe_to_string(ctx, i);
    }
    return line;
}

duk_ret_t consoleLog(duk_context* ctx) {
    const std::string line = joinArguments(ctx);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}

duk_ret_t alertBox(duk_context* ctx) {
    std::printf("alert: %s\n", duk_safe_to_string(ctx, 0));
    std::fflush(stdout);
    return 0;
}

duk_ret_t setTimer(duk_context* ctx, bool repeat) {
    const duk_idx_t count = duk_get_top(ctx);
    const double delay = count > 1 ? duk_to_number(ctx, 1) : 0.0;
    const DWORD ms = std::isfinite(delay) && delay > 0 ? static_cast<DWORD>(delay) : 0;
    const unsigned id = s_engine->addTimer(ms, repeat);
    // The stash keeps [function, extra arguments...] under the timer's key.
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "timers");
    duk_push_array(ctx);
    duk_dup(ctx, 0);
    duk_put_prop_index(ctx, -2, 0);
    for (duk_idx_t i = 2; i < count; ++i) {
        duk_dup(ctx, i);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i - 1));
    }
    duk_put_prop_index(ctx, -2, id);
    duk_pop_2(ctx);
    duk_push_uint(ctx, id);
    return 1;
}

duk_ret_t setTimeoutFn(duk_context* ctx) {
    return setTimer(ctx, false);
}

duk_ret_t setIntervalFn(duk_context* ctx) {
    return setTimer(ctx, true);
}

duk_ret_t clearTimerFn(duk_context* ctx) {
    s_engine->clearTimer(duk_to_uint32(ctx, 0));
    return 0;
}

duk_ret_t browserClose(duk_context*) {
    s_engine->host().closeWindow();
    return 0;
}

duk_ret_t browserPluginElement(duk_context* ctx) {
    // [target] -> proxy over it with the plug-in handler
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "handler");
    duk_remove(ctx, -2);
    duk_dup(ctx, 0);
    duk_swap(ctx, -1, -2);
    duk_push_proxy(ctx, 0);
    void* proxy = duk_get_heapptr(ctx, -1);
    duk_push_true(ctx);
    duk_put_prop_string(ctx, -2, kElementMarkKey);
    duk_push_pointer(ctx, proxy);
    duk_put_prop_string(ctx, 0, kProxyKey);
    return 1;
}

duk_ret_t browserConnect(duk_context* ctx) {
    s_engine->host().connectElement(ctx);
    return 0;
}

duk_ret_t browserDisconnect(duk_context* ctx) {
    s_engine->host().disconnectElement(ctx);
    return 0;
}

duk_ret_t browserResize(duk_context* ctx) {
    s_engine->host().resizeElement(ctx);
    return 0;
}

// The DOM of the test pages: body, elements, params; plug-in elements are
// proxies that fall through to the plug-in's scriptable object.
const char kPrelude[] = R"JS(
(function (global, B) {
    var body;
    function Node(tag) {
        this.tagName = String(tag).toUpperCase();
        this.nodeName = this.tagName;
        this.attributes = {};
        this.childNodes = [];
        this.parentNode = null;
        this.id = '';
        this.name = '';
        this.value = '';
        this.style = {};
    }
    function connected(n) {
        while (n) { if (n === body) return true; n = n.parentNode; }
        return false;
    }
    function visit(n, f) {
        f(n);
        for (var i = 0; i < n.childNodes.length; ++i) visit(n.childNodes[i], f);
    }
    function connectPlugin(p) {
        if (p._connected) return;
        var names = [], values = [];
        for (var a in p.attributes) { names.push(a); values.push(p.attributes[a]); }
        if (p.tagName === 'OBJECT') {
            names.push('PARAM'); values.push(null);
            for (var i = 0; i < p.childNodes.length; ++i) {
                var c = p.childNodes[i];
                if (c.tagName === 'PARAM') { names.push(c.name); values.push(c.value); }
            }
        }
        p._connected = true;
        B.connect(p, p.type, p.width, p.height, names, values);
    }
    Node.prototype.setAttribute = function (n, v) {
        n = String(n).toLowerCase(); v = String(v);
        this.attributes[n] = v;
        if (n === 'width' || n === 'height') this[n] = parseInt(v, 10) || 0;
        else if (n !== 'style') this[n] = v;
    };
    Node.prototype.getAttribute = function (n) {
        n = String(n).toLowerCase();
        return this.attributes.hasOwnProperty(n) ? this.attributes[n] : null;
    };
    Node.prototype.appendChild = function (c) {
        if (c.parentNode) c.parentNode.removeChild(c);
        this.childNodes.push(c);
        c.parentNode = this;
        if (connected(this)) visit(c, function (n) {
            // Elements with an id are also the window's named properties.
            if (n.id && !(n.id in global)) global[n.id] = n;
            if (n._plugin) connectPlugin(n);
        });
        return c;
    };
    Node.prototype.removeChild = function (c) {
        var i = this.childNodes.indexOf(c);
        if (i < 0) throw new Error('NotFoundError: the node is not a child of this node');
        var was = connected(c);
        this.childNodes.splice(i, 1);
        c.parentNode = null;
        if (was) visit(c, function (n) {
            if (n.id && global[n.id] === n) delete global[n.id];
            if (n._plugin && n._connected) { n._connected = false; B.disconnect(n); }
        });
        return c;
    };
    Node.prototype.getElementsByTagName = function (tag) {
        tag = String(tag).toUpperCase();
        var found = [];
        visit(this, function (n) { if (tag === '*' || n.tagName === tag) found.push(n); });
        return found;
    };
    function makePluginElement(tag) {
        var t = new Node(tag);
        t._plugin = true;
        t._connected = false;
        t.type = '';
        var p = B.pluginElement(t), w = 0, h = 0;
        function size(name) {
            return {
                get: function () { return name === 'width' ? w : h; },
                set: function (v) {
                    v = parseInt(v, 10) || 0;
                    if (name === 'width') w = v; else h = v;
                    t.attributes[name] = String(v);
                    if (t._connected) B.resize(p, w, h);
                },
                enumerable: true
            };
        }
        Object.defineProperty(t, 'width', size('width'));
        Object.defineProperty(t, 'height', size('height'));
        return p;
    }
    function createElement(tag) {
        tag = String(tag).toLowerCase();
        return (tag === 'object' || tag === 'embed') ? makePluginElement(tag) : new Node(tag);
    }
    body = new Node('body');
    var document = {
        body: body,
        documentElement: body,
        createElement: createElement,
        getElementById: function (id) {
            var found = null;
            visit(body, function (n) { if (found === null && n.id === String(id)) found = n; });
            return found;
        },
        getElementsByTagName: function (tag) { return body.getElementsByTagName(tag); }
    };
    body.ownerDocument = document;
    document.window = global;
    global.document = document;
    global.window = global;
    global.self = global;
    global.close = function () { B.close(); };
    global.alert = B.alert;
    global.console = { log: B.log, error: B.log, info: B.log, warn: B.log };
    global.__page_add = function (tag, attributes, params) {
        var e = createElement(tag);
        for (var a in attributes) e.setAttribute(a, attributes[a]);
        for (var i = 0; i < params.length; ++i) {
            var p = new Node('param');
            p.setAttribute('name', params[i][0]);
            p.setAttribute('value', params[i][1]);
            e.appendChild(p);
        }
        body.appendChild(e);
    };
})(this, __browser);
delete this.__browser;
)JS";

} // namespace

ScriptEngine* ScriptEngine::current() {
    return s_engine;
}

ScriptEngine::ScriptEngine(PageHost& host, const std::string& pageUrl) : m_host(host) {
    m_ctx = duk_create_heap_default();
    s_engine = this;
    installGlobals(pageUrl);
}

ScriptEngine::~ScriptEngine() {
    releasePluginObjects();
    m_tearingDown = true;
    duk_destroy_heap(m_ctx);
    s_engine = nullptr;
}

void ScriptEngine::installGlobals(const std::string& pageUrl) {
    duk_context* ctx = m_ctx;
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, "values");
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, "timers");
    duk_push_object(ctx);
    const duk_function_list_entry traps[] = {{"get", trapGet, 3},
                                             {"set", trapSet, 4},
                                             {"has", trapHas, 2},
                                             {"deleteProperty", trapDelete, 2},
                                             {"ownKeys", trapOwnKeys, 1},
                                             {"apply", trapApply, 3},
                                             {"construct", trapConstruct, 3},
                                             {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, traps);
    duk_put_prop_string(ctx, -2, "handler");
    duk_pop(ctx);

    duk_push_global_object(ctx);
    const duk_function_list_entry globals[] = {{"setTimeout", setTimeoutFn, DUK_VARARGS},
                                               {"setInterval", setIntervalFn, DUK_VARARGS},
                                               {"clearTimeout", clearTimerFn, 1},
                                               {"clearInterval", clearTimerFn, 1},
                                               {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, globals);
    duk_push_object(ctx);
    const duk_function_list_entry browser[] = {
        {"log", consoleLog, DUK_VARARGS}, {"alert", alertBox, 1},
        {"close", browserClose, 0},       {"pluginElement", browserPluginElement, 1},
        {"connect", browserConnect, 6},   {"disconnect", browserDisconnect, 1},
        {"resize", browserResize, 3},     {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, browser);
    duk_put_prop_string(ctx, -2, "__browser");
    installPageLocation(ctx, pageUrl);
    duk_push_object(ctx);
    duk_push_string(ctx, rt().userAgent().c_str());
    duk_put_prop_string(ctx, -2, "userAgent");
    duk_put_prop_string(ctx, -2, "navigator");
    m_host.installTestbed(ctx);
    duk_pop(ctx);
    runScript(kPrelude, "prelude");
}

void ScriptEngine::reportUncaught(const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "Uncaught: %s\n", message);
    std::fflush(stderr);
    m_uncaught = true;
}

void ScriptEngine::runScript(const std::string& code, const std::string& name) {
    duk_push_string(m_ctx, name.c_str());
    if (duk_pcompile_lstring_filename(m_ctx, 0, code.data(), code.size()) != 0 ||
        duk_pcall(m_ctx, 0) != DUK_EXEC_SUCCESS)
        reportUncaught(duk_safe_to_string(m_ctx, -1));
    duk_pop(m_ctx);
}

void ScriptEngine::callGlobal(const char* name) {
    duk_get_global_string(m_ctx, name);
    if (duk_is_callable(m_ctx, -1)) {
        if (duk_pcall(m_ctx, 0) != DUK_EXEC_SUCCESS)
            reportUncaught(duk_safe_to_string(m_ctx, -1));
    }
    duk_pop(m_ctx);
}

unsigned ScriptEngine::addTimer(DWORD delay, bool repeat) {
    const unsigned id = m_nextTimer++;
    const ULONGLONG due = GetTickCount64() + delay;
    m_timers[id] = Timer{due, delay, repeat};
    m_schedule.emplace(due, id);
    return id;
}

void ScriptEngine::clearTimer(unsigned id) {
    auto timer = m_timers.find(id);
    if (timer != m_timers.end()) {
        m_schedule.erase({timer->second.due, id});
        m_timers.erase(timer);
    }
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "timers");
    duk_del_prop_index(m_ctx, -1, id);
    duk_pop_2(m_ctx);
}

DWORD ScriptEngine::nextTimerDelay() const {
    if (m_schedule.empty())
        return INFINITE;
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG due = m_schedule.begin()->first;
    return due > now ? static_cast<DWORD>(due - now) : 0;
}

void ScriptEngine::runDueTimers() {
    // The timers due now, in order of their due time, then of creation; those
    // they set wait for the next turn, after the messages, as in a browser.
    const ULONGLONG now = GetTickCount64();
    std::vector<unsigned> due;
    for (const auto& entry : m_schedule) {
        if (entry.first > now)
            break;
        due.push_back(entry.second);
    }
    for (unsigned id : due) {
        auto found = m_timers.find(id);
        if (found == m_timers.end() || found->second.due > now)
            continue; // cleared, or an interval already run and set again
        m_schedule.erase({found->second.due, id});
        Timer& timer = found->second;
        const bool repeat = timer.repeat;
        if (repeat) {
            timer.due = now + (timer.interval > 0 ? timer.interval : 1);
            m_schedule.emplace(timer.due, id);
        }
        duk_push_global_stash(m_ctx);
        duk_get_prop_string(m_ctx, -1, "timers");
        duk_get_prop_index(m_ctx, -1, id);
        if (!repeat) {
            m_timers.erase(id);
            duk_del_prop_index(m_ctx, -2, id);
        }
        const duk_idx_t entry = duk_get_top(m_ctx) - 1;
        if (!duk_is_array(m_ctx, entry)) {
            duk_pop_3(m_ctx);
            continue;
        }
        duk_get_prop_index(m_ctx, entry, 0);
        if (duk_is_string(m_ctx, -1)) {
            const std::string code = duk_get_string(m_ctx, -1);
            duk_pop_n(m_ctx, 4);
            runScript(code, "timer");
            continue;
        }
        duk_push_undefined(m_ctx);
        const duk_size_t length = duk_get_length(m_ctx, entry);
        for (duk_size_t i = 1; i < length; ++i)
            duk_get_prop_index(m_ctx, entry, static_cast<duk_uarridx_t>(i));
        if (duk_pcall_method(m_ctx, static_cast<duk_idx_t>(length - 1)) != DUK_EXEC_SUCCESS)
            reportUncaught(duk_safe_to_string(m_ctx, -1));
        duk_pop_n(m_ctx, 4);
    }
}

unsigned ScriptEngine::stash(duk_idx_t index) {
    index = duk_normalize_index(m_ctx, index);
    const unsigned key = m_nextKey++;
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "values");
    duk_dup(m_ctx, index);
    duk_put_prop_index(m_ctx, -2, key);
    duk_pop_2(m_ctx);
    return key;
}

void ScriptEngine::unstash(unsigned key) {
    if (m_tearingDown)
        return;
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "values");
    duk_del_prop_index(m_ctx, -1, key);
    duk_pop_2(m_ctx);
}

void ScriptEngine::pushStashed(unsigned key) {
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "values");
    duk_get_prop_index(m_ctx, -1, key);
    duk_remove(m_ctx, -2);
    duk_remove(m_ctx, -2);
}

NPIdentifier ScriptEngine::identifierOf(duk_context* ctx, duk_idx_t index) {
    // Array indices are integer identifiers, as browsers make them.
    if (duk_is_number(ctx, index)) {
        const double value = duk_get_number(ctx, index);
        if (value >= 0 && value <= INT32_MAX && std::floor(value) == value)
            return rt().intIdentifier(static_cast<int32_t>(value));
    }
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx, index, &length);
    if (length > 0 && length < 10 && text[0] >= '1' && text[0] <= '9') {
        bool digits = true;
        for (duk_size_t i = 0; i < length; ++i)
            digits = digits && text[i] >= '0' && text[i] <= '9';
        if (digits)
            return rt().intIdentifier(std::atoi(text));
    }
    if (length == 1 && text[0] == '0')
        return rt().intIdentifier(0);
    return rt().stringIdentifier(std::string(text, length).c_str());
}

void ScriptEngine::pushValue(const NPVariant& value) {
    switch (value.type) {
    case NPVariantType_Null:
        duk_push_null(m_ctx);
        break;
    case NPVariantType_Bool:
        duk_push_boolean(m_ctx, value.value.boolValue);
        break;
    case NPVariantType_Int32:
        duk_push_int(m_ctx, value.value.intValue);
        break;
    case NPVariantType_Double:
        duk_push_number(m_ctx, value.value.doubleValue);
        break;
    case NPVariantType_String:
        if (value.value.stringValue.UTF8Characters == nullptr)
            duk_push_string(m_ctx, "");
        else
            duk_push_lstring(m_ctx, value.value.stringValue.UTF8Characters,
                             value.value.stringValue.UTF8Length);
        break;
    case NPVariantType_Object:
        pushPluginObject(value.value.objectValue);
        break;
    case NPVariantType_Void:
    default:
        duk_push_undefined(m_ctx);
        break;
    }
}

void ScriptEngine::pushPluginObject(NPObject* object) {
    if (object == nullptr || !rt().isLive(object)) {
        duk_push_null(m_ctx);
        return;
    }
    if (object->_class == &s_pageClass) {
        pushStashed(keyOf(object));
        return;
    }
    auto found = m_proxies.find(object);
    if (found != m_proxies.end()) {
        duk_push_heapptr(m_ctx, found->second);
        return;
    }
    // The target is a function, so that the proxy can be called.
    duk_push_c_function(m_ctx, targetCall, DUK_VARARGS);
    duk_push_pointer(m_ctx, object);
    duk_put_prop_string(m_ctx, -2, kNpKey);
    duk_push_c_function(m_ctx, targetFinalizer, 1);
    duk_set_finalizer(m_ctx, -2);
    const duk_idx_t target = duk_get_top(m_ctx) - 1;
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "handler");
    duk_remove(m_ctx, -2);
    duk_dup(m_ctx, target);
    duk_swap(m_ctx, -1, -2);
    duk_push_proxy(m_ctx, 0);
    void* proxy = duk_get_heapptr(m_ctx, -1);
    // The proxy names its plug-in object too (hidden symbols bypass the traps),
    // so that a later object at the same address is not taken for it.
    duk_push_pointer(m_ctx, object);
    duk_put_prop_string(m_ctx, -2, kProxyOwnerKey);
    // The target knows its proxy only weakly: a pointer, not a reference.
    duk_push_pointer(m_ctx, proxy);
    duk_put_prop_string(m_ctx, target, kProxyKey);
    duk_remove(m_ctx, target);
    rt().browserRetain(object);
    m_proxies[object] = proxy;
    m_proxyTargets[proxy] = object;
}

bool ScriptEngine::isElementProxy(void* proxy) {
    duk_push_heapptr(m_ctx, proxy);
    duk_get_prop_string(m_ctx, -1, kElementMarkKey);
    const bool element = duk_to_boolean(m_ctx, -1) != 0;
    duk_pop_2(m_ctx);
    return element;
}

NPObject* ScriptEngine::pluginObjectOf(void* proxy) {
    auto found = m_proxyTargets.find(proxy);
    return found != m_proxyTargets.end() ? found->second : nullptr;
}

void ScriptEngine::forgetProxy(NPObject* object, void* proxy) {
    auto found = m_proxies.find(object);
    if (found == m_proxies.end() || found->second != proxy)
        return;
    m_proxyTargets.erase(found->second);
    m_proxies.erase(found);
    rt().browserRelease(object);
}

void ScriptEngine::releasePluginObjects() {
    auto proxies = m_proxies;
    m_proxies.clear();
    m_proxyTargets.clear();
    for (const auto& entry : proxies)
        rt().browserRelease(entry.first);
    if (m_window != nullptr) {
        rt().browserRelease(m_window);
        m_window = nullptr;
    }
}

NPObject* ScriptEngine::pageObject(duk_idx_t index) {
    index = duk_normalize_index(m_ctx, index);
    void* heapptr = duk_get_heapptr(m_ctx, index);
    auto known = m_proxyTargets.find(heapptr);
    if (known != m_proxyTargets.end()) {
        // A proxy's target is finalized some time after the proxy is freed;
        // until then its address may already hold a new page object.
        duk_get_prop_string(m_ctx, index, kProxyOwnerKey);
        const bool same = duk_get_pointer(m_ctx, -1) == known->second;
        duk_pop(m_ctx);
        if (same)
            return rt().retain(known->second);
        forgetProxy(known->second, heapptr);
    }
    auto found = m_pageObjects.find(heapptr);
    if (found != m_pageObjects.end())
        return rt().retain(found->second);
    NPObject* object = rt().createObject(nullptr, &s_pageClass);
    if (object == nullptr)
        return nullptr;
    auto* page = reinterpret_cast<PageNPObject*>(object);
    page->key = stash(index);
    page->heapptr = heapptr;
    m_pageObjects[heapptr] = object;
    return object;
}

void ScriptEngine::toVariant(duk_idx_t index, NPVariant* out, bool browserOwned) {
    duk_context* ctx = m_ctx;
    setVoid(out);
    switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NULL:
        out->type = NPVariantType_Null;
        break;
    case DUK_TYPE_BOOLEAN:
        out->type = NPVariantType_Bool;
        out->value.boolValue = duk_get_boolean(ctx, index) != 0;
        break;
    case DUK_TYPE_NUMBER: {
        // Whole numbers in range travel as integers, as browsers send them.
        const double number = duk_get_number(ctx, index);
        if (std::floor(number) == number && number >= INT32_MIN && number <= INT32_MAX &&
            !(number == 0 && std::signbit(number))) {
            out->type = NPVariantType_Int32;
            out->value.intValue = static_cast<int32_t>(number);
        } else {
            out->type = NPVariantType_Double;
            out->value.doubleValue = number;
        }
        break;
    }
    case DUK_TYPE_STRING: {
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx, index, &length);
        char* copy = rt().strdup(text, length);
        if (copy != nullptr) {
            out->type = NPVariantType_String;
            out->value.stringValue.UTF8Characters = copy;
            out->value.stringValue.UTF8Length = static_cast<uint32_t>(length);
        }
        break;
    }
    case DUK_TYPE_OBJECT: {
        NPObject* object = pageObject(index);
        if (object == nullptr)
            break;
        if (browserOwned)
            rt().browserAdopt(object);
        out->type = NPVariantType_Object;
        out->value.objectValue = object;
        break;
    }
    default:
        break;
    }
}

NPObject* ScriptEngine::windowObject() {
    if (m_window == nullptr) {
        duk_push_global_object(m_ctx);
        m_window = pageObject(-1);
        duk_pop(m_ctx);
        // The browser keeps the window's object for the page's life.
        rt().browserAdopt(m_window);
    }
    return rt().retain(m_window);
}

bool ScriptEngine::evaluate(const NPString& script, NPVariant* result) {
    const std::string code(script.UTF8Characters != nullptr ? script.UTF8Characters : "",
                           script.UTF8Length);
    duk_push_string(m_ctx, "NPN_Evaluate");
    if (duk_pcompile_lstring_filename(m_ctx, DUK_COMPILE_EVAL, code.data(), code.size()) != 0 ||
        duk_pcall(m_ctx, 0) != DUK_EXEC_SUCCESS) {
        reportUncaught(duk_safe_to_string(m_ctx, -1));
        duk_pop(m_ctx);
        return false;
    }
    if (result != nullptr)
        toVariant(-1, result, false);
    duk_pop(m_ctx);
    return true;
}

} // namespace npbrowser
