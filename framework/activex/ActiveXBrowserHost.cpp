#include "ActiveXBrowserHost.h"

#include <atomic>
#include <stdexcept>

#include "AXDOM.h"
#include "ActiveXStream.h"
#include "BrowserStreamRequest.h"
#include "COMJavascriptObject.h"
#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "FactoryBase.h"
#include "IDispatchAPI.h"
#include "JSExceptions.h"
#include "com_types.h"
#include "utf8_tools.h"

FW::FactoryBasePtr getFactoryInstance();

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace FW {
namespace ActiveX {

namespace {

const UINT kAsyncCallMessage = WM_USER + 1;
std::atomic<unsigned> s_callWindowSequence{0};

// The call window's class belongs to the library that holds this code: two
// framework-built controls in one process then number their classes apart.
HINSTANCE thisModule() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::string bstrToUtf8(BSTR text) {
    if (!text)
        return std::string();
    try {
        return wstring_to_utf8(std::wstring(text, SysStringLen(text)));
    } catch (const std::exception&) {
        throw invalid_arguments("Invalid UTF-16 text");
    }
}

void setBstr(VARIANT* dst, const std::wstring& text) {
    dst->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!dst->bstrVal)
        throw std::bad_alloc();
    dst->vt = VT_BSTR;
}

// The kinds that are read through a conversion to a wider one; anything
// else is no value.
variant convertedVariant(const VARIANT& source) {
    ATL::CComVariant changed;
    auto change = [&](VARTYPE type) {
        return SUCCEEDED(VariantChangeType(&changed, const_cast<VARIANT*>(&source), 0, type));
    };
    switch (source.vt) {
    case VT_I2:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_INT:
        if (change(VT_I4))
            return variant(static_cast<long>(changed.lVal));
        break;
    case VT_R4:
    case VT_DECIMAL:
        if (change(VT_R8))
            return variant(changed.dblVal);
        break;
    case VT_ERROR:
        return variant(change(VT_BOOL) && changed.boolVal == VARIANT_TRUE);
    case VT_UI4:
    case VT_UINT:
        if (change(VT_UI4))
            return variant(static_cast<unsigned long>(changed.ulVal));
        break;
    case VT_LPSTR:
    case VT_LPWSTR:
    case VT_CLSID:
        if (change(VT_BSTR))
            return variant(bstrToUtf8(changed.bstrVal));
        break;
    default:
        break;
    }
    return variant();
}

WrapperToken wrapperTokenOf(IUnknown* object) {
    ATL::CComPtr<IFWScriptingObjectOwner> owner;
    if (FAILED(object->QueryInterface(IID_IFWScriptingObjectOwner,
                                      reinterpret_cast<void**>(&owner))) ||
        !owner)
        return WrapperToken();
    return owner->wrapperToken();
}

} // namespace

ActiveXBrowserHost::ActiveXBrowserHost(IOleClientSite* site, IWebBrowser2* webBrowser) {
    createCallWindow();
    resume(webBrowser, site);
}

ActiveXBrowserHost::~ActiveXBrowserHost() {
    std::vector<AsyncCall> pending;
    destroyCallWindow(pending);
    for (const AsyncCall& call : pending)
        call.function(call.data);
}

void ActiveXBrowserHost::createCallWindow() {
    const unsigned sequence = ++s_callWindowSequence;
    m_callWindowClass = L"FWEventWindow" + std::to_wstring(sequence);
    const std::wstring name = L"FrameworkEventWindow" + std::to_wstring(sequence);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &ActiveXBrowserHost::CallWindowProc;
    wc.hInstance = thisModule();
    wc.lpszClassName = m_callWindowClass.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Could not register window class");
    m_callWindow = CreateWindowExW(0, m_callWindowClass.c_str(), name.c_str(), 0, 0, 0, 0, 0,
                                   HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!m_callWindow) {
        UnregisterClassW(m_callWindowClass.c_str(), wc.hInstance);
        throw std::runtime_error("Could not create Message Window");
    }
}

void ActiveXBrowserHost::destroyCallWindow(std::vector<AsyncCall>& pending) {
    std::lock_guard<std::mutex> lock(m_callWindowMutex);
    if (!m_callWindow)
        return;
    // Calls still queued are handed back, so their records are not lost.
    MSG msg;
    while (PeekMessageW(&msg, m_callWindow, kAsyncCallMessage, kAsyncCallMessage, PM_REMOVE)) {
        auto* call = reinterpret_cast<AsyncCall*>(msg.lParam);
        if (call) {
            pending.push_back(*call);
            delete call;
        }
    }
    DestroyWindow(m_callWindow);
    UnregisterClassW(m_callWindowClass.c_str(), thisModule());
    m_callWindow = nullptr;
}

LRESULT CALLBACK ActiveXBrowserHost::CallWindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                                    LPARAM lParam) {
    if (msg != kAsyncCallMessage)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    auto* call = reinterpret_cast<AsyncCall*>(lParam);
    if (call) {
        try {
            call->function(call->data);
        } catch (...) {
            // Nothing may leave a window procedure.
        }
        delete call;
    }
    return 0;
}

