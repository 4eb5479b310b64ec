#pragma once
// The NPAPI binary interface between a browser and a plug-in library: value
// types, the object and class records, and the two function tables. Written
// for this project; layouts follow the browsers' binary interface (32-bit
// Windows: default C calling convention for every table entry, WINAPI for the
// three library exports).

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int16_t NPError;
typedef int16_t NPReason;
enum : NPReason { NPRES_DONE = 0, NPRES_NETWORK_ERR = 1, NPRES_USER_BREAK = 2 };
typedef unsigned char NPBool;
typedef char* NPMIMEType;
typedef void* NPIdentifier;
typedef uint32_t NPUTF8Length;
typedef char NPUTF8;

enum : NPError {
    NPERR_NO_ERROR = 0,
    NPERR_GENERIC_ERROR = 1,
    NPERR_INVALID_INSTANCE_ERROR = 2,
    NPERR_INVALID_FUNCTABLE_ERROR = 3,
    NPERR_MODULE_LOAD_FAILED_ERROR = 4,
    NPERR_OUT_OF_MEMORY_ERROR = 5,
    NPERR_INVALID_PLUGIN_ERROR = 6,
    NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
    NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
    NPERR_INVALID_PARAM = 9,
    NPERR_INVALID_URL = 10,
    NPERR_FILE_NOT_FOUND = 11,
    NPERR_NO_DATA = 12,
    NPERR_STREAM_NOT_SEEKABLE = 13
};

enum : uint16_t { NP_EMBED = 1, NP_FULL = 2 };
enum : uint16_t { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };

// Major version in the high byte, minor in the low byte.
enum : uint16_t { NP_VERSION_MAJOR = 0, NP_VERSION_MINOR = 27 };

typedef struct _NPP {
    void* pdata; // the plug-in's
    void* ndata; // the browser's
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPRect {
    uint16_t top;
    uint16_t left;
    uint16_t bottom;
    uint16_t right;
} NPRect;

// Fixed width: a browser may pass any value.
enum NPWindowType : int32_t { NPWindowTypeWindow = 1, NPWindowTypeDrawable = 2 };

typedef struct _NPWindow {
    void* window; // HWND for a windowed plug-in, HDC for a windowless one
    int32_t x;
    int32_t y;
    uint32_t width;
    uint32_t height;
    NPRect clipRect;
    NPWindowType type;
} NPWindow;

typedef struct _NPEvent {
    uint16_t event;
    uintptr_t wParam;
    uintptr_t lParam;
} NPEvent;

typedef struct _NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct _NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
    const char* headers;
} NPStream;

typedef struct _NPByteRange {
    int32_t offset;
    uint32_t length;
    struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPPrint NPPrint;

// Fixed width: a browser may pass any value.
enum NPPVariable : int32_t {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginWindowBool = 3,
    NPPVpluginTransparentBool = 4,
    NPPVjavaClass = 5,
    NPPVpluginWindowSize = 6,
    NPPVpluginTimerInterval = 7,
    NPPVpluginScriptableInstance = 10,
    NPPVpluginScriptableIID = 11,
    NPPVjavascriptPushCallerBool = 12,
    NPPVpluginKeepLibraryInMemory = 13,
    NPPVpluginNeedsXEmbed = 14,
    NPPVpluginScriptableNPObject = 15,
    NPPVformValue = 16,
    NPPVpluginUrlRequestsDisplayedBool = 17,
    NPPVpluginWantsAllNetworkStreams = 18,
    NPPVpluginNativeAccessibleAtkPlugId = 19,
    NPPVpluginCancelSrcStream = 20,
    NPPVsupportsAdvancedKeyHandling = 21,
    NPPVpluginUsesDOMForCursorBool = 22
};

// Fixed width: a browser may pass any value.
enum NPNVariable : int32_t {
    NPNVxDisplay = 1,
    NPNVxtAppContext = 2,
    NPNVnetscapeWindow = 3,
    NPNVjavascriptEnabledBool = 4,
    NPNVasdEnabledBool = 5,
    NPNVisOfflineBool = 6,
    NPNVserviceManager = 10,
    NPNVDOMElement = 11,
    NPNVDOMWindow = 12,
    NPNVToolkit = 13,
    NPNVSupportsXEmbedBool = 14,
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16,
    NPNVSupportsWindowless = 17,
    NPNVprivateModeBool = 18,
    NPNVsupportsAdvancedKeyHandling = 21,
    NPNVdocumentOrigin = 22
};

// Fixed width: a browser may pass any value.
enum NPVariantType : int32_t {
    NPVariantType_Void,
    NPVariantType_Null,
    NPVariantType_Bool,
    NPVariantType_Int32,
    NPVariantType_Double,
    NPVariantType_String,
    NPVariantType_Object
};

typedef struct _NPString {
    const NPUTF8* UTF8Characters;
    uint32_t UTF8Length; // bytes, without a terminator
} NPString;

struct NPObject;

typedef struct _NPVariant {
    NPVariantType type;
    union {
        bool boolValue;
        int32_t intValue;
        double doubleValue;
        NPString stringValue;
        NPObject* objectValue;
    } value;
} NPVariant;

struct NPClass;

typedef NPObject* (*NPAllocateFunctionPtr)(NPP npp, NPClass* aClass);
typedef void (*NPDeallocateFunctionPtr)(NPObject* npobj);
typedef void (*NPInvalidateFunctionPtr)(NPObject* npobj);
typedef bool (*NPHasMethodFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPInvokeFunctionPtr)(NPObject* npobj, NPIdentifier name, const NPVariant* args,
                                    uint32_t argCount, NPVariant* result);
typedef bool (*NPInvokeDefaultFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                           uint32_t argCount, NPVariant* result);
typedef bool (*NPHasPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPGetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name, NPVariant* result);
typedef bool (*NPSetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                         const NPVariant* value);
typedef bool (*NPRemovePropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPEnumerationFunctionPtr)(NPObject* npobj, NPIdentifier** value, uint32_t* count);
typedef bool (*NPConstructFunctionPtr)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                       NPVariant* result);

