#include "page_objects.h"

namespace PageObjects {

namespace {

std::wstring AsText(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        return L"<not text>";
    std::wstring result(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return result;
}

template <class T>
T* CreateHeld() {
    ATL::CComObject<T>* object = nullptr;
    if (FAILED(ATL::CComObject<T>::CreateInstance(&object)))
        return nullptr;
    object->AddRef();
    return object;
}

} // namespace

PageScript* PageScript::Create(std::wstring function) {
    PageScript* script = CreateHeld<PageScript>();
    script->function_ = std::move(function);
    return script;
}

PageDocument* PageDocument::Create(PageScript* script) {
    PageDocument* document = CreateHeld<PageDocument>();
    document->script_ = script;
    return document;
}

PageWindow* PageWindow::Create(PageDocument* document) {
    PageWindow* window = CreateHeld<PageWindow>();
    window->document_ = document;
    return window;
}

STDMETHODIMP PageScript::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ++lookups;
    if (count != 1 || !names || !ids)
        return E_INVALIDARG;
    if (function_ != names[0]) {
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = 1;
    return S_OK;
}

STDMETHODIMP PageScript::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO*, UINT*) {
    if (id != 1)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD) || !params)
        return E_INVALIDARG;
    PageCall call{function_, {}};
    // Positional parameters arrive last first.
    for (UINT i = params->cArgs; i > 0; --i)
        call.params.push_back(AsText(params->rgvarg[i - 1]));
    calls.push_back(std::move(call));
    if (result)
        VariantInit(result);
    if (onCall)
        onCall();
    return S_OK;
}

STDMETHODIMP PageDocument::get_Script(IDispatch** p) {
    if (!p)
        return E_POINTER;
    ++scriptRequests;
    *p = script_;
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP PageWindow::get_document(IHTMLDocument2** p) {
    if (!p)
        return E_POINTER;
    *p = document_;
    (*p)->AddRef();
    return S_OK;
}

} // namespace PageObjects
