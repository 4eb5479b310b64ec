#include "ScriptEngine.h"

#include <cstdio>
#include <string>

#include "NpRuntime.h"
#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace script_bindings {

ScriptEngine* s_engine = nullptr;

} // namespace script_bindings

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
    pushProxyHandler(ctx);
    duk_put_prop_string(ctx, -2, "handler");
    duk_pop(ctx);

    duk_push_global_object(ctx);
    putTimerFunctions(ctx);
    putWindowGlobals(ctx, pageUrl);
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

} // namespace npbrowser
