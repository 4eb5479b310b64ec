#pragma once
// One NPAPI instance's access to the browser: the browser's function table for
// that instance, value conversion between FW::variant and NPVariant, the cache
// of scripting-object wrappers handed to the browser, and main-thread calls
// through the browser's thread-async call.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "BrowserHost.h"
#include "Mutex.h"
#include "npapi_abi.h"

namespace FW {
namespace Npapi {

class NPJavascriptObject;
class NPObjectAPI;
class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;
using NpapiBrowserHostWeakPtr = std::weak_ptr<NpapiBrowserHost>;

class NpapiBrowserHost : public BrowserHost {
public:
    explicit NpapiBrowserHost(NPP npp);
    ~NpapiBrowserHost() override;

    // Copies the entries the browser's table carries (the rest stay zero) and
    // reads the page's window, document and plug-in element.
    void setBrowserFuncs(const NPNetscapeFuncs* funcs);

    EventContext getContextID() const override { return m_npp; }
    NPP getContextNPP() const { return m_npp; }

    DOM::DocumentPtr getDOMDocument() override;
    DOM::WindowPtr getDOMWindow() override;
    DOM::ElementPtr getDOMElement() override;
    // The browser's document origin where it offers one, else the window's
    // location.
    std::string getPageAddress() override;
    using BrowserHost::evaluateJavaScript;
    void evaluateJavaScript(const std::string& script) override;
    void Navigate(const std::string& url, const std::string& target) override;
    bool DetectProxySettings(std::map<std::string, std::string>& settings,
                             const std::string& url) override;
    void shutdown() override;
    // From here on no call reaches the page: only the browser's release
    // functions stay (objects, values, memory, streams), so the plug-in can
    // still give back what it holds.
    // NPP_Destroy calls it first; shutdown too.
    void closePage();
    void DeferredRelease() override;
    bool ScheduleAsyncCall(void (*function)(void*), void* data) override;

    // Value conversion. getNPVariant's result belongs to the receiver, who
    // frees it with ReleaseVariantValue.
    variant getVariant(const NPVariant* npVariant);
    void getNPVariant(NPVariant* dst, const variant& src);
    // A new page array holding the values, as getNPVariant makes one for a list.
    void getNPArray(NPVariant* dst, const VariantList& values);
    // The browser-side object for a scripting object: one NPObject per live
    // scripting object; the answer is retained for the caller.
    NPObject* getJSAPIWrapper(const JSAPIPtr& api, bool autoRelease);
    std::string StringFromIdentifier(NPIdentifier identifier) const;

    // The browser's functions for this instance; each answers a failure
    // (false, null, an error code) when the browser does not offer it.
    void* MemAlloc(uint32_t size) const;
    void MemFree(void* ptr) const;
    char* StringDup(const std::string& text) const;
    NPError GetValue(NPNVariable variable, void* value) const;
    NPIdentifier GetStringIdentifier(const std::string& name) const;
    NPIdentifier GetIntIdentifier(int32_t id) const;
    bool IdentifierIsString(NPIdentifier identifier) const;
    int32_t IntFromIdentifier(NPIdentifier identifier) const;
    NPObject* CreateObject(NPClass* npClass) const;
    NPObject* RetainObject(NPObject* object) const;
    // From another thread the release is queued and done on the main thread
    // at its next turn.
    void ReleaseObject(NPObject* object);
    void ReleaseVariantValue(NPVariant* value) const;
    bool Invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                NPVariant* result) const;
    bool InvokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                       NPVariant* result) const;
    bool Evaluate(NPObject* object, NPString* script, NPVariant* result) const;
    bool GetProperty(NPObject* object, NPIdentifier name, NPVariant* result) const;
    bool SetProperty(NPObject* object, NPIdentifier name, const NPVariant* value) const;
    bool RemoveProperty(NPObject* object, NPIdentifier name) const;
    bool HasProperty(NPObject* object, NPIdentifier name) const;
    bool HasMethod(NPObject* object, NPIdentifier name) const;
    bool Enumerate(NPObject* object, NPIdentifier** identifiers, uint32_t* count) const;
    bool Construct(NPObject* object, const NPVariant* args, uint32_t count,
                   NPVariant* result) const;
    void SetException(NPObject* object, const std::string& message) const;
    NPError SetValue(NPPVariable variable, void* value) const;
    void InvalidateRect(NPRect* rect) const;
    NPError GetURL(const char* url, const char* target) const;
    NPError GetURLNotify(const char* url, const char* target, void* notifyData) const;
    NPError PostURLNotify(const char* url, const char* target, uint32_t len, const char* buf,
                          bool file, void* notifyData) const;
    NPError RequestRead(NPStream* stream, NPByteRange* ranges) const;
    int32_t Write(NPStream* stream, int32_t len, void* buffer) const;
    NPError DestroyStream(NPStream* stream, NPReason reason) const;
    NPError GetValueForURL(int variable, const char* url, char** value, uint32_t* length) const;
    const char* UserAgent() const;
    void PushPopupsEnabledState(bool enabled) const;
    void PopPopupsEnabledState() const;
    bool HasEnumerate() const;

protected:
    BrowserStreamPtr _createStream(const BrowserStreamRequest& request) override;
    BrowserStreamPtr _createUnsolicitedStream(const BrowserStreamRequest& request) override;

private:
    NPObject* windowObject() const;
    // Page objects wrapped for the core; at shutdown those still alive give
    // their browser references back, as nothing may reach the browser later.
    std::shared_ptr<NPObjectAPI> wrapPageObject(NPObject* object);
    void releasePageObjects();

    NPP m_npp;
    NPNetscapeFuncs m_funcs{};
    // Read from any thread; cleared at shutdown.
    std::atomic<NPN_PluginThreadAsyncCallFuncPtr> m_asyncCall{nullptr};
    JSObjectPtr m_windowObject;
    JSObjectPtr m_elementObject;
    DOM::WindowPtr m_domWindow;
    DOM::DocumentPtr m_domDocument;
    DOM::ElementPtr m_domElement;
    std::map<const JSAPI*, std::weak_ptr<NPJavascriptObject>> m_wrapperCache;
    std::vector<std::weak_ptr<NPObjectAPI>> m_pageObjects;
    size_t m_pageObjectsPruneAt = 64;
    void scheduleDeferredRelease();

    FW::Mutex m_releaseMutex;
    std::vector<NPObject*> m_pendingReleases;
    bool m_releaseScheduled = false;
    // Identifiers live as long as the process, so each one's text is asked of
    // the browser once (main thread only); every scripted call names one.
    mutable std::unordered_map<NPIdentifier, std::string> m_identifierTexts;
};

} // namespace Npapi
} // namespace FW
