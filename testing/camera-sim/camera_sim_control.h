#pragma once
// The camera simulator control, registered as "Kavrin.Kavrin.2": the camera
// interface, the test interface, the event source and the OLE embedding that
// lets a control host show it.

#include "camera_operations.h"
#include "operations.h"
#include "sim_settings.h"

#include "com_object.h"
#include "connection_points.h"
#include "control.h"
#include "dispatch.h"
#include "module.h"

namespace CameraSim {

class CameraSimControl
    : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
      public ATL::CComCoClass<CameraSimControl, &CLSID_MorvathCtrl>,
      public CameraOperations,
      public ATL::IDispatchImpl<ICameraSimTesting, &IID_ICameraSimTesting, &LIBID_MorvathCtrlLib, 1,
                                0>,
      public ATL::IConnectionPointContainerImpl<CameraSimControl>,
      public ATL::IConnectionPointImpl<CameraSimControl, &DIID__IMorvathCtrlEvents>,
      public ATL::IProvideClassInfo2Impl<&CLSID_MorvathCtrl, &DIID__IMorvathCtrlEvents,
                                         &LIBID_MorvathCtrlLib>,
      public ATL::CComControl<CameraSimControl>,
      public ATL::IOleObjectImpl<CameraSimControl>,
      public ATL::IOleInPlaceObjectWindowlessImpl<CameraSimControl>,
      public ATL::IOleInPlaceActiveObjectImpl<CameraSimControl>,
      public ATL::IViewObjectExImpl<CameraSimControl>,
      public ATL::IPersistStreamInitImpl<CameraSimControl>,
      public ATL::IOleControlImpl<CameraSimControl>,
      public ATL::IQuickActivateImpl<CameraSimControl>,
      public ATL::IObjectSafetyImpl<CameraSimControl, INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                                          INTERFACESAFE_FOR_UNTRUSTED_DATA> {
public:
    DECLARE_REGISTRY_RESOURCEID(102)
    DECLARE_NOT_AGGREGATABLE(CameraSimControl)
    DECLARE_OLEMISC_STATUS(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)

    CameraSimControl() { m_bWindowOnly = true; }

    // A requested fault refuses the creation or, for this object, the camera interface.
    HRESULT FinalConstruct();

    BEGIN_COM_MAP(CameraSimControl)
    COM_INTERFACE_ENTRY2(IDispatch, IMorvathCtrl)
    COM_INTERFACE_ENTRY_FUNC(IID_IMorvathCtrl, 0, queryCamera)
    COM_INTERFACE_ENTRY(ICameraSimTesting)
    COM_INTERFACE_ENTRY(IViewObjectEx)
    COM_INTERFACE_ENTRY2(IViewObject2, IViewObjectEx)
    COM_INTERFACE_ENTRY2(IViewObject, IViewObjectEx)
    COM_INTERFACE_ENTRY(IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY2(IOleInPlaceObject, IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY(IOleInPlaceActiveObject)
    COM_INTERFACE_ENTRY(IOleControl)
    COM_INTERFACE_ENTRY(IOleObject)
    COM_INTERFACE_ENTRY(IPersistStreamInit)
    COM_INTERFACE_ENTRY2(IPersist, IPersistStreamInit)
    COM_INTERFACE_ENTRY(IQuickActivate)
    COM_INTERFACE_ENTRY(IObjectSafety)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY2(IProvideClassInfo, IProvideClassInfo2)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CameraSimControl)
    CONNECTION_POINT_ENTRY(DIID__IMorvathCtrlEvents)
    END_CONNECTION_POINT_MAP()

    BEGIN_MSG_MAP(CameraSimControl)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    CHAIN_MSG_MAP(ATL::CComControl<CameraSimControl>)
    END_MSG_MAP()

    // The control's picture: test pattern and state.
    HRESULT OnDraw(ATL::ATL_DRAWINFO& info) override;
    HRESULT InPlaceActivate(LONG verb, const RECT* pos = nullptr) override;
    HRESULT IOleInPlaceObject_InPlaceDeactivate() override;

    // A requested fault hands out an event point that refuses its next Advise.
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** point) override;

    // ICameraSimTesting
    STDMETHOD(RaiseEvent)(BSTR strText, LONG nType, LONG nSubType, LONG* nSinks) override;
    STDMETHOD(RaiseForeignEvent)(LONG nDispId, LONG* nSinks) override;
    STDMETHOD(FailNextCall)(LONG nSlot, LONG hrFailure) override;
    STDMETHOD(get_CallCount)(LONG* nCount) override;
    STDMETHOD(get_InstanceId)(LONG* nId) override;
    STDMETHOD(get_SinkCount)(LONG* nCount) override;
    STDMETHOD(get_StatusText)(BSTR* strText) override;

protected:
    long connectedSinks() override;
    std::vector<HRESULT> fireEvent(const QueuedEvent& event) override;
    void stateChanged() override;
    void raisePending() override;
    bool writePicture(const std::wstring& path) override;

private:
    static HRESULT queryCamera(void* object, REFIID iid, void** ppv, DWORD_PTR);

    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
    // While live, the picture moves: a frame counter advances ten times a second.
    LRESULT OnTimer(UINT, WPARAM id, LPARAM, BOOL& handled);
    void updateFrameTimer();

    bool frameTimer_ = false;
    bool refuseCameraQuery_ = false;
};

} // namespace CameraSim
