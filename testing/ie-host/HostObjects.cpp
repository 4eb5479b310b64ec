#include "HostObjects.h"
#include "PageAddress.h"

#include <shlguid.h>

#include "Testbed.h"

#include <cstdio>

namespace IeHost {

namespace {

HRESULT typeInfoCount(UINT* n) {
    if (!n)
        return E_POINTER;
    *n = 0;
    return S_OK;
}

std::wstring argText(const std::vector<VARIANT*>& args, size_t i) {
    return i < args.size() ? displayText(*args[i]) : std::wstring(L"undefined");
}

HRESULT setDispatch(VARIANT* result, IUnknown* object) {
    if (!result)
        return S_OK;
    VariantInit(result);
    IDispatch* dispatch = nullptr;
    if (object)
        object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    result->vt = dispatch ? VT_DISPATCH : VT_NULL;
    result->pdispVal = dispatch;
    return S_OK;
}

// Unknown names go to another dispatch; ensure asks it to make the name.
HRESULT forwardName(NameTable& names, IDispatch* target, BSTR name, bool ensure, DISPID* id) {
    if (!target)
        return DISP_E_UNKNOWNNAME;
    DISPID targetId = DISPID_UNKNOWN;
    HRESULT hr;
    ATL::CComQIPtr<IDispatchEx> ex(target);
    if (ex) {
        hr = ex->GetDispID(name, fdexNameCaseSensitive | (ensure ? fdexNameEnsure : 0), &targetId);
    } else {
        LPOLESTR text = name;
        hr = target->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &targetId);
    }
    if (FAILED(hr))
        return hr;
    *id = names.forwarded(targetId);
    return S_OK;
}

HRESULT forwardCall(NameTable& names, IDispatch* target, DISPID id, WORD flags, DISPPARAMS* params,
                    VARIANT* result, EXCEPINFO* info) {
    DISPID targetId;
    if (!target || !names.target(id, targetId))
        return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    ATL::CComQIPtr<IDispatchEx> ex(target);
    if (ex)
        return ex->InvokeEx(targetId, LOCALE_USER_DEFAULT, flags, params ? params : &none, result,
                            info, nullptr);
    return target->Invoke(targetId, IID_NULL, LOCALE_USER_DEFAULT, flags, params ? params : &none,
                          result, info, nullptr);
}

template <class T>
T* create() {
    ATL::CComObject<T>* object = nullptr;
    ATL::CComObject<T>::CreateInstance(&object);
    object->AddRef();
    return object;
}

} // namespace

DISPID NameTable::own(const std::wstring& name) const {
    for (size_t i = 0; i < m_own.size(); ++i) {
        if (m_own[i] == name)
            return static_cast<DISPID>(i + 1);
    }
    return 0;
}

DISPID NameTable::forwarded(DISPID target) {
    auto found = m_fromTarget.find(target);
    if (found != m_fromTarget.end())
        return found->second;
    const DISPID id = m_next++;
    m_fromTarget[target] = id;
    m_toTarget[id] = target;
    return id;
}

bool NameTable::target(DISPID id, DISPID& target) const {
    auto found = m_toTarget.find(id);
    if (found == m_toTarget.end())
        return false;
    target = found->second;
    return true;
}

std::vector<VARIANT*> scriptArgs(DISPPARAMS* params) {
    std::vector<VARIANT*> args;
    if (!params || !params->rgvarg)
        return args;
    for (UINT i = params->cArgs; i > params->cNamedArgs; --i)
        args.push_back(&params->rgvarg[i - 1]);
    return args;
}

// ---- console

STDMETHODIMP Console::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP Console::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    const std::wstring name = names[0];
    ids[0] = name == L"log" ? 1 : name == L"error" ? 2 : DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

STDMETHODIMP Console::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO*, UINT*) {
    if (id != 1 && id != 2)
        return DISP_E_MEMBERNOTFOUND;
    std::wstring line;
    const auto args = scriptArgs(params);
    for (size_t i = 0; i < args.size(); ++i)
        line += (i ? L" " : L"") + displayText(*args[i]);
    std::printf("%s\n", wideToUtf8(line).c_str());
    std::fflush(stdout);
    if (result)
        VariantInit(result);
    return S_OK;
}

