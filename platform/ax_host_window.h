#pragma once
// The host object behind a control-host window: the container side of one
// embedded control. It creates (or adopts) the control, sites it, activates
// it in place in the window (windowed or windowless), keeps it sized to the
// window, routes focus, keys, mouse and paint to it, answers its ambient
// properties, and tears it down when the window goes.

#include "ax_host.h"
#include "com_object.h"
#include "com_ptr.h"
#include "com_types.h"

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

namespace ATL {

class CAxHostWindow : public CComObjectRootEx<CComSingleThreadModel>,
                      public IAxWinHostWindow,
                      public IOleClientSite,
                      public IOleInPlaceSiteWindowless,
                      public IOleInPlaceFrame,
                      public IOleControlSite,
                      public IOleContainer,
                      public IAdviseSinkEx,
                      public IServiceProvider,
                      public IObjectWithSite,
                      public IDispatch {
public:
    BEGIN_COM_MAP(CAxHostWindow)
    COM_INTERFACE_ENTRY_IID(IID_IAxWinHostWindow, IAxWinHostWindow)
    COM_INTERFACE_ENTRY(IOleClientSite)
    COM_INTERFACE_ENTRY(IOleInPlaceSiteWindowless)
    COM_INTERFACE_ENTRY2(IOleInPlaceSiteEx, IOleInPlaceSiteWindowless)
    COM_INTERFACE_ENTRY2(IOleInPlaceSite, IOleInPlaceSiteWindowless)
    COM_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceSiteWindowless)
    COM_INTERFACE_ENTRY(IOleInPlaceFrame)
    COM_INTERFACE_ENTRY2(IOleInPlaceUIWindow, IOleInPlaceFrame)
    COM_INTERFACE_ENTRY(IOleControlSite)
    COM_INTERFACE_ENTRY(IOleContainer)
    COM_INTERFACE_ENTRY2(IParseDisplayName, IOleContainer)
    COM_INTERFACE_ENTRY(IAdviseSinkEx)
    COM_INTERFACE_ENTRY2(IAdviseSink, IAdviseSinkEx)
    COM_INTERFACE_ENTRY(IServiceProvider)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    // A new host with one reference held by the caller.
    static HRESULT Create(CComPtr<IAxWinHostWindow>& host) noexcept;
    // The host attached to hWnd, or null.
    static CAxHostWindow* FromWindow(HWND hWnd) noexcept;
    // Makes hWnd this host's window. A window of the host classes routes its
    // messages here already; any other window is subclassed. The window then
    // holds a reference to the host until it is destroyed.
    HRESULT AttachWindow(HWND hWnd, bool subclass) noexcept;
    // The window procedure of the host classes and of subclassed windows.
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    // Creates the control named by a ProgID, "{clsid}" or a bare CLSID text,
    // with a license key when one is given.
    HRESULT CreateControlLicensed(LPCOLESTR name, HWND hWnd, IStream* stream, BSTR license,
                                  IUnknown** control, REFIID adviseIid,
                                  IUnknown* adviseSink) noexcept;
    IUnknown* Control() const noexcept { return m_control; }

    // IAxWinHostWindow
    STDMETHOD(CreateControl)(LPCOLESTR name, HWND hWnd, IStream* stream) override;
    STDMETHOD(CreateControlEx)
    (LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** control, REFIID adviseIid,
     IUnknown* adviseSink) override;
    STDMETHOD(AttachControl)(IUnknown* control, HWND hWnd) override;
    STDMETHOD(QueryControl)(REFIID iid, void** ppv) override;
    STDMETHOD(SetExternalDispatch)(IDispatch* external) override;
    STDMETHOD(SetExternalUIHandler)(IUnknown* handler) override;

