#include "control.h"

#include "connection_points.h"

#include <algorithm>

namespace ATL {

CComControlBase::~CComControlBase() = default;

HRESULT CComControlBase::OnDrawAdvanced(ATL_DRAWINFO& di) {
    return OnDraw(di);
}

HRESULT CComControlBase::IOleObject_SetClientSite(IOleClientSite* site) {
    m_spClientSite = site;
    return S_OK;
}

HRESULT CComControlBase::IOleObject_GetClientSite(IOleClientSite** site) {
    if (!site)
        return E_POINTER;
    return m_spClientSite.CopyTo(site);
}

HRESULT CComControlBase::IOleObject_Close(DWORD saveOption) {
    // Containers may close without deactivating: the window goes here.
    CallNoThrow([this] { return IOleInPlaceObject_InPlaceDeactivate(); });
    if (m_hWndCD && ::IsWindow(m_hWndCD))
        ::DestroyWindow(m_hWndCD);
    if (m_bRequiresSave && m_spClientSite &&
        (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE)) {
        m_spClientSite->SaveObject();
        m_bRequiresSave = false;
    }
    if (m_spOleAdviseHolder)
        m_spOleAdviseHolder->SendOnClose();
    return S_OK;
}

HRESULT CComControlBase::IOleObject_DoVerb(LONG verb, IOleClientSite* activeSite, HWND,
                                           LPCRECT pos) {
    if (!m_spClientSite && activeSite)
        m_spClientSite = activeSite;
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return CallNoThrow([&] { return InPlaceActivate(verb, pos); });
    case OLEIVERB_HIDE:
        IOleInPlaceObject_UIDeactivate();
        if (m_hWndCD)
            ::ShowWindow(m_hWndCD, SW_HIDE);
        return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

HRESULT CComControlBase::InPlaceActivate(LONG verb, const RECT*) {
    if (!m_spClientSite)
        return S_OK;
    if (!m_spInPlaceSite) {
        m_spClientSite->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                       reinterpret_cast<void**>(&m_spInPlaceSiteWindowless));
        m_spClientSite->QueryInterface(IID_IOleInPlaceSiteEx,
                                       reinterpret_cast<void**>(&m_spInPlaceSiteEx));
        const HRESULT hr = m_spClientSite->QueryInterface(
            IID_IOleInPlaceSite, reinterpret_cast<void**>(&m_spInPlaceSite));
        if (FAILED(hr))
            return hr;
    }
    if (!m_bInPlaceActive) {
        if (m_spInPlaceSite->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        BOOL noRedraw = FALSE;
        m_bWndLess = false;
        if (m_spInPlaceSiteWindowless && !m_bWindowOnly &&
            m_spInPlaceSiteWindowless->CanWindowlessActivate() == S_OK) {
            m_bWndLess = true;
            m_spInPlaceSiteWindowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
        } else if (m_spInPlaceSiteEx) {
            m_spInPlaceSiteEx->OnInPlaceActivateEx(&noRedraw, 0);
        } else {
            const HRESULT hr = m_spInPlaceSite->OnInPlaceActivate();
            if (FAILED(hr))
                return hr;
        }
        m_bInPlaceActive = true;
    }

    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> doc;
    RECT pos = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    HRESULT hr = m_spInPlaceSite->GetWindowContext(&frame, &doc, &pos, &clip, &frameInfo);
    if (FAILED(hr))
        return hr;
    m_rcPos = pos;

    if (!m_bWndLess) {
        if (m_hWndCD && ::IsWindow(m_hWndCD)) {
            ::SetWindowPos(m_hWndCD, nullptr, pos.left, pos.top, pos.right - pos.left,
                           pos.bottom - pos.top, SWP_NOZORDER | SWP_NOACTIVATE);
            ::ShowWindow(m_hWndCD, SW_SHOW);
        } else {
            HWND parent = nullptr;
            hr = m_spInPlaceSite->GetWindow(&parent);
            if (FAILED(hr))
                return hr;
            if (!CreateControlWindow(parent, pos))
                return E_FAIL;
        }
    }

    if ((verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY) && !m_bUIActive) {
        m_bUIActive = true;
        m_spInPlaceSite->OnUIActivate();
        CComPtr<IOleInPlaceActiveObject> active;
        ControlUnknown()->QueryInterface(IID_IOleInPlaceActiveObject,
                                         reinterpret_cast<void**>(&active));
        if (frame)
            frame->SetActiveObject(active, nullptr);
        if (doc)
            doc->SetActiveObject(active, nullptr);
        if (m_hWndCD && !m_bWndLess)
            ::SetFocus(m_hWndCD);
    }
    return S_OK;
}

HRESULT CComControlBase::IOleInPlaceObject_InPlaceDeactivate() {
    if (!m_bInPlaceActive)
        return S_OK;
    IOleInPlaceObject_UIDeactivate();
    m_bInPlaceActive = false;
    if (m_hWndCD && ::IsWindow(m_hWndCD))
        ::DestroyWindow(m_hWndCD);
    if (m_spInPlaceSiteWindowless && m_bWndLess)
        m_spInPlaceSiteWindowless->OnInPlaceDeactivateEx(TRUE);
    else if (m_spInPlaceSiteEx)
        m_spInPlaceSiteEx->OnInPlaceDeactivateEx(TRUE);
    else if (m_spInPlaceSite)
        m_spInPlaceSite->OnInPlaceDeactivate();
    m_bWndLess = false;
    m_spInPlaceSite.Release();
    m_spInPlaceSiteEx.Release();
    m_spInPlaceSiteWindowless.Release();
    return S_OK;
}

HRESULT CComControlBase::IOleInPlaceObject_UIDeactivate() {
    if (!m_bUIActive)
        return S_OK;
    m_bUIActive = false;
    if (m_spInPlaceSite) {
        CComPtr<IOleInPlaceFrame> frame;
        CComPtr<IOleInPlaceUIWindow> doc;
        RECT pos, clip;
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        if (SUCCEEDED(m_spInPlaceSite->GetWindowContext(&frame, &doc, &pos, &clip, &frameInfo))) {
            if (doc)
                doc->SetActiveObject(nullptr, nullptr);
            if (frame)
                frame->SetActiveObject(nullptr, nullptr);
        }
        m_spInPlaceSite->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

HRESULT CComControlBase::IOleObject_SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    if (size->cx != m_sizeExtent.cx || size->cy != m_sizeExtent.cy)
        m_bRequiresSave = true;
    m_sizeExtent = *size;
    return S_OK;
}

HRESULT CComControlBase::IOleObject_GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT)
        return E_FAIL;
    if (!size)
        return E_POINTER;
    *size = m_sizeExtent;
    return S_OK;
}

HRESULT CComControlBase::IOleObject_Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!m_spOleAdviseHolder) {
        const HRESULT hr = CreateOleAdviseHolder(&m_spOleAdviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_spOleAdviseHolder->Advise(sink, cookie);
}

HRESULT CComControlBase::IOleObject_Unadvise(DWORD cookie) {
    return m_spOleAdviseHolder ? m_spOleAdviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT CComControlBase::IOleObject_EnumAdvise(IEnumSTATDATA** e) {
    if (!e)
        return E_POINTER;
    *e = nullptr;
    return m_spOleAdviseHolder ? m_spOleAdviseHolder->EnumAdvise(e) : E_FAIL;
}

HRESULT CComControlBase::IOleObject_GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status)
        return E_POINTER;
    const DWORD own = ControlMiscStatus();
    if (own && aspect == DVASPECT_CONTENT) {
        *status = own;
        return S_OK;
    }
    return OleRegGetMiscStatus(ControlCLSID(), aspect, status);
}