// ---- window

Window::Window()
    : m_names({L"alert", L"close", L"setTimeout", L"clearTimeout", L"setInterval", L"clearInterval",
               L"console", L"document", L"execScript", L"window", L"self", L"testbed"}) {
    m_console.Attach(static_cast<IDispatch*>(create<Console>()));
}

STDMETHODIMP Window::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP Window::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    ATL::CComBSTR name(names[0]);
    return GetDispID(name, 0, ids);
}

STDMETHODIMP Window::GetDispID(BSTR name, DWORD flags, DISPID* id) {
    if (!id)
        return E_POINTER;
    *id = m_names.own(name ? name : L"");
    if (*id)
        return S_OK;
    *id = DISPID_UNKNOWN;
    return forwardName(m_names, g_host->global(), name, (flags & fdexNameEnsure) != 0, id);
}

STDMETHODIMP Window::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* info, UINT*) {
    return InvokeEx(id, 0, flags, params, result, info, nullptr);
}

STDMETHODIMP Window::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* info, IServiceProvider*) {
    if (id >= 1 && id <= 12)
        return callOwn(id, flags, params, result);
    return forwardCall(m_names, g_host->global(), id, flags, params, result, info);
}

HRESULT Window::callOwn(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    const auto args = scriptArgs(params);
    const bool call = (flags & DISPATCH_METHOD) != 0;
    if (result)
        VariantInit(result);
    switch (id) {
    case 1: // alert
        if (!call)
            return setDispatch(result, nullptr);
        std::printf("alert: %s\n", wideToUtf8(argText(args, 0)).c_str());
        std::fflush(stdout);
        return S_OK;
    case 2: // close
        if (call)
            g_host->requestClose();
        return S_OK;
    case 3:   // setTimeout
    case 5: { // setInterval
        if (!call || args.empty())
            return S_OK;
        UINT delay = 0;
        if (args.size() > 1) {
            ATL::CComVariant ms;
            if (SUCCEEDED(VariantChangeType(&ms, args[1], 0, VT_I4)) && ms.lVal > 0)
                delay = static_cast<UINT>(ms.lVal);
        }
        IDispatch* function = args[0]->vt == VT_DISPATCH ? args[0]->pdispVal : nullptr;
        const int timer = g_host->setTimer(
            function, function ? std::wstring() : displayText(*args[0]), delay, id == 5);
        if (result) {
            result->vt = VT_I4;
            result->lVal = timer;
        }
        return S_OK;
    }
    case 4:
    case 6: { // clearTimeout, clearInterval
        ATL::CComVariant timer;
        if (call && !args.empty() && SUCCEEDED(VariantChangeType(&timer, args[0], 0, VT_I4)))
            g_host->clearTimer(timer.lVal);
        return S_OK;
    }
    case 7:
        return setDispatch(result, m_console);
    case 8:
        return setDispatch(result, static_cast<IHTMLDocument2*>(g_host->document()));
    case 9: { // execScript
        if (!call || args.empty())
            return S_OK;
        return g_host->parseScript(argText(args, 0));
    }
    case 12:
        if (!m_testbed)
            m_testbed.Attach(static_cast<IDispatch*>(create<Testbed>()));
        return setDispatch(result, m_testbed);
    default:
        return setDispatch(result, static_cast<IHTMLWindow2*>(this));
    }
}