    // IOleClientSite
    STDMETHOD(SaveObject)() override;
    STDMETHOD(GetMoniker)(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHOD(GetContainer)(IOleContainer** container) override;
    STDMETHOD(ShowObject)() override;
    STDMETHOD(OnShowWindow)(BOOL show) override;
    STDMETHOD(RequestNewObjectLayout)() override;

    // IOleWindow (site and frame)
    STDMETHOD(GetWindow)(HWND* hWnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;

    // IOleInPlaceSite, IOleInPlaceSiteEx, IOleInPlaceSiteWindowless
    STDMETHOD(CanInPlaceActivate)() override;
    STDMETHOD(OnInPlaceActivate)() override;
    STDMETHOD(OnUIActivate)() override;
    STDMETHOD(GetWindowContext)
    (IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, RECT* pos, RECT* clip,
     OLEINPLACEFRAMEINFO* frameInfo) override;
    STDMETHOD(Scroll)(SIZE extent) override;
    STDMETHOD(OnUIDeactivate)(BOOL undoable) override;
    STDMETHOD(OnInPlaceDeactivate)() override;
    STDMETHOD(DiscardUndoState)() override;
    STDMETHOD(DeactivateAndUndo)() override;
    STDMETHOD(OnPosRectChange)(const RECT* pos) override;
    STDMETHOD(OnInPlaceActivateEx)(BOOL* noRedraw, DWORD flags) override;
    STDMETHOD(OnInPlaceDeactivateEx)(BOOL noRedraw) override;
    STDMETHOD(RequestUIActivate)() override;
    STDMETHOD(CanWindowlessActivate)() override;
    STDMETHOD(GetCapture)() override;
    STDMETHOD(SetCapture)(BOOL capture) override;
    STDMETHOD(GetFocus)() override;
    STDMETHOD(SetFocus)(BOOL focus) override;
    STDMETHOD(GetDC)(const RECT* rect, DWORD flags, HDC* dc) override;
    STDMETHOD(ReleaseDC)(HDC dc) override;
    STDMETHOD(InvalidateRect)(const RECT* rect, BOOL erase) override;
    STDMETHOD(InvalidateRgn)(HRGN region, BOOL erase) override;
    STDMETHOD(ScrollRect)(INT dx, INT dy, const RECT* scroll, const RECT* clip) override;
    STDMETHOD(AdjustRect)(RECT* rect) override;
    STDMETHOD(OnDefWindowMessage)
    (UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHOD(GetBorder)(RECT* border) override;
    STDMETHOD(RequestBorderSpace)(LPCBORDERWIDTHS widths) override;
    STDMETHOD(SetBorderSpace)(LPCBORDERWIDTHS widths) override;
    STDMETHOD(SetActiveObject)(IOleInPlaceActiveObject* active, LPCOLESTR name) override;
    STDMETHOD(InsertMenus)(HMENU menu, OLEMENUGROUPWIDTHS* widths) override;
    STDMETHOD(SetMenu)(HMENU menu, HOLEMENU olemenu, HWND activeObject) override;
    STDMETHOD(RemoveMenus)(HMENU menu) override;
    STDMETHOD(SetStatusText)(LPCOLESTR text) override;
    STDMETHOD(EnableModeless)(BOOL enable) override;
    STDMETHOD(TranslateAccelerator)(MSG* msg, WORD id) override;

    // IOleControlSite
    STDMETHOD(OnControlInfoChanged)() override;
    STDMETHOD(LockInPlaceActive)(BOOL lock) override;
    STDMETHOD(GetExtendedControl)(IDispatch** extended) override;
    STDMETHOD(TransformCoords)(POINTL* himetric, POINTF* container, DWORD flags) override;
    STDMETHOD(TranslateAccelerator)(MSG* msg, DWORD modifiers) override;
    STDMETHOD(OnFocus)(BOOL gotFocus) override;
    STDMETHOD(ShowPropertyFrame)() override;

    // IParseDisplayName, IOleContainer
    STDMETHOD(ParseDisplayName)
    (IBindCtx* bindContext, LPOLESTR name, ULONG* eaten, IMoniker** moniker) override;
    STDMETHOD(EnumObjects)(DWORD flags, IEnumUnknown** objects) override;
    STDMETHOD(LockContainer)(BOOL lock) override;

    // IAdviseSink, IAdviseSinkEx
    STDMETHOD_(void, OnDataChange)(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHOD_(void, OnViewChange)(DWORD aspect, LONG index) override;
    STDMETHOD_(void, OnRename)(IMoniker* moniker) override;
    STDMETHOD_(void, OnSave)() override;
    STDMETHOD_(void, OnClose)() override;
    STDMETHOD_(void, OnViewStatusChange)(DWORD status) override;

    // IServiceProvider: asks the site given through IObjectWithSite.
    STDMETHOD(QueryService)(REFGUID service, REFIID iid, void** ppv) override;

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* site) override;
    STDMETHOD(GetSite)(REFIID iid, void** ppv) override;

    // IDispatch: the ambient properties, read by DISPID.
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)
    (DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* excepInfo, UINT* argError) override;

    void FinalRelease();

private:
    HRESULT ActivateControl(IUnknown* control, bool initialised, IStream* stream) noexcept;
    HRESULT InitialiseControl(IStream* stream) noexcept;
    bool QuickActivate() noexcept;
    void ReleaseControl() noexcept;
    void ResizeControl() noexcept;
    SIZEL ClientExtent() const noexcept;
    HRESULT ReadAmbient(DISPID id, VARIANT* result) noexcept;

    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT CallNext(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    bool ForwardToWindowless(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;
    bool Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;
    void Paint() noexcept;
    void OnDestroy() noexcept;
    void DetachWindow() noexcept;

    HWND m_hWnd = nullptr;
    WNDPROC m_previousProc = nullptr; // set when the window was subclassed
    RECT m_rcPos = {};
    CComBSTR m_name;

    CComPtr<IUnknown> m_control;
    CComPtr<IOleObject> m_oleObject;
    CComPtr<IViewObject> m_viewObject;
    CComPtr<IOleInPlaceObject> m_inPlaceObject;
    CComPtr<IOleInPlaceObjectWindowless> m_windowlessObject;
    CComPtr<IOleInPlaceActiveObject> m_activeObject;
    DWORD m_miscStatus = 0;
    DWORD m_oleAdviseCookie = 0;
    bool m_viewAdvised = false;
    IID m_eventIid = {};
    CComPtr<IUnknown> m_eventSink;
    DWORD m_eventCookie = 0;

    bool m_inPlaceActive = false;
    bool m_uiActive = false;
    bool m_windowless = false;
    bool m_capture = false;
    bool m_focus = false;

    CComPtr<IUnknown> m_site;
    CComPtr<IDispatch> m_externalDispatch;
    CComPtr<IUnknown> m_externalUIHandler;
};

} // namespace ATL
