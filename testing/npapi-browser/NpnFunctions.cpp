// The browser's side of the function table a plug-in gets: each entry checks
// its thread and arguments, then asks the runtime, the instance or the object.

#include "NpRuntime.h"

#include "Streams.h"
#include "Text.h"
#include "files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace npbrowser {

namespace {

NpRuntime& rt() {
    return NpRuntime::instance();
}

// Every entry but memory and the cross-thread call belongs to the main thread.
#define MAIN_THREAD_ONLY(name, failure)                                                            \
    if (!rt().onMainThread(name))                                                                  \
    return failure

NPError geturl(NPP npp, const char* url, const char* target) {
    MAIN_THREAD_ONLY("NPN_GetURL", NPERR_GENERIC_ERROR);
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr || url == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    return services->getURL(url, target);
}

// The body of a post, from the buffer or from the file it names.
bool postBody(uint32_t len, const char* buf, NPBool file, std::string& body) {
    if (buf == nullptr)
        return len == 0;
    if (!file) {
        body.assign(buf, len);
        return true;
    }
    return readWholeFile(widen(std::string(buf, len)), body);
}

NPError posturl(NPP npp, const char* url, const char* target, uint32_t len, const char* buf,
                NPBool file) {
    MAIN_THREAD_ONLY("NPN_PostURL", NPERR_GENERIC_ERROR);
    if (rt().servicesOf(npp) == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    std::string body;
    if (!postBody(len, buf, file, body))
        return NPERR_FILE_NOT_FOUND;
    if (target != nullptr)
        return rt().servicesOf(npp)->getURL(url, target);
    return Streams::instance().request(npp, url, &body, false, nullptr);
}

NPError requestread(NPStream* stream, NPByteRange* ranges) {
    MAIN_THREAD_ONLY("NPN_RequestRead", NPERR_GENERIC_ERROR);
    return Streams::instance().requestRead(stream, ranges);
}

NPError newstream(NPP, NPMIMEType, const char*, NPStream**) {
    MAIN_THREAD_ONLY("NPN_NewStream", NPERR_GENERIC_ERROR);
    return NPERR_GENERIC_ERROR; // no target window takes a plug-in's data here
}

int32_t write(NPP npp, NPStream* stream, int32_t len, void* buffer) {
    MAIN_THREAD_ONLY("NPN_Write", -1);
    return Streams::instance().write(npp, stream, len, buffer);
}

NPError destroystream(NPP npp, NPStream* stream, NPReason reason) {
    MAIN_THREAD_ONLY("NPN_DestroyStream", NPERR_GENERIC_ERROR);
    return Streams::instance().destroy(npp, stream, reason);
}

void status(NPP, const char*) {
    MAIN_THREAD_ONLY("NPN_Status", );
}

const char* uagent(NPP) {
    MAIN_THREAD_ONLY("NPN_UserAgent", nullptr);
    return rt().userAgent().c_str();
}

void* memalloc(uint32_t size) {
    return rt().alloc(size);
}

void memfree(void* block) {
    rt().free(block);
}

uint32_t memflush(uint32_t) {
    return 0;
}

void reloadplugins(NPBool) {
    MAIN_THREAD_ONLY("NPN_ReloadPlugins", );
}

NPError geturlnotify(NPP npp, const char* url, const char* target, void* notifyData) {
    MAIN_THREAD_ONLY("NPN_GetURLNotify", NPERR_GENERIC_ERROR);
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr || url == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (target != nullptr)
        return services->getURL(url, target);
    return Streams::instance().request(npp, url, nullptr, true, notifyData);
}

NPError posturlnotify(NPP npp, const char* url, const char* target, uint32_t len, const char* buf,
                      NPBool file, void* notifyData) {
    MAIN_THREAD_ONLY("NPN_PostURLNotify", NPERR_GENERIC_ERROR);
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr || url == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    std::string body;
    if (!postBody(len, buf, file, body))
        return NPERR_FILE_NOT_FOUND;
    if (target != nullptr)
        return services->getURL(url, target);
    return Streams::instance().request(npp, url, &body, true, notifyData);
}

NPError getvalue(NPP npp, NPNVariable variable, void* value) {
    MAIN_THREAD_ONLY("NPN_GetValue", NPERR_GENERIC_ERROR);
    if (value == nullptr)
        return NPERR_INVALID_PARAM;
    switch (variable) {
    case NPNVjavascriptEnabledBool:
    case NPNVSupportsWindowless:
        *static_cast<NPBool*>(value) = 1;
        return NPERR_NO_ERROR;
    case NPNVisOfflineBool:
    case NPNVprivateModeBool:
        *static_cast<NPBool*>(value) = 0;
        return NPERR_NO_ERROR;
    default:
        break;
    }
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    switch (variable) {
    case NPNVnetscapeWindow:
        *static_cast<HWND*>(value) = services->topWindow();
        return NPERR_NO_ERROR;
    case NPNVWindowNPObject:
        *static_cast<NPObject**>(value) = services->windowObject();
        return *static_cast<NPObject**>(value) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
    case NPNVPluginElementNPObject:
        *static_cast<NPObject**>(value) = services->elementObject();
        return *static_cast<NPObject**>(value) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
    default:
        return NPERR_GENERIC_ERROR;
    }
}

NPError setvalue(NPP npp, NPPVariable variable, void* value) {
    MAIN_THREAD_ONLY("NPN_SetValue", NPERR_GENERIC_ERROR);
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    switch (variable) {
    case NPPVpluginWindowBool:
        // The value itself (not a pointer to it) carries the boolean.
        services->setWindowless(value == nullptr);
        return NPERR_NO_ERROR;
    case NPPVpluginTransparentBool:
    case NPPVpluginKeepLibraryInMemory:
        return NPERR_NO_ERROR;
    default:
        return NPERR_GENERIC_ERROR;
    }
}

void invalidaterect(NPP npp, NPRect* rect) {
    MAIN_THREAD_ONLY("NPN_InvalidateRect", );
    if (InstanceServices* services = rt().servicesOf(npp))
        services->invalidate(rect);
}

void invalidateregion(NPP npp, void*) {
    MAIN_THREAD_ONLY("NPN_InvalidateRegion", );
    if (InstanceServices* services = rt().servicesOf(npp))
        services->invalidate(nullptr);
}

void forceredraw(NPP npp) {
    MAIN_THREAD_ONLY("NPN_ForceRedraw", );
    if (InstanceServices* services = rt().servicesOf(npp))
        services->invalidate(nullptr);
}

NPIdentifier getstringidentifier(const NPUTF8* name) {
    MAIN_THREAD_ONLY("NPN_GetStringIdentifier", nullptr);
    return rt().stringIdentifier(name);
}

void getstringidentifiers(const NPUTF8** names, int32_t count, NPIdentifier* identifiers) {
    MAIN_THREAD_ONLY("NPN_GetStringIdentifiers", );
    if (names == nullptr || identifiers == nullptr)
        return;
    for (int32_t i = 0; i < count; ++i)
        identifiers[i] = rt().stringIdentifier(names[i]);
}

NPIdentifier getintidentifier(int32_t value) {
    MAIN_THREAD_ONLY("NPN_GetIntIdentifier", nullptr);
    return rt().intIdentifier(value);
}

bool identifierisstring(NPIdentifier id) {
    MAIN_THREAD_ONLY("NPN_IdentifierIsString", false);
    return rt().isStringIdentifier(id);
}

NPUTF8* utf8fromidentifier(NPIdentifier id) {
    MAIN_THREAD_ONLY("NPN_UTF8FromIdentifier", nullptr);
    if (!rt().isStringIdentifier(id))
        return nullptr;
    const std::string text = rt().identifierText(id);
    return rt().strdup(text.c_str(), text.size());
}

int32_t intfromidentifier(NPIdentifier id) {
    MAIN_THREAD_ONLY("NPN_IntFromIdentifier", INT32_MIN);
    return rt().identifierInt(id);
}

NPObject* createobject(NPP npp, NPClass* npClass) {
    MAIN_THREAD_ONLY("NPN_CreateObject", nullptr);
    return rt().createObject(npp, npClass);
}

NPObject* retainobject(NPObject* object) {
    MAIN_THREAD_ONLY("NPN_RetainObject", object);
    return rt().retain(object);
}

void releaseobject(NPObject* object) {
    MAIN_THREAD_ONLY("NPN_ReleaseObject", );
    rt().release(object);
}

// The object's class answers, when the object is alive and the class has the
// operation; a structVersion below 2 has no enumerate or construct.
#define CLASS_CALL(object, op, ...)                                                                \
    ((object) != nullptr && rt().isLive(object) && (object)->_class != nullptr &&                  \
     (object)->_class->op != nullptr && (object)->_class->op(object, __VA_ARGS__))

void voidResult(NPVariant* result) {
    if (result != nullptr) {
        result->type = NPVariantType_Void;
        result->value.objectValue = nullptr;
    }
}

bool invoke(NPP, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
            NPVariant* result) {
    MAIN_THREAD_ONLY("NPN_Invoke", false);
    voidResult(result);
    return CLASS_CALL(object, invoke, name, args, count, result);
}

bool invokeDefault(NPP, NPObject* object, const NPVariant* args, uint32_t count,
                   NPVariant* result) {
    MAIN_THREAD_ONLY("NPN_InvokeDefault", false);
    voidResult(result);
    return CLASS_CALL(object, invokeDefault, args, count, result);
}

bool evaluate(NPP npp, NPObject* object, NPString* script, NPVariant* result) {
    MAIN_THREAD_ONLY("NPN_Evaluate", false);
    voidResult(result);
    InstanceServices* services = rt().servicesOf(npp);
    if (services == nullptr || object == nullptr || script == nullptr || !rt().isLive(object))
        return false;
    return services->evaluate(script, result);
}

bool getproperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
    MAIN_THREAD_ONLY("NPN_GetProperty", false);
    voidResult(result);
    return CLASS_CALL(object, getProperty, name, result);
}

bool setproperty(NPP, NPObject* object, NPIdentifier name, const NPVariant* value) {
    MAIN_THREAD_ONLY("NPN_SetProperty", false);
    return CLASS_CALL(object, setProperty, name, value);
}

bool removeproperty(NPP, NPObject* object, NPIdentifier name) {
    MAIN_THREAD_ONLY("NPN_RemoveProperty", false);
    return CLASS_CALL(object, removeProperty, name);
}

bool hasproperty(NPP, NPObject* object, NPIdentifier name) {
    MAIN_THREAD_ONLY("NPN_HasProperty", false);
    return CLASS_CALL(object, hasProperty, name);
}

bool hasmethod(NPP, NPObject* object, NPIdentifier name) {
    MAIN_THREAD_ONLY("NPN_HasMethod", false);
    return CLASS_CALL(object, hasMethod, name);
}

void releasevariantvalue(NPVariant* value) {
    MAIN_THREAD_ONLY("NPN_ReleaseVariantValue", );
    if (value == nullptr)
        return;
    if (value->type == NPVariantType_String)
        rt().free(const_cast<NPUTF8*>(value->value.stringValue.UTF8Characters));
    else if (value->type == NPVariantType_Object)
        rt().release(value->value.objectValue);
    voidResult(value);
}

void setexception(NPObject*, const NPUTF8* message) {
    MAIN_THREAD_ONLY("NPN_SetException", );
    rt().setExceptionText(message != nullptr ? message : "");
}

int s_popupDepth = 0;

void pushpopupsenabledstate(NPP, NPBool) {
    MAIN_THREAD_ONLY("NPN_PushPopupsEnabledState", );
    ++s_popupDepth;
}

void poppopupsenabledstate(NPP) {
    MAIN_THREAD_ONLY("NPN_PopPopupsEnabledState", );
    if (s_popupDepth == 0)
        rt().fault("NPN_PopPopupsEnabledState without a matching push");
    else
        --s_popupDepth;
}

bool enumerate(NPP, NPObject* object, NPIdentifier** identifiers, uint32_t* count) {
    MAIN_THREAD_ONLY("NPN_Enumerate", false);
    if (object == nullptr || object->_class == nullptr || object->_class->structVersion < 2)
        return false;
    return CLASS_CALL(object, enumerate, identifiers, count);
}

void pluginthreadasynccall(NPP npp, void (*function)(void*), void* data) {
    rt().postAsyncCall(npp, function, data);
}

bool construct(NPP, NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
    MAIN_THREAD_ONLY("NPN_Construct", false);
    voidResult(result);
    if (object == nullptr || object->_class == nullptr || object->_class->structVersion < 2)
        return false;
    return CLASS_CALL(object, construct, args, count, result);
}

NPError getvalueforurl(NPP, int variable, const char* url, char** value, uint32_t* length) {
    MAIN_THREAD_ONLY("NPN_GetValueForURL", NPERR_GENERIC_ERROR);
    const int kProxy = 502;
    if (variable != kProxy || url == nullptr || value == nullptr || length == nullptr)
        return NPERR_GENERIC_ERROR;
    // No proxy between this browser and anything.
    *value = rt().strdup("DIRECT", 6);
    *length = 6;
    return NPERR_NO_ERROR;
}

NPError setvalueforurl(NPP, int, const char*, const char*, uint32_t) {
    MAIN_THREAD_ONLY("NPN_SetValueForURL", NPERR_GENERIC_ERROR);
    return NPERR_GENERIC_ERROR;
}

NPError getauthenticationinfo(NPP, const char*, const char*, int32_t, const char*, const char*,
                              char**, uint32_t*, char**, uint32_t*) {
    MAIN_THREAD_ONLY("NPN_GetAuthenticationInfo", NPERR_GENERIC_ERROR);
    return NPERR_GENERIC_ERROR;
}

uint32_t scheduletimer(NPP, uint32_t, NPBool, void (*)(NPP, uint32_t)) {
    MAIN_THREAD_ONLY("NPN_ScheduleTimer", 0);
    return 0; // refused: plug-ins fall back to their own timers
}

void unscheduletimer(NPP, uint32_t) {
    MAIN_THREAD_ONLY("NPN_UnscheduleTimer", );
}

} // namespace

