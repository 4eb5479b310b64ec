#pragma once
// The page objects the IE host serves to script and to controls: the window
// (IHTMLWindow2; unknown names go to the engine's global object), console,
// document (IHTMLDocument2/3) and its body, web browser (IWebBrowser2), one
// element per <object> (made by the page or by createElement) with a control
// site while it is in the page, the <param> bag and the sink for
// <script for= event=> handlers.

#include <windows.h>
#include <dispex.h>
#include <ocidl.h>
#include <servprov.h>

#include <map>
#include <string>
#include <vector>

#include "Host.h"
#include "browser_stubs.h"
#include "com_object.h"
#include "dispatch.h"

namespace IeHost {

// Counts itself among the live page objects.
struct LiveObject {
    LiveObject() { InterlockedIncrement(&g_liveObjects); }
    ~LiveObject() { InterlockedDecrement(&g_liveObjects); }
};

// A new host object holding one reference, for its maker to release.
template <class T>
T* make() {
    ATL::CComObject<T>* object = nullptr;
    ATL::CComObject<T>::CreateInstance(&object);
    object->AddRef();
    return object;
}

// Names served by an object itself, and the names it forwards to another
// dispatch (with identifiers of its own for them).
class NameTable {
public:
    explicit NameTable(std::vector<std::wstring> own) : m_own(std::move(own)) {}
    // 1-based identifier of an own name, or 0.
    DISPID own(const std::wstring& name) const;
    // GetIDsOfNames for one own name: DISP_E_UNKNOWNNAME (ids[0] DISPID_UNKNOWN)
    // for any other.
    HRESULT idOfOwn(LPOLESTR* names, UINT count, DISPID* ids) const;
    DISPID forwarded(DISPID target);
    bool target(DISPID id, DISPID& target) const;

private:
    std::vector<std::wstring> m_own;
    std::map<DISPID, DISPID> m_toTarget;
    std::map<DISPID, DISPID> m_fromTarget;
    DISPID m_next = 10000;
};

// Positional arguments of a call in script order (named ones left out).
std::vector<VARIANT*> scriptArgs(DISPPARAMS* params);

// The object's IDispatch as a call's result (null when it has none).
HRESULT setDispatch(VARIANT* result, IUnknown* object);
// Unknown names go to another dispatch; ensure asks it to make the name.
HRESULT forwardName(NameTable& names, IDispatch* target, BSTR name, bool ensure, DISPID* id);
HRESULT forwardCall(NameTable& names, IDispatch* target, DISPID id, WORD flags, DISPPARAMS* params,
                    VARIANT* result, EXCEPINFO* info);

// A page object that script reaches through IDispatch alone.
class ScriptObject : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                     public ATL::IDispatchNoTypeInfoImpl<IDispatch>,
                     public LiveObject {
public:
    BEGIN_COM_MAP(ScriptObject)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
};

class Console : public ScriptObject {
public:
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
};

class Window : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
               public ATL::IDispatchNoTypeInfoImpl<HTMLWindow2Stubs>,
               public ATL::IDispatchNoTypeInfoImpl<IDispatchEx>,
               public LiveObject {
public:
    Window();
    BEGIN_COM_MAP(Window)
    COM_INTERFACE_ENTRY(IHTMLWindow2)
    COM_INTERFACE_ENTRY2(IHTMLFramesCollection2, IHTMLWindow2)
    COM_INTERFACE_ENTRY2(IDispatch, IHTMLWindow2)
    COM_INTERFACE_ENTRY(IDispatchEx)
    END_COM_MAP()

    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    STDMETHOD(GetDispID)(BSTR name, DWORD flags, DISPID* id) override;
    STDMETHOD(InvokeEx)
    (DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) override;
    STDMETHOD(DeleteMemberByName)(BSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(DeleteMemberByDispID)(DISPID) override { return E_NOTIMPL; }
    STDMETHOD(GetMemberProperties)(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(GetMemberName)(DISPID, BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(GetNextDispID)(DWORD, DISPID, DISPID*) override { return S_FALSE; }
    STDMETHOD(GetNameSpaceParent)(IUnknown**) override { return E_NOTIMPL; }

    STDMETHOD(get_document)(IHTMLDocument2** p) override;
    STDMETHOD(alert)(BSTR message) override;
    STDMETHOD(close)() override;
    STDMETHOD(execScript)(BSTR code, BSTR language, VARIANT* result) override;
    STDMETHOD(get_self)(IHTMLWindow2** p) override;
    STDMETHOD(get_window)(IHTMLWindow2** p) override;

    void dropPageObjects() {
        m_console.Release();
        m_testbed.Release();
    }

private:
    HRESULT callOwn(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
    NameTable m_names;
    ATL::CComPtr<IDispatch> m_console;
    ATL::CComPtr<IDispatch> m_testbed;
};

class Document : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                 public ATL::IDispatchNoTypeInfoImpl<HTMLDocument2Stubs>,
                 public ATL::IDispatchNoTypeInfoImpl<HTMLDocument3Stubs>,
                 public LiveObject {
public:
    Document();
    BEGIN_COM_MAP(Document)
    COM_INTERFACE_ENTRY(IHTMLDocument2)
    COM_INTERFACE_ENTRY2(IHTMLDocument, IHTMLDocument2)
    COM_INTERFACE_ENTRY2(IDispatch, IHTMLDocument2)
    COM_INTERFACE_ENTRY(IHTMLDocument3)
    END_COM_MAP()

    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    STDMETHOD(get_Script)(IDispatch** p) override;
    STDMETHOD(get_URL)(BSTR* p) override; // in PageAddress.cpp
    STDMETHOD(get_parentWindow)(IHTMLWindow2** p) override;
    STDMETHOD(getElementById)(BSTR id, IHTMLElement** element) override;

    void dropBody() { m_body.Release(); }

private:
    NameTable m_names;
    ATL::CComPtr<IDispatch> m_body;
};

// document.body: adding an element creates its control, removing it destroys it.
class Body : public ScriptObject {
public:
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
};

class WebBrowser : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                   public ATL::IDispatchNoMembersImpl<WebBrowser2Stubs>,
                   public LiveObject {
public:
    BEGIN_COM_MAP(WebBrowser)
    COM_INTERFACE_ENTRY(IWebBrowser2)
    COM_INTERFACE_ENTRY2(IWebBrowserApp, IWebBrowser2)
    COM_INTERFACE_ENTRY2(IWebBrowser, IWebBrowser2)
    COM_INTERFACE_ENTRY2(IDispatch, IWebBrowser2)
    END_COM_MAP()
    STDMETHOD(get_Document)(IDispatch** p) override;
    STDMETHOD(get_LocationURL)(BSTR* url) override;
    STDMETHOD(Navigate)(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return S_OK; }
};

// Identifies the host's own elements among the objects script hands back.
extern const IID IID_IeHostElement;

// The <object> element as script and the control see it: its attributes
// (id, type, classid, width, height) and "object" (the control) of its own,
// everything else the control's while the element is in the page (unless
// the host runs with --element=object).
class Element : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                public ATL::IDispatchNoTypeInfoImpl<HTMLElementStubs>,
                public LiveObject {
public:
    Element();
    BEGIN_COM_MAP(Element)
    COM_INTERFACE_ENTRY(IHTMLElement)
    COM_INTERFACE_ENTRY2(IDispatch, IHTMLElement)
    COM_INTERFACE_ENTRY_IID(IID_IeHostElement, Element)
    END_COM_MAP()
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    STDMETHOD(get_id)(BSTR* id) override;

    // The element as written or as script set it up; its control is made from it.
    PageItem item;
    ControlSite* site = nullptr;

private:
    HRESULT attribute(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
    // Where the names the element lacks go (none when only "object" reaches the control).
    IDispatch* forwardTarget() const;
    void setAttribute(const std::wstring& name, const VARIANT& value);
    NameTable m_names;
};

// The <param>s of one element, as the control reads them.
class PropertyBag : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                    public IPropertyBag,
                    public IPropertyBag2,
                    public LiveObject {
public:
    BEGIN_COM_MAP(PropertyBag)
    COM_INTERFACE_ENTRY(IPropertyBag)
    COM_INTERFACE_ENTRY(IPropertyBag2)
    END_COM_MAP()
    STDMETHOD(Read)(LPCOLESTR name, VARIANT* value, IErrorLog*) override;
    STDMETHOD(Write)(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(Read)(ULONG, PROPBAG2*, IErrorLog*, VARIANT*, HRESULT*) override;
    STDMETHOD(Write)(ULONG, PROPBAG2*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(CountProperties)(ULONG* count) override;
    STDMETHOD(GetPropertyInfo)(ULONG, ULONG, PROPBAG2*, ULONG*) override;
    STDMETHOD(LoadObject)(LPCOLESTR, DWORD, IUnknown*, IErrorLog*) override { return E_NOTIMPL; }

    std::vector<std::pair<std::wstring, std::wstring>> params;
};

// Calls the page functions made from <script for= event=> blocks.
class EventSinkObject : public ScriptObject {
public:
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    // event name -> page function name
    std::vector<std::pair<std::wstring, std::wstring>> handlers;
    // The control's default source interface and its description, by which
    // an event that comes by number alone is named.
    IID source = GUID_NULL;
    ATL::CComPtr<ITypeInfo> events;

private:
    const std::wstring* handlerFor(DISPID id) const;
};

// The sink also answers as the control's source dispinterface, which a
// connection point asks it for.
class EventSink : public EventSinkObject {
public:
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept;
};

// Problems the control reports while it loads its <param>s.
class ErrorLog : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                 public IErrorLog,
                 public LiveObject {
public:
    BEGIN_COM_MAP(ErrorLog)
    COM_INTERFACE_ENTRY(IErrorLog)
    END_COM_MAP()
    STDMETHOD(AddError)(LPCOLESTR name, EXCEPINFO* info) override;
};

// Sites one control as Internet Explorer does, in a child window of the
// host's top-level window.
class ControlSite : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                    public IOleClientSite,
                    public IOleInPlaceSiteWindowless,
                    public IOleControlSite,
                    public IServiceProvider,
                    public ATL::IDispatchNoTypeInfoImpl<IDispatch>,
                    public IAdviseSinkEx,
                    public IPropertyNotifySink,
                    public LiveObject {
public:
    BEGIN_COM_MAP(ControlSite)
    COM_INTERFACE_ENTRY(IOleClientSite)
    COM_INTERFACE_ENTRY_FUNC(IID_IOleInPlaceSiteWindowless, 0, &ControlSite::windowlessSite)
    COM_INTERFACE_ENTRY(IOleInPlaceSiteEx)
    COM_INTERFACE_ENTRY(IOleInPlaceSite)
    COM_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceSite)
    COM_INTERFACE_ENTRY(IOleControlSite)
    COM_INTERFACE_ENTRY(IServiceProvider)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IAdviseSinkEx)
    COM_INTERFACE_ENTRY2(IAdviseSink, IAdviseSinkEx)
    COM_INTERFACE_ENTRY(IPropertyNotifySink)
    END_COM_MAP()

    static HRESULT windowlessSite(void* self, REFIID, void** ppv, DWORD_PTR);
    // The font a page gives its controls.
    static ATL::CComPtr<IFont> pageFont();

    // Creates and loads the control for the element; false (with a message)
    // when it cannot be made. A control that refuses to be scripted safely is
    // let go at once: the element stays, without a control (with a message).
    bool create(Element* element, std::wstring& error);
    // In-place activation in the element's window, and back.
    void activate();
    void deactivate();
    void destroy();
    void resize(int width, int height);
    void paint();
    bool windowlessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The sink of the element's <script for> handlers, connected to the
    // control when it is made (by QuickActivate, or Advise on the older path).
    EventSink* eventSink() const { return m_eventSink; }

    // IOleClientSite
    STDMETHOD(SaveObject)() override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHOD(GetContainer)(IOleContainer** c) override;
    STDMETHOD(ShowObject)() override { return S_OK; }
    STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
    STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }
    // IOleWindow
    STDMETHOD(GetWindow)(HWND* hwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHOD(CanInPlaceActivate)() override { return S_OK; }
    STDMETHOD(OnInPlaceActivate)() override { return S_OK; }
    STDMETHOD(OnUIActivate)() override { return S_OK; }
    STDMETHOD(GetWindowContext)
    (IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT, LPRECT, LPOLEINPLACEFRAMEINFO) override;
    STDMETHOD(Scroll)(SIZE) override { return E_NOTIMPL; }
    STDMETHOD(OnUIDeactivate)(BOOL) override { return S_OK; }
    STDMETHOD(OnInPlaceDeactivate)() override { return S_OK; }
    STDMETHOD(DiscardUndoState)() override { return S_OK; }
    STDMETHOD(DeactivateAndUndo)() override { return S_OK; }
    STDMETHOD(OnPosRectChange)(LPCRECT) override { return S_OK; }
    // IOleInPlaceSiteEx
    STDMETHOD(OnInPlaceActivateEx)(BOOL* noRedraw, DWORD flags) override;
    STDMETHOD(OnInPlaceDeactivateEx)(BOOL) override { return S_OK; }
    STDMETHOD(RequestUIActivate)() override { return S_OK; }
    // IOleInPlaceSiteWindowless
    STDMETHOD(CanWindowlessActivate)() override;
    STDMETHOD(GetCapture)() override { return m_capture ? S_OK : S_FALSE; }
    STDMETHOD(SetCapture)(BOOL capture) override;
    STDMETHOD(GetFocus)() override { return S_OK; }
    STDMETHOD(SetFocus)(BOOL) override { return S_OK; }
    STDMETHOD(GetDC)(LPCRECT, DWORD, HDC* hdc) override;
    STDMETHOD(ReleaseDC)(HDC hdc) override;
    STDMETHOD(InvalidateRect)(LPCRECT rect, BOOL erase) override;
    STDMETHOD(InvalidateRgn)(HRGN, BOOL erase) override;
    STDMETHOD(ScrollRect)(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHOD(AdjustRect)(LPRECT) override { return S_OK; }
    STDMETHOD(OnDefWindowMessage)(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // IOleControlSite
    STDMETHOD(OnControlInfoChanged)() override { return S_OK; }
    STDMETHOD(LockInPlaceActive)(BOOL) override { return S_OK; }
    STDMETHOD(GetExtendedControl)(IDispatch** element) override;
    STDMETHOD(TransformCoords)(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(TranslateAccelerator)(MSG*, DWORD) override { return S_FALSE; }
    STDMETHOD(OnFocus)(BOOL) override { return S_OK; }
    STDMETHOD(ShowPropertyFrame)() override { return E_NOTIMPL; }
    // IServiceProvider
    STDMETHOD(QueryService)(REFGUID service, REFIID iid, void** ppv) override;
    // IDispatch: the ambient properties
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IAdviseSink: a control's view changed
    STDMETHOD_(void, OnDataChange)(FORMATETC*, STGMEDIUM*) override {}
    STDMETHOD_(void, OnViewChange)(DWORD, LONG) override;
    STDMETHOD_(void, OnRename)(IMoniker*) override {}
    STDMETHOD_(void, OnSave)() override {}
    STDMETHOD_(void, OnClose)() override {}
    // IAdviseSinkEx
    STDMETHOD_(void, OnViewStatusChange)(DWORD) override {}
    // IPropertyNotifySink
    STDMETHOD(OnChanged)(DISPID id) override;
    STDMETHOD(OnRequestEdit)(DISPID) override { return S_OK; }

    std::wstring id;
    ATL::CComPtr<IUnknown> control;
    ATL::CComPtr<IDispatch> controlDispatch;
    ATL::CComPtr<IHTMLElement> element;
    HWND container = nullptr;
    RECT rect = {};
    bool windowless = false;
    // The control's ready state as it last announced it.
    LONG readyState = READYSTATE_UNINITIALIZED;
    // What the host did with the control, in order (testbed.siteCalls).
    std::vector<std::wstring> calls;

private:
    bool safeToUse(const CLSID& clsid, bool& safeToLoad, std::wstring& error);
    bool quickActivate();
    void load(const PageItem& item, bool safeToLoad);
    void adviseSinks();
    void readReadyState();
    void unadvise();

    ATL::CComPtr<IOleObject> m_oleObject;
    ATL::CComPtr<IOleInPlaceObjectWindowless> m_windowlessObject;
    EventSink* m_eventSink = nullptr;
    ATL::CComPtr<IDispatch> m_eventSinkHold;
    // Connections, by the cookies the control gave.
    DWORD m_eventCookie = 0;
    DWORD m_propertyNotifyCookie = 0;
    DWORD m_adviseCookie = 0;
    bool m_viewAdvised = false;
    bool m_capture = false;
};

} // namespace IeHost
