#include "ax_host_window.h"
#include "ax_host_units.h"

namespace ATL {

using ax_host_units::kHimetricPerInch;
using ax_host_units::screenDpi;

// ---- IOleClientSite

STDMETHODIMP CAxHostWindow::SaveObject() {
    return S_OK; // nothing to save into
}

STDMETHODIMP CAxHostWindow::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::GetContainer(IOleContainer** container) {
    if (!container)
        return E_POINTER;
    *container = this;
    AddRef();
    return S_OK;
}

STDMETHODIMP CAxHostWindow::ShowObject() {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnShowWindow(BOOL) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

// ---- IOleControlSite

STDMETHODIMP CAxHostWindow::OnControlInfoChanged() {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::LockInPlaceActive(BOOL) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetExtendedControl(IDispatch** extended) {
    if (!extended)
        return E_POINTER;
    *extended = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
    if (!himetric || !container)
        return E_POINTER;
    const SIZE dpi = screenDpi();
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
        container->x = static_cast<float>(MulDiv(himetric->x, dpi.cx, kHimetricPerInch));
        container->y = static_cast<float>(MulDiv(himetric->y, dpi.cy, kHimetricPerInch));
        return S_OK;
    }
    if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
        himetric->x = MulDiv(static_cast<int>(container->x), kHimetricPerInch, dpi.cx);
        himetric->y = MulDiv(static_cast<int>(container->y), kHimetricPerInch, dpi.cy);
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CAxHostWindow::TranslateAccelerator(MSG*, DWORD) {
    return S_FALSE;
}

STDMETHODIMP CAxHostWindow::OnFocus(BOOL gotFocus) {
    m_focus = gotFocus != FALSE;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::ShowPropertyFrame() {
    return E_NOTIMPL;
}

// ---- IParseDisplayName, IOleContainer

STDMETHODIMP CAxHostWindow::ParseDisplayName(IBindCtx*, LPOLESTR, ULONG* eaten,
                                             IMoniker** moniker) {
    if (eaten)
        *eaten = 0;
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::EnumObjects(DWORD, IEnumUnknown** objects) {
    if (objects)
        *objects = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::LockContainer(BOOL) {
    return S_OK;
}

// ---- IAdviseSink, IAdviseSinkEx

STDMETHODIMP_(void) CAxHostWindow::OnDataChange(FORMATETC*, STGMEDIUM*) {}

STDMETHODIMP_(void) CAxHostWindow::OnViewChange(DWORD, LONG) {
    if (m_windowless && m_hWnd)
        ::InvalidateRect(m_hWnd, &m_rcPos, FALSE);
}

STDMETHODIMP_(void) CAxHostWindow::OnRename(IMoniker*) {}

STDMETHODIMP_(void) CAxHostWindow::OnSave() {}

STDMETHODIMP_(void) CAxHostWindow::OnClose() {}

STDMETHODIMP_(void) CAxHostWindow::OnViewStatusChange(DWORD) {}

// ---- IServiceProvider, IObjectWithSite

STDMETHODIMP CAxHostWindow::QueryService(REFGUID service, REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CComPtr<IServiceProvider> provider;
    if (m_site && SUCCEEDED(m_site->QueryInterface(IID_IServiceProvider,
                                                   reinterpret_cast<void**>(&provider))))
        return provider->QueryService(service, iid, ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP CAxHostWindow::SetSite(IUnknown* site) {
    m_site = site;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetSite(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    return m_site ? m_site->QueryInterface(iid, ppv) : E_FAIL;
}

} // namespace ATL