void NpRuntime::initTable(uint16_t version, const std::string& userAgent) {
    m_userAgent = userAgent;
    NPNetscapeFuncs& t = m_table;
    t = NPNetscapeFuncs{};
    t.version = version;
    t.geturl = geturl;
    t.posturl = posturl;
    t.requestread = requestread;
    t.newstream = newstream;
    t.write = write;
    t.destroystream = destroystream;
    t.status = status;
    t.uagent = uagent;
    t.memalloc = memalloc;
    t.memfree = memfree;
    t.memflush = memflush;
    t.reloadplugins = reloadplugins;
    t.geturlnotify = geturlnotify;
    t.posturlnotify = posturlnotify;
    t.getvalue = getvalue;
    t.setvalue = setvalue;
    t.invalidaterect = invalidaterect;
    t.invalidateregion = invalidateregion;
    t.forceredraw = forceredraw;
    t.getstringidentifier = getstringidentifier;
    t.getstringidentifiers = getstringidentifiers;
    t.getintidentifier = getintidentifier;
    t.identifierisstring = identifierisstring;
    t.utf8fromidentifier = utf8fromidentifier;
    t.intfromidentifier = intfromidentifier;
    t.createobject = createobject;
    t.retainobject = retainobject;
    t.releaseobject = releaseobject;
    t.invoke = invoke;
    t.invokeDefault = invokeDefault;
    t.evaluate = evaluate;
    t.getproperty = getproperty;
    t.setproperty = setproperty;
    t.removeproperty = removeproperty;
    t.hasproperty = hasproperty;
    t.hasmethod = hasmethod;
    t.releasevariantvalue = releasevariantvalue;
    t.setexception = setexception;
    size_t size = offsetof(NPNetscapeFuncs, pushpopupsenabledstate);
    // Entries in table order with the version that brought them.
    if (version >= 16) {
        t.pushpopupsenabledstate = pushpopupsenabledstate;
        t.poppopupsenabledstate = poppopupsenabledstate;
        size = offsetof(NPNetscapeFuncs, enumerate);
    }
    if (version >= 18) {
        t.enumerate = enumerate;
        size = offsetof(NPNetscapeFuncs, pluginthreadasynccall);
    }
    if (version >= 19) {
        t.pluginthreadasynccall = pluginthreadasynccall;
        t.construct = construct;
        size = offsetof(NPNetscapeFuncs, getvalueforurl);
    }
    if (version >= 21) {
        t.getvalueforurl = getvalueforurl;
        t.setvalueforurl = setvalueforurl;
        t.getauthenticationinfo = getauthenticationinfo;
        size = offsetof(NPNetscapeFuncs, scheduletimer);
    }
    if (version >= 23) {
        t.scheduletimer = scheduletimer;
        t.unscheduletimer = unscheduletimer;
        size = offsetof(NPNetscapeFuncs, popupcontextmenu);
    }
    t.size = static_cast<uint16_t>(size);
}

void NpRuntime::releaseBrowserValue(NPVariant& value) {
    if (value.type == NPVariantType_String)
        free(const_cast<NPUTF8*>(value.value.stringValue.UTF8Characters));
    else if (value.type == NPVariantType_Object)
        browserRelease(value.value.objectValue);
    voidResult(&value);
}

} // namespace npbrowser
