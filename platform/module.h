#pragma once
// The module: lock count, object map, class factories and registration.
//
// Every creatable class enters the object map with OBJECT_ENTRY_AUTO(clsid,
// class) in its source file (the file must be linked into the binary itself,
// not only into a static library, or the entry is dropped by the linker).
// Exactly one module object (CAtlDllModuleT or CAtlExeModuleT) exists per
// binary; _pAtlModule points to it.

#include "com_object.h"
#include "com_ptr.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace ATL {

// Creates the object of a class for a class factory.
using CreateInstanceFn = HRESULT(WINAPI*)(IUnknown* outer, REFIID iid, void** ppv);
using UpdateRegistryFn = HRESULT(WINAPI*)(BOOL bRegister);

struct ObjectMapEntry {
    const CLSID* pclsid;
    UpdateRegistryFn pfnUpdateRegistry;
    CreateInstanceFn pfnCreateInstance;
    IUnknown* classFactory; // created on first request, kept until the module ends
    DWORD dwRegister;       // CoRegisterClassObject cookie of a local server
    ObjectMapEntry* next;
};

// Appends an entry to the object map at static-initialisation time.
struct ObjectMapRegistration {
    explicit ObjectMapRegistration(ObjectMapEntry& entry) noexcept;
};
ObjectMapEntry* ObjectMapHead() noexcept;

#define OBJECT_ENTRY_AUTO(clsid, class)                                                            \
    static ::ATL::ObjectMapEntry _objmap_entry_##class {                                           \
        &clsid, &class ::UpdateRegistry, &class ::CreateInstance, nullptr, 0, nullptr              \
    };                                                                                             \
    static ::ATL::ObjectMapRegistration _objmap_reg_##class(_objmap_entry_##class);

// The standard class factory: creates objects through the class's creator.
class CComClassFactory : public CComObjectRootEx<CComMultiThreadModel>, public IClassFactory {
public:
    BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHOD(LockServer)(BOOL lock) override;

    CreateInstanceFn m_pfnCreateInstance = nullptr;
};

using RegistryReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Per-user registration: while set, registration writes what scripts and type
// libraries put under HKEY_CLASSES_ROOT into HKCU\Software\Classes.
void AtlSetPerUserRegistration(bool perUser) noexcept;
bool AtlGetPerUserRegistration() noexcept;

// Redirects HKEY_CLASSES_ROOT to HKCU\Software\Classes for its lifetime when
// active (the key is created first; a fresh profile lacks it).
class ClassesRootRedirect {
public:
    explicit ClassesRootRedirect(bool active);
    ~ClassesRootRedirect();
    ClassesRootRedirect(const ClassesRootRedirect&) = delete;
    ClassesRootRedirect& operator=(const ClassesRootRedirect&) = delete;
    HRESULT status() const noexcept { return m_hr; }

private:
    HKEY m_key = nullptr;
    HRESULT m_hr = S_OK;
};

class CAtlModule {
public:
    CAtlModule() noexcept;
    virtual ~CAtlModule();
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    LONG GetLockCount() const noexcept { return m_nLockCnt; }

    // The binary this module lives in, and its full path.
    HINSTANCE GetModuleInstance() const noexcept;
    std::wstring GetModulePath() const;

    // Runs the REGISTRY resource id through the system registrar. Replacements:
    // %MODULE%, %MODULE_RAW% and what AddCommonReplacements and extra add.
    HRESULT UpdateRegistryFromResource(UINT id, BOOL bRegister,
                                       const RegistryReplacements& extra = {}) noexcept;
    virtual void AddCommonReplacements(RegistryReplacements& map) const;
    // The AppID in braces for %APPID%, when the module has one.
    virtual const wchar_t* AppIdText() const noexcept { return nullptr; }

    // Registers or unregisters the type library embedded as resource TYPELIB
    // index (1 is the first) of this module.
    HRESULT RegisterTypeLib(UINT index = 1) noexcept;
    HRESULT UnRegisterTypeLib(UINT index = 1) noexcept;

    // Class object lookup over the object map (DllGetClassObject rules).
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept;
    // Runs every class's registration in map order (unregistration in reverse).
    HRESULT RegisterClasses(BOOL bRegister) noexcept;
    // Releases the cached class factories.
    void Term() noexcept;

protected:
    // Local servers' class objects must not keep the server alive.
    virtual bool ClassFactoriesLockModule() const noexcept { return true; }
    // %MODULE% in scripts: the plain path for a DLL, the quoted path for a program.
    virtual bool QuoteModulePath() const noexcept { return false; }

    LONG m_nLockCnt = 0;
    CRITICAL_SECTION m_cs;
    bool m_terminated = false;
};

extern CAtlModule* _pAtlModule;

// In a class: registration from REGISTRY resource id.
#define DECLARE_REGISTRY_RESOURCEID(id)                                                            \
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept {                                \
        return ::ATL::_pAtlModule->UpdateRegistryFromResource(id, bRegister);                      \
    }
#define DECLARE_NO_REGISTRY()                                                                      \
    static HRESULT WINAPI UpdateRegistry(BOOL) noexcept {                                          \
        return S_OK;                                                                               \
    }

// In a module class: the AppID script (resource id) with %APPID% = appid text.
#define DECLARE_REGISTRY_APPID_RESOURCEID(id, appid)                                               \
    const wchar_t* AppIdText() const noexcept override {                                           \
        return appid;                                                                              \
    }                                                                                              \
    HRESULT UpdateRegistryAppId(BOOL bRegister) noexcept {                                         \
        return UpdateRegistryFromResource(id, bRegister);                                          \
    }
#define DECLARE_LIBID(libid)                                                                       \
    static const GUID& GetLibId() noexcept {                                                       \
        return libid;                                                                              \
    }

// In-process server module: T declares its AppID script and its LIBID.
template <class T>
class CAtlDllModuleT : public CAtlModule {
public:
    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept {
        return GetClassObject(clsid, iid, ppv);
    }
    HRESULT DllCanUnloadNow() noexcept { return GetLockCount() == 0 ? S_OK : S_FALSE; }

    HRESULT DllRegisterServer(BOOL bRegTypeLib = TRUE) noexcept {
        ClassesRootRedirect redirect(AtlGetPerUserRegistration());
        if (FAILED(redirect.status()))
            return redirect.status();
        HRESULT hr = static_cast<T*>(this)->UpdateRegistryAppId(TRUE);
        if (SUCCEEDED(hr))
            hr = RegisterClasses(TRUE);
        if (SUCCEEDED(hr) && bRegTypeLib)
            hr = RegisterTypeLib();
        return hr;
    }
    HRESULT DllUnregisterServer(BOOL bUnRegTypeLib = TRUE) noexcept {
        ClassesRootRedirect redirect(AtlGetPerUserRegistration());
        if (FAILED(redirect.status()))
            return redirect.status();
        HRESULT hr = RegisterClasses(FALSE);
        if (SUCCEEDED(hr) && bUnRegTypeLib)
            hr = UnRegisterTypeLib();
        if (SUCCEEDED(hr))
            hr = static_cast<T*>(this)->UpdateRegistryAppId(FALSE);
        return hr;
    }
};

} // namespace ATL