STDMETHODIMP Window::get_document(IHTMLDocument2** p) {
    if (!p)
        return E_POINTER;
    *p = g_host->document();
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP Window::alert(BSTR message) {
    std::printf("alert: %s\n", wideToUtf8(message ? message : L"").c_str());
    std::fflush(stdout);
    return S_OK;
}

STDMETHODIMP Window::close() {
    g_host->requestClose();
    return S_OK;
}

STDMETHODIMP Window::execScript(BSTR code, BSTR, VARIANT* result) {
    if (result)
        VariantInit(result);
    return g_host->parseScript(code ? code : L"");
}

STDMETHODIMP Window::get_self(IHTMLWindow2** p) {
    if (!p)
        return E_POINTER;
    *p = this;
    AddRef();
    return S_OK;
}

STDMETHODIMP Window::get_window(IHTMLWindow2** p) {
    return get_self(p);
}

// ---- document

Document::Document()
    : m_names({L"getElementById", L"parentWindow", L"Script", L"createElement", L"body"}) {}

STDMETHODIMP Document::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP Document::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    ids[0] = m_names.own(names[0] ? names[0] : L"");
    if (ids[0])
        return S_OK;
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP Document::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO*, UINT*) {
    const auto args = scriptArgs(params);
    switch (id) {
    case 1: {
        ControlSite* site = args.empty() ? nullptr : g_host->elementById(displayText(*args[0]));
        return setDispatch(result, site ? site->element.p : nullptr);
    }
    case 2:
        return setDispatch(result, static_cast<IHTMLWindow2*>(g_host->window()));
    case 3:
        return setDispatch(result, g_host->global());
    case 4: { // createElement: <object> only
        if (args.empty() || _wcsicmp(displayText(*args[0]).c_str(), L"object") != 0)
            return E_INVALIDARG;
        Element* element = create<Element>();
        element->item.kind = PageItem::Kind::object;
        setDispatch(result, static_cast<IHTMLElement*>(element));
        static_cast<IHTMLElement*>(element)->Release();
        return S_OK;
    }
    case 5:
        if (!m_body)
            m_body.Attach(static_cast<IDispatch*>(create<Body>()));
        return setDispatch(result, m_body);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

STDMETHODIMP Document::get_Script(IDispatch** p) {
    if (!p)
        return E_POINTER;
    *p = g_host->global();
    if (*p)
        (*p)->AddRef();
    return *p ? S_OK : E_FAIL;
}

STDMETHODIMP Document::get_parentWindow(IHTMLWindow2** p) {
    if (!p)
        return E_POINTER;
    *p = g_host->window();
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP Document::getElementById(BSTR id, IHTMLElement** element) {
    if (!element)
        return E_POINTER;
    ControlSite* site = g_host->elementById(id ? id : L"");
    *element = site ? site->element.p : nullptr;
    if (*element)
        (*element)->AddRef();
    return S_OK;
}

// ---- body

STDMETHODIMP Body::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP Body::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1 || !names[0])
        return E_INVALIDARG;
    const std::wstring name = names[0];
    ids[0] = name == L"appendChild" ? 1 : name == L"removeChild" ? 2 : DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

STDMETHODIMP Body::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (id != 1 && id != 2)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    const auto args = scriptArgs(params);
    ATL::CComPtr<IUnknown> child;
    if (!args.empty() && args[0]->vt == VT_DISPATCH && args[0]->pdispVal)
        args[0]->pdispVal->QueryInterface(IID_IeHostElement, reinterpret_cast<void**>(&child));
    if (!child)
        return DISP_E_TYPEMISMATCH;
    auto* element = reinterpret_cast<Element*>(child.p);
    if (id == 1) {
        if (!element->site && !g_host->appendElement(element))
            return E_FAIL;
    } else {
        if (!element->site)
            return E_INVALIDARG; // not a child of the body
        g_host->removeElement(element->site);
    }
    return setDispatch(result, static_cast<IHTMLElement*>(element));
}

// ---- web browser

STDMETHODIMP WebBrowser::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP WebBrowser::get_Document(IDispatch** p) {
    if (!p)
        return E_POINTER;
    *p = static_cast<IHTMLDocument2*>(g_host->document());
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowser::get_LocationURL(BSTR* url) {
    if (!url)
        return E_POINTER;
    *url = SysAllocString(pageAddress().c_str());
    return S_OK;
}

// ---- element

// {6F1E3C2A-4D5B-4B8E-9A61-2C7D0E5F8A13}
const IID IID_IeHostElement = {
    0x6F1E3C2A, 0x4D5B, 0x4B8E, {0x9A, 0x61, 0x2C, 0x7D, 0x0E, 0x5F, 0x8A, 0x13}};

namespace {
enum ElementMember : DISPID {
    kId = 1,
    kWidth,
    kHeight,
    kReadyState,
    kType,
    kClassId,
    kSetAttribute,
    kGetAttribute,
    kObject,
    kLastOwn = kObject
};
const wchar_t* const kAttributeNames[] = {L"", L"id",   L"width",  L"height",
                                          L"", L"type", L"classid"};
} // namespace

Element::Element()
    : m_names({L"id", L"width", L"height", L"readyState", L"type", L"classid", L"setAttribute",
               L"getAttribute", L"object"}) {}

IDispatch* Element::forwardTarget() const {
    if (!site || g_host->options().elementNames == ElementNames::objectOnly)
        return nullptr;
    return site->controlDispatch;
}

STDMETHODIMP Element::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

STDMETHODIMP Element::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    ids[0] = m_names.own(names[0] ? names[0] : L"");
    if (ids[0])
        return S_OK;
    ids[0] = DISPID_UNKNOWN;
    ATL::CComBSTR name(names[0]);
    return forwardName(m_names, forwardTarget(), name, false, ids);
}

void Element::setAttribute(const std::wstring& name, const VARIANT& value) {
    std::wstring key = name;
    for (wchar_t& c : key)
        c = towlower(c);
    const std::wstring text = displayText(value);
    item.attributes[key] = text;
    if (!site)
        return;
    if (key == L"id") {
        site->id = text;
    } else if (key == L"width" || key == L"height") {
        const int size = _wtoi(text.c_str());
        if (size > 0)
            site->resize(key == L"width" ? size : site->rect.right - site->rect.left,
                         key == L"height" ? size : site->rect.bottom - site->rect.top);
    }
}

HRESULT Element::attribute(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        // The value is the (named) first argument.
        if (!params || params->cArgs < 1 || !params->rgvarg)
            return DISP_E_BADPARAMCOUNT;
        setAttribute(kAttributeNames[id], params->rgvarg[0]);
        return S_OK;
    }
    if (!result)
        return S_OK;
    VariantInit(result);
    if (site && (id == kWidth || id == kHeight)) {
        result->vt = VT_I4;
        result->lVal =
            id == kWidth ? site->rect.right - site->rect.left : site->rect.bottom - site->rect.top;
        return S_OK;
    }
    auto found = item.attributes.find(kAttributeNames[id]);
    if (id == kWidth || id == kHeight) {
        result->vt = VT_I4;
        result->lVal = found == item.attributes.end() ? 0 : _wtoi(found->second.c_str());
        return S_OK;
    }
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(found == item.attributes.end() ? L"" : found->second.c_str());
    return S_OK;
}

