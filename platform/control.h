#pragma once
// The control base: CComControl<T> with the OLE embedding interfaces that a
// container (and AtlAxCreateControlEx) uses. A control derives from
// CComControl<T> and from the Impl templates of the interfaces it offers, lists
// them in its COM map, and chains its message map to CComControl<T>.
//
// Activation: DoVerb(OLEIVERB_INPLACEACTIVATE/SHOW/UIACTIVATE/PRIMARY) runs
// InPlaceActivate. With m_bWindowOnly set, or a site without
// IOleInPlaceSiteWindowless, the control creates its own child window of the
// site's window (CreateControlWindow); otherwise it runs windowless, drawing
// through IViewObject::Draw and receiving messages through
// IOleInPlaceObjectWindowless::OnWindowMessage. Close and InPlaceDeactivate
// destroy the window. Sizes come from the site's rectangles (pixels).
//
// Hooks T may define (the base's defaults are used otherwise):
//   HRESULT OnDraw(ATL_DRAWINFO&)                  painting (window and Draw)
//   HRESULT OnDrawAdvanced(ATL_DRAWINFO&)          before OnDraw, for windowless
//   BOOL PreTranslateAccelerator(MSG*, HRESULT&)   keyboard from the container
//   HRESULT InPlaceActivate(LONG verb, const RECT*) activation
//   HWND CreateControlWindow(HWND parent, RECT&)   window creation
//   static DWORD _GetMiscStatus()                  via DECLARE_OLEMISC_STATUS

#include "com_ptr.h"
#include "com_types.h"
#include "dispatch.h"
#include "window.h"

#include <ocidl.h>
#include <oleidl.h>
#include <objsafe.h>
#include <olectl.h>

namespace ATL {

struct ATL_DRAWINFO {
    UINT cbSize;
    DWORD dwDrawAspect;
    LONG lindex;
    DVTARGETDEVICE* ptd;
    HDC hicTargetDev;
    HDC hdcDraw;
    LPCRECTL prcBounds;
    LPCRECTL prcWBounds;
    BOOL bOptimize;
    BOOL bZoomed;
    BOOL bRectInHimetric;
    SIZEL ZoomNum;
    SIZEL ZoomDen;
};

#define DECLARE_OLEMISC_STATUS(x)                                                                  \
    static DWORD _GetMiscStatus() noexcept {                                                       \
        return (x);                                                                                \
    }

// State and behaviour shared by all controls; the templates below forward here.
class CComControlBase {
public:
    explicit CComControlBase(HWND& hWnd) noexcept : m_hWndCD(hWnd) {}
    virtual ~CComControlBase();
    CComControlBase(const CComControlBase&) = delete;
    CComControlBase& operator=(const CComControlBase&) = delete;

    // The object's own IUnknown, for the site and advise calls.
    virtual IUnknown* ControlUnknown() noexcept = 0;
    virtual const CLSID& ControlCLSID() noexcept = 0;
    virtual DWORD ControlMiscStatus() noexcept = 0;
    virtual HWND CreateControlWindow(HWND parent, RECT& pos) = 0;
    virtual HRESULT OnDrawAdvanced(ATL_DRAWINFO& di);
    virtual HRESULT OnDraw(ATL_DRAWINFO&) { return S_OK; }
    virtual BOOL PreTranslateAccelerator(MSG*, HRESULT&) { return FALSE; }
    virtual HRESULT InPlaceActivate(LONG verb, const RECT* pos = nullptr);
    virtual HRESULT IOleInPlaceObject_InPlaceDeactivate();
    // Window messages of a windowless control, from OnWindowMessage.
    virtual BOOL ProcessWindowlessMessage(UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }

