#include "JSAPI_IDispatchExBase.h"

#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <typeinfo>

#include "IDispatchAPI.h"
#include "JSExceptions.h"
#include "LastScriptError.h"
#include "TypeIDMap.h"
#include "com_object.h"
#include "com_types.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

namespace {

// The security context of a page object (mshtmdid.h does not carry it).
const DISPID kDispidSecurityCtx = -5511;

// Views, so that a comparison with a member's name looks at the lengths first.
constexpr std::wstring_view kAttachEvent = L"attachEvent";
constexpr std::wstring_view kDetachEvent = L"detachEvent";
constexpr std::wstring_view kGetLastException = L"getLastException";

bool isSpecialMember(const std::wstring& name) {
    return name == kAttachEvent || name == kDetachEvent || name == kGetLastException;
}

std::wstring bstrText(BSTR text) {
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

BSTR utf8ToBstr(const std::string& text) {
    std::wstring wide;
    try {
        wide = utf8_to_wstring(text);
    } catch (const std::exception&) {
        wide = L"(message is not valid UTF-8)";
    }
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

void fillException(EXCEPINFO* info, const std::string& source, const std::string& message,
                   SCODE code) {
    if (!info)
        return;
    std::memset(info, 0, sizeof(*info));
    info->bstrSource = utf8ToBstr(source);
    info->bstrDescription = utf8ToBstr(message);
    info->bstrHelpFile = nullptr;
    info->pfnDeferredFillIn = nullptr;
    info->scode = code;
}

} // namespace

// "attachEvent", "detachEvent" and "getLastException" as callable objects.
class JSAPI_IDispatchExBase::SpecialMember : public JSFunction {
public:
    enum class Kind { attach, detach, lastException };
    SpecialMember(std::weak_ptr<JSAPI_IDispatchExBase> bridge, Kind kind, const char* name)
        : JSFunction(JSAPIWeakPtr(), name, 0), m_bridge(std::move(bridge)), m_kind(kind) {}

    variant exec(const VariantList& args) override {
        if (m_kind == Kind::lastException)
            return lastScriptError();
        auto bridge = m_bridge.lock();
        if (!bridge)
            throw invalid_arguments();
        const EventListener listener = eventListenerFrom(args);
        if (!listener.handler)
            throw invalid_arguments();
        // The event is named exactly as given: no "on" is added.
        if (m_kind == Kind::attach)
            bridge->api()->registerEventMethod(listener.name, listener.handler);
        else
            bridge->api()->unregisterEventMethod(listener.name, listener.handler);
        return variant();
    }

private:
    std::weak_ptr<JSAPI_IDispatchExBase> m_bridge;
    Kind m_kind;
};

JSAPI_IDispatchExBase::JSAPI_IDispatchExBase(std::string errorSource)
    : m_errorSource(std::move(errorSource)) {
    // The special members and the cache refer to this weakly; COM's count,
    // not this reference, decides the lifetime.
    m_self = std::shared_ptr<JSAPI_IDispatchExBase>(this, [](JSAPI_IDispatchExBase*) {});
    m_alive = std::make_shared<char>(0);
    m_attachEvent =
        std::make_shared<SpecialMember>(m_self, SpecialMember::Kind::attach, "attachEvent");
    m_detachEvent =
        std::make_shared<SpecialMember>(m_self, SpecialMember::Kind::detach, "detachEvent");
    m_getLastException = std::make_shared<SpecialMember>(m_self, SpecialMember::Kind::lastException,
                                                         "getLastException");
}

JSAPI_IDispatchExBase::~JSAPI_IDispatchExBase() {
    m_alive.reset();
    clearSinks();
    m_self.reset();
}

void JSAPI_IDispatchExBase::setAPI(const JSAPIPtr& api, const ActiveXBrowserHostPtr& host) {
    m_api = api;
    m_host = host;
    m_memberNameCache.clear();
    registerWaitingSinks();
}

JSAPIPtr JSAPI_IDispatchExBase::api() const {
    if (!m_api)
        throw std::bad_cast();
    return m_api;
}

HRESULT JSAPI_IDispatchExBase::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    if (count == 0)
        return S_OK;
    if (!names || !ids)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
        ATL::CComBSTR name(names[i] ? names[i] : L"");
        // A caller without IDispatchEx cannot say it assigns: the name an
        // expando could take is answered.
        const HRESULT hr = getDispID(name, fdexNameEnsure, &ids[i]);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT JSAPI_IDispatchExBase::getDispID(BSTR name, DWORD flags, DISPID* id) noexcept {
    if (!id)
        return E_POINTER;
    *id = DISPID_UNKNOWN;
    try {
        JSAPIPtr object = api();
        const std::wstring wide = bstrText(name);
        if (isSpecialMember(wide)) {
            *id = TypeIDMap::instance().idForName(wide);
            return S_OK;
        }
        const std::string narrow = wstring_to_utf8(wide);
        const bool ensure = (flags & fdexNameEnsure) != 0;
        if (object->HasMethod(narrow) ||
            ((ensure || object->HasMember(narrow)) && object->HasProperty(narrow))) {
            *id = TypeIDMap::instance().idForName(wide);
            return S_OK;
        }
        // The call that follows fails in script with its own error; the
        // page's getLastException names the member.
        noteMissingMember(narrow);
    } catch (...) {
    }
    return DISP_E_UNKNOWNNAME;
}

VariantList JSAPI_IDispatchExBase::convertArgs(ActiveXBrowserHost& host, DISPPARAMS* params,
                                               bool skipThis) const {
    VariantList args;
    if (!params || params->cArgs == 0)
        return args;
    const UINT first = skipThis ? 1 : 0;
    if (first >= params->cArgs)
        return args;
    args.reserve(params->cArgs - first);
    // rgvarg holds the last argument first.
    for (UINT i = params->cArgs; i > first; --i)
        args.push_back(host.getVariant(&params->rgvarg[i - 1]));
    return args;
}

void JSAPI_IDispatchExBase::doInvoke(const std::wstring& name, const std::string& narrow, DISPID id,
                                     WORD flags, DISPPARAMS* params, VARIANT* result) {
    JSAPIPtr object = api();
    ActiveXBrowserHostPtr host = getHost();
    if (!host)
        throw std::bad_cast();
    const bool isGet = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool isMethod = (flags & DISPATCH_METHOD) != 0;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

    if (isGet && result) {
        switch (id) {
        case kDispidSecurityCtx:
            throw ATL::CAtlException(E_NOTIMPL);
        case DISPID_READYSTATE:
            result->vt = VT_I4;
            result->lVal = bridgeReadyState();
            return;
        case DISPID_ENABLED:
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return;
        default:
            break;
        }
    }

    if (name == kGetLastException || name == kAttachEvent || name == kDetachEvent) {
        const auto& function = name == kGetLastException ? m_getLastException
                               : name == kAttachEvent    ? m_attachEvent
                                                         : m_detachEvent;
        if (isMethod) {
            variant value = function->exec(convertArgs(*host, params, false));
            if (result && name == kGetLastException)
                host->getComVariant(result, value);
        } else if (isGet) {
            host->getComVariant(result, variant(JSAPIPtr(function)));
        }
        return;
    }

    // The this-argument, when the caller passes one, comes first among the
    // named arguments and is not a script argument.
    const bool hasThis = params && params->cNamedArgs > 0 && params->rgdispidNamedArgs &&
                         params->rgdispidNamedArgs[0] == DISPID_THIS;
    if (isMethod && (id == DISPID_VALUE || object->HasMethod(narrow))) {
        static const std::string kDefault, kValue("value");
        const std::string& member = id == DISPID_VALUE ? (hasThis ? kDefault : kValue) : narrow;
        variant value = object->Invoke(member, convertArgs(*host, params, hasThis));
        if (result)
            host->getComVariant(result, value);
        return;
    }
    if (!(flags & DISPATCH_CONSTRUCT)) {
        if (isGet && object->HasMethod(narrow)) {
            if (object->HasMethodObject(narrow))
                host->getComVariant(result, variant(object->GetMethodObject(narrow)));
            else
                host->getComVariant(result, variant(true));
            return;
        }
        if (isGet && object->HasProperty(narrow)) {
            host->getComVariant(result, object->GetProperty(narrow));
            return;
        }
        if (isPut && object->HasProperty(narrow)) {
            if (!params || params->cArgs < 1 || !params->rgvarg)
                throw ATL::CAtlException(DISP_E_BADPARAMCOUNT);
            object->SetProperty(narrow, host->getVariant(&params->rgvarg[0]));
            return;
        }
        // The error names the member the page asked for: "The specified
        // member does not exist: name" tells the page more than a fixed text.
        throw invalid_member(narrow);
    }
    variant value = object->Construct(convertArgs(*host, params, hasThis));
    if (result)
        host->getComVariant(result, value);
}

HRESULT JSAPI_IDispatchExBase::invokeEx(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO* exception) noexcept {
    const TypeIDMap::Names* names = nullptr;
    try {
        if (!m_api)
            return DISP_E_MEMBERNOTFOUND;
        names = m_lastCalled.load(std::memory_order_acquire);
        if (!names || names->id != id) {
            names = TypeIDMap::instance().namesForId(id);
            if (!names)
                return DISP_E_MEMBERNOTFOUND;
            m_lastCalled.store(names, std::memory_order_release);
        }
    } catch (...) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const bool isGet = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool isMethod = (flags & DISPATCH_METHOD) != 0;
    if (isGet && !isMethod && !result)
        return E_INVALIDARG;
    // What a caller hands in must be readable as it claims.
    if (params && (params->cNamedArgs > params->cArgs || (params->cArgs > 0 && !params->rgvarg) ||
                   (params->cNamedArgs > 0 && !params->rgdispidNamedArgs)))
        return params->cNamedArgs > params->cArgs ? DISP_E_BADPARAMCOUNT : E_INVALIDARG;
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !params)
        return E_INVALIDARG;
    std::optional<ATL::CComVariant> scratch;
    if (result)
        VariantInit(result);
    else
        result = &scratch.emplace();
    try {
        doInvoke(*names->wide, names->utf8, id, flags, params, result);
        return S_OK;
    } catch (const invalid_member& e) {
        // Script reads the text with the code a missing member has.
        lastScriptError() = variant(std::string(e.what()));
        fillException(exception, m_errorSource, e.what(), DISP_E_MEMBERNOTFOUND);
        return DISP_E_EXCEPTION;
    } catch (const script_error& e) {
        lastScriptError() = variant(std::string(e.what()));
        fillException(exception, m_errorSource, e.what(), E_NOTIMPL);
        return DISP_E_EXCEPTION;
    } catch (const ATL::CAtlException& e) {
        return e.m_hr;
    } catch (const std::exception& e) {
        // A failing camera call ends the call as not implemented; its message
        // ("Camera control call failed: 0x...") is kept like a script error's,
        // so getLastException tells the page why the call failed.
        try {
            lastScriptError() = variant(std::string(e.what()));
        } catch (...) {
        }
        return E_NOTIMPL;
    } catch (...) {
        return E_NOTIMPL;
    }
}

HRESULT JSAPI_IDispatchExBase::deleteMemberByDispID(DISPID id) noexcept {
    try {
        const std::wstring* name = TypeIDMap::instance().nameForId(id);
        if (!name || !m_api)
            return S_FALSE;
        m_api->RemoveProperty(*name);
        return S_OK;
    } catch (const script_error& e) {
        lastScriptError() = variant(std::string(e.what()));
        return S_FALSE;
    } catch (...) {
        return S_FALSE;
    }
}

HRESULT JSAPI_IDispatchExBase::getMemberName(DISPID id, BSTR* name) noexcept {
    if (!name)
        return E_POINTER;
    *name = nullptr;
    const std::wstring* text = nullptr;
    try {
        text = TypeIDMap::instance().nameForId(id);
    } catch (...) {
    }
    if (!text)
        return DISP_E_UNKNOWNNAME;
    *name = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT JSAPI_IDispatchExBase::getNextDispID(DISPID id, DISPID* next) noexcept {
    if (!next)
        return E_POINTER;
    *next = DISPID_UNKNOWN;
    try {
        JSAPIPtr object = api();
        const size_t count = object->getMemberCount();
        if (m_memberNameCache.empty() || m_memberCountAtFill != count) {
            std::vector<std::wstring> names;
            object->getMemberNames(names);
            names.emplace_back(kAttachEvent);
            names.emplace_back(kDetachEvent);
            names.emplace_back(kGetLastException);
            // A name listed twice, or one whose identifier is the start
            // marker itself ("toString" is -1), would send the enumeration
            // back to its first place for ever: such names are left out, each
            // other name kept once, where it first appears.
            TypeIDMap& table = TypeIDMap::instance();
            std::vector<std::wstring> unique;
            unique.reserve(names.size());
            for (auto& name : names) {
                if (table.idForName(name) != DISPID_STARTENUM &&
                    std::find(unique.begin(), unique.end(), name) == unique.end())
                    unique.push_back(std::move(name));
            }
            m_memberNameCache.swap(unique);
            m_memberCountAtFill = count;
        }
        if (m_memberNameCache.empty())
            return S_FALSE;
        TypeIDMap& ids = TypeIDMap::instance();
        if (id == DISPID_STARTENUM) {
            *next = ids.idForName(m_memberNameCache.front());
            return S_OK;
        }
        const std::wstring* name = ids.nameForId(id);
        if (!name)
            return S_FALSE;
        for (size_t i = 0; i + 1 < m_memberNameCache.size(); ++i) {
            if (m_memberNameCache[i] == *name) {
                *next = ids.idForName(m_memberNameCache[i + 1]);
                return S_OK;
            }
        }
    } catch (...) {
    }
    return S_FALSE;
}

HRESULT JSAPI_IDispatchExBase::advise(IUnknown* sink, DWORD* cookie) noexcept {
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    try {
        ATL::CComQIPtr<IDispatch> dispatch(sink);
        if (!dispatch)
            return CONNECT_E_CANNOTCONNECT;
        // Cookies count up and skip those in use: a wrapper's address cut to
        // 32 bits could repeat on x64, and a stale cookie must not reach a
        // later sink.
        DWORD key = ++m_lastCookie;
        while (key == 0 || m_sinks.count(key) || m_waitingSinks.count(key))
            key = ++m_lastCookie;
        ActiveXBrowserHostPtr host = getHost();
        if (!m_api || !host) {
            m_waitingSinks[key] = dispatch;
            *cookie = key;
            return S_OK;
        }
        JSObjectPtr wrapper = host->wrapIDispatch(dispatch);
        m_api->registerEventInterface(wrapper);
        m_sinks[key] = wrapper;
        *cookie = key;
        return S_OK;
    } catch (...) {
        return CONNECT_E_CANNOTCONNECT;
    }
}

void JSAPI_IDispatchExBase::registerWaitingSinks() noexcept {
    ActiveXBrowserHostPtr host = getHost();
    if (!m_api || !host)
        return;
    std::map<DWORD, ATL::CComPtr<IDispatch>> waiting;
    waiting.swap(m_waitingSinks);
    for (auto& [cookie, dispatch] : waiting) {
        try {
            JSObjectPtr wrapper = host->wrapIDispatch(dispatch);
            m_api->registerEventInterface(wrapper);
            m_sinks[cookie] = wrapper;
        } catch (...) {
            // A sink that cannot be wrapped gets no events, as if refused.
        }
    }
}

HRESULT JSAPI_IDispatchExBase::unadvise(DWORD cookie) noexcept {
    if (m_waitingSinks.erase(cookie))
        return S_OK;
    auto found = m_sinks.find(cookie);
    if (found == m_sinks.end())
        return E_UNEXPECTED;
    JSObjectPtr wrapper = found->second;
    m_sinks.erase(found);
    try {
        if (m_api)
            m_api->unregisterEventInterface(wrapper);
    } catch (...) {
        // The sink is forgotten either way.
    }
    return S_OK;
}

void JSAPI_IDispatchExBase::clearSinks() noexcept {
    m_waitingSinks.clear();
    std::map<DWORD, JSObjectPtr> sinks;
    sinks.swap(m_sinks);
    for (auto& [cookie, wrapper] : sinks) {
        try {
            if (m_api)
                m_api->unregisterEventInterface(wrapper);
        } catch (...) {
        }
    }
}

} // namespace ActiveX
} // namespace FW
