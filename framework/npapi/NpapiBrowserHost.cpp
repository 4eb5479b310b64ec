#include "NpapiBrowserHost.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "JSExceptions.h"
#include "NPJavascriptObject.h"
#include "NPObjectAPI.h"
#include "NpapiStream.h"
#include "BrowserStreamRequest.h"

namespace FW {
namespace Npapi {

#define NPN_OFFERS(member) ORVELA_NPN_HAS(&m_funcs, member)

NpapiBrowserHost::NpapiBrowserHost(NPP npp) : m_npp(npp) {}

NpapiBrowserHost::~NpapiBrowserHost() = default;

void NpapiBrowserHost::setBrowserFuncs(const NPNetscapeFuncs* funcs) {
    m_funcs = NPNetscapeFuncs{};
    if (funcs == nullptr)
        return;
    // An older browser's table is shorter; what it lacks stays zero.
    const size_t size =
        funcs->size < sizeof(NPNetscapeFuncs) ? funcs->size : sizeof(NPNetscapeFuncs);
    std::memcpy(&m_funcs, funcs, size);
    m_funcs.size = static_cast<uint16_t>(size);
    if (NPN_OFFERS(pluginthreadasynccall))
        m_asyncCall = m_funcs.pluginthreadasynccall;

    NPObject* window = nullptr;
    NPObject* element = nullptr;
    if (GetValue(NPNVWindowNPObject, &window) != NPERR_NO_ERROR)
        window = nullptr;
    if (GetValue(NPNVPluginElementNPObject, &element) != NPERR_NO_ERROR)
        element = nullptr;
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    try {
        if (window) {
            m_windowObject = wrapPageObject(window);
            m_domWindow = DOM::Window::create(m_windowObject);
        }
        if (element) {
            m_elementObject = wrapPageObject(element);
            m_domElement = DOM::Element::create(m_elementObject);
        }
    } catch (...) {
        // The wrappers hold their own references; ours are released below.
    }
    if (window)
        ReleaseObject(window);
    if (element)
        ReleaseObject(element);
    if (m_domWindow) {
        try {
            variant document = m_windowObject->GetProperty("document");
            if (document.holds<JSObjectPtr>() && document.get<JSObjectPtr>())
                m_domDocument = DOM::Document::create(document.get<JSObjectPtr>());
        } catch (const std::exception&) {
            // A page without a document still has a window.
        }
    }
}

DOM::DocumentPtr NpapiBrowserHost::getDOMDocument() {
    if (!m_domDocument)
        throw std::runtime_error("Cannot find HTML document");
    return m_domDocument;
}

DOM::WindowPtr NpapiBrowserHost::getDOMWindow() {
    if (!m_domWindow)
        throw std::runtime_error("Cannot find HTML window");
    return m_domWindow;
}

DOM::ElementPtr NpapiBrowserHost::getDOMElement() {
    if (!m_domElement)
        throw std::runtime_error("Cannot find the plug-in's HTML element");
    return m_domElement;
}

NPObject* NpapiBrowserHost::windowObject() const {
    return m_windowObject ? static_cast<NPObjectAPI&>(*m_windowObject).getNPObject() : nullptr;
}

void NpapiBrowserHost::evaluateJavaScript(const std::string& script) {
    NPObject* window = windowObject();
    if (!window)
        throw std::runtime_error("Cannot find HTML window");
    NPString text{script.c_str(), static_cast<uint32_t>(script.size())};
    NPVariant result;
    result.type = NPVariantType_Void;
    if (!Evaluate(window, &text, &result))
        throw script_error("Error executing JavaScript code");
    ReleaseVariantValue(&result);
}

void NpapiBrowserHost::Navigate(const std::string& url, const std::string& target) {
    PushPopupsEnabledState(true);
    GetURL(url.c_str(), target.c_str());
    PopPopupsEnabledState();
}

bool NpapiBrowserHost::DetectProxySettings(std::map<std::string, std::string>& settings,
                                           const std::string& url) {
    const int kProxy = 502;
    char* text = nullptr;
    uint32_t length = 0;
    const NPError answer = GetValueForURL(kProxy, url.c_str(), &text, &length);
    if (answer == NPERR_INCOMPATIBLE_VERSION_ERROR)
        return BrowserHost::DetectProxySettings(settings, url);
    if (answer != NPERR_NO_ERROR)
        return false;
    const std::string proxy = text != nullptr ? std::string(text, length) : std::string();
    MemFree(text);
    if (proxy == "DIRECT")
        return false;
    // "KIND host:port"
    const size_t space = proxy.find(' ');
    const std::string kind = proxy.substr(0, space);
    const std::string address =
        space == std::string::npos ? std::string() : proxy.substr(space + 1);
    const size_t colon = address.find(':');
    if (kind == "PROXY")
        settings["type"] = url.substr(0, url.find(':'));
    else if (kind == "SOCKS")
        settings["type"] = "socks";
    else
        settings["type"] = kind;
    settings["hostname"] = address.substr(0, colon);
    settings["port"] = colon == std::string::npos ? std::string() : address.substr(colon + 1);
    return true;
}

void NpapiBrowserHost::closePage() {
    NPNetscapeFuncs releaseOnly{};
    releaseOnly.size = m_funcs.size;
    releaseOnly.version = m_funcs.version;
    releaseOnly.releaseobject = m_funcs.releaseobject;
    releaseOnly.releasevariantvalue = m_funcs.releasevariantvalue;
    releaseOnly.memfree = m_funcs.memfree;
    releaseOnly.destroystream = m_funcs.destroystream;
    m_funcs = releaseOnly;
}

void NpapiBrowserHost::shutdown() {
    m_asyncCall = nullptr;
    // Calls still pending run during the base shutdown (their waiters and
    // records are released there); none of them reaches the page.
    closePage();
    BrowserHost::shutdown();
    // Page objects release through the table, so they go before it does.
    m_domDocument.reset();
    m_domWindow.reset();
    m_domElement.reset();
    m_windowObject.reset();
    m_elementObject.reset();
    releasePageObjects();
    DeferredRelease();
    m_wrapperCache.clear();
    m_funcs = NPNetscapeFuncs{};
}

bool NpapiBrowserHost::ScheduleAsyncCall(void (*function)(void*), void* data) {
    if (isShutDown())
        return false;
    NPN_PluginThreadAsyncCallFuncPtr asyncCall = m_asyncCall;
    if (!asyncCall)
        return false;
    asyncCall(m_npp, function, data);
    return true;
}

void NpapiBrowserHost::ReleaseObject(NPObject* object) {
    if (object == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_pendingReleases.push_back(object);
    }
    DeferredRelease();
}

void NpapiBrowserHost::scheduleDeferredRelease() {
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        if (m_releaseScheduled || m_pendingReleases.empty())
            return;
        m_releaseScheduled = true;
    }
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    if (!ScheduleOnMainThread(self, [self] { self->DeferredRelease(); })) {
        // Shut down: the queue is drained by the shutdown itself.
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_releaseScheduled = false;
    }
}

void NpapiBrowserHost::DeferredRelease() {
    // The browser is called on its main thread only; from elsewhere the
    // releases wait for the main thread's next turn.
    if (!isMainThread()) {
        scheduleDeferredRelease();
        return;
    }
    std::vector<NPObject*> objects;
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        objects.swap(m_pendingReleases);
        m_releaseScheduled = false;
    }
    if (NPN_OFFERS(releaseobject)) {
        for (NPObject* object : objects)
            m_funcs.releaseobject(object);
    }
    for (auto it = m_wrapperCache.begin(); it != m_wrapperCache.end();) {
        if (it->second.expired())
            it = m_wrapperCache.erase(it);
        else
            ++it;
    }
}

