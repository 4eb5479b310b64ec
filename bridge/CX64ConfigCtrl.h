#pragma once
// X64ConfigCtrl: the control that 64-bit Internet Explorer creates out of
// process. When its window is created it hosts the camera control
// ("Kavrin.Kavrin.2") in an "AtlAxWin80" child window, forwards six camera
// operations to it, and passes the camera's events to a page function named
// through SetIEWindow.
//
// Camera operations made before the camera control exists answer S_OK and
// leave their result unwritten; InitCtrl's arguments are kept and the call is
// made once the camera control is created (again after each re-creation).
//
// On a page that the site lock refuses, the camera is never created and the
// six camera operations answer E_ACCESSDENIED with the refusal as error
// information.

#include "CIMorvathCtrlEvent.h"
#include "IKavrinEventDisplayer.h"
#include "KavrinControl.h"
#include "orvelaX64.h"

#include "com_types.h"
#include "connection_points.h"
#include "control.h"
#include "dispatch.h"
#include "module.h"
#include "site_patterns.h"

#include <mshtml.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

class CX64ConfigCtrl
    : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
      public ATL::IDispatchImpl<IX64ConfigCtrl, &IID_IX64ConfigCtrl, &LIBID_KavrinX64Lib, 1, 0>,
      public ATL::IPersistStreamInitImpl<CX64ConfigCtrl>,
      public ATL::IOleControlImpl<CX64ConfigCtrl>,
      public ATL::IOleObjectImpl<CX64ConfigCtrl>,
      public ATL::IOleInPlaceActiveObjectImpl<CX64ConfigCtrl>,
      public ATL::IViewObjectExImpl<CX64ConfigCtrl>,
      public ATL::IOleInPlaceObjectWindowlessImpl<CX64ConfigCtrl>,
      public ATL::ISupportErrorInfoImpl<&IID_IX64ConfigCtrl>,
      public ATL::IConnectionPointContainerImpl<CX64ConfigCtrl>,
      public ATL::IConnectionPointImpl<CX64ConfigCtrl, &DIID__IX64ConfigCtrlEvents>,
      public ATL::IPersistStorageImpl<CX64ConfigCtrl>,
      public ATL::ISpecifyPropertyPagesImpl<CX64ConfigCtrl>,
      public ATL::IQuickActivateImpl<CX64ConfigCtrl>,
      public ATL::IDataObjectImpl<CX64ConfigCtrl>,
      public ATL::IProvideClassInfo2Impl<&CLSID_X64ConfigCtrl, &DIID__IX64ConfigCtrlEvents,
                                         &LIBID_KavrinX64Lib>,
      public ATL::IObjectSafetyImpl<CX64ConfigCtrl, INTERFACESAFE_FOR_UNTRUSTED_CALLER>,
      public ATL::CComCoClass<CX64ConfigCtrl, &CLSID_X64ConfigCtrl>,
      public ATL::CComControl<CX64ConfigCtrl>,
      public IKavrinEventDisplayer {
public:
    using Base = ATL::CComControl<CX64ConfigCtrl>;

    CX64ConfigCtrl();
    ~CX64ConfigCtrl() override;

    static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept;
    DECLARE_OLEMISC_STATUS(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)

    BEGIN_COM_MAP(CX64ConfigCtrl)
    COM_INTERFACE_ENTRY(IX64ConfigCtrl)
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
    COM_INTERFACE_ENTRY(ISupportErrorInfo)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(ISpecifyPropertyPages)
    COM_INTERFACE_ENTRY(IQuickActivate)
    COM_INTERFACE_ENTRY(IPersistStorage)
    COM_INTERFACE_ENTRY(IDataObject)
    COM_INTERFACE_ENTRY(IProvideClassInfo)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY(IObjectSafety)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CX64ConfigCtrl)
    CONNECTION_POINT_ENTRY(DIID__IX64ConfigCtrlEvents)
    END_CONNECTION_POINT_MAP()

    BEGIN_MSG_MAP(CX64ConfigCtrl)
    CHAIN_MSG_MAP(Base)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()

    HRESULT FinalConstruct();

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSize(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
    // Focus that reaches the control (tabbing into the element) goes on to
    // the camera's window, so the camera gets the keyboard.
    LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL&);

    // The control paints nothing: the camera control's window covers it.
    HRESULT OnDraw(ATL::ATL_DRAWINFO&) override { return S_OK; }
    // Keyboard from the container belongs to the camera control.
    BOOL PreTranslateAccelerator(MSG* msg, HRESULT& hr) override;

    // IDispatch: a call that fails before it reaches a method says why.
    STDMETHOD(Invoke)
    (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* excep, UINT* argErr) override;

    // IX64ConfigCtrl
    STDMETHOD(InitCtrl)(BSTR strBaseUrl, BSTR strIp, LONG nPtzPort, LONG* nRet) override;
    STDMETHOD(GetCtrlVersion)(BSTR* strVerSion) override;
    STDMETHOD(LoadLang)(BSTR strUrl, LONG nUrlType, LONG* nRet) override;
    STDMETHOD(SetBufferTick)(LONG nTick, LONG nCount, LONG* nRet) override;
    STDMETHOD(SetBufferTickV2)(LONG nTick, LONG nCount, LONG* nRet) override;
    STDMETHOD(SetDeviceType)(LONG nType, BSTR bsInfo, LONG* nRet) override;
    STDMETHOD(SetIEWindow)(VARIANT vtWindow, BSTR strFuncLs, LONG* nRet) override;

    // IKavrinEventDisplayer
    LONG DisplayCtrlEvent(BSTR text, LONG type, LONG subType) override;

    // Calls the page's script function name with the arguments in index
    // order as positional parameters (so the function sees them reversed);
    // true when it was found and the call succeeded.
    bool CallPageFunction(const std::wstring& name, const std::map<int, std::wstring>& arguments,
                          VARIANT* result);

    // Creates the camera control in the control's window: -1 without a
    // window, else 0 (whether or not the camera control could be created).
    int CreateHostedCtrl();
    void DestroyHostedCtrl();

