#include "module.h"

#include "registrar.h"
#include "text.h"

#include <oleauto.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ATL {

const CLSID CLSID_Registrar = {
    0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID IID_IRegistrar = {
    0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

CAtlModule* _pAtlModule = nullptr;

namespace {
ObjectMapEntry* g_head = nullptr;
ObjectMapEntry** g_tail = &g_head;
bool g_perUser = false;
} // namespace

ObjectMapRegistration::ObjectMapRegistration(ObjectMapEntry& entry) noexcept {
    entry.next = nullptr;
    *g_tail = &entry;
    g_tail = &entry.next;
}

ObjectMapEntry* ObjectMapHead() noexcept {
    return g_head;
}

LONG ModuleLock::Lock() noexcept {
    return _pAtlModule ? _pAtlModule->Lock() : 0;
}
LONG ModuleLock::Unlock() noexcept {
    return _pAtlModule ? _pAtlModule->Unlock() : 0;
}

HRESULT CComObjectRootBase::InternalQueryInterface(void* object, const InterfaceEntry* entries,
                                                   REFIID iid, void** ppv) noexcept {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const bool wantUnknown = InlineIsEqualGUID(iid, IID_IUnknown);
    for (const InterfaceEntry* e = entries; e->iid; ++e) {
        if (!wantUnknown && !InlineIsEqualGUID(iid, *e->iid))
            continue;
        if (e->func)
            return e->func(object, iid, ppv, e->offset);
        IUnknown* p = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + e->offset);
        p->AddRef();
        *ppv = p;
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer && !InlineIsEqualGUID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_pfnCreateInstance(outer, iid, ppv);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock) {
    if (lock)
        ModuleLock::Lock();
    else
        ModuleLock::Unlock();
    return S_OK;
}

void AtlSetPerUserRegistration(bool perUser) noexcept {
    g_perUser = perUser;
}
bool AtlGetPerUserRegistration() noexcept {
    return g_perUser;
}

ClassesRootRedirect::ClassesRootRedirect(bool active) {
    if (!active)
        return;
    LONG err = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    if (err == ERROR_SUCCESS)
        err = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_key);
    m_hr = HRESULT_FROM_WIN32(err);
}

ClassesRootRedirect::~ClassesRootRedirect() {
    if (!m_key)
        return;
    if (SUCCEEDED(m_hr))
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(m_key);
}

CAtlModule::CAtlModule() noexcept {
    InitializeCriticalSection(&m_cs);
    _pAtlModule = this;
}

CAtlModule::~CAtlModule() {
    Term();
    DeleteCriticalSection(&m_cs);
    if (_pAtlModule == this)
        _pAtlModule = nullptr;
}

LONG CAtlModule::Lock() noexcept {
    return InterlockedIncrement(&m_nLockCnt);
}
LONG CAtlModule::Unlock() noexcept {
    return InterlockedDecrement(&m_nLockCnt);
}

HINSTANCE CAtlModule::GetModuleInstance() const noexcept {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::wstring CAtlModule::GetModulePath() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(GetModuleInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            AtlThrowLastWin32();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void CAtlModule::AddCommonReplacements(RegistryReplacements& map) const {
    const std::wstring path = GetModulePath();
    map.emplace_back(L"MODULE", QuoteModulePath() ? L"\"" + path + L"\"" : path);
    map.emplace_back(L"MODULE_RAW", path);
    if (const wchar_t* appid = AppIdText())
        map.emplace_back(L"APPID", appid);
}

HRESULT CAtlModule::UpdateRegistryFromResource(UINT id, BOOL bRegister,
                                               const RegistryReplacements& extra) noexcept {
    return CallNoThrow([&]() -> HRESULT {
        const HINSTANCE inst = GetModuleInstance();
        HRSRC res = FindResourceW(inst, MAKEINTRESOURCEW(id), L"REGISTRY");
        HGLOBAL data = res ? LoadResource(inst, res) : nullptr;
        const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
        if (!bytes)
            return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        // Scripts are stored as ANSI text (what windres embeds from a .rgs file).
        const std::wstring script = AnsiToWide(std::string_view(bytes, SizeofResource(inst, res)));

        RegistryReplacements map;
        AddCommonReplacements(map);
        map.insert(map.end(), extra.begin(), extra.end());

        CComPtr<IRegistrar> registrar;
        HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IRegistrar, reinterpret_cast<void**>(&registrar));
        if (FAILED(hr))
            return hr;
        for (const auto& [key, value] : map) {
            hr = registrar->AddReplacement(key.c_str(), value.c_str());
            if (FAILED(hr))
                return hr;
        }
        return bRegister ? registrar->StringRegister(script.c_str())
                         : registrar->StringUnregister(script.c_str());
    });
}

namespace {

// Loads the type library resource TYPELIB index of the module; path names it
// (the module's path, followed by "\\index" after the first).
HRESULT LoadOwnTypeLib(const CAtlModule& module, UINT index, std::wstring& path,
                       CComPtr<ITypeLib>& lib) {
    path = module.GetModulePath();
    if (index != 1)
        path += L"\\" + std::to_wstring(index);
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
}

} // namespace

HRESULT CAtlModule::RegisterTypeLib(UINT index) noexcept {
    return CallNoThrow([&]() -> HRESULT {
        std::wstring path;
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadOwnTypeLib(*this, index, path, lib);
        if (FAILED(hr))
            return hr;
        return ::RegisterTypeLib(lib, const_cast<wchar_t*>(path.c_str()), nullptr);
    });
}

HRESULT CAtlModule::UnRegisterTypeLib(UINT index) noexcept {
    return CallNoThrow([&]() -> HRESULT {
        std::wstring path;
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadOwnTypeLib(*this, index, path, lib);
        if (FAILED(hr))
            return hr;
        TLIBATTR* attr = nullptr;
        hr = lib->GetLibAttr(&attr);
        if (FAILED(hr))
            return hr;
        // Nothing registered is nothing to remove (Wine refuses that call).
        BSTR registered = nullptr;
        if (SUCCEEDED(QueryPathOfRegTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                                            attr->lcid, &registered))) {
            SysFreeString(registered);
            hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                     attr->syskind);
        }
        lib->ReleaseTLibAttr(attr);
        return hr;
    });
}