// ---- value conversion

variant NpapiBrowserHost::getVariant(const NPVariant* npVariant) {
    if (npVariant == nullptr)
        return variant();
    switch (npVariant->type) {
    case NPVariantType_Null:
        return variant(variant_detail::null());
    case NPVariantType_Bool:
        return variant(npVariant->value.boolValue);
    case NPVariantType_Int32:
        return variant(static_cast<int>(npVariant->value.intValue));
    case NPVariantType_Double:
        return variant(npVariant->value.doubleValue);
    case NPVariantType_String: {
        const NPString& s = npVariant->value.stringValue;
        if (s.UTF8Characters == nullptr)
            return variant(std::string());
        return variant(std::string(s.UTF8Characters, s.UTF8Length));
    }
    case NPVariantType_Object: {
        NPObject* object = npVariant->value.objectValue;
        if (object == nullptr)
            return variant(JSObjectPtr());
        return variant(JSObjectPtr(wrapPageObject(object)));
    }
    case NPVariantType_Void:
    default:
        return variant();
    }
}

namespace {

void setVoid(NPVariant* dst) {
    dst->type = NPVariantType_Void;
    dst->value.objectValue = nullptr;
}
void setNull(NPVariant* dst) {
    dst->type = NPVariantType_Null;
    dst->value.objectValue = nullptr;
}
void setObject(NPVariant* dst, NPObject* object) {
    if (object == nullptr) {
        setNull(dst);
        return;
    }
    dst->type = NPVariantType_Object;
    dst->value.objectValue = object;
}

} // namespace

