// Entry points of the camera simulator DLL.
#include "camera_core.h"

#include "module.h"

namespace {

class CameraSimModule : public ATL::CAtlDllModuleT<CameraSimModule> {
public:
    DECLARE_REGISTRY_APPID_RESOURCEID(101, L"{4EB12CE3-6FD3-4B14-93D4-16D4927EACBA}")
};

CameraSimModule module;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH)
        CameraSim::unregisterWindowClasses();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    return module.DllGetClassObject(clsid, iid, ppv);
}

STDAPI DllCanUnloadNow() {
    return module.DllCanUnloadNow();
}

STDAPI DllRegisterServer() {
    return module.DllRegisterServer();
}

STDAPI DllUnregisterServer() {
    return module.DllUnregisterServer();
}
