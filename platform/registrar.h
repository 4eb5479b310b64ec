#pragma once
// The system registrar (CLSID_Registrar, atl.dll): runs registry scripts.

#include <windows.h>
#include <unknwn.h>

namespace ATL {

extern const CLSID CLSID_Registrar;
extern const IID IID_IRegistrar;

struct IRegistrar : public IUnknown {
    STDMETHOD(AddReplacement)(LPCOLESTR key, LPCOLESTR item) = 0;
    STDMETHOD(ClearReplacements)() = 0;
    STDMETHOD(ResourceRegisterSz)(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType) = 0;
    STDMETHOD(ResourceUnregisterSz)(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType) = 0;
    STDMETHOD(FileRegister)(LPCOLESTR fileName) = 0;
    STDMETHOD(FileUnregister)(LPCOLESTR fileName) = 0;
    STDMETHOD(StringRegister)(LPCOLESTR data) = 0;
    STDMETHOD(StringUnregister)(LPCOLESTR data) = 0;
    STDMETHOD(ResourceRegister)(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;
    STDMETHOD(ResourceUnregister)(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;
};

} // namespace ATL