HRESULT CComControlBase::IOleInPlaceObject_GetWindow(HWND* hwnd) {
    if (!hwnd)
        return E_POINTER;
    *hwnd = m_bWndLess ? nullptr : m_hWndCD;
    return *hwnd ? S_OK : E_FAIL;
}

HRESULT CComControlBase::IOleInPlaceObject_SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos)
        return E_POINTER;
    m_rcPos = *pos;
    if (m_hWndCD && !m_bWndLess)
        ::SetWindowPos(m_hWndCD, nullptr, pos->left, pos->top, pos->right - pos->left,
                       pos->bottom - pos->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

HRESULT CComControlBase::IOleInPlaceObject_OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                                           LRESULT* result) {
    if (!result)
        return E_POINTER;
    *result = 0;
    BOOL handled = FALSE;
    const HRESULT hr = CallNoThrow([&] {
        handled = ProcessWindowlessMessage(msg, wParam, lParam, *result);
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    return handled ? S_OK : S_FALSE;
}

HRESULT CComControlBase::IViewObject_Draw(DWORD aspect, LONG lindex, DVTARGETDEVICE* ptd,
                                          HDC hicTargetDev, HDC hdcDraw, LPCRECTL bounds,
                                          LPCRECTL wBounds) {
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!hdcDraw)
        return E_INVALIDARG;
    RECTL rc;
    if (!bounds) {
        // A windowless control draws into its site rectangle.
        rc = {m_rcPos.left, m_rcPos.top, m_rcPos.right, m_rcPos.bottom};
        bounds = &rc;
    }
    ATL_DRAWINFO di = {};
    di.cbSize = sizeof(di);
    di.dwDrawAspect = aspect;
    di.lindex = lindex;
    di.ptd = ptd;
    di.hicTargetDev = hicTargetDev;
    di.hdcDraw = hdcDraw;
    di.prcBounds = bounds;
    di.prcWBounds = wBounds;
    return CallNoThrow([&] { return OnDrawAdvanced(di); });
}

HRESULT CComControlBase::IViewObject_SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (aspects != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    m_dwViewAdviseFlags = flags;
    m_spAdviseSink = sink;
    return S_OK;
}

HRESULT CComControlBase::IViewObject_GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects)
        *aspects = DVASPECT_CONTENT;
    if (flags)
        *flags = m_dwViewAdviseFlags;
    if (sink)
        return m_spAdviseSink.CopyTo(sink);
    return S_OK;
}