BrowserStreamPtr ActiveXBrowserHost::_createStream(const BrowserStreamRequest& request) {
    ActiveXStreamPtr stream;
    if (request.method == "GET")
        stream = std::make_shared<ActiveXStream>(request.uri, request.cache, request.seekable,
                                                 request.bufferSize);
    else
        stream = std::make_shared<ActiveXStream>(request.uri, request.cache, request.seekable,
                                                 request.bufferSize, request.postdata,
                                                 request.postheaders);
    if (!ActiveXStream::isBindable(request.uri))
        return BrowserStreamPtr();
    // urlmon may read a file: URL whole inside the call that starts the
    // binding, before the stream's observers are attached: it starts from the
    // message loop instead, and a refusal then ends it as failed.
    const bool scheduled = ScheduleOnMainThread(stream, [stream] {
        if (!stream->init())
            stream->signalCompleted(false);
    });
    return scheduled ? stream : BrowserStreamPtr();
}

bool ActiveXBrowserHost::ScheduleAsyncCall(void (*function)(void*), void* data) {
    std::lock_guard<std::mutex> lock(m_callWindowMutex);
    if (isShutDown() || !m_callWindow)
        return false;
    auto* call = new AsyncCall{function, data};
    if (!PostMessageW(m_callWindow, kAsyncCallMessage, 0, reinterpret_cast<LPARAM>(call))) {
        delete call;
        return false;
    }
    return true;
}

void ActiveXBrowserHost::resume(IWebBrowser2* webBrowser, IOleClientSite* site) {
    if (webBrowser != m_webBrowser)
        m_webBrowser = webBrowser;
    if (site != m_site)
        m_site = site;
    if (m_webBrowser && !m_document) {
        ATL::CComPtr<IDispatch> document;
        if (SUCCEEDED(m_webBrowser->get_Document(&document)) && document) {
            ATL::CComQIPtr<IHTMLDocument2> html(document);
            if (html) {
                m_document = document;
                m_htmlWindow.Release();
                html->get_parentWindow(&m_htmlWindow);
            }
        }
    }
}

DOM::WindowPtr ActiveXBrowserHost::getDOMWindow() {
    if (!m_domWindow && m_htmlWindow) {
        ATL::CComQIPtr<IDispatch> window(m_htmlWindow);
        if (window)
            m_domWindow = DOM::Window::create(wrapIDispatch(window));
    }
    return m_domWindow;
}

DOM::DocumentPtr ActiveXBrowserHost::getDOMDocument() {
    if (!m_domDocument && m_document)
        m_domDocument = DOM::Document::create(wrapIDispatch(m_document));
    return m_domDocument;
}

DOM::ElementPtr ActiveXBrowserHost::getDOMElement() {
    ATL::CComQIPtr<IOleControlSite> controlSite(m_site);
    ATL::CComPtr<IDispatch> extended;
    if (!controlSite || FAILED(controlSite->GetExtendedControl(&extended)) || !extended)
        return DOM::ElementPtr();
    ATL::CComQIPtr<IHTMLElement2> element(extended);
    if (!element)
        return DOM::ElementPtr();
    ATL::CComQIPtr<IDispatch> dispatch(element);
    return DOM::Element::create(wrapIDispatch(dispatch));
}