void NpapiBrowserHost::getNPArray(NPVariant* dst, const VariantList& values) {
    setVoid(dst);
    DOM::WindowPtr window = m_domWindow;
    if (!window)
        return;
    JSObjectPtr array = window->createArray();
    auto page = std::dynamic_pointer_cast<NPObjectAPI>(array);
    if (!page)
        return;
    // One push of every element, in order.
    if (!values.empty())
        array->Invoke("push", values);
    setObject(dst, RetainObject(page->getNPObject()));
}

void NpapiBrowserHost::getNPVariant(NPVariant* dst, const variant& src) {
    if (dst == nullptr)
        return;
    setVoid(dst);
    auto setInt = [dst](int32_t value) {
        dst->type = NPVariantType_Int32;
        dst->value.intValue = value;
    };
    auto setString = [this, dst](const std::string& text) {
        char* copy = StringDup(text);
        if (copy == nullptr)
            return; // no memory from the browser: void rather than a dangling string
        dst->type = NPVariantType_String;
        dst->value.stringValue.UTF8Characters = copy;
        dst->value.stringValue.UTF8Length = static_cast<uint32_t>(text.size());
    };
    auto existingObject = [this](const JSAPIPtr& api) -> NPObject* {
        if (auto page = std::dynamic_pointer_cast<NPObjectAPI>(api))
            return RetainObject(page->getNPObject());
        return nullptr;
    };

    if (src.holds<bool>()) {
        dst->type = NPVariantType_Bool;
        dst->value.boolValue = src.get<bool>();
    } else if (src.holds<int>() || src.holds<char>() || src.holds<unsigned char>() ||
               src.holds<short>() || src.holds<unsigned short>()) {
        setInt(src.convert<int>());
    } else if (src.holds<long>()) {
        // Held longs keep to 32 bits on every host.
        setInt(static_cast<int32_t>(src.get<long>()));
    } else if (src.holds<double>() || src.holds<float>()) {
        dst->type = NPVariantType_Double;
        dst->value.doubleValue = src.convert<double>();
    } else if (src.holds<std::string>()) {
        setString(src.get<std::string>());
    } else if (src.holds<std::wstring>() || src.holds<unsigned int>() ||
               src.holds<unsigned long>() || src.holds<long long>() ||
               src.holds<unsigned long long>()) {
        setString(src.convert<std::string>());
    } else if (src.is_null()) {
        setNull(dst);
    } else if (src.holds<VariantList>()) {
        getNPArray(dst, src.get<VariantList>());
    } else if (src.holds<VariantMap>()) {
        DOM::WindowPtr window = m_domWindow;
        if (!window)
            return;
        JSObjectPtr object = window->createMap();
        auto page = std::dynamic_pointer_cast<NPObjectAPI>(object);
        if (!page)
            return;
        for (const auto& entry : src.get<VariantMap>())
            object->SetProperty(entry.first, entry.second);
        setObject(dst, RetainObject(page->getNPObject()));
    } else if (src.holds<JSAPIPtr>()) {
        const JSAPIPtr& api = src.get<JSAPIPtr>();
        if (!api)
            setNull(dst);
        else if (NPObject* page = existingObject(api))
            setObject(dst, page);
        else
            setObject(dst, getJSAPIWrapper(api, true));
    } else if (src.holds<JSAPIWeakPtr>()) {
        JSAPIPtr api = src.get<JSAPIWeakPtr>().lock();
        if (!api)
            setNull(dst);
        else if (NPObject* page = existingObject(api))
            setObject(dst, page);
        else
            setObject(dst, getJSAPIWrapper(api, false));
    } else if (src.holds<JSObjectPtr>()) {
        const JSObjectPtr& object = src.get<JSObjectPtr>();
        if (!object)
            setNull(dst);
        else if (NPObject* page = existingObject(object))
            setObject(dst, page);
        else
            setObject(dst, NPJavascriptObject::NewObject(
                               std::static_pointer_cast<NpapiBrowserHost>(shared_from_this()),
                               object, true));
    }
}

