#include "HostObjects.h"
#include "PageAddress.h"

#include <shlguid.h>

#include "Testbed.h"

#include <cstdio>

namespace IeHost {

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

namespace {

std::wstring argText(const std::vector<VARIANT*>& args, size_t i) {
    return i < args.size() ? displayText(*args[i]) : std::wstring(L"undefined");
}

} // namespace

DISPID NameTable::own(const std::wstring& name) const {
    for (size_t i = 0; i < m_own.size(); ++i) {
        if (m_own[i] == name)
            return static_cast<DISPID>(i + 1);
    }
    return 0;
}

HRESULT NameTable::idOfOwn(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    ids[0] = own(names[0] ? names[0] : L"");
    if (ids[0])
        return S_OK;
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
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
    m_console.Attach(static_cast<IDispatch*>(make<Console>()));
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
            m_testbed.Attach(static_cast<IDispatch*>(make<Testbed>()));
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

STDMETHODIMP Document::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return m_names.idOfOwn(names, count, ids);
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
        Element* element = make<Element>();
        element->item.kind = PageItem::Kind::object;
        setDispatch(result, static_cast<IHTMLElement*>(element));
        static_cast<IHTMLElement*>(element)->Release();
        return S_OK;
    }
    case 5:
        if (!m_body)
            m_body.Attach(static_cast<IDispatch*>(make<Body>()));
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

} // namespace IeHost
