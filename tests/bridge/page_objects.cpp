#include "page_objects.h"

namespace PageObjects {

namespace {

HRESULT Answer(void* object, void** ppv) {
    *ppv = object;
    static_cast<IUnknown*>(object)->AddRef();
    return S_OK;
}

std::wstring AsText(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        return L"<not text>";
    std::wstring result(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return result;
}

} // namespace

STDMETHODIMP PageScript::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
        return Answer(static_cast<IDispatch*>(this), ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) PageScript::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP PageScript::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
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

STDMETHODIMP PageDocument::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IHTMLDocument) ||
        iid == __uuidof(IHTMLDocument2))
        return Answer(static_cast<IHTMLDocument2*>(this), ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) PageDocument::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP PageDocument::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP PageDocument::get_Script(IDispatch** p) {
    if (!p)
        return E_POINTER;
    ++scriptRequests;
    *p = script_;
    script_->AddRef();
    return S_OK;
}

STDMETHODIMP PageWindow::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IHTMLFramesCollection2) ||
        iid == __uuidof(IHTMLWindow2))
        return Answer(static_cast<IHTMLWindow2*>(this), ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) PageWindow::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP PageWindow::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP PageWindow::get_document(IHTMLDocument2** p) {
    if (!p)
        return E_POINTER;
    *p = document_;
    document_->AddRef();
    return S_OK;
}

} // namespace PageObjects
