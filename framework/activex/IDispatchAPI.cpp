#include "IDispatchAPI.h"

#include <mshtml.h>

#include "JSExceptions.h"
#include "TypeIDMap.h"
#include "com_types.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

// {A7F89004-620A-56E0-AEEA-EC0E8DA18FB3}
const IID IID_IFWScriptingObjectOwner = {
    0xA7F89004, 0x620A, 0x56E0, {0xAE, 0xEA, 0xEC, 0x0E, 0x8D, 0xA1, 0x8F, 0xB3}};

namespace {

// GetDispID flags: case-sensitive, ensure, internal.
const DWORD kGetDispIdFlags = 0x10000003;

// The arguments in the order IDispatch wants them: last first.
class ReversedArgs {
public:
    ReversedArgs(ActiveXBrowserHost& host, const VariantList& args) : m_values(args.size()) {
        for (size_t i = 0; i < args.size(); ++i)
            host.getComVariant(&m_values[args.size() - 1 - i], args[i]);
    }
    ~ReversedArgs() {
        for (VARIANT& v : m_values)
            VariantClear(&v);
    }
    ReversedArgs(const ReversedArgs&) = delete;
    ReversedArgs& operator=(const ReversedArgs&) = delete;
    VARIANT* data() { return m_values.empty() ? nullptr : m_values.data(); }
    UINT size() const { return static_cast<UINT>(m_values.size()); }
    // Room for one more value in front (the this-argument).
    std::vector<VARIANT>& values() { return m_values; }

private:
    std::vector<VARIANT> m_values;
};

HRESULT invokeOn(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    ATL::CComQIPtr<IDispatchEx> ex(object);
    if (ex)
        return ex->InvokeEx(id, LOCALE_USER_DEFAULT, flags, params, result, nullptr, nullptr);
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, nullptr,
                          nullptr);
}

} // namespace

IDispatchAPIPtr IDispatchAPI::create(IDispatch* object, const ActiveXBrowserHostPtr& host) {
    return std::make_shared<IDispatchAPI>(object, host);
}

IDispatchAPI::IDispatchAPI(IDispatch* object, const ActiveXBrowserHostPtr& host)
    : PageObject(host, Policy{true, true, false}) {
    if (!object || !host)
        throw std::invalid_argument("IDispatchAPI needs an object and a host");
    m_object = host->holdIDispatch(object);
    ATL::CComPtr<IFWScriptingObjectOwner> owner;
    ATL::CComPtr<IHTMLElement> element;
    if (SUCCEEDED(object->QueryInterface(IID_IFWScriptingObjectOwner,
                                         reinterpret_cast<void**>(&owner))) &&
        owner &&
        FAILED(object->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&element))))
        adoptOwnObject(owner->scriptingObject());
}

IDispatchAPI::~IDispatchAPI() {
    try {
        if (ActiveXBrowserHostPtr h = std::static_pointer_cast<ActiveXBrowserHost>(m_host.lock()))
            h->releaseIDispatch(m_object);
    } catch (...) {
        // The host releases what it holds at shutdown in any case.
    }
}

ActiveXBrowserHostPtr IDispatchAPI::host() const {
    auto h = std::static_pointer_cast<ActiveXBrowserHost>(m_host.lock());
    if (!h)
        throw script_error("Invalid object");
    return h;
}

IDispatch* IDispatchAPI::getIDispatch() const {
    IDispatchSRef object = m_object.lock();
    if (!object)
        return nullptr;
    object->AddRef();
    return object.get();
}

bool IDispatchAPI::isValid() {
    if (isOwnObject())
        return static_cast<bool>(getJSAPI());
    return !m_object.expired() && !m_host.expired();
}

EventId IDispatchAPI::getEventId() const {
    IDispatchSRef object = m_object.lock();
    return object ? static_cast<EventId>(object.get()) : nullptr;
}

DISPID IDispatchAPI::getIDForName(const std::wstring& name) const {
    if (name.empty())
        return DISPID_VALUE;
    IDispatchSRef object = m_object.lock();
    if (!object)
        return DISPID_UNKNOWN;
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr;
    ATL::CComQIPtr<IDispatchEx> ex(object.get());
    if (ex) {
        ATL::CComBSTR bstr(name.c_str());
        hr = ex->GetDispID(bstr, kGetDispIdFlags, &id);
    } else {
        LPOLESTR text = const_cast<LPOLESTR>(name.c_str());
        hr = object->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_SYSTEM_DEFAULT, &id);
    }
    if (hr == E_NOTIMPL)
        return TypeIDMap::instance().idForName(name);
    return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
}

