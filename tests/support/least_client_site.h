#pragma once
// The client site a test container hands a control when the test needs no
// more than a site: what every site must answer, and nothing else offered.

#include <ole2.h>

#include "com_object.h"

namespace testsupport {

// IOleClientSite's own methods; a site that offers more derives from this.
class ClientSiteAnswers : public IOleClientSite {
public:
    STDMETHOD(SaveObject)() override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHOD(GetContainer)(IOleContainer**) override { return E_NOINTERFACE; }
    STDMETHOD(ShowObject)() override { return S_OK; }
    STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
    STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }
};

class LeastClientSite : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                        public ClientSiteAnswers {
public:
    BEGIN_COM_MAP(LeastClientSite)
    COM_INTERFACE_ENTRY(IOleClientSite)
    END_COM_MAP()
};

} // namespace testsupport
