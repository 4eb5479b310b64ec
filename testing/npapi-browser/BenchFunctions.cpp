#include "BenchFunctions.h"

#include <cstring>
#include <map>
#include <new>
#include <string>

#include "NpRuntime.h"
#include "ScriptEngine.h"
#include "event_tally.h"
#include "sim_settings.h"

namespace npbrowser {

namespace {

NpRuntime& rt() {
    return NpRuntime::instance();
}

// A copy of value that the receiver owns: strings in browser memory, objects retained.
NPVariant ownedCopy(const NPVariant& value) {
    NPVariant copy = value;
    if (value.type == NPVariantType_String)
        copy.value.stringValue.UTF8Characters =
            rt().strdup(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
    else if (value.type == NPVariantType_Object)
        rt().retain(value.value.objectValue);
    return copy;
}

// A result the plug-in handed over, or a copy the browser owns.
void releaseResult(NPVariant& result) {
    if (result.type == NPVariantType_String)
        rt().free(const_cast<NPUTF8*>(result.value.stringValue.UTF8Characters));
    else if (result.type == NPVariantType_Object)
        rt().release(result.value.objectValue);
    result.type = NPVariantType_Void;
}

// A page handler of the browser's own: a function that keeps a tally of the
// events it gets, and holds properties as script functions do (the plug-in
// marks its handlers with one).
struct NativeHandler {
    NPObject header;
    CameraSim::EventTally tally;
    std::map<NPIdentifier, NPVariant> properties;
};

NPObject* allocateHandler(NPP, NPClass*) {
    auto* handler = new (std::nothrow) NativeHandler{};
    return handler ? &handler->header : nullptr;
}

void deallocateHandler(NPObject* object) {
    auto* handler = reinterpret_cast<NativeHandler*>(object);
    for (auto& property : handler->properties)
        releaseResult(property.second);
    delete handler;
}

bool handlerHasNoMethod(NPObject*, NPIdentifier) {
    return false;
}

bool handlerHasProperty(NPObject* object, NPIdentifier name) {
    return reinterpret_cast<NativeHandler*>(object)->properties.count(name) != 0;
}

bool handlerGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    auto& properties = reinterpret_cast<NativeHandler*>(object)->properties;
    auto found = properties.find(name);
    if (found == properties.end())
        return false;
    *result = ownedCopy(found->second);
    return true;
}

bool handlerSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    try {
        auto& properties = reinterpret_cast<NativeHandler*>(object)->properties;
        NPVariant copy = ownedCopy(*value);
        auto found = properties.find(name);
        if (found != properties.end()) {
            releaseResult(found->second);
            found->second = copy;
        } else {
            properties.emplace(name, copy);
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool handlerRemoveProperty(NPObject* object, NPIdentifier name) {
    auto& properties = reinterpret_cast<NativeHandler*>(object)->properties;
    auto found = properties.find(name);
    if (found == properties.end())
        return false;
    releaseResult(found->second);
    properties.erase(found);
    return true;
}

bool handlerCalled(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    result->type = NPVariantType_Void;
    try {
        if (count >= 1 && args[0].type == NPVariantType_String)
            reinterpret_cast<NativeHandler*>(object)->tally.take(
                args[0].value.stringValue.UTF8Characters, args[0].value.stringValue.UTF8Length);
        return true;
    } catch (...) {
        return false;
    }
}

NPClass s_handlerClass = {NP_CLASS_STRUCT_VERSION,
                          allocateHandler,
                          deallocateHandler,
                          nullptr,
                          handlerHasNoMethod,
                          nullptr,
                          handlerCalled,
                          handlerHasProperty,
                          handlerGetProperty,
                          handlerSetProperty,
                          handlerRemoveProperty,
                          nullptr,
                          nullptr};

// The plug-in object behind a script value: an element's scriptable object,
// or the object a proxy stands for.
NPObject* objectAt(duk_context* ctx, duk_idx_t index) {
    void* proxy = duk_get_heapptr(ctx, index);
    ScriptEngine* engine = ScriptEngine::current();
    if (proxy == nullptr || engine == nullptr)
        return nullptr;
    return engine->isElementProxy(proxy) ? engine->host().scriptableOf(proxy)
                                         : engine->pluginObjectOf(proxy);
}

NativeHandler* handlerAt(duk_context* ctx, duk_idx_t index) {
    NPObject* object = objectAt(ctx, index);
    return object != nullptr && object->_class == &s_handlerClass
               ? reinterpret_cast<NativeHandler*>(object)
               : nullptr;
}

// nativeHandler(): a new handler.
duk_ret_t nativeHandler(duk_context*) {
    NPObject* object = rt().createObject(nullptr, &s_handlerClass);
    if (object == nullptr)
        return DUK_RET_ERROR;
    ScriptEngine::current()->pushPluginObject(object);
    rt().release(object);
    return 1;
}

// callHandler(handler, kind, count): the browser calls the handler count times
// with (text, 3, 7), as a camera event would reach it; kind "b" numbers the
// texts from 0, and each is stamped with the clock. Answers microseconds.
duk_ret_t callHandler(duk_context* ctx) {
    NativeHandler* handler = handlerAt(ctx, 0);
    if (handler == nullptr)
        return DUK_RET_TYPE_ERROR;
    const bool burst = std::strcmp(duk_safe_to_string(ctx, 1), "b") == 0;
    const int count = duk_to_int32(ctx, 2);
    const double start = CameraSim::nowMicroseconds();
    for (int i = 0; i < count; ++i) {
        char text[48];
        const int length =
            burst ? std::snprintf(text, sizeof text, "b%d@%.0f", i, CameraSim::nowMicroseconds())
                  : std::snprintf(text, sizeof text, "t%.0f", CameraSim::nowMicroseconds());
        NPVariant args[3];
        args[0].type = NPVariantType_String;
        args[0].value.stringValue = NPString{text, static_cast<uint32_t>(length)};
        args[1].type = NPVariantType_Int32;
        args[1].value.intValue = 3;
        args[2].type = NPVariantType_Int32;
        args[2].value.intValue = 7;
        NPVariant result;
        result.type = NPVariantType_Void;
        rt().table()->invokeDefault(nullptr, &handler->header, args, 3, &result);
        releaseResult(result);
    }
    duk_push_number(ctx, CameraSim::nowMicroseconds() - start);
    return 1;
}

// handlerFigures(handler): what the handler kept (see EventTally::figures).
duk_ret_t handlerFigures(duk_context* ctx) {
    NativeHandler* handler = handlerAt(ctx, 0);
    if (handler == nullptr)
        return DUK_RET_TYPE_ERROR;
    duk_push_string(ctx, handler->tally.figures().c_str());
    return 1;
}

// invokeLoop(object, name, count, args...): count calls of the object's
// NPClass::invoke with the arguments converted once, as the browser converts
// them. Answers microseconds, or -1 when a call failed.
duk_ret_t invokeLoop(duk_context* ctx) {
    NPObject* object = objectAt(ctx, 0);
    if (object == nullptr || object->_class->invoke == nullptr)
        return DUK_RET_TYPE_ERROR;
    const NPIdentifier method = rt().stringIdentifier(duk_safe_to_string(ctx, 1));
    const int count = duk_to_int32(ctx, 2);
    const duk_idx_t first = 3;
    const uint32_t argCount = static_cast<uint32_t>(duk_get_top(ctx) - first);
    NPVariant args[8];
    if (argCount > 8)
        return DUK_RET_RANGE_ERROR;
    for (uint32_t i = 0; i < argCount; ++i)
        ScriptEngine::current()->toVariant(first + static_cast<duk_idx_t>(i), &args[i], true);
    bool ok = true;
    const double start = CameraSim::nowMicroseconds();
    for (int i = 0; i < count && ok; ++i) {
        NPVariant result;
        result.type = NPVariantType_Void;
        ok = object->_class->invoke(object, method, args, argCount, &result);
        releaseResult(result);
    }
    const double elapsed = CameraSim::nowMicroseconds() - start;
    for (uint32_t i = 0; i < argCount; ++i)
        rt().releaseBrowserValue(args[i]);
    duk_push_number(ctx, ok ? elapsed : -1);
    return 1;
}

} // namespace

void installBenchFunctions(duk_context* ctx) {
    const duk_function_list_entry functions[] = {{"nativeHandler", nativeHandler, 0},
                                                 {"callHandler", callHandler, 3},
                                                 {"handlerFigures", handlerFigures, 1},
                                                 {"invokeLoop", invokeLoop, DUK_VARARGS},
                                                 {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, functions);
}

} // namespace npbrowser