enum : uint32_t { NP_CLASS_STRUCT_VERSION = 3 };

struct NPClass {
    uint32_t structVersion;
    NPAllocateFunctionPtr allocate;
    NPDeallocateFunctionPtr deallocate;
    NPInvalidateFunctionPtr invalidate;
    NPHasMethodFunctionPtr hasMethod;
    NPInvokeFunctionPtr invoke;
    NPInvokeDefaultFunctionPtr invokeDefault;
    NPHasPropertyFunctionPtr hasProperty;
    NPGetPropertyFunctionPtr getProperty;
    NPSetPropertyFunctionPtr setProperty;
    NPRemovePropertyFunctionPtr removeProperty;
    NPEnumerationFunctionPtr enumerate;
    NPConstructFunctionPtr construct;
};

// The header every scriptable object starts with; the browser owns the count.
struct NPObject {
    NPClass* _class;
    uint32_t referenceCount;
};

// Plug-in side: the table the library fills in NP_GetEntryPoints.
typedef NPError (*NPP_NewProcPtr)(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc,
                                  char* argn[], char* argv[], NPSavedData* saved);
typedef NPError (*NPP_DestroyProcPtr)(NPP instance, NPSavedData** save);
typedef NPError (*NPP_SetWindowProcPtr)(NPP instance, NPWindow* window);
typedef NPError (*NPP_NewStreamProcPtr)(NPP instance, NPMIMEType type, NPStream* stream,
                                        NPBool seekable, uint16_t* stype);
typedef NPError (*NPP_DestroyStreamProcPtr)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPP_StreamAsFileProcPtr)(NPP instance, NPStream* stream, const char* fname);
typedef int32_t (*NPP_WriteReadyProcPtr)(NPP instance, NPStream* stream);
typedef int32_t (*NPP_WriteProcPtr)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                    void* buffer);
typedef void (*NPP_PrintProcPtr)(NPP instance, NPPrint* platformPrint);
typedef int16_t (*NPP_HandleEventProcPtr)(NPP instance, void* event);
typedef void (*NPP_URLNotifyProcPtr)(NPP instance, const char* url, NPReason reason,
                                     void* notifyData);
typedef NPError (*NPP_GetValueProcPtr)(NPP instance, NPPVariable variable, void* value);
typedef NPError (*NPP_SetValueProcPtr)(NPP instance, NPNVariable variable, void* value);