HRESULT CComControlBase::IQuickActivate_QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control)
        return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL))
        return E_INVALIDARG;
    const ULONG size = control->cbSize;
    *control = {};
    control->cbSize = size;
    const HRESULT hr = IOleObject_SetClientSite(container->pClientSite);
    if (FAILED(hr))
        return hr;
    if (container->pAdviseSink)
        IViewObject_SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    IUnknown* self = ControlUnknown();
    if (container->pUnkEventSink) {
        CComPtr<IProvideClassInfo2> info;
        IID source = GUID_NULL;
        if (SUCCEEDED(
                self->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info))) &&
            SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)))
            AtlAdvise(self, container->pUnkEventSink, source, &control->dwEventCookie);
    }
    if (container->pPropertyNotifySink)
        AtlAdvise(self, container->pPropertyNotifySink, IID_IPropertyNotifySink,
                  &control->dwPropNotifyCookie);
    IOleObject_GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
    control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

void CComControlBase::FireViewChange() noexcept {
    if (m_bInPlaceActive) {
        if (m_bWndLess && m_spInPlaceSiteWindowless)
            m_spInPlaceSiteWindowless->InvalidateRect(nullptr, TRUE);
        else if (m_hWndCD)
            ::InvalidateRect(m_hWndCD, nullptr, TRUE);
    } else if (m_spAdviseSink) {
        m_spAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    }
}

HRESULT CComControlBase::GetAmbientProperty(DISPID id, VARIANT& value) noexcept {
    VariantClear(&value);
    CComPtr<IDispatch> ambient;
    if (!m_spClientSite ||
        FAILED(m_spClientSite->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))))
        return E_FAIL;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                           nullptr, nullptr);
}

LRESULT CComControlBase::OnPaint(UINT, WPARAM wParam, LPARAM, BOOL&) {
    PAINTSTRUCT ps;
    HDC dc = wParam ? reinterpret_cast<HDC>(wParam) : ::BeginPaint(m_hWndCD, &ps);
    if (!dc)
        return 0;
    RECT client;
    ::GetClientRect(m_hWndCD, &client);
    const RECTL bounds = {client.left, client.top, client.right, client.bottom};
    ATL_DRAWINFO di = {};
    di.cbSize = sizeof(di);
    di.dwDrawAspect = DVASPECT_CONTENT;
    di.lindex = -1;
    di.hdcDraw = dc;
    di.prcBounds = &bounds;
    OnDrawAdvanced(di);
    if (!wParam)
        ::EndPaint(m_hWndCD, &ps);
    return 0;
}

LRESULT CComControlBase::OnMouseActivate(UINT, WPARAM, LPARAM, BOOL& handled) {
    if (!m_bUIActive)
        InPlaceActivate(OLEIVERB_UIACTIVATE);
    handled = FALSE;
    return 0;
}

LRESULT CComControlBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
    if (m_bInPlaceActive && !m_bUIActive)
        InPlaceActivate(OLEIVERB_UIACTIVATE);
    CComQIPtr<IOleControlSite> site(m_spClientSite);
    if (m_bInPlaceActive && site)
        site->OnFocus(TRUE);
    handled = FALSE;
    return 1;
}

LRESULT CComControlBase::OnKillFocus(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    handled = FALSE;
    // Focus handed to a window inside the control stays the control's.
    const HWND next = reinterpret_cast<HWND>(wParam);
    if (next && m_hWndCD && ::IsChild(m_hWndCD, next))
        return 1;
    CComQIPtr<IOleControlSite> site(m_spClientSite);
    if (m_bInPlaceActive && site)
        site->OnFocus(FALSE);
    return 1;
}

HRESULT SaveExtent(IStream* stream, const SIZEL& extent) noexcept {
    if (!stream)
        return E_POINTER;
    const ULONG values[2] = {static_cast<ULONG>(extent.cx), static_cast<ULONG>(extent.cy)};
    return stream->Write(values, sizeof(values), nullptr);
}

HRESULT LoadExtent(IStream* stream, SIZEL& extent) noexcept {
    if (!stream)
        return E_POINTER;
    ULONG values[2];
    ULONG read = 0;
    const HRESULT hr = stream->Read(values, sizeof(values), &read);
    if (FAILED(hr))
        return hr;
    if (read != sizeof(values))
        return E_FAIL;
    extent.cx = static_cast<LONG>(values[0]);
    extent.cy = static_cast<LONG>(values[1]);
    return S_OK;
}

HRESULT GetCoClassTypeInfo(const CLSID& clsid, const GUID& libid, WORD major, WORD minor,
                           ITypeInfo** info) noexcept {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    CComPtr<ITypeLib> lib;
    const HRESULT hr = LoadTypeLibRegisteredOrOwn(libid, major, minor, LOCALE_USER_DEFAULT, &lib);
    if (FAILED(hr))
        return hr;
    return lib->GetTypeInfoOfGuid(clsid, info);
}

} // namespace ATL