void ActiveXBrowserHost::Navigate(const std::string& url, const std::string& target) {
    if (!m_webBrowser)
        throw script_error("Can't navigate: no web browser");
    ATL::CComBSTR bstrUrl(utf8_to_wstring(url).c_str());
    ATL::CComVariant flags;
    ATL::CComVariant frame(utf8_to_wstring(target).c_str());
    ATL::CComVariant postData;
    ATL::CComVariant headers;
    m_webBrowser->Navigate(bstrUrl, &flags, &frame, &postData, &headers);
}

void ActiveXBrowserHost::evaluateJavaScript(const std::string& script) {
    if (!m_htmlWindow)
        throw script_error("Can't execute JavaScript: Window is NULL");
    ATL::CComBSTR code(utf8_to_wstring(script).c_str());
    ATL::CComBSTR language(L"javascript");
    ATL::CComVariant result;
    if (FAILED(m_htmlWindow->execScript(code, language, &result)))
        throw script_error("Error executing JavaScript code");
}

void ActiveXBrowserHost::shutdown() {
    std::vector<AsyncCall> pending;
    destroyCallWindow(pending);
    {
        std::list<IDispatchSRef> held;
        {
            std::lock_guard<std::mutex> lock(m_heldMutex);
            held.swap(m_heldObjects);
            m_deferredRelease.clear();
        }
    }
    BrowserHost::shutdown();
    // Queued calls only free their records now: the base has run what was pending.
    for (const AsyncCall& call : pending)
        call.function(call.data);
    m_domWindow.reset();
    m_domDocument.reset();
    m_htmlWindow.Release();
    m_document.Release();
    m_webBrowser.Release();
    m_site.Release();
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    m_wrapperCache.clear();
}

IDispatchWRef ActiveXBrowserHost::holdIDispatch(IDispatch* object) {
    object->AddRef();
    IDispatchSRef held(object, [](IDispatch* p) { p->Release(); });
    std::lock_guard<std::mutex> lock(m_heldMutex);
    if (isShutDown()) {
        // Nothing is kept past shutdown: the wrapper stands for nothing.
        return IDispatchWRef();
    }
    m_heldObjects.push_back(held);
    return held;
}

void ActiveXBrowserHost::releaseIDispatch(const IDispatchWRef& object) {
    {
        std::lock_guard<std::mutex> lock(m_heldMutex);
        m_deferredRelease.push_back(object);
    }
    if (isMainThread())
        DeferredRelease();
    else
        queueCall([weak = std::weak_ptr<BrowserHost>(shared_from_this())] {
            if (auto self = weak.lock())
                self->DeferredRelease();
        });
}

void ActiveXBrowserHost::DeferredRelease() {
    std::list<IDispatchSRef> released;
    {
        std::lock_guard<std::mutex> lock(m_heldMutex);
        for (const IDispatchWRef& weak : m_deferredRelease) {
            IDispatchSRef object = weak.lock();
            if (!object)
                continue;
            for (auto it = m_heldObjects.begin(); it != m_heldObjects.end(); ++it) {
                if (*it == object) {
                    released.splice(released.end(), m_heldObjects, it);
                    break;
                }
            }
        }
        m_deferredRelease.clear();
    }
    released.clear();
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    for (auto it = m_wrapperCache.begin(); it != m_wrapperCache.end();) {
        if (it->second.alive.expired())
            it = m_wrapperCache.erase(it);
        else
            ++it;
    }
}

size_t ActiveXBrowserHost::heldObjectCount() {
    std::lock_guard<std::mutex> lock(m_heldMutex);
    return m_heldObjects.size();
}

size_t ActiveXBrowserHost::wrapperCacheSize() {
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_wrapperCache.size();
}

JSObjectPtr ActiveXBrowserHost::wrapIDispatch(IDispatch* object) {
    if (!object)
        return JSObjectPtr();
    return IDispatchAPI::create(object,
                                std::static_pointer_cast<ActiveXBrowserHost>(shared_from_this()));
}

// ---- DOM wrappers