typedef struct _NPPluginFuncs {
    uint16_t size;
    uint16_t version;
    NPP_NewProcPtr newp;
    NPP_DestroyProcPtr destroy;
    NPP_SetWindowProcPtr setwindow;
    NPP_NewStreamProcPtr newstream;
    NPP_DestroyStreamProcPtr destroystream;
    NPP_StreamAsFileProcPtr asfile;
    NPP_WriteReadyProcPtr writeready;
    NPP_WriteProcPtr write;
    NPP_PrintProcPtr print;
    NPP_HandleEventProcPtr event;
    NPP_URLNotifyProcPtr urlnotify;
    void* javaClass;
    NPP_GetValueProcPtr getvalue;
    NPP_SetValueProcPtr setvalue;
} NPPluginFuncs;

// Browser side: the table the browser hands to NP_Initialize.
typedef void (*NPN_PluginThreadAsyncCallFuncPtr)(NPP instance, void (*func)(void*), void* userData);

typedef struct _NPNetscapeFuncs {
    uint16_t size;
    uint16_t version;
    NPError (*geturl)(NPP instance, const char* url, const char* window);
    NPError (*posturl)(NPP instance, const char* url, const char* window, uint32_t len,
                       const char* buf, NPBool file);
    NPError (*requestread)(NPStream* stream, NPByteRange* rangeList);
    NPError (*newstream)(NPP instance, NPMIMEType type, const char* window, NPStream** stream);
    int32_t (*write)(NPP instance, NPStream* stream, int32_t len, void* buffer);
    NPError (*destroystream)(NPP instance, NPStream* stream, NPReason reason);
    void (*status)(NPP instance, const char* message);
    const char* (*uagent)(NPP instance);
    void* (*memalloc)(uint32_t size);
    void (*memfree)(void* ptr);
    uint32_t (*memflush)(uint32_t size);
    void (*reloadplugins)(NPBool reloadPages);
    void* (*getJavaEnv)(void);
    void* (*getJavaPeer)(NPP instance);
    NPError (*geturlnotify)(NPP instance, const char* url, const char* target, void* notifyData);
    NPError (*posturlnotify)(NPP instance, const char* url, const char* target, uint32_t len,
                             const char* buf, NPBool file, void* notifyData);
    NPError (*getvalue)(NPP instance, NPNVariable variable, void* value);
    NPError (*setvalue)(NPP instance, NPPVariable variable, void* value);
    void (*invalidaterect)(NPP instance, NPRect* rect);
    void (*invalidateregion)(NPP instance, void* region);
    void (*forceredraw)(NPP instance);
    NPIdentifier (*getstringidentifier)(const NPUTF8* name);
    void (*getstringidentifiers)(const NPUTF8** names, int32_t nameCount,
                                 NPIdentifier* identifiers);
    NPIdentifier (*getintidentifier)(int32_t intid);
    bool (*identifierisstring)(NPIdentifier identifier);
    NPUTF8* (*utf8fromidentifier)(NPIdentifier identifier);
    int32_t (*intfromidentifier)(NPIdentifier identifier);
    NPObject* (*createobject)(NPP npp, NPClass* aClass);
    NPObject* (*retainobject)(NPObject* obj);
    void (*releaseobject)(NPObject* obj);
    bool (*invoke)(NPP npp, NPObject* obj, NPIdentifier methodName, const NPVariant* args,
                   uint32_t argCount, NPVariant* result);
    bool (*invokeDefault)(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                          NPVariant* result);
    bool (*evaluate)(NPP npp, NPObject* obj, NPString* script, NPVariant* result);
    bool (*getproperty)(NPP npp, NPObject* obj, NPIdentifier propertyName, NPVariant* result);
    bool (*setproperty)(NPP npp, NPObject* obj, NPIdentifier propertyName, const NPVariant* value);
    bool (*removeproperty)(NPP npp, NPObject* obj, NPIdentifier propertyName);
    bool (*hasproperty)(NPP npp, NPObject* obj, NPIdentifier propertyName);
    bool (*hasmethod)(NPP npp, NPObject* obj, NPIdentifier propertyName);
    void (*releasevariantvalue)(NPVariant* variant);
    void (*setexception)(NPObject* obj, const NPUTF8* message);
    void (*pushpopupsenabledstate)(NPP npp, NPBool enabled);
    void (*poppopupsenabledstate)(NPP npp);
    bool (*enumerate)(NPP npp, NPObject* obj, NPIdentifier** identifier, uint32_t* count);
    NPN_PluginThreadAsyncCallFuncPtr pluginthreadasynccall;
    bool (*construct)(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                      NPVariant* result);
    NPError (*getvalueforurl)(NPP npp, int variable, const char* url, char** value, uint32_t* len);
    NPError (*setvalueforurl)(NPP npp, int variable, const char* url, const char* value,
                              uint32_t len);
    NPError (*getauthenticationinfo)(NPP npp, const char* protocol, const char* host, int32_t port,
                                     const char* scheme, const char* realm, char** username,
                                     uint32_t* ulen, char** password, uint32_t* plen);
    uint32_t (*scheduletimer)(NPP instance, uint32_t interval, NPBool repeat,
                              void (*timerFunc)(NPP npp, uint32_t timerID));
    void (*unscheduletimer)(NPP instance, uint32_t timerID);
    NPError (*popupcontextmenu)(NPP instance, void* menu);
    NPBool (*convertpoint)(NPP instance, double sourceX, double sourceY, int sourceSpace,
                           double* destX, double* destY, int destSpace);
} NPNetscapeFuncs;

} // extern "C"

