#pragma once
// What the parts of the script engine share: the engine of the running page,
// and the entry points each part gives the others. Each part binds one thing:
// page values for the plug-in, plug-in objects and elements for script, the
// window's globals, the timers and the document.

#include <string>

#include "NpRuntime.h"
#include "duktape.h"
#include "npapi_abi.h"

namespace npbrowser {

class ScriptEngine;

namespace script_bindings {

extern ScriptEngine* s_engine;

inline NpRuntime& rt() {
    return NpRuntime::instance();
}

inline void setVoid(NPVariant* v) {
    v->type = NPVariantType_Void;
    v->value.objectValue = nullptr;
}

// Page values as the plug-in sees them: objects of the browser's own class.
extern NPClass s_pageClass;
unsigned keyOf(NPObject* npobj);

// On a proxy: the plug-in object it stands for.
extern const char kProxyOwnerKey[];
// Pushes the handler whose traps make a proxy fall through to a plug-in object.
void pushProxyHandler(duk_context* ctx);
// [target] -> an element proxy over it with the plug-in handler.
duk_ret_t browserPluginElement(duk_context* ctx);

// setTimeout, setInterval and their clears, on the global object at -1.
void putTimerFunctions(duk_context* ctx);
// __browser, location and navigator, on the global object at -1.
void putWindowGlobals(duk_context* ctx, const std::string& pageUrl);

// The DOM of the test pages, run once the globals are in place.
extern const char kPrelude[];

} // namespace script_bindings
} // namespace npbrowser