HRESULT CAtlModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (m_terminated)
        return E_UNEXPECTED;
    ObjectMapEntry* e = g_head;
    while (e && !InlineIsEqualGUID(clsid, *e->pclsid))
        e = e->next;
    if (!e)
        return CLASS_E_CLASSNOTAVAILABLE;
    HRESULT hr = S_OK;
    EnterCriticalSection(&m_cs);
    if (!e->classFactory) {
        hr = CallNoThrow([&] {
            CComClassFactory* factory = nullptr;
            if (ClassFactoriesLockModule())
                factory = new CComObjectCached<CComClassFactory>();
            else
                factory = new CComObjectNoLock<CComClassFactory>();
            factory->m_pfnCreateInstance = e->pfnCreateInstance;
            e->classFactory = factory->GetUnknown();
            e->classFactory->AddRef();
            return S_OK;
        });
    }
    LeaveCriticalSection(&m_cs);
    if (FAILED(hr))
        return hr;
    return e->classFactory->QueryInterface(iid, ppv);
}

HRESULT CAtlModule::RegisterClasses(BOOL bRegister) noexcept {
    if (bRegister) {
        for (ObjectMapEntry* e = g_head; e; e = e->next) {
            const HRESULT hr = e->pfnUpdateRegistry(TRUE);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }
    // Reverse order; every class is tried even when one fails.
    return CallNoThrow([] {
        std::vector<ObjectMapEntry*> entries;
        for (ObjectMapEntry* e = g_head; e; e = e->next)
            entries.push_back(e);
        HRESULT result = S_OK;
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const HRESULT hr = (*it)->pfnUpdateRegistry(FALSE);
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
        return result;
    });
}

void CAtlModule::Term() noexcept {
    m_terminated = true;
    for (ObjectMapEntry* e = g_head; e; e = e->next) {
        if (e->classFactory) {
            IUnknown* f = e->classFactory;
            e->classFactory = nullptr;
            f->Release();
        }
    }
}

} // namespace ATL