STDMETHODIMP Element::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* info, UINT*) {
    const auto args = scriptArgs(params);
    switch (id) {
    case DISPID_VALUE: // String(element)
        if (result) {
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"[object HTMLObjectElement]");
        }
        return S_OK;
    case kReadyState:
        // The control's ready state as it announced it; an element outside
        // the page has none yet.
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = site ? site->readyState : 0;
        }
        return S_OK;
    case kObject:
        // The control itself.
        return setDispatch(result, site ? site->controlDispatch.p : nullptr);
    case kSetAttribute:
        if (args.size() < 2)
            return DISP_E_BADPARAMCOUNT;
        setAttribute(displayText(*args[0]), *args[1]);
        if (result)
            VariantInit(result);
        return S_OK;
    case kGetAttribute: {
        if (args.empty())
            return DISP_E_BADPARAMCOUNT;
        std::wstring key = displayText(*args[0]);
        for (wchar_t& c : key)
            c = towlower(c);
        auto found = item.attributes.find(key);
        if (!result)
            return S_OK;
        VariantInit(result);
        if (found != item.attributes.end()) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(found->second.c_str());
        } else {
            result->vt = VT_NULL;
        }
        return S_OK;
    }
    default:
        if (id >= kId && id <= kLastOwn)
            return attribute(id, flags, params, result);
        return forwardCall(m_names, forwardTarget(), id, flags, params, result, info);
    }
}

STDMETHODIMP Element::get_id(BSTR* id) {
    if (!id)
        return E_POINTER;
    auto found = item.attributes.find(L"id");
    *id = SysAllocString(found == item.attributes.end() ? L"" : found->second.c_str());
    return S_OK;
}

// ---- property bag