std::shared_ptr<NPObjectAPI> NpapiBrowserHost::wrapPageObject(NPObject* object) {
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    auto wrapper = std::make_shared<NPObjectAPI>(object, self);
    if (m_pageObjects.size() >= m_pageObjectsPruneAt) {
        m_pageObjects.erase(std::remove_if(m_pageObjects.begin(), m_pageObjects.end(),
                                           [](const auto& weak) { return weak.expired(); }),
                            m_pageObjects.end());
        m_pageObjectsPruneAt = std::max<size_t>(64, m_pageObjects.size() * 2);
    }
    m_pageObjects.push_back(wrapper);
    return wrapper;
}

void NpapiBrowserHost::releasePageObjects() {
    auto objects = std::move(m_pageObjects);
    m_pageObjects.clear();
    for (const auto& weak : objects) {
        if (auto wrapper = weak.lock())
            wrapper->releaseNPObject();
    }
}

NPObject* NpapiBrowserHost::getJSAPIWrapper(const JSAPIPtr& api, bool autoRelease) {
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    if (!api)
        return NPJavascriptObject::NewObject(self, api, false);
    auto found = m_wrapperCache.find(api.get());
    if (found != m_wrapperCache.end()) {
        // The address may belong to a new object now: only a wrapper of this
        // very object will do.
        auto wrapper = found->second.lock();
        if (wrapper && wrapper->getAPI().lock() == api) {
            RetainObject(wrapper.get());
            return wrapper.get();
        }
        m_wrapperCache.erase(found);
    }
    NPJavascriptObject* wrapper = NPJavascriptObject::NewObject(self, api, autoRelease);
    if (wrapper)
        m_wrapperCache[api.get()] = wrapper->getWeakReference();
    return wrapper;
}

std::string NpapiBrowserHost::StringFromIdentifier(NPIdentifier identifier) const {
    const bool cached = isMainThread();
    if (cached) {
        auto known = m_identifierTexts.find(identifier);
        if (known != m_identifierTexts.end())
            return known->second;
    }
    if (!NPN_OFFERS(utf8fromidentifier))
        return std::string();
    NPUTF8* text = m_funcs.utf8fromidentifier(identifier);
    if (text == nullptr)
        return std::string();
    std::string result(text);
    MemFree(text);
    if (cached)
        m_identifierTexts.emplace(identifier, result);
    return result;
}

BrowserStreamPtr NpapiBrowserHost::_createStream(const BrowserStreamRequest& request) {
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    auto stream = std::make_shared<NpapiStream>(self, request.uri, request.cache, request.seekable,
                                                request.bufferSize);
    // Alive while the browser holds it as notification data.
    stream->retainSelf();
    NPError result;
    if (request.method == "GET") {
        result = GetURLNotify(request.uri.c_str(), nullptr, stream.get());
    } else {
        std::string body = request.postheaders;
        // A form's type unless the request names its own.
        if (!request.hasPostHeader("Content-Type"))
            body += "Content-type: application/x-www-form-urlencoded\n";
        body += "Content-Length: " + std::to_string(request.postdata.size()) + "\n\n";
        body += request.postdata;
        result = PostURLNotify(request.uri.c_str(), nullptr, static_cast<uint32_t>(body.size()),
                               body.data(), false, stream.get());
    }
    if (result != NPERR_NO_ERROR) {
        // The browser took no notification data: nothing will release it.
        stream->setDestroyed();
        stream->setNotified();
        return nullptr;
    }
    return stream;
}

BrowserStreamPtr NpapiBrowserHost::_createUnsolicitedStream(const BrowserStreamRequest& request) {
    auto self = std::static_pointer_cast<NpapiBrowserHost>(shared_from_this());
    auto stream = std::make_shared<NpapiStream>(self, request.uri, request.cache, request.seekable,
                                                request.bufferSize);
    // No notification follows a stream the browser opened by itself.
    stream->retainSelf();
    stream->setNotified();
    return stream;
}

} // namespace Npapi
} // namespace FW