// The layouts browsers were built with, checked wherever this header is
// compiled: 32-bit Windows (the shipped library) and x86-64 (its 64-bit twin
// and the native tests). ORVELA_NPAPI_ABI(i686, x86_64) picks the number.
#if defined(__i386__)
#define ORVELA_NPAPI_ABI(i686, x86_64) (i686)
#elif defined(__x86_64__)
#define ORVELA_NPAPI_ABI(i686, x86_64) (x86_64)
#endif

#ifdef ORVELA_NPAPI_ABI
#define ORVELA_NPAPI_SIZE(type, i686, x86_64)                                                      \
    static_assert(sizeof(type) == ORVELA_NPAPI_ABI(i686, x86_64), "size of " #type)
#define ORVELA_NPAPI_OFFSET(type, field, i686, x86_64)                                             \
    static_assert(offsetof(type, field) == ORVELA_NPAPI_ABI(i686, x86_64), #type "::" #field)

ORVELA_NPAPI_SIZE(NPError, 2, 2);
ORVELA_NPAPI_SIZE(NPBool, 1, 1);
ORVELA_NPAPI_SIZE(NPP_t, 8, 16);
ORVELA_NPAPI_SIZE(NPRect, 8, 8);
ORVELA_NPAPI_SIZE(NPWindow, 32, 40);
ORVELA_NPAPI_OFFSET(NPWindow, window, 0, 0);
ORVELA_NPAPI_OFFSET(NPWindow, x, 4, 8);
ORVELA_NPAPI_OFFSET(NPWindow, y, 8, 12);
ORVELA_NPAPI_OFFSET(NPWindow, width, 12, 16);
ORVELA_NPAPI_OFFSET(NPWindow, height, 16, 20);
ORVELA_NPAPI_OFFSET(NPWindow, clipRect, 20, 24);
ORVELA_NPAPI_OFFSET(NPWindow, type, 28, 32);
ORVELA_NPAPI_SIZE(NPEvent, 12, 24);
ORVELA_NPAPI_OFFSET(NPEvent, event, 0, 0);
ORVELA_NPAPI_OFFSET(NPEvent, wParam, 4, 8);
ORVELA_NPAPI_OFFSET(NPEvent, lParam, 8, 16);
ORVELA_NPAPI_SIZE(NPSavedData, 8, 16);
ORVELA_NPAPI_OFFSET(NPSavedData, buf, 4, 8);
ORVELA_NPAPI_SIZE(NPStream, 28, 48);
ORVELA_NPAPI_OFFSET(NPStream, pdata, 0, 0);
ORVELA_NPAPI_OFFSET(NPStream, ndata, 4, 8);
ORVELA_NPAPI_OFFSET(NPStream, url, 8, 16);
ORVELA_NPAPI_OFFSET(NPStream, end, 12, 24);
ORVELA_NPAPI_OFFSET(NPStream, lastmodified, 16, 28);
ORVELA_NPAPI_OFFSET(NPStream, notifyData, 20, 32);
ORVELA_NPAPI_OFFSET(NPStream, headers, 24, 40);
ORVELA_NPAPI_SIZE(NPByteRange, 12, 16);
ORVELA_NPAPI_OFFSET(NPByteRange, next, 8, 8);
ORVELA_NPAPI_SIZE(NPString, 8, 16);
ORVELA_NPAPI_OFFSET(NPString, UTF8Length, 4, 8);
ORVELA_NPAPI_SIZE(NPVariant, 16, 24);
ORVELA_NPAPI_OFFSET(NPVariant, value, 8, 8);
ORVELA_NPAPI_SIZE(NPObject, 8, 16);
ORVELA_NPAPI_OFFSET(NPObject, referenceCount, 4, 8);
ORVELA_NPAPI_SIZE(NPClass, 52, 104);
ORVELA_NPAPI_OFFSET(NPClass, allocate, 4, 8);
ORVELA_NPAPI_OFFSET(NPClass, deallocate, 8, 16);
ORVELA_NPAPI_OFFSET(NPClass, invalidate, 12, 24);
ORVELA_NPAPI_OFFSET(NPClass, hasMethod, 16, 32);
ORVELA_NPAPI_OFFSET(NPClass, invoke, 20, 40);
ORVELA_NPAPI_OFFSET(NPClass, invokeDefault, 24, 48);
ORVELA_NPAPI_OFFSET(NPClass, hasProperty, 28, 56);
ORVELA_NPAPI_OFFSET(NPClass, getProperty, 32, 64);
ORVELA_NPAPI_OFFSET(NPClass, setProperty, 36, 72);
ORVELA_NPAPI_OFFSET(NPClass, removeProperty, 40, 80);
ORVELA_NPAPI_OFFSET(NPClass, enumerate, 44, 88);
ORVELA_NPAPI_OFFSET(NPClass, construct, 48, 96);
ORVELA_NPAPI_SIZE(NPPluginFuncs, 60, 120);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, version, 2, 2);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, newp, 4, 8);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, destroy, 8, 16);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, setwindow, 12, 24);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, newstream, 16, 32);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, destroystream, 20, 40);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, asfile, 24, 48);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, writeready, 28, 56);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, write, 32, 64);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, print, 36, 72);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, event, 40, 80);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, urlnotify, 44, 88);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, javaClass, 48, 96);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, getvalue, 52, 104);
ORVELA_NPAPI_OFFSET(NPPluginFuncs, setvalue, 56, 112);
ORVELA_NPAPI_SIZE(NPNetscapeFuncs, 212, 424);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, version, 2, 2);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, geturl, 4, 8);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, posturl, 8, 16);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, requestread, 12, 24);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, newstream, 16, 32);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, write, 20, 40);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, destroystream, 24, 48);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, status, 28, 56);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, uagent, 32, 64);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, memalloc, 36, 72);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, memfree, 40, 80);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, memflush, 44, 88);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, reloadplugins, 48, 96);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getJavaEnv, 52, 104);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getJavaPeer, 56, 112);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, geturlnotify, 60, 120);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, posturlnotify, 64, 128);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getvalue, 68, 136);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, setvalue, 72, 144);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, invalidaterect, 76, 152);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, invalidateregion, 80, 160);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, forceredraw, 84, 168);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getstringidentifier, 88, 176);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getstringidentifiers, 92, 184);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getintidentifier, 96, 192);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, identifierisstring, 100, 200);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, utf8fromidentifier, 104, 208);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, intfromidentifier, 108, 216);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, createobject, 112, 224);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, retainobject, 116, 232);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, releaseobject, 120, 240);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, invoke, 124, 248);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, invokeDefault, 128, 256);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, evaluate, 132, 264);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getproperty, 136, 272);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, setproperty, 140, 280);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, removeproperty, 144, 288);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, hasproperty, 148, 296);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, hasmethod, 152, 304);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, releasevariantvalue, 156, 312);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, setexception, 160, 320);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, pushpopupsenabledstate, 164, 328);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, poppopupsenabledstate, 168, 336);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, enumerate, 172, 344);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, pluginthreadasynccall, 176, 352);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, construct, 180, 360);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getvalueforurl, 184, 368);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, setvalueforurl, 188, 376);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, getauthenticationinfo, 192, 384);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, scheduletimer, 196, 392);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, unscheduletimer, 200, 400);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, popupcontextmenu, 204, 408);
ORVELA_NPAPI_OFFSET(NPNetscapeFuncs, convertpoint, 208, 416);

#undef ORVELA_NPAPI_OFFSET
#undef ORVELA_NPAPI_SIZE
#endif

// Whether a browser table of this size carries the whole entry.
#define ORVELA_NPN_HAS(funcs, member)                                                              \
    ((funcs) != nullptr &&                                                                         \
     (funcs)->size >= offsetof(NPNetscapeFuncs, member) + sizeof((funcs)->member) &&               \
     (funcs)->member != nullptr)