    // The control's own site handling; QuickActivate's site gets it too.
    virtual HRESULT IOleObject_SetClientSite(IOleClientSite* site);
    HRESULT IOleObject_GetClientSite(IOleClientSite** site);
    HRESULT IOleObject_Close(DWORD saveOption);
    HRESULT IOleObject_DoVerb(LONG verb, IOleClientSite* activeSite, HWND parent, LPCRECT pos);
    HRESULT IOleObject_SetExtent(DWORD aspect, SIZEL* size);
    HRESULT IOleObject_GetExtent(DWORD aspect, SIZEL* size);
    HRESULT IOleObject_Advise(IAdviseSink* sink, DWORD* cookie);
    HRESULT IOleObject_Unadvise(DWORD cookie);
    HRESULT IOleObject_EnumAdvise(IEnumSTATDATA** e);
    HRESULT IOleObject_GetMiscStatus(DWORD aspect, DWORD* status);
    HRESULT IOleInPlaceObject_GetWindow(HWND* hwnd);
    HRESULT IOleInPlaceObject_UIDeactivate();
    HRESULT IOleInPlaceObject_SetObjectRects(LPCRECT pos, LPCRECT clip);
    HRESULT IOleInPlaceObject_OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                              LRESULT* result);
    HRESULT IViewObject_Draw(DWORD aspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                             HDC hdcDraw, LPCRECTL bounds, LPCRECTL wBounds);
    HRESULT IViewObject_SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink);
    HRESULT IViewObject_GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink);
    // Sites the control as SetClientSite does, connects the container's
    // event sink to the default source (IProvideClassInfo2) and its
    // property-notify sink, and answers their cookies with the misc and
    // view status. A sink the control cannot take is left unconnected.
    HRESULT IQuickActivate_QuickActivate(QACONTAINER* container, QACONTROL* control);

    // Asks the container to repaint the control.
    void FireViewChange() noexcept;
    // An ambient property of the container (through the client site's IDispatch).
    HRESULT GetAmbientProperty(DISPID id, VARIANT& value) noexcept;
    // Paints the window's client area with OnDraw (WM_PAINT).
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnMouseActivate(UINT, WPARAM, LPARAM, BOOL&);
    // Focus arriving by the keyboard (tabbing in) UI-activates the control as
    // a click does; both tell the site, then let the control's own map see
    // the message.
    LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnKillFocus(UINT, WPARAM, LPARAM, BOOL&);

    CComPtr<IOleClientSite> m_spClientSite;
    CComPtr<IOleInPlaceSite> m_spInPlaceSite;
    CComPtr<IOleInPlaceSiteEx> m_spInPlaceSiteEx;
    CComPtr<IOleInPlaceSiteWindowless> m_spInPlaceSiteWindowless;
    CComPtr<IOleAdviseHolder> m_spOleAdviseHolder;
    CComPtr<IAdviseSink> m_spAdviseSink;
    DWORD m_dwViewAdviseFlags = 0;
    HWND& m_hWndCD;
    SIZEL m_sizeExtent = {2540, 2540}; // HIMETRIC
    RECT m_rcPos = {};
    bool m_bWindowOnly = false; // never negotiate windowless activation
    bool m_bWndLess = false;    // currently windowless
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bRequiresSave = false;
    DWORD m_dwSafety = 0; // enabled IObjectSafety options
    LONG m_nFreezeEvents = 0;
};

template <class T, class WinBase = CWindowImpl<T>>
class CComControl : public CComControlBase, public WinBase {
public:
    CComControl() noexcept : CComControlBase(this->m_hWnd) {}
    // A control destroyed while its window lives (no Close came) takes the
    // window along, without letting its messages reach the dying object.
    ~CComControl() override { WinBase::DetachAndDestroy(); }

    IUnknown* ControlUnknown() noexcept override { return static_cast<T*>(this)->GetUnknown(); }
    const CLSID& ControlCLSID() noexcept override { return T::GetObjectCLSID(); }
    DWORD ControlMiscStatus() noexcept override { return T::_GetMiscStatus(); }
    static DWORD _GetMiscStatus() noexcept { return 0; }
    HWND CreateControlWindow(HWND parent, RECT& pos) override {
        return WinBase::Create(parent, pos, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    }
    BOOL ProcessWindowlessMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) override {
        return static_cast<T*>(this)->ProcessWindowMessage(nullptr, msg, wParam, lParam, result, 0);
    }

    BEGIN_MSG_MAP(CComControl)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    MESSAGE_HANDLER(WM_KILLFOCUS, OnKillFocus)
    MESSAGE_HANDLER(WM_MOUSEACTIVATE, OnMouseActivate)
    END_MSG_MAP()
};

