#include "ScriptEngine.h"

#include <cstdio>
#include <string>

#include "NpRuntime.h"
#include "PageLocation.h"
#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace {

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

duk_ret_t browserClose(duk_context*) {
    s_engine->host().closeWindow();
    return 0;
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

} // namespace

void script_bindings::putWindowGlobals(duk_context* ctx, const std::string& pageUrl) {
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
