// A window-only control on the control base: paints itself red, raises its
// events on request, and reports its window.
#include "connection_points.h"
#include "control.h"
#include "module.h"
#include "probe.h"

using namespace ATL;

class CProbeControl
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CProbeControl, &CLSID_ProbeControl>,
      public CComControl<CProbeControl>,
      public IDispatchImpl<IProbeControl, &IID_IProbeControl, &LIBID_OrvelaProbeLib>,
      public IOleObjectImpl<CProbeControl>,
      public IOleInPlaceObjectWindowlessImpl<CProbeControl>,
      public IOleInPlaceActiveObjectImpl<CProbeControl>,
      public IViewObjectExImpl<CProbeControl>,
      public IPersistStreamInitImpl<CProbeControl>,
      public IOleControlImpl<CProbeControl>,
      public IQuickActivateImpl<CProbeControl>,
      public IPersistStorageImpl<CProbeControl>,
      public IDataObjectImpl<CProbeControl>,
      public ISpecifyPropertyPagesImpl<CProbeControl>,
      public IProvideClassInfo2Impl<&CLSID_ProbeControl, &DIID__IProbeControlEvents,
                                    &LIBID_OrvelaProbeLib>,
      public IObjectSafetyImpl<CProbeControl, INTERFACESAFE_FOR_UNTRUSTED_CALLER>,
      public IConnectionPointContainerImpl<CProbeControl>,
      public IConnectionPointImpl<CProbeControl, &DIID__IProbeControlEvents> {
public:
    CProbeControl() { m_bWindowOnly = true; }

    DECLARE_REGISTRY_RESOURCEID(103)
    DECLARE_OLEMISC_STATUS(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)

    BEGIN_COM_MAP(CProbeControl)
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
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CProbeControl)
    CONNECTION_POINT_ENTRY(DIID__IProbeControlEvents)
    END_CONNECTION_POINT_MAP()

    BEGIN_MSG_MAP(CProbeControl)
    CHAIN_MSG_MAP(CComControl<CProbeControl>)
    END_MSG_MAP()

    HRESULT OnDraw(ATL_DRAWINFO& di) override {
        const RECT rc = {di.prcBounds->left, di.prcBounds->top, di.prcBounds->right,
                         di.prcBounds->bottom};
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(di.hdcDraw, &rc, red);
        DeleteObject(red);
        return S_OK;
    }

    STDMETHOD(RaiseEvent)(BSTR text, long type, long subtype) override {
        return FireEvent(1, text, type, subtype);
    }
    STDMETHOD(RaiseOther)(long value) override { return FireEvent(2, value); }
    STDMETHOD(RaiseWide)() override { return FireEvent(3, 1L, 2L, 3L, 4L, 5L, 6L, 7L, 8L, 9L); }
    STDMETHOD(get_Window)(long* hwnd) override {
        if (!hwnd)
            return E_POINTER;
        *hwnd = static_cast<long>(reinterpret_cast<LONG_PTR>(m_hWnd));
        return S_OK;
    }
};

OBJECT_ENTRY_AUTO(CLSID_ProbeControl, CProbeControl)
