#include "HostObjects.h"

namespace IeHost {

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

STDMETHODIMP Element::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    const HRESULT own = m_names.idOfOwn(names, count, ids);
    if (own != DISP_E_UNKNOWNNAME)
        return own;
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
