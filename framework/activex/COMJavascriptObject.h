#pragma once
// The COM object that stands for a scripting object other than the control's
// own in page script (class FWComJavascriptObject): the IDispatchEx bridge with
// the error source "SUBOBJECT".

#include "JSAPI_IDispatchEx.h"
#include "control.h"
#include "module.h"
#include "orvelaLib.h"

namespace FW {
namespace ActiveX {

class COMJavascriptObject
    : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
      public ATL::CComCoClass<COMJavascriptObject, &CLSID_FWComJavascriptObject>,
      public JSAPI_IDispatchEx<COMJavascriptObject, IFWComJavascriptObject,
                               &DIID_IFWComEventSource>,
      public ATL::IProvideClassInfo2Impl<&CLSID_FWComJavascriptObject, &DIID_IFWComEventSource,
                                         &LIBID_orvelaLib>,
      public ATL::IObjectWithSiteImpl<COMJavascriptObject> {
public:
    COMJavascriptObject();

    DECLARE_NOT_AGGREGATABLE(COMJavascriptObject)
    DECLARE_NO_REGISTRY()

    BEGIN_COM_MAP(COMJavascriptObject)
    COM_INTERFACE_ENTRY(IFWComJavascriptObject)
    COM_INTERFACE_ENTRY2(IDispatchEx, IFWComJavascriptObject)
    COM_INTERFACE_ENTRY2(IDispatch, IFWComJavascriptObject)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(IConnectionPoint)
    COM_INTERFACE_ENTRY_IID(IID_IFWScriptingObjectOwner, IFWScriptingObjectOwner)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY2(IProvideClassInfo, IProvideClassInfo2)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    END_COM_MAP()

    void FinalRelease();

    // A new wrapper (one reference) for api; with autoRelease the host keeps
    // api alive as long as the wrapper lives. token expires with the wrapper.
    static IDispatchEx* NewObject(const ActiveXBrowserHostPtr& host, const JSAPIWeakPtr& api,
                                  bool autoRelease, WrapperToken& token);

private:
    bool m_autoRelease = false;
    JSAPIWeakPtr m_retained;
};

} // namespace ActiveX
} // namespace FW
