// The floor of the NPAPI call benchmark: the least NPAPI plug-in that serves
// SetBufferTick(a, b) to script. Its scriptable object converts the two
// arguments and calls the camera control's interface directly; no framework,
// no member table, no event relay. Type application/x-orvela-floor.
#include <windows.h>

#include <new>

#include "camera_sim.h"
#include "npapi_abi.h"

namespace {

NPNetscapeFuncs* s_browser = nullptr;
NPIdentifier s_setBufferTick = nullptr;

struct Instance {
    IMorvathCtrl* camera = nullptr;
    NPObject* scriptable = nullptr;
    bool uninitialise = false;
};

struct Scriptable {
    NPObject header;
    IMorvathCtrl* camera;
};

NPObject* allocate(NPP, NPClass*) {
    auto* object = new (std::nothrow) Scriptable{};
    return object ? &object->header : nullptr;
}

void deallocate(NPObject* object) {
    auto* scriptable = reinterpret_cast<Scriptable*>(object);
    if (scriptable->camera)
        scriptable->camera->Release();
    delete scriptable;
}

bool hasMethod(NPObject*, NPIdentifier name) {
    return name == s_setBufferTick;
}

bool hasNoProperty(NPObject*, NPIdentifier) {
    return false;
}

bool toLong(const NPVariant& value, LONG* out) {
    if (value.type == NPVariantType_Int32)
        *out = value.value.intValue;
    else if (value.type == NPVariantType_Double)
        *out = static_cast<LONG>(value.value.doubleValue);
    else
        return false;
    return true;
}

bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
            NPVariant* result) {
    IMorvathCtrl* camera = reinterpret_cast<Scriptable*>(object)->camera;
    LONG tick = 0, frames = 0, answer = 0;
    if (name != s_setBufferTick || count != 2 || !camera || !toLong(args[0], &tick) ||
        !toLong(args[1], &frames) || FAILED(camera->SetBufferTick(tick, frames, &answer)))
        return false;
    result->type = NPVariantType_Int32;
    result->value.intValue = answer;
    return true;
}

NPClass s_class = {
    NP_CLASS_STRUCT_VERSION, allocate, deallocate, nullptr, hasMethod, invoke, nullptr,
    hasNoProperty,           nullptr,  nullptr,    nullptr, nullptr,   nullptr};

NPError newInstance(NPMIMEType, NPP npp, uint16_t, int16_t, char**, char**, NPSavedData*) {
    auto* instance = new (std::nothrow) Instance;
    if (!instance)
        return NPERR_OUT_OF_MEMORY_ERROR;
    npp->pdata = instance;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    instance->uninitialise = SUCCEEDED(hr);
    if (FAILED(CoCreateInstance(CLSID_MorvathCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IMorvathCtrl,
                                reinterpret_cast<void**>(&instance->camera))))
        return NPERR_GENERIC_ERROR;
    return NPERR_NO_ERROR;
}

NPError destroy(NPP npp, NPSavedData**) {
    auto* instance = static_cast<Instance*>(npp->pdata);
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (instance->scriptable)
        s_browser->releaseobject(instance->scriptable);
    if (instance->camera)
        instance->camera->Release();
    if (instance->uninitialise)
        CoUninitialize();
    delete instance;
    npp->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError setWindow(NPP, NPWindow*) {
    return NPERR_NO_ERROR;
}

int16_t handleEvent(NPP, void*) {
    return 0;
}

NPError getValue(NPP npp, NPPVariable variable, void* value) {
    auto* instance = npp ? static_cast<Instance*>(npp->pdata) : nullptr;
    if (variable != NPPVpluginScriptableNPObject || !instance || !value)
        return NPERR_GENERIC_ERROR;
    if (!instance->scriptable) {
        instance->scriptable = s_browser->createobject(npp, &s_class);
        if (!instance->scriptable)
            return NPERR_OUT_OF_MEMORY_ERROR;
        auto* scriptable = reinterpret_cast<Scriptable*>(instance->scriptable);
        scriptable->camera = instance->camera;
        if (scriptable->camera)
            scriptable->camera->AddRef();
    }
    *static_cast<NPObject**>(value) = s_browser->retainobject(instance->scriptable);
    return NPERR_NO_ERROR;
}

} // namespace

extern "C" {

NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (!funcs)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->version = 27;
    funcs->newp = newInstance;
    funcs->destroy = destroy;
    funcs->setwindow = setWindow;
    funcs->event = handleEvent;
    funcs->getvalue = getValue;
    return NPERR_NO_ERROR;
}

NPError WINAPI NP_Initialize(NPNetscapeFuncs* funcs) {
    if (!funcs)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    s_browser = funcs;
    s_setBufferTick = funcs->getstringidentifier("SetBufferTick");
    return NPERR_NO_ERROR;
}

NPError WINAPI NP_Shutdown(void) {
    s_browser = nullptr;
    return NPERR_NO_ERROR;
}
}
