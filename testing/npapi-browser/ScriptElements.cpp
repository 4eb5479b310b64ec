#include "ScriptEngine.h"

#include <string>
#include <vector>

#include "NpRuntime.h"
#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace {

// Native functions throw only after their C++ locals are gone: the message
// waits here while the frame unwinds normally.
std::string s_error;

duk_ret_t throwPending(duk_context* ctx) {
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", s_error.c_str());
    return duk_throw(ctx);
}

// ---- plug-in objects as proxies

const char kNpKey[] = DUK_HIDDEN_SYMBOL("np");
const char kMethodsKey[] = DUK_HIDDEN_SYMBOL("methods");
const char kOwnerKey[] = DUK_HIDDEN_SYMBOL("owner");
const char kProxyKey[] = DUK_HIDDEN_SYMBOL("proxy");
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

} // namespace

namespace script_bindings {

const char kProxyOwnerKey[] = DUK_HIDDEN_SYMBOL("owner");

void pushProxyHandler(duk_context* ctx) {
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

} // namespace script_bindings

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

} // namespace npbrowser