variant IDispatchAPI::callPage(DISPID id, WORD flags, const VariantList& args,
                               const char* failure) {
    ActiveXBrowserHostPtr h = host();
    IDispatchSRef object = m_object.lock();
    if (!object || id == DISPID_UNKNOWN)
        throw script_error(failure);
    ReversedArgs values(*h, args);
    DISPPARAMS params{values.data(), nullptr, values.size(), 0};
    ATL::CComVariant result;
    if (FAILED(invokeOn(object.get(), id, flags, &params, &result)))
        throw script_error(failure);
    return h->getVariant(&result);
}

// A page object does not tell methods from properties.
bool IDispatchAPI::pageHas(const PageMember& member, bool) const {
    return getIDForName(utf8_to_wstring(member.name)) != DISPID_UNKNOWN;
}

variant IDispatchAPI::pageGet(const PageMember& member) {
    return callPage(getIDForName(utf8_to_wstring(member.name)), DISPATCH_PROPERTYGET, VariantList(),
                    "Could not get property");
}

void IDispatchAPI::pageSet(const PageMember& member, const variant& value) {
    ActiveXBrowserHostPtr h = host();
    IDispatchSRef object = m_object.lock();
    const DISPID id = getIDForName(utf8_to_wstring(member.name));
    if (!object || id == DISPID_UNKNOWN)
        throw script_error("Could not set property");
    ATL::CComVariant arg;
    h->getComVariant(&arg, value);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    HRESULT hr;
    ATL::CComQIPtr<IDispatchEx> ex(object.get());
    if (ex) {
        hr = ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &params, nullptr,
                          nullptr, nullptr);
        if (hr == DISP_E_MEMBERNOTFOUND)
            hr = ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                              nullptr, nullptr);
    } else {
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                            nullptr, nullptr, nullptr);
    }
    if (FAILED(hr))
        throw script_error("Could not set property");
}

void IDispatchAPI::pageRemove(const PageMember& member) {
    IDispatchSRef object = m_object.lock();
    ATL::CComQIPtr<IDispatchEx> ex(object.get());
    ATL::CComBSTR bstr(utf8_to_wstring(member.name).c_str());
    if (!ex || FAILED(ex->DeleteMemberByName(bstr, fdexNameCaseSensitive)))
        throw script_error("Could not remove property");
}

variant IDispatchAPI::pageCall(const std::string& name, const VariantList& args, bool construct) {
    if (construct)
        return callPage(DISPID_VALUE, DISPATCH_CONSTRUCT, args, "Method invoke failed");
    return callPage(getIDForName(utf8_to_wstring(name)), DISPATCH_METHOD, args,
                    "Method invoke failed");
}

std::vector<std::string> IDispatchAPI::pageMemberNames() const {
    IDispatchSRef object = m_object.lock();
    ATL::CComQIPtr<IDispatchEx> ex(object.get());
    if (!ex)
        throw script_error("Cannot enumerate members; IDispatchEx not supported");
    std::vector<std::string> names;
    DISPID id = DISPID_STARTENUM;
    while (ex->GetNextDispID(fdexEnumAll, id, &id) == S_OK) {
        ATL::CComBSTR name;
        if (SUCCEEDED(ex->GetMemberName(id, &name)) && name.m_str)
            names.push_back(wstring_to_utf8(std::wstring(name.m_str, name.Length())));
    }
    return names;
}

// One converted argument list serves every handler; slot 0 is the
// this-argument, set per handler.
class IDispatchAPI::Handlers : public HandlerBatch {
public:
    Handlers(ActiveXBrowserHost& host, const std::string& name, const VariantList& args)
        : m_eventName(utf8_to_wstring(name)), m_values(host, args) {
        std::vector<VARIANT>& list = m_values.values();
        list.insert(list.begin(), VARIANT{});
        VariantInit(&list[0]);
    }

    void call(const JSObjectPtr& handler, bool asInterface) override {
        auto page = std::dynamic_pointer_cast<IDispatchAPI>(handler);
        if (!page)
            return;
        IDispatchSRef object = page->m_object.lock();
        if (!object)
            return;
        const DISPID id = asInterface ? page->getIDForName(m_eventName) : DISPID_VALUE;
        if (id == DISPID_UNKNOWN)
            return;
        std::vector<VARIANT>& list = m_values.values();
        list[0].vt = VT_DISPATCH;
        list[0].pdispVal = object.get();
        DISPID named = DISPID_THIS;
        DISPPARAMS params{list.data(), &named, static_cast<UINT>(list.size()), 1};
        ATL::CComVariant result;
        invokeOn(object.get(), id, DISPATCH_METHOD, &params, &result);
        list[0].vt = VT_EMPTY;
    }

private:
    std::wstring m_eventName;
    ReversedArgs m_values;
};

std::unique_ptr<PageObject::HandlerBatch> IDispatchAPI::prepareHandlers(const std::string& name,
                                                                        const VariantList& args) {
    return std::make_unique<Handlers>(*host(), name, args);
}

} // namespace ActiveX
} // namespace FW