private:
    // Runs a camera operation when the camera control exists; its failure
    // HRESULT is the method's answer, with error information naming it.
    template <class F>
    HRESULT Forward(const wchar_t* operation, F&& call);
    // Forwards one camera operation that answers a number through its last
    // parameter; the answer is written only when the call succeeded.
    template <auto Operation, class... Args>
    HRESULT ForwardAnswer(const wchar_t* operation, LONG* answer, Args... args);
    void ReportCameraFailure(const wchar_t* operation, HRESULT hr) noexcept;
    bool PageAllowed() noexcept;
    // E_ACCESSDENIED with the refusal as error information when the page may
    // not use the camera; a camera held back at window creation is created
    // once the page may.
    HRESULT AdmitCamera() noexcept;
    // The page's script object, fetched once per page document.
    HRESULT PageScript(IDispatch** script);

    BOOL m_bCtrlCreated = FALSE;
    BOOL m_bCtrlInited = FALSE;
    ATL::CComBSTR m_bstrBaseUrl{L""};
    ATL::CComBSTR m_bstrIp{L""};
    LONG m_nPtzPort = 8091;
    std::unique_ptr<CIMorvathCtrlEvent> m_pEventSink;
    ATL::CComPtr<KavrinControl::ICameraControl> m_spCtrl;
    HWND m_wndHost = nullptr;
    ATL::CComPtr<IHTMLDocument2> m_spHTMLDoc;
    ATL::CComPtr<IHTMLWindow2> m_spHTMLWindow;
    ATL::CComBSTR m_bstrFuncList;
    std::map<int, std::string> m_mapFuncName;

    // Marshaling the page's document costs hundreds of milliseconds out of
    // process: its script object and the functions found in it are kept.
    ATL::CComPtr<IDispatch> m_spPageScript;
    std::map<std::wstring, DISPID> m_pageFunctionIds;
    std::optional<orvelaSites::AllowList> m_allowedSites;
    BOOL m_bCtrlWithheld = FALSE;
};
