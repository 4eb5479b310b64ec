#include "AtlHostRuntime.h"

namespace orvelaHost {

const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

namespace {

using AxWinInitFn = BOOL(WINAPI*)();
using AxCreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**,
                                             REFIID, IUnknown*);

// The runtime stays loaded for the life of the process: windows of its classes
// may outlive any one plug-in instance.
struct Runtime {
    Runtime() noexcept {
        module = LoadLibraryW(L"atl100.dll");
        if (!module)
            return;
        axWinInit = reinterpret_cast<AxWinInitFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "AtlAxWinInit")));
        axCreateControlEx = reinterpret_cast<AxCreateControlExFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "AtlAxCreateControlEx")));
    }
    HMODULE module = nullptr;
    AxWinInitFn axWinInit = nullptr;
    AxCreateControlExFn axCreateControlEx = nullptr;
};

const Runtime& runtime() noexcept {
    static const Runtime loaded;
    return loaded;
}

HRESULT findPoint(IUnknown* container, REFIID iid, IConnectionPoint** point) noexcept {
    if (!container)
        return E_INVALIDARG;
    IConnectionPointContainer* points = nullptr;
    HRESULT hr =
        container->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    if (FAILED(hr))
        return hr;
    hr = points->FindConnectionPoint(iid, point);
    points->Release();
    return hr;
}

} // namespace

bool AxWinInit() noexcept {
    const Runtime& rt = runtime();
    return rt.axWinInit && rt.axWinInit();
}

UINT HostQueryMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(L"WM_ATLGETHOST");
    return message;
}

HRESULT AxCreateControlEx(LPCOLESTR name, HWND window, IUnknown** control) noexcept {
    const Runtime& rt = runtime();
    if (!rt.axCreateControlEx)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return rt.axCreateControlEx(name, window, nullptr, nullptr, control, IID_NULL, nullptr);
}

HRESULT Advise(IUnknown* container, IUnknown* sink, REFIID iid, DWORD* cookie) noexcept {
    if (!sink || !cookie)
        return E_POINTER;
    IConnectionPoint* point = nullptr;
    HRESULT hr = findPoint(container, iid, &point);
    if (FAILED(hr))
        return hr;
    DWORD connected = 0;
    hr = point->Advise(sink, &connected);
    point->Release();
    if (SUCCEEDED(hr))
        *cookie = connected;
    return hr;
}

HRESULT Unadvise(IUnknown* container, REFIID iid, DWORD cookie) noexcept {
    IConnectionPoint* point = nullptr;
    HRESULT hr = findPoint(container, iid, &point);
    if (FAILED(hr))
        return hr;
    hr = point->Unadvise(cookie);
    point->Release();
    return hr;
}

HINSTANCE ThisModule() noexcept {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace orvelaHost
