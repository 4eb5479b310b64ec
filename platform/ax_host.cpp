#include "ax_host.h"

namespace ATL {

const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

namespace {
const HRESULT kNoRuntime = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

AxHostLibrary::AxHostLibrary(const wchar_t* dll, const wchar_t* windowClass) noexcept
    : m_dll(dll), m_windowClass(windowClass) {}

AxHostLibrary::~AxHostLibrary() {
    // The runtime's window classes may outlive us in windows still open: the
    // DLL stays loaded for the process.
}

AxHostLibrary& AxHostLibrary::Atl100() noexcept {
    static AxHostLibrary lib(L"atl100.dll", L"AtlAxWin100");
    return lib;
}

AxHostLibrary& AxHostLibrary::Atl80() noexcept {
    static AxHostLibrary lib(L"atl80.dll", L"AtlAxWin80");
    return lib;
}

bool AxHostLibrary::Load() noexcept {
    if (!m_tried) {
        m_tried = true;
        m_module = LoadLibraryW(m_dll);
        if (m_module) {
            m_init = reinterpret_cast<InitFn>(
                reinterpret_cast<void*>(GetProcAddress(m_module, "AtlAxWinInit")));
            m_createEx = reinterpret_cast<CreateExFn>(
                reinterpret_cast<void*>(GetProcAddress(m_module, "AtlAxCreateControlEx")));
            m_getHost = reinterpret_cast<GetFn>(
                reinterpret_cast<void*>(GetProcAddress(m_module, "AtlAxGetHost")));
            m_getControl = reinterpret_cast<GetFn>(
                reinterpret_cast<void*>(GetProcAddress(m_module, "AtlAxGetControl")));
        }
    }
    return m_init && m_createEx;
}

// The runtime answers FALSE when its classes are registered already; a
// second call must change nothing, so a first success is remembered.
BOOL AxHostLibrary::AtlAxWinInit() noexcept {
    if (!m_initialised && Load())
        m_initialised = m_init() != FALSE;
    return m_initialised ? TRUE : FALSE;
}

HRESULT AxHostLibrary::AtlAxCreateControlEx(LPCOLESTR name, HWND hWnd, IStream* stream,
                                            IUnknown** container, IUnknown** control,
                                            REFIID adviseIid, IUnknown* adviseSink) noexcept {
    if (container)
        *container = nullptr;
    if (control)
        *control = nullptr;
    if (!Load())
        return kNoRuntime;
    return m_createEx(name, hWnd, stream, container, control, adviseIid, adviseSink);
}

HRESULT AxHostLibrary::AtlAxGetHost(HWND hWnd, IUnknown** host) noexcept {
    if (!host)
        return E_POINTER;
    *host = nullptr;
    if (!Load() || !m_getHost)
        return kNoRuntime;
    return m_getHost(hWnd, host);
}

HRESULT AxHostLibrary::AtlAxGetControl(HWND hWnd, IUnknown** control) noexcept {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!Load() || !m_getControl)
        return kNoRuntime;
    return m_getControl(hWnd, control);
}

HRESULT AxHostLibrary::CreateControl(HWND hWnd, LPCOLESTR name, IUnknown** control) noexcept {
    if (!control)
        return E_POINTER;
    *control = nullptr;
    if (!name || !hWnd)
        return E_INVALIDARG;
    if (!Load())
        return kNoRuntime;
    static const UINT getHost = RegisterWindowMessageW(L"WM_ATLGETHOST");
    // The window hands out its host without a reference of ours.
    auto* host = reinterpret_cast<IUnknown*>(SendMessageW(hWnd, getHost, 0, 0));
    if (host) {
        CComPtr<IAxWinHostWindow> axHost;
        if (SUCCEEDED(
                host->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&axHost))))
            return axHost->CreateControlEx(name, hWnd, nullptr, control, IID_NULL, nullptr);
    }
    return AtlAxCreateControlEx(name, hWnd, nullptr, nullptr, control, IID_NULL, nullptr);
}

} // namespace ATL
