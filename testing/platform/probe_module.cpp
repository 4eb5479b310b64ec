// Entry points of the in-process probe server.
#include "probe_module.h"

CProbeModule _AtlModule;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    return _AtlModule.DllGetClassObject(clsid, iid, ppv);
}

STDAPI DllCanUnloadNow() {
    return _AtlModule.DllCanUnloadNow();
}

STDAPI DllRegisterServer() {
    return _AtlModule.DllRegisterServer();
}

STDAPI DllUnregisterServer() {
    return _AtlModule.DllUnregisterServer();
}

// "user" registers under HKCU\Software\Classes instead of HKCR.
STDAPI DllInstall(BOOL install, LPCWSTR cmdLine) {
    ATL::AtlSetPerUserRegistration(cmdLine && _wcsicmp(cmdLine, L"user") == 0);
    const HRESULT hr = install ? _AtlModule.DllRegisterServer() : _AtlModule.DllUnregisterServer();
    ATL::AtlSetPerUserRegistration(false);
    return hr;
}

// For tests: the module's lock count.
extern "C" LONG WINAPI ProbeLockCount() {
    return _AtlModule.GetLockCount();
}
