// Controls on the control base: paints red, raises its events on request and
// reports how it was activated and the clicks and keys it received.
// ProbeControl is window-only; ProbeWindowless negotiates windowless
// activation when the site offers it; ProbeUnsafe is window-only and refuses
// to be marked safe for untrusted callers or data.
#include "connection_points.h"
#include "control.h"
#include "module.h"
#include "probe.h"

#include <stdexcept>

using namespace ATL;

template <const CLSID* pclsid, bool windowOnly, UINT registryId,
          DWORD safety = INTERFACESAFE_FOR_UNTRUSTED_CALLER>
class CProbeControlT
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CProbeControlT<pclsid, windowOnly, registryId, safety>, pclsid>,
      public CComControl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IDispatchImpl<IProbeControl, &IID_IProbeControl, &LIBID_OrvelaProbeLib>,
      public IOleObjectImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IOleInPlaceObjectWindowlessImpl<
          CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IOleInPlaceActiveObjectImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IViewObjectExImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IPersistStreamInitImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IOleControlImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IQuickActivateImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IPersistStorageImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IDataObjectImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public ISpecifyPropertyPagesImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IProvideClassInfo2Impl<pclsid, &DIID__IProbeControlEvents, &LIBID_OrvelaProbeLib>,
      public IObjectSafetyImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>, safety>,
      public IObjectWithSiteImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IConnectionPointContainerImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>>,
      public IConnectionPointImpl<CProbeControlT<pclsid, windowOnly, registryId, safety>,
                                  &DIID__IProbeControlEvents> {
public:
    using Base = CComControl<CProbeControlT>;
    CProbeControlT() { this->m_bWindowOnly = windowOnly; }

    DECLARE_REGISTRY_RESOURCEID(registryId)
    DECLARE_OLEMISC_STATUS(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)

    BEGIN_COM_MAP(CProbeControlT)
    COM_INTERFACE_ENTRY(IProbeControl)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IViewObjectEx)
    COM_INTERFACE_ENTRY(IViewObject2)
    COM_INTERFACE_ENTRY(IViewObject)
    COM_INTERFACE_ENTRY(IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY(IOleInPlaceObject)
    COM_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY(IOleInPlaceActiveObject)
    COM_INTERFACE_ENTRY(IOleControl)
    COM_INTERFACE_ENTRY(IOleObject)
    COM_INTERFACE_ENTRY(IPersistStreamInit)
    COM_INTERFACE_ENTRY2(IPersist, IPersistStreamInit)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(ISpecifyPropertyPages)
    COM_INTERFACE_ENTRY(IQuickActivate)
    COM_INTERFACE_ENTRY(IPersistStorage)
    COM_INTERFACE_ENTRY(IDataObject)
    COM_INTERFACE_ENTRY(IProvideClassInfo)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY(IObjectSafety)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CProbeControlT)
    CONNECTION_POINT_ENTRY(DIID__IProbeControlEvents)
    END_CONNECTION_POINT_MAP()

    BEGIN_MSG_MAP(CProbeControlT)
    MESSAGE_HANDLER(WM_USER + 1, OnProbeMessage)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnClick)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKey)
    CHAIN_MSG_MAP(Base)
    END_MSG_MAP()

    // Answers wParam * 2, to show where messages are routed.
    LRESULT OnProbeMessage(UINT, WPARAM wParam, LPARAM, BOOL&) {
        return static_cast<LRESULT>(wParam * 2);
    }

    // Counted, then left to the control base.
    LRESULT OnClick(UINT, WPARAM, LPARAM, BOOL& handled) {
        ++m_clicks;
        handled = FALSE;
        return 0;
    }
    LRESULT OnKey(UINT, WPARAM, LPARAM, BOOL& handled) {
        ++m_keys;
        handled = FALSE;
        return 0;
    }

    HRESULT OnDraw(ATL_DRAWINFO& di) override {
        const RECT rc = {di.prcBounds->left, di.prcBounds->top, di.prcBounds->right,
                         di.prcBounds->bottom};
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(di.hdcDraw, &rc, red);
        DeleteObject(red);
        return S_OK;
    }

    // F5 from the container is the control's own key; F7 makes the hook fail.
    BOOL PreTranslateAccelerator(MSG* msg, HRESULT&) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F7)
            throw std::runtime_error("accelerator hook failed");
        return msg->message == WM_KEYDOWN && msg->wParam == VK_F5;
    }

    STDMETHOD(RaiseEvent)(BSTR text, long type, long subtype) override {
        return this->FireEvent(1, text, type, subtype);
    }
    STDMETHOD(RaiseOther)(long value) override { return this->FireEvent(2, value); }
    STDMETHOD(RaiseWide)() override {
        return this->FireEvent(3, 1L, 2L, 3L, 4L, 5L, 6L, 7L, 8L, 9L);
    }
    STDMETHOD(get_Window)(long* hwnd) override {
        if (!hwnd)
            return E_POINTER;
        *hwnd = static_cast<long>(reinterpret_cast<LONG_PTR>(this->m_hWnd));
        return S_OK;
    }
    STDMETHOD(get_Windowless)(VARIANT_BOOL* windowless) override {
        if (!windowless)
            return E_POINTER;
        *windowless = this->m_bInPlaceActive && this->m_bWndLess ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHOD(get_Clicks)(long* count) override {
        if (!count)
            return E_POINTER;
        *count = m_clicks;
        return S_OK;
    }
    STDMETHOD(get_Keys)(long* count) override {
        if (!count)
            return E_POINTER;
        *count = m_keys;
        return S_OK;
    }

private:
    long m_clicks = 0;
    long m_keys = 0;
};

using CProbeControl = CProbeControlT<&CLSID_ProbeControl, true, 103>;
using CProbeWindowless = CProbeControlT<&CLSID_ProbeWindowless, false, 104>;
using CProbeUnsafe = CProbeControlT<&CLSID_ProbeUnsafe, true, 105, 0>;

OBJECT_ENTRY_AUTO(CLSID_ProbeControl, CProbeControl)
OBJECT_ENTRY_AUTO(CLSID_ProbeWindowless, CProbeWindowless)
OBJECT_ENTRY_AUTO(CLSID_ProbeUnsafe, CProbeUnsafe)