template <class T>
class IOleObjectImpl : public IOleObject {
public:
    STDMETHOD(SetClientSite)(IOleClientSite* site) override {
        return self()->IOleObject_SetClientSite(site);
    }
    STDMETHOD(GetClientSite)(IOleClientSite** site) override {
        return self()->IOleObject_GetClientSite(site);
    }
    STDMETHOD(SetHostNames)(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHOD(Close)(DWORD saveOption) override { return self()->IOleObject_Close(saveOption); }
    STDMETHOD(SetMoniker)(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHOD(InitFromData)(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetClipboardData)(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHOD(DoVerb)
    (LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT pos) override {
        return self()->IOleObject_DoVerb(verb, activeSite, parent, pos);
    }
    STDMETHOD(EnumVerbs)(IEnumOLEVERB** verbs) override {
        return OleRegEnumVerbs(T::GetObjectCLSID(), verbs);
    }
    STDMETHOD(Update)() override { return S_OK; }
    STDMETHOD(IsUpToDate)() override { return S_OK; }
    STDMETHOD(GetUserClassID)(CLSID* clsid) override {
        if (!clsid)
            return E_POINTER;
        *clsid = T::GetObjectCLSID();
        return S_OK;
    }
    STDMETHOD(GetUserType)(DWORD form, LPOLESTR* type) override {
        return OleRegGetUserType(T::GetObjectCLSID(), form, type);
    }
    STDMETHOD(SetExtent)(DWORD aspect, SIZEL* size) override {
        return self()->IOleObject_SetExtent(aspect, size);
    }
    STDMETHOD(GetExtent)(DWORD aspect, SIZEL* size) override {
        return self()->IOleObject_GetExtent(aspect, size);
    }
    STDMETHOD(Advise)(IAdviseSink* sink, DWORD* cookie) override {
        return self()->IOleObject_Advise(sink, cookie);
    }
    STDMETHOD(Unadvise)(DWORD cookie) override { return self()->IOleObject_Unadvise(cookie); }
    STDMETHOD(EnumAdvise)(IEnumSTATDATA** e) override { return self()->IOleObject_EnumAdvise(e); }
    STDMETHOD(GetMiscStatus)(DWORD aspect, DWORD* status) override {
        return self()->IOleObject_GetMiscStatus(aspect, status);
    }
    STDMETHOD(SetColorScheme)(LOGPALETTE*) override { return E_NOTIMPL; }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

template <class T>
class IOleInPlaceObjectWindowlessImpl : public IOleInPlaceObjectWindowless {
public:
    STDMETHOD(GetWindow)(HWND* hwnd) override { return self()->IOleInPlaceObject_GetWindow(hwnd); }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(InPlaceDeactivate)() override {
        return CallNoThrow([this] { return self()->IOleInPlaceObject_InPlaceDeactivate(); });
    }
    STDMETHOD(UIDeactivate)() override { return self()->IOleInPlaceObject_UIDeactivate(); }
    STDMETHOD(SetObjectRects)(LPCRECT pos, LPCRECT clip) override {
        return self()->IOleInPlaceObject_SetObjectRects(pos, clip);
    }
    STDMETHOD(ReactivateAndUndo)() override { return E_NOTIMPL; }
    STDMETHOD(OnWindowMessage)(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        return self()->IOleInPlaceObject_OnWindowMessage(msg, wParam, lParam, result);
    }
    STDMETHOD(GetDropTarget)(IDropTarget** target) override {
        if (target)
            *target = nullptr;
        return E_NOTIMPL;
    }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

template <class T>
class IOleInPlaceActiveObjectImpl : public IOleInPlaceActiveObject {
public:
    STDMETHOD(GetWindow)(HWND* hwnd) override { return self()->IOleInPlaceObject_GetWindow(hwnd); }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(TranslateAccelerator)(LPMSG msg) override {
        if (!msg)
            return E_POINTER;
        // A hook that takes the message answers S_OK unless it says otherwise.
        return CallNoThrow([&] {
            HRESULT hr = S_OK;
            return self()->PreTranslateAccelerator(msg, hr) ? hr : S_FALSE;
        });
    }
    STDMETHOD(OnFrameWindowActivate)(BOOL) override { return S_OK; }
    STDMETHOD(OnDocWindowActivate)(BOOL) override { return S_OK; }
    STDMETHOD(ResizeBorder)(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHOD(EnableModeless)(BOOL) override { return S_OK; }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

template <class T>
class IViewObjectExImpl : public IViewObjectEx {
public:
    STDMETHOD(Draw)
    (DWORD aspect, LONG lindex, void*, DVTARGETDEVICE* ptd, HDC hicTargetDev, HDC hdcDraw,
     LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        return self()->IViewObject_Draw(aspect, lindex, ptd, hicTargetDev, hdcDraw, bounds,
                                        wBounds);
    }
    STDMETHOD(GetColorSet)(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** set) override {
        if (set)
            *set = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(Freeze)(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(Unfreeze)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetAdvise)(DWORD aspects, DWORD flags, IAdviseSink* sink) override {
        return self()->IViewObject_SetAdvise(aspects, flags, sink);
    }
    STDMETHOD(GetAdvise)(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override {
        return self()->IViewObject_GetAdvise(aspects, flags, sink);
    }
    STDMETHOD(GetExtent)(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
        return self()->IOleObject_GetExtent(aspect, size);
    }
    STDMETHOD(GetRect)(DWORD, LPRECTL) override { return E_NOTIMPL; }
    STDMETHOD(GetViewStatus)(DWORD* status) override {
        if (!status)
            return E_POINTER;
        *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
        return S_OK;
    }
    STDMETHOD(QueryHitPoint)(DWORD aspect, LPCRECT bounds, POINT pt, LONG, DWORD* hit) override {
        if (!hit || !bounds)
            return E_POINTER;
        *hit = (aspect == DVASPECT_CONTENT && PtInRect(bounds, pt)) ? HITRESULT_HIT
                                                                    : HITRESULT_OUTSIDE;
        return S_OK;
    }
    STDMETHOD(QueryHitRect)(DWORD aspect, LPCRECT bounds, LPCRECT loc, LONG, DWORD* hit) override {
        if (!hit || !bounds || !loc)
            return E_POINTER;
        RECT common;
        *hit = (aspect == DVASPECT_CONTENT && IntersectRect(&common, bounds, loc))
                   ? HITRESULT_HIT
                   : HITRESULT_OUTSIDE;
        return S_OK;
    }
    STDMETHOD(GetNaturalExtent)
    (DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override { return E_NOTIMPL; }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

// Persistence of the control's extent (two ULONGs, HIMETRIC).
HRESULT SaveExtent(IStream* stream, const SIZEL& extent) noexcept;
HRESULT LoadExtent(IStream* stream, SIZEL& extent) noexcept;

template <class T>
class IPersistStreamInitImpl : public IPersistStreamInit {
public:
    STDMETHOD(GetClassID)(CLSID* clsid) override {
        if (!clsid)
            return E_POINTER;
        *clsid = T::GetObjectCLSID();
        return S_OK;
    }
    STDMETHOD(IsDirty)() override { return self()->m_bRequiresSave ? S_OK : S_FALSE; }
    STDMETHOD(Load)(IStream* stream) override { return LoadExtent(stream, self()->m_sizeExtent); }
    STDMETHOD(Save)(IStream* stream, BOOL clearDirty) override {
        const HRESULT hr = SaveExtent(stream, self()->m_sizeExtent);
        if (SUCCEEDED(hr) && clearDirty)
            self()->m_bRequiresSave = false;
        return hr;
    }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override {
        if (!size)
            return E_POINTER;
        size->QuadPart = 2 * sizeof(ULONG);
        return S_OK;
    }
    STDMETHOD(InitNew)() override { return S_OK; }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

// Storage persistence through a "Contents" stream holding the stream form.
template <class T>
class IPersistStorageImpl : public IPersistStorage {
public:
    STDMETHOD(GetClassID)(CLSID* clsid) override {
        if (!clsid)
            return E_POINTER;
        *clsid = T::GetObjectCLSID();
        return S_OK;
    }
    STDMETHOD(IsDirty)() override { return self()->m_bRequiresSave ? S_OK : S_FALSE; }
    STDMETHOD(InitNew)(IStorage*) override { return S_OK; }
    STDMETHOD(Load)(IStorage* storage) override {
        if (!storage)
            return E_POINTER;
        CComPtr<IStream> stream;
        HRESULT hr =
            storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
        return FAILED(hr) ? hr : LoadExtent(stream, self()->m_sizeExtent);
    }
    STDMETHOD(Save)(IStorage* storage, BOOL) override {
        if (!storage)
            return E_POINTER;
        CComPtr<IStream> stream;
        HRESULT hr = storage->CreateStream(
            L"Contents", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, &stream);
        return FAILED(hr) ? hr : SaveExtent(stream, self()->m_sizeExtent);
    }
    STDMETHOD(SaveCompleted)(IStorage*) override { return S_OK; }
    STDMETHOD(HandsOffStorage)() override { return S_OK; }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

template <class T>
class IOleControlImpl : public IOleControl {
public:
    STDMETHOD(GetControlInfo)(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHOD(OnMnemonic)(MSG*) override { return E_NOTIMPL; }
    STDMETHOD(OnAmbientPropertyChange)(DISPID) override { return S_OK; }
    STDMETHOD(FreezeEvents)(BOOL freeze) override {
        self()->m_nFreezeEvents += freeze ? 1 : (self()->m_nFreezeEvents > 0 ? -1 : 0);
        return S_OK;
    }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

template <class T>
class IQuickActivateImpl : public IQuickActivate {
public:
    STDMETHOD(QuickActivate)(QACONTAINER* container, QACONTROL* control) override {
        return self()->IQuickActivate_QuickActivate(container, control);
    }
    STDMETHOD(SetContentExtent)(LPSIZEL size) override {
        return self()->IOleObject_SetExtent(DVASPECT_CONTENT, size);
    }
    STDMETHOD(GetContentExtent)(LPSIZEL size) override {
        return self()->IOleObject_GetExtent(DVASPECT_CONTENT, size);
    }

private:
    T* self() noexcept { return static_cast<T*>(this); }
};

// The coclass description from the type library, and the default source.
HRESULT GetCoClassTypeInfo(const CLSID& clsid, const GUID& libid, WORD major, WORD minor,
                           ITypeInfo** info) noexcept;

template <const CLSID* pclsid, const IID* psrcid, const GUID* plibid, WORD wMajor = 1,
          WORD wMinor = 0>
class IProvideClassInfo2Impl : public IProvideClassInfo2 {
public:
    STDMETHOD(GetClassInfo)(ITypeInfo** info) override {
        return GetCoClassTypeInfo(*pclsid, *plibid, wMajor, wMinor, info);
    }
    STDMETHOD(GetGUID)(DWORD kind, GUID* guid) override {
        if (!guid)
            return E_POINTER;
        *guid = GUID_NULL;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
            return E_INVALIDARG;
        if constexpr (psrcid == nullptr) {
            return E_FAIL;
        } else {
            *guid = *psrcid;
            return S_OK;
        }
    }
};

// Safety options: `supported` may be set; m_dwSafety holds the enabled ones.
template <class T, DWORD supported>
class IObjectSafetyImpl : public IObjectSafety {
public:
    STDMETHOD(GetInterfaceSafetyOptions)(REFIID iid, DWORD* pSupported, DWORD* pEnabled) override {
        if (!pSupported || !pEnabled)
            return E_POINTER;
        *pSupported = *pEnabled = 0;
        const HRESULT hr = implemented(iid);
        if (FAILED(hr))
            return hr;
        *pSupported = supported;
        *pEnabled = static_cast<T*>(this)->m_dwSafety;
        return S_OK;
    }
    STDMETHOD(SetInterfaceSafetyOptions)(REFIID iid, DWORD mask, DWORD enabled) override {
        if (FAILED(implemented(iid)))
            return E_NOINTERFACE;
        if (mask & ~supported)
            return E_FAIL;
        DWORD& current = static_cast<T*>(this)->m_dwSafety;
        current = (current & ~mask) | (enabled & mask);
        return S_OK;
    }

private:
    HRESULT implemented(REFIID iid) {
        IUnknown* p = nullptr;
        const HRESULT hr =
            static_cast<T*>(this)->_InternalQueryInterface(iid, reinterpret_cast<void**>(&p));
        if (p)
            p->Release();
        return hr;
    }
};

// The site handed over by SetSite (containers that script rather than embed).
template <class T>
class IObjectWithSiteImpl : public IObjectWithSite {
public:
    STDMETHOD(SetSite)(IUnknown* site) override {
        m_spUnkSite = site;
        return S_OK;
    }
    STDMETHOD(GetSite)(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        return m_spUnkSite ? m_spUnkSite->QueryInterface(iid, ppv) : E_FAIL;
    }

    CComPtr<IUnknown> m_spUnkSite;
};

template <class T>
class ISpecifyPropertyPagesImpl : public ISpecifyPropertyPages {
public:
    STDMETHOD(GetPages)(CAUUID* pages) override {
        if (!pages)
            return E_POINTER;
        pages->cElems = 0;
        pages->pElems = nullptr;
        return S_OK;
    }
};

// No data formats; advise connections are kept so that containers may ask.
template <class T>
class IDataObjectImpl : public IDataObject {
public:
    STDMETHOD(GetData)(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return DV_E_FORMATETC; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC* out) override {
        if (out)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC** e) override {
        if (e)
            *e = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(DAdvise)(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) override {
        if (!m_holder && FAILED(CreateDataAdviseHolder(&m_holder)))
            return E_OUTOFMEMORY;
        return m_holder->Advise(this, format, flags, sink, cookie);
    }
    STDMETHOD(DUnadvise)(DWORD cookie) override {
        return m_holder ? m_holder->Unadvise(cookie) : OLE_E_NOCONNECTION;
    }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA** e) override {
        if (e)
            *e = nullptr;
        return m_holder ? m_holder->EnumAdvise(e) : E_FAIL;
    }

private:
    CComPtr<IDataAdviseHolder> m_holder;
};

} // namespace ATL
