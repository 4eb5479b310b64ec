#pragma once
// One ActiveX control's access to Internet Explorer: the page through the web
// browser, its document and window and the control's site; value conversion
// between FW::variant and VARIANT; the wrappers that stand for scripting
// objects in the page; page objects held for the core; and main-thread calls
// through a message-only window.

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "com_ptr.h"
#include "Mutex.h"

namespace FW {
namespace ActiveX {

class ActiveXBrowserHost;
using ActiveXBrowserHostPtr = std::shared_ptr<ActiveXBrowserHost>;
using ActiveXBrowserHostWeakPtr = std::weak_ptr<ActiveXBrowserHost>;

// A page object the host holds for the core: the reference goes back on the
// browser's thread when the host releases it, or at shutdown.
using IDispatchSRef = std::shared_ptr<IDispatch>;
using IDispatchWRef = std::weak_ptr<IDispatch>;

// What a wrapper in the cache must offer: a liveness token that expires when
// the wrapper is being destroyed.
using WrapperToken = std::weak_ptr<void>;

class ActiveXBrowserHost : public BrowserHost {
public:
    // Creates the call window (std::runtime_error when it cannot), then resume.
    ActiveXBrowserHost(IOleClientSite* site, IWebBrowser2* webBrowser);
    ~ActiveXBrowserHost() override;

    // Keeps a new web browser and site; reads the document and window once.
    void resume(IWebBrowser2* webBrowser, IOleClientSite* site);

    EventContext getContextID() const override { return this; }
    DOM::DocumentPtr getDOMDocument() override;
    DOM::WindowPtr getDOMWindow() override;
    DOM::ElementPtr getDOMElement() override;
    // The web browser's LocationURL, else the document's URL.
    std::string getPageAddress() override;
    void Navigate(const std::string& url, const std::string& target) override;
    using BrowserHost::evaluateJavaScript;
    void evaluateJavaScript(const std::string& script) override;
    void shutdown() override;
    void DeferredRelease() override;
    bool ScheduleAsyncCall(void (*function)(void*), void* data) override;
    // Internet Explorer's own DOM wrappers over page objects.
    DOM::WindowPtr wrapWindow(const JSObjectPtr& object) const override;
    DOM::DocumentPtr wrapDocument(const JSObjectPtr& object) const override;
    DOM::ElementPtr wrapElement(const JSObjectPtr& object) const override;
    DOM::NodePtr wrapNode(const JSObjectPtr& object) const override;

    // Value conversion: getComVariant clears dst first.
    variant getVariant(const VARIANT* value);
    void getComVariant(VARIANT* dst, const variant& src);
    // The COM object standing for a scripting object (a new reference): one
    // per live scripting object.
    IDispatchEx* getJSAPIWrapper(const JSAPIPtr& api, bool autoRelease);
    // Enters an existing wrapper (the control itself) for its scripting object.
    void cacheJSAPIWrapper(const JSAPIPtr& api, IDispatchEx* wrapper, const WrapperToken& token);

    // Holds a page object for a wrapper; released through releaseIDispatch.
    IDispatchWRef holdIDispatch(IDispatch* object);
    void releaseIDispatch(const IDispatchWRef& object);
    // A page object wrapped for the core.
    JSObjectPtr wrapIDispatch(IDispatch* object);

    IWebBrowser2* webBrowser() const { return m_webBrowser; }
    IHTMLWindow2* htmlWindow() const { return m_htmlWindow; }
    size_t heldObjectCount();
    size_t wrapperCacheSize();

protected:
    // A download or upload over URL monikers, started from the message loop;
    // null when the URL cannot be bound.
    BrowserStreamPtr _createStream(const BrowserStreamRequest& request) override;

private:
    struct CacheEntry {
        IDispatchEx* wrapper;
        WrapperToken alive;
        JSAPIWeakPtr api;
    };
    struct AsyncCall {
        void (*function)(void*);
        void* data;
    };

    // A value that is not passed by reference.
    variant variantOf(const VARIANT& value);
    void createCallWindow();
    void destroyCallWindow(std::vector<AsyncCall>& pending);
    static LRESULT CALLBACK CallWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    ATL::CComPtr<IOleClientSite> m_site;
    ATL::CComPtr<IDispatch> m_document;
    ATL::CComPtr<IHTMLWindow2> m_htmlWindow;
    ATL::CComPtr<IWebBrowser2> m_webBrowser;
    DOM::WindowPtr m_domWindow;
    DOM::DocumentPtr m_domDocument;

    HWND m_callWindow = nullptr;
    std::wstring m_callWindowClass;
    FW::Mutex m_callWindowMutex;

    FW::Mutex m_heldMutex;
    std::list<IDispatchSRef> m_heldObjects;
    std::vector<IDispatchWRef> m_deferredRelease;

    FW::Mutex m_cacheMutex;
    std::map<const JSAPI*, CacheEntry> m_wrapperCache;
};

} // namespace ActiveX
} // namespace FW
