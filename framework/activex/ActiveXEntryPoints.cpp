// The library's COM entry points, beside its NPAPI ones: the class object of
// the control, unloading, and registration (per user unless the registering
// program is heat.exe, which harvests what registration writes for an
// installer and must see the machine-wide keys).

#include <windows.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "FWControl.h"
#include "PluginCore.h"

namespace {

const UINT IDR_FWCONTROL_APPID = 101;

class OrvelaModule : public ATL::CAtlDllModuleT<OrvelaModule> {
public:
    DECLARE_LIBID(LIBID_orvelaLib)
    DECLARE_REGISTRY_APPID_RESOURCEID(IDR_FWCONTROL_APPID,
                                      L"{B415CD14-B45D-4BCA-B552-B06175C38606}")
};

OrvelaModule s_module;
bool s_initialized = false;

bool registeringProcessIsHeat() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    static const wchar_t kHeat[] = L"heat.exe";
    const size_t len = sizeof(kHeat) / sizeof(kHeat[0]) - 1;
    return n >= len && _wcsicmp(path + n - len, kHeat) == 0;
}

// The thread locale is the system default while registration runs, so that
// the registrar reads scripts the same way on every user's locale.
class SystemLocaleScope {
public:
    SystemLocaleScope() : m_saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(m_saved); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    LCID m_saved;
};

// The registrar is a COM object: a caller that has not joined an apartment
// (an installer's custom action) still gets registered.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};

void choosePerUser() {
    if (!registeringProcessIsHeat())
        ATL::AtlSetPerUserRegistration(true);
}

// The factory may apply the control's registry script its own way; without
// one of its own the control's script is applied directly. Either way it runs
// under the same per-user redirection as the first attempt, so a per-user
// registration never writes machine-wide keys.
HRESULT registryFallback(bool install) {
    ATL::ClassesRootRedirect redirect(ATL::AtlGetPerUserRegistration());
    if (FAILED(redirect.status()))
        return redirect.status();
    HRESULT hr = E_NOTIMPL;
    try {
        hr = getFactoryInstance()->updateWindowsRegistry(install);
    } catch (...) {
        hr = E_FAIL;
    }
    return hr == E_NOTIMPL ? FW::ActiveX::CFWControl::UpdateRegistry(install ? TRUE : FALSE) : hr;
}

} // namespace

using CFWControl0Entry = FW::ActiveX::CFWControl;
OBJECT_ENTRY_AUTO(CLSID_FWControl0, CFWControl0Entry)

extern "C" {

HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    const HRESULT hr = s_module.DllGetClassObject(clsid, iid, ppv);
    if (FAILED(hr))
        return hr;
    try {
        FW::PluginCore::setPlatform("Windows", "IE");
        if (!s_initialized) {
            getFactoryInstance()->globalPluginInitialize();
            s_initialized = true;
        }
    } catch (...) {
        // Start-up steps that fail leave the class object usable.
    }
    return hr;
}

HRESULT __stdcall DllCanUnloadNow() {
    const HRESULT hr = s_module.DllCanUnloadNow();
    if (hr == S_FALSE && FW::PluginCore::ActivePluginCount() > 0)
        return hr;
    if (s_initialized) {
        try {
            getFactoryInstance()->globalPluginDeinitialize();
        } catch (...) {
        }
        s_initialized = false;
    }
    return hr;
}

HRESULT __stdcall DllRegisterServer() {
    choosePerUser();
    ComScope com;
    HRESULT hr;
    {
        SystemLocaleScope locale;
        hr = s_module.DllRegisterServer();
    }
    if (FAILED(hr))
        hr = registryFallback(true);
    return hr;
}

HRESULT __stdcall DllUnregisterServer() {
    choosePerUser();
    ComScope com;
    HRESULT hr;
    {
        SystemLocaleScope locale;
        hr = s_module.DllUnregisterServer();
    }
    if (FAILED(hr))
        hr = registryFallback(false);
    return hr;
}

HRESULT __stdcall DllInstall(BOOL install, LPCWSTR cmdLine) {
    // Five characters: "user" and its terminator, so "users" is no match.
    if (cmdLine && _wcsnicmp(cmdLine, L"user", 5) == 0)
        ATL::AtlSetPerUserRegistration(true);
    if (!install)
        return DllUnregisterServer();
    const HRESULT hr = DllRegisterServer();
    if (FAILED(hr))
        DllUnregisterServer();
    return hr;
}

} // extern "C"
