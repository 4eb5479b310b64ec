#pragma once
// The browser's half of NPAPI: the browser function table handed to plug-ins,
// interned identifiers, browser memory with accounting, object reference counts
// and the faults a real browser would punish (calls off the main thread,
// releases the plug-in did not own, objects or blocks left at shutdown).

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "npapi_abi.h"

namespace npbrowser {

// What the browser does for a plug-in instance that the runtime cannot do by
// itself: the page's objects, script evaluation, windows, the user agent.
class InstanceServices {
public:
    virtual ~InstanceServices() = default;
    virtual NPObject* windowObject() = 0;  // retained for the caller
    virtual NPObject* elementObject() = 0; // retained for the caller
    virtual HWND topWindow() = 0;
    virtual bool evaluate(NPString* script, NPVariant* result) = 0;
    virtual void setWindowless(bool windowless) = 0;
    virtual void invalidate(const NPRect* rect) = 0;
    virtual NPError getURL(const char* url, const char* target) = 0;
    virtual const NPPluginFuncs* pluginFuncs() const = 0;
};

class NpRuntime {
public:
    static NpRuntime& instance();

    // The table a browser of this version hands to NP_Initialize: entries that
    // came with later versions are absent (null, and beyond `size`).
    void initTable(uint16_t version, const std::string& userAgent);
    NPNetscapeFuncs* table() { return &m_table; }
    const std::string& userAgent() const { return m_userAgent; }

    void registerInstance(NPP npp, InstanceServices* services);
    void unregisterInstance(NPP npp);
    InstanceServices* servicesOf(NPP npp) const;

    // Browser-owned references: the page holds these through script objects
    // or for the length of a call, and the plug-in may never release them.
    NPObject* browserRetain(NPObject* object);
    // A reference the plug-in handed over (a result, the scriptable object).
    void browserAdopt(NPObject* object);
    void browserRelease(NPObject* object);
    bool isLive(NPObject* object) const { return m_objects.count(object) != 0; }
    // Objects made for an instance, for invalidation when it goes.
    std::vector<NPObject*> objectsOf(NPP npp) const;

    // Argument values the browser made for a call into the plug-in.
    void releaseBrowserValue(NPVariant& value);

    // NPN_SetException's message since the last take.
    bool takeException(std::string& message);
    void setExceptionText(const std::string& message);

    void fault(const std::string& text);
    const std::vector<std::string>& faults() const { return m_faults; }
    // Objects still alive and blocks not freed: faults once the plug-in is gone.
    void reportLeaks();

    bool onMainThread(const char* function);
    DWORD mainThread() const { return m_mainThread; }
    unsigned asyncCalls() const { return m_asyncCalls; }
    unsigned invalidations() const { return m_invalidations; }
    void countInvalidation() { ++m_invalidations; }
    size_t liveObjects() const { return m_objects.size(); }
    size_t liveBlocks() const { return m_blocks.size(); }

    // Calls posted from any thread are queued, without limit as in Firefox,
    // and run on this window's thread when it gets kAsyncCallMessage.
    void setCallWindow(HWND window) { m_callWindow = window; }
    static constexpr UINT kAsyncCallMessage = WM_APP + 1;
    void postAsyncCall(NPP npp, void (*function)(void*), void* data);
    // Runs the calls queued so far; later ones wait for the next message.
    void runAsyncCalls();
    // Drops the queued calls of a page that is closing.
    void dropAsyncCalls();

    // Identifiers are interned for the life of the process.
    NPIdentifier stringIdentifier(const char* name);
    NPIdentifier intIdentifier(int32_t value);
    bool isStringIdentifier(NPIdentifier id) const;
    std::string identifierText(NPIdentifier id) const;
    int32_t identifierInt(NPIdentifier id) const;

    void* alloc(uint32_t size);
    void free(void* block);
    char* strdup(const char* text, size_t length);

    NPObject* createObject(NPP npp, NPClass* npClass);
    NPObject* retain(NPObject* object);
    void release(NPObject* object);

private:
    NpRuntime();
    struct Identifier {
        bool isString;
        std::string text;
        int32_t value;
    };
    struct ObjectInfo {
        NPP npp;
        uint32_t browserRefs;
    };
    void deallocate(NPObject* object);

    NPNetscapeFuncs m_table{};
    std::string m_userAgent;
    DWORD m_mainThread;
    HWND m_callWindow = nullptr;
    struct AsyncCall {
        NPP npp;
        void (*function)(void*);
        void* data;
    };
    std::deque<AsyncCall> m_asyncQueue; // guarded by m_memoryLock
    std::map<std::string, Identifier*> m_stringIds;
    std::map<int32_t, Identifier*> m_intIds;
    std::set<const Identifier*> m_identifiers;
    std::map<void*, uint32_t> m_blocks;
    std::map<NPObject*, ObjectInfo> m_objects;
    std::map<NPP, InstanceServices*> m_instances;
    std::vector<std::string> m_faults;
    std::string m_exception;
    bool m_hasException = false;
    unsigned m_asyncCalls = 0;
    unsigned m_invalidations = 0;
    CRITICAL_SECTION m_memoryLock;
};

} // namespace npbrowser
