#include "ScriptEngine.h"

#include <cmath>
#include <string>

#include "NpRuntime.h"
#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace {

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

} // namespace

unsigned script_bindings::keyOf(NPObject* npobj) {
    return reinterpret_cast<PageNPObject*>(npobj)->key;
}

namespace {

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

} // namespace

namespace script_bindings {

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

} // namespace script_bindings

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

} // namespace npbrowser
