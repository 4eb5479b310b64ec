// A scriptable object: arguments and results, a property, and a failing
// method whose message reaches script callers.
#include "com_types.h"
#include "dispatch.h"
#include "module.h"
#include "probe.h"
#include "probe_members.h"

#include <string>

using namespace ATL;

class CProbeObject : public CComObjectRootEx<CComSingleThreadModel>,
                     public CComCoClass<CProbeObject, &CLSID_ProbeObject>,
                     public IDispatchImpl<IProbeObject, &IID_IProbeObject, &LIBID_OrvelaProbeLib>,
                     public ISupportErrorInfoImpl<&IID_IProbeObject> {
public:
    DECLARE_REGISTRY_RESOURCEID(102)

    BEGIN_COM_MAP(CProbeObject)
    COM_INTERFACE_ENTRY(IProbeObject)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    STDMETHOD(Add)(long a, long b, long* sum) override { return ProbeMembers::Add(a, b, sum); }
    STDMETHOD(Concat)(BSTR a, BSTR b, BSTR* joined) override {
        return ProbeMembers::Concat(a, b, joined);
    }
    STDMETHOD(Fail)(BSTR message) override {
        return AtlReportError(CLSID_ProbeObject, message, IID_IProbeObject, E_FAIL);
    }
    STDMETHOD(get_Count)(long* value) override {
        if (!value)
            return E_POINTER;
        *value = m_count;
        return S_OK;
    }
    STDMETHOD(put_Count)(long value) override {
        m_count = value;
        return S_OK;
    }
    STDMETHOD(Describe)(VARIANT value, BSTR* text) override {
        if (!text)
            return E_POINTER;
        *text = nullptr;
        return CallNoThrow([&] {
            CComVariant copy(value);
            std::wstring out = L"vt=" + std::to_wstring(value.vt);
            if (SUCCEEDED(copy.ChangeType(VT_BSTR)))
                out += L":" + std::wstring(copy.bstrVal, SysStringLen(copy.bstrVal));
            *text = CComBSTR(out).Detach();
            return S_OK;
        });
    }

private:
    long m_count = 0;
};

OBJECT_ENTRY_AUTO(CLSID_ProbeObject, CProbeObject)