namespace {

// The page object's own IDispatch (a new reference), or null.
IDispatch* dispatchOf(const JSObjectPtr& object) {
    auto page = std::dynamic_pointer_cast<IDispatchAPI>(object);
    return page && !page->isOwnObject() ? page->getIDispatch() : nullptr;
}

template <class AX, class Base>
std::shared_ptr<Base> wrapWith(const JSObjectPtr& object, IWebBrowser2* webBrowser) {
    if (!object)
        return nullptr;
    ATL::CComPtr<IDispatch> dispatch;
    dispatch.Attach(dispatchOf(object));
    if (!dispatch)
        return std::make_shared<Base>(object);
    return std::make_shared<AX>(object, dispatch, webBrowser);
}

} // namespace

DOM::WindowPtr ActiveXBrowserHost::wrapWindow(const JSObjectPtr& object) const {
    return wrapWith<AXDOM::Window, DOM::Window>(object, m_webBrowser);
}

DOM::DocumentPtr ActiveXBrowserHost::wrapDocument(const JSObjectPtr& object) const {
    return wrapWith<AXDOM::Document, DOM::Document>(object, m_webBrowser);
}

DOM::ElementPtr ActiveXBrowserHost::wrapElement(const JSObjectPtr& object) const {
    return wrapWith<AXDOM::Element, DOM::Element>(object, m_webBrowser);
}

DOM::NodePtr ActiveXBrowserHost::wrapNode(const JSObjectPtr& object) const {
    return wrapWith<AXDOM::Node, DOM::Node>(object, m_webBrowser);
}

// ---- value conversion

variant ActiveXBrowserHost::getVariant(const VARIANT* value) {
    if (!value)
        return variant();
    // A value passed by reference is read through its reference.
    if (value->vt & VT_BYREF) {
        ATL::CComVariant local;
        if (FAILED(VariantCopyInd(&local, const_cast<VARIANT*>(value))))
            return variant();
        return variantOf(local);
    }
    return variantOf(*value);
}

variant ActiveXBrowserHost::variantOf(const VARIANT& source) {
    switch (source.vt) {
    case VT_NULL:
        return variant(variant_detail::null());
    case VT_I4:
        return variant(static_cast<long>(source.lVal));
    case VT_R8:
        return variant(source.dblVal);
    case VT_BOOL:
        return variant(source.boolVal == VARIANT_TRUE);
    case VT_I8:
        return variant(static_cast<long long>(source.llVal));
    case VT_UI8:
        return variant(static_cast<unsigned long long>(source.ullVal));
    case VT_BSTR:
        return variant(bstrToUtf8(source.bstrVal));
    case VT_DISPATCH:
        return variant(source.pdispVal ? wrapIDispatch(source.pdispVal) : JSObjectPtr());
    default:
        break;
    }
    return convertedVariant(source);
}

