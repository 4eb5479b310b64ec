#include "ax_host.h"

#include "ax_host_window.h"

#include <mutex>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ATL {

const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

const AxWinClassNames kAxWin100 = {L"AtlAxWin100", L"AtlAxWinLic100"};
const AxWinClassNames kAxWin80 = {L"AtlAxWin80", L"AtlAxWinLic80"};

namespace {

HINSTANCE thisModule() noexcept {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

struct RegisteredClasses {
    std::mutex lock;
    std::vector<ATOM> atoms;
};

RegisteredClasses& registered() noexcept {
    static RegisteredClasses classes;
    return classes;
}

// A local class of this module, so that another module's classes of the same
// name (a system ATL loaded by the browser) never take our windows.
ATOM registerHostClass(const wchar_t* name) noexcept {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &CAxHostWindow::WindowProc;
    wc.hInstance = thisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

} // namespace

UINT AxWinGetHostMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(L"WM_ATLGETHOST");
    return message;
}

UINT AxWinGetControlMessage() noexcept {
    static const UINT message = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
    return message;
}

BOOL AtlAxWinInit(const AxWinClassNames& names) noexcept {
    if (!AxWinGetHostMessage() || !AxWinGetControlMessage())
        return FALSE;
    RegisteredClasses& classes = registered();
    std::lock_guard<std::mutex> guard(classes.lock);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    for (const wchar_t* name : {names.host, names.licensed}) {
        if (GetClassInfoExW(thisModule(), name, &existing))
            continue;
        const ATOM atom = registerHostClass(name);
        if (!atom)
            return FALSE;
        classes.atoms.push_back(atom);
    }
    return TRUE;
}

void AtlAxWinTerm() noexcept {
    RegisteredClasses& classes = registered();
    std::lock_guard<std::mutex> guard(classes.lock);
    std::vector<ATOM> kept;
    for (ATOM atom : classes.atoms)
        if (!UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)),
                              thisModule()))
            kept.push_back(atom); // windows of the class still exist
    classes.atoms.swap(kept);
}

HRESULT AtlAxGetHost(HWND hWnd, IUnknown** host) noexcept {
    if (!host)
        return E_POINTER;
    *host = nullptr;
    if (!IsWindow(hWnd))
        return E_INVALIDARG;
    // The window hands out its host without a reference of ours.
    auto* answer = reinterpret_cast<IUnknown*>(SendMessageW(hWnd, AxWinGetHostMessage(), 0, 0));
    if (!answer)
        return E_FAIL;
    return answer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(host));
}

HRESULT AtlAxGetControl(HWND hWnd, IUnknown** control) noexcept {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!IsWindow(hWnd))
        return E_INVALIDARG;
    auto* answer = reinterpret_cast<IUnknown*>(SendMessageW(hWnd, AxWinGetControlMessage(), 0, 0));
    if (!answer)
        return E_FAIL;
    return answer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(control));
}

namespace {

// The window's own host, or a new one that subclasses the window.
HRESULT hostOf(HWND hWnd, CComPtr<IAxWinHostWindow>& host) noexcept {
    CComPtr<IUnknown> existing;
    if (SUCCEEDED(AtlAxGetHost(hWnd, &existing)) &&
        SUCCEEDED(existing->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&host))))
        return S_OK;
    HRESULT hr = CAxHostWindow::Create(host);
    if (FAILED(hr))
        return hr;
    hr = static_cast<CAxHostWindow*>(host.p)->AttachWindow(hWnd, true);
    if (FAILED(hr))
        host.Release();
    return hr;
}

void giveHost(IAxWinHostWindow* host, IUnknown** container) noexcept {
    if (container)
        host->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(container));
}

} // namespace

HRESULT AtlAxCreateControlEx(LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** container,
                             IUnknown** control, REFIID adviseIid, IUnknown* adviseSink) noexcept {
    if (container)
        *container = nullptr;
    if (control)
        *control = nullptr;
    if (!name || !IsWindow(hWnd))
        return E_INVALIDARG;
    CComPtr<IAxWinHostWindow> host;
    HRESULT hr = hostOf(hWnd, host);
    if (FAILED(hr))
        return hr;
    CComPtr<IUnknown> created;
    hr = host->CreateControlEx(name, hWnd, stream, &created, adviseIid, adviseSink);
    if (FAILED(hr))
        return hr;
    giveHost(host, container);
    if (control)
        *control = created.Detach();
    return hr;
}

HRESULT AtlAxCreateControl(LPCOLESTR name, HWND hWnd, IStream* stream,
                           IUnknown** container) noexcept {
    return AtlAxCreateControlEx(name, hWnd, stream, container, nullptr, IID_NULL, nullptr);
}

HRESULT AtlAxAttachControl(IUnknown* control, HWND hWnd, IUnknown** container) noexcept {
    if (container)
        *container = nullptr;
    if (!control || !IsWindow(hWnd))
        return E_INVALIDARG;
    CComPtr<IAxWinHostWindow> host;
    HRESULT hr = hostOf(hWnd, host);
    if (FAILED(hr))
        return hr;
    hr = host->AttachControl(control, hWnd);
    if (SUCCEEDED(hr))
        giveHost(host, container);
    return hr;
}

HRESULT CreateControlInHostWindow(HWND hWnd, LPCOLESTR name, IUnknown** control) noexcept {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!name || !hWnd)
        return E_INVALIDARG;
    auto* host = reinterpret_cast<IUnknown*>(SendMessageW(hWnd, AxWinGetHostMessage(), 0, 0));
    if (host) {
        CComPtr<IAxWinHostWindow> axHost;
        if (SUCCEEDED(
                host->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&axHost))))
            return axHost->CreateControlEx(name, hWnd, nullptr, control, IID_NULL, nullptr);
    }
    return AtlAxCreateControlEx(name, hWnd, nullptr, nullptr, control, IID_NULL, nullptr);
}

} // namespace ATL
