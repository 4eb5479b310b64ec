#pragma once
// The plug-in as an Internet Explorer control (class FWControl0): the page's
// <param>s reach the plug-in core, the control meets its site and window, makes
// the core's browser host, and page script reaches the core's root scripting
// object through IFWControl (IDispatchEx) and its event source.

#include <windows.h>
#include <ocidl.h>
#include <exdisp.h>

#include <memory>
#include <string>

#include "BrowserPlugin.h"
#include "JSAPI_IDispatchEx.h"
#include "PluginWindow.h"
#include "connection_points.h"
#include "control.h"
#include "module.h"
#include "orvelaLib.h"

namespace FW {
namespace ActiveX {

// Registry script of the control class.
const UINT IDR_FWCONTROL = 103;

class CFWControl : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                   public ATL::CComCoClass<CFWControl, &CLSID_FWControl0>,
                   public ATL::CComControl<CFWControl>,
                   public JSAPI_IDispatchEx<CFWControl, IFWControl, &DIID_IFWComEventSource>,
                   public ATL::IProvideClassInfo2Impl<&CLSID_FWControl0, &DIID_IFWComEventSource,
                                                      &LIBID_orvelaLib>,
                   public ATL::IObjectSafetyImpl<CFWControl, INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                                                 INTERFACESAFE_FOR_UNTRUSTED_DATA>,
                   public IPersistPropertyBag,
                   public ATL::IOleObjectImpl<CFWControl>,
                   public ATL::IOleInPlaceObjectWindowlessImpl<CFWControl>,
                   public ATL::IOleInPlaceActiveObjectImpl<CFWControl>,
                   public ATL::IViewObjectExImpl<CFWControl>,
                   public ATL::IOleControlImpl<CFWControl>,
                   public ATL::IObjectWithSiteImpl<CFWControl>,
                   public ATL::IQuickActivateImpl<CFWControl>,
                   public BrowserPlugin {
public:
    CFWControl();
    ~CFWControl() override;

    DECLARE_NOT_AGGREGATABLE(CFWControl)
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept;
    DECLARE_OLEMISC_STATUS(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)

    BEGIN_COM_MAP(CFWControl)
    COM_INTERFACE_ENTRY(IFWControl)
    COM_INTERFACE_ENTRY2(IDispatchEx, IFWControl)
    COM_INTERFACE_ENTRY2(IDispatch, IFWControl)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(IConnectionPoint)
    COM_INTERFACE_ENTRY_IID(IID_IFWScriptingObjectOwner, IFWScriptingObjectOwner)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY2(IProvideClassInfo, IProvideClassInfo2)
    COM_INTERFACE_ENTRY(IObjectSafety)
    COM_INTERFACE_ENTRY(IPersistPropertyBag)
    COM_INTERFACE_ENTRY2(IPersist, IPersistPropertyBag)
    COM_INTERFACE_ENTRY(IOleObject)
    COM_INTERFACE_ENTRY(IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY2(IOleInPlaceObject, IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceObjectWindowless)
    COM_INTERFACE_ENTRY(IOleInPlaceActiveObject)
    COM_INTERFACE_ENTRY(IViewObjectEx)
    COM_INTERFACE_ENTRY2(IViewObject2, IViewObjectEx)
    COM_INTERFACE_ENTRY2(IViewObject, IViewObjectEx)
    COM_INTERFACE_ENTRY(IOleControl)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    COM_INTERFACE_ENTRY(IQuickActivate)
    END_COM_MAP()

    BEGIN_MSG_MAP(CFWControl)
    CHAIN_MSG_MAP(ATL::CComControl<CFWControl>)
    END_MSG_MAP()

    void FinalRelease();

    // IPersistPropertyBag
    STDMETHOD(GetClassID)(CLSID* clsid) override;
    STDMETHOD(InitNew)() override;
    STDMETHOD(Load)(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHOD(Save)(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* site) override;

    // IConnectionPointContainer: the event source and property notifications.
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** points) override;
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** point) override;

    // Hooks of the control base.
    HRESULT IOleObject_SetClientSite(IOleClientSite* site) override;
    HRESULT IOleObject_Close(DWORD saveOption);
    HRESULT InPlaceActivate(LONG verb, const RECT* pos = nullptr) override;
    HRESULT IOleInPlaceObject_InPlaceDeactivate() override;
    HRESULT OnDrawAdvanced(ATL::ATL_DRAWINFO& di) override;
    BOOL ProcessWindowlessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    HRESULT IOleInPlaceObject_SetObjectRects(LPCRECT pos, LPCRECT clip);

    long bridgeReadyState() const override { return m_readyState; }
    void shutdown() override;

    // The parameters a property bag holds, as the core takes them.
    VariantMap getParamsFromBag(IPropertyBag2* bag);
    void setReady();
    void createHost();

    ActiveXBrowserHostPtr browserHost() const { return m_host; }
    PluginCorePtr core() const { return pluginMain; }

private:
    HRESULT siteChanged(IUnknown* site);
    void destroyPluginWindow();
    void notifyReadyState();
    void invalidateWindowless();

    std::string m_mimetype;
    long m_readyState = READYSTATE_LOADING;
    bool m_isReady = false;
    bool m_isShutDown = false;
    ATL::CComPtr<IWebBrowser2> m_webBrowser;
    ActiveXBrowserHostPtr m_host;
    std::shared_ptr<PluginWindow> m_pluginWindow;
    ATL::CComPtr<IPropertyNotifySink> m_propertyNotifySink;
    ATL::CComConnectionPoint m_propertyNotifyPoint{IID_IPropertyNotifySink};
};

} // namespace ActiveX
} // namespace FW