void ActiveXBrowserHost::getComVariant(VARIANT* dst, const variant& src) {
    VariantClear(dst);
    auto setDispatch = [dst](IDispatch* object) {
        if (!object) {
            dst->vt = VT_NULL;
            return;
        }
        dst->vt = VT_DISPATCH;
        dst->pdispVal = object;
    };
    auto wrapApi = [&](const JSAPIPtr& api, bool autoRelease) {
        if (!api) {
            dst->vt = VT_NULL;
            return;
        }
        if (auto page = std::dynamic_pointer_cast<IDispatchAPI>(api)) {
            if (!page->isOwnObject()) {
                setDispatch(page->getIDispatch());
                return;
            }
            if (JSAPIPtr own = page->getJSAPI()) {
                setDispatch(getJSAPIWrapper(own, autoRelease));
                return;
            }
            dst->vt = VT_NULL;
            return;
        }
        setDispatch(getJSAPIWrapper(api, autoRelease));
    };
    if (src.holds<bool>()) {
        dst->vt = VT_BOOL;
        dst->boolVal = src.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (src.holds<long>()) {
        dst->vt = VT_I4;
        dst->lVal = src.get<long>();
    } else if (src.holds<int>()) {
        dst->vt = VT_I4;
        dst->lVal = src.get<int>();
    } else if (src.holds<std::string>()) {
        setBstr(dst, utf8_to_wstring(src.get<std::string>()));
    } else if (src.holds<std::wstring>()) {
        setBstr(dst, src.get<std::wstring>());
    } else if (src.holds<double>()) {
        dst->vt = VT_R8;
        dst->dblVal = src.get<double>();
    } else if (src.holds<float>()) {
        dst->vt = VT_R4;
        dst->fltVal = src.get<float>();
    } else if (src.holds<char>()) {
        dst->vt = VT_I1;
        dst->cVal = src.get<char>();
    } else if (src.holds<unsigned char>()) {
        dst->vt = VT_UI1;
        dst->bVal = src.get<unsigned char>();
    } else if (src.holds<short>()) {
        dst->vt = VT_I2;
        dst->iVal = src.get<short>();
    } else if (src.holds<unsigned short>()) {
        dst->vt = VT_UI2;
        dst->uiVal = src.get<unsigned short>();
    } else if (src.holds<unsigned int>()) {
        dst->vt = VT_UI4;
        dst->ulVal = src.get<unsigned int>();
    } else if (src.holds<unsigned long>()) {
        dst->vt = VT_UI4;
        dst->ulVal = static_cast<ULONG>(src.get<unsigned long>());
    } else if (src.holds<long long>()) {
        dst->vt = VT_I8;
        dst->llVal = src.get<long long>();
    } else if (src.holds<unsigned long long>()) {
        dst->vt = VT_UI8;
        dst->ullVal = src.get<unsigned long long>();
    } else if (src.holds<VariantList>()) {
        DOM::WindowPtr window = getDOMWindow();
        if (!window)
            throw script_error("Cannot make a script array without a page window");
        JSObjectPtr array = window->createArray();
        for (const variant& item : src.get<VariantList>())
            array->Invoke("push", VariantList{item});
        getComVariant(dst, variant(array));
    } else if (src.holds<VariantMap>()) {
        DOM::WindowPtr window = getDOMWindow();
        if (!window)
            throw script_error("Cannot make a script object without a page window");
        JSObjectPtr object = window->createMap();
        for (const auto& [name, value] : src.get<VariantMap>())
            object->SetProperty(name, value);
        getComVariant(dst, variant(object));
    } else if (src.holds<JSAPIPtr>()) {
        wrapApi(src.get<JSAPIPtr>(), true);
    } else if (src.holds<JSAPIWeakPtr>()) {
        wrapApi(src.get<JSAPIWeakPtr>().lock(), false);
    } else if (src.holds<JSObjectPtr>()) {
        wrapApi(src.get<JSObjectPtr>(), true);
    } else if (src.is_null()) {
        dst->vt = VT_NULL;
    } else {
        dst->vt = VT_EMPTY;
    }
}

IDispatchEx* ActiveXBrowserHost::getJSAPIWrapper(const JSAPIPtr& api, bool autoRelease) {
    if (!api)
        return nullptr;
    auto self = std::static_pointer_cast<ActiveXBrowserHost>(shared_from_this());
    {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        auto found = m_wrapperCache.find(api.get());
        // A live wrapper for this very object (not for an earlier one that
        // lived at the same address) is handed out again.
        if (found != m_wrapperCache.end() && !found->second.alive.expired() &&
            found->second.api.lock() == api) {
            found->second.wrapper->AddRef();
            return found->second.wrapper;
        }
    }
    IDispatchEx* wrapper = getFactoryInstance()->createCOMJSObject(self, api, autoRelease);
    WrapperToken token;
    if (!wrapper)
        wrapper = COMJavascriptObject::NewObject(self, api, autoRelease, token);
    else
        token = wrapperTokenOf(wrapper);
    if (!wrapper)
        throw script_error("Could not make a scripting wrapper");
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    m_wrapperCache[api.get()] = CacheEntry{wrapper, token, api};
    return wrapper;
}

void ActiveXBrowserHost::cacheJSAPIWrapper(const JSAPIPtr& api, IDispatchEx* wrapper,
                                           const WrapperToken& token) {
    if (!api || !wrapper)
        return;
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    m_wrapperCache[api.get()] = CacheEntry{wrapper, token, api};
}

} // namespace ActiveX
} // namespace FW
