// The local-server probe: a scriptable object served out of process by a
// program on the exe/service module. It ends 1 s after its last object goes.
#include "com_types.h"
#include "dispatch.h"
#include "exe_module.h"
#include "probe_server.h"
#include "probe_members.h"

#include <cstdio>
#include <string>

using namespace ATL;

class CProbeServerModule : public CAtlServiceModuleT<CProbeServerModule, 100> {
public:
    DECLARE_REGISTRY_APPID_RESOURCEID(101, L"{1660140D-6A5C-432E-9283-2B91F901297D}")
};

CProbeServerModule _AtlModule;

class CLocalProbe
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CLocalProbe, &CLSID_LocalProbe>,
      public IDispatchImpl<ILocalProbe, &IID_ILocalProbe, &LIBID_OrvelaProbeServerLib>,
      public ISupportErrorInfoImpl<&IID_ILocalProbe> {
public:
    DECLARE_REGISTRY_RESOURCEID(103)

    BEGIN_COM_MAP(CLocalProbe)
    COM_INTERFACE_ENTRY(ILocalProbe)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    STDMETHOD(Add)(long a, long b, long* sum) override { return ProbeMembers::Add(a, b, sum); }
    STDMETHOD(Concat)(BSTR a, BSTR b, BSTR* joined) override {
        return ProbeMembers::Concat(a, b, joined);
    }
    STDMETHOD(get_ProcessId)(long* pid) override {
        if (!pid)
            return E_POINTER;
        *pid = static_cast<long>(GetCurrentProcessId());
        return S_OK;
    }
    STDMETHOD(Fail)(BSTR message) override {
        return AtlReportError(CLSID_LocalProbe, message, IID_ILocalProbe, E_FAIL);
    }
};

OBJECT_ENTRY_AUTO(CLSID_LocalProbe, CLocalProbe)

namespace {
// A test server never waits for a click.
int PrintInsteadOfDialog(const wchar_t* text, const wchar_t* caption, UINT) {
    std::fwprintf(stderr, L"%ls: %ls\n", caption, text);
    return IDOK;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    SetMessageBoxHook(&PrintInsteadOfDialog);
    _AtlModule.m_dwTimeOut = 1000;
    _AtlModule.m_dwPause = 100;
    return _AtlModule.WinMain(show);
}