STDMETHODIMP PropertyBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
    if (!name || !value)
        return E_POINTER;
    for (const auto& [key, text] : params) {
        if (_wcsicmp(key.c_str(), name) == 0) {
            VariantClear(value);
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(text.c_str());
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

STDMETHODIMP PropertyBag::Read(ULONG count, PROPBAG2* bags, IErrorLog* log, VARIANT* values,
                               HRESULT* results) {
    if (!bags || !values || !results)
        return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
        VariantInit(&values[i]);
        results[i] = Read(bags[i].pstrName, &values[i], log);
    }
    return S_OK;
}

STDMETHODIMP PropertyBag::CountProperties(ULONG* count) {
    if (!count)
        return E_POINTER;
    *count = static_cast<ULONG>(params.size());
    return S_OK;
}

STDMETHODIMP PropertyBag::GetPropertyInfo(ULONG first, ULONG count, PROPBAG2* bags, ULONG* got) {
    if (!bags || !got)
        return E_POINTER;
    ULONG n = 0;
    for (ULONG i = first; i < params.size() && n < count; ++i, ++n) {
        bags[n] = PROPBAG2{};
        bags[n].dwType = PROPBAG2_TYPE_DATA;
        bags[n].vt = VT_BSTR;
        const std::wstring& name = params[i].first;
        const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
        bags[n].pstrName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (bags[n].pstrName)
            memcpy(bags[n].pstrName, name.c_str(), bytes);
    }
    *got = n;
    return S_OK;
}

// ---- event sink

HRESULT EventSink::_InternalQueryInterface(REFIID iid, void** ppv) noexcept {
    if (ppv && source != GUID_NULL && InlineIsEqualGUID(iid, source)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return EventSinkObject::_InternalQueryInterface(iid, ppv);
}

// ---- error log

STDMETHODIMP ErrorLog::AddError(LPCOLESTR name, EXCEPINFO* info) {
    std::wstring text = L"ie-host: <param> ";
    text += name ? name : L"?";
    if (info && info->bstrDescription)
        text += std::wstring(L": ") + info->bstrDescription;
    std::fprintf(stderr, "%s\n", wideToUtf8(text).c_str());
    std::fflush(stderr);
    return S_OK;
}

STDMETHODIMP EventSinkObject::GetTypeInfoCount(UINT* n) {
    return typeInfoCount(n);
}

// Names the source interface lacks (the plug-in's events are named at run
// time) get numbers of the sink's own, from here on.
const DISPID kHandlerIds = 0x10000;

STDMETHODIMP EventSinkObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    if (events && SUCCEEDED(events->GetIDsOfNames(names, 1, ids)))
        return S_OK;
    for (size_t i = 0; i < handlers.size(); ++i) {
        if (handlers[i].first == names[0]) {
            ids[0] = kHandlerIds + static_cast<DISPID>(i);
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

const std::wstring* EventSinkObject::handlerFor(DISPID id) const {
    if (id >= kHandlerIds && static_cast<size_t>(id - kHandlerIds) < handlers.size())
        return &handlers[id - kHandlerIds].second;
    ATL::CComBSTR name;
    UINT got = 0;
    if (!events || FAILED(events->GetNames(id, &name, 1, &got)) || got != 1 || !name)
        return nullptr;
    for (const auto& [event, function] : handlers) {
        if (event == static_cast<const wchar_t*>(name))
            return &function;
    }
    return nullptr;
}

STDMETHODIMP EventSinkObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) {
    const std::wstring* handler = handlerFor(id);
    if (!handler)
        return events ? S_OK : DISP_E_MEMBERNOTFOUND; // an event the page does not handle
    IDispatch* global = g_host->global();
    if (!global)
        return E_FAIL;
    DISPID function = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(handler->c_str());
    if (FAILED(global->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &function)))
        return DISP_E_MEMBERNOTFOUND;
    // The page function takes the positional arguments only.
    DISPPARAMS call{};
    if (params && params->rgvarg && params->cArgs > params->cNamedArgs) {
        call.rgvarg = params->rgvarg + params->cNamedArgs;
        call.cArgs = params->cArgs - params->cNamedArgs;
    }
    return global->Invoke(function, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &call, result,
                          nullptr, nullptr);
}

} // namespace IeHost
