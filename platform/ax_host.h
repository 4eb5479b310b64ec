#pragma once
// Control hosting through the system's ATL runtime DLL, loaded at run time
// (atl100.dll for the plug-in, atl80.dll for the bridge). A missing DLL or
// entry point makes every call fail cleanly; nothing crashes.

#include "com_ptr.h"

#include <windows.h>

namespace ATL {

extern const IID IID_IAxWinHostWindow;

// The host object behind an "AtlAxWin" window.
struct IAxWinHostWindow : public IUnknown {
    STDMETHOD(CreateControl)(LPCOLESTR name, HWND hWnd, IStream* stream) = 0;
    STDMETHOD(CreateControlEx)
    (LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** control, REFIID adviseIid,
     IUnknown* adviseSink) = 0;
    STDMETHOD(AttachControl)(IUnknown* control, HWND hWnd) = 0;
    STDMETHOD(QueryControl)(REFIID iid, void** ppv) = 0;
    STDMETHOD(SetExternalDispatch)(IDispatch* external) = 0;
    STDMETHOD(SetExternalUIHandler)(IUnknown* handler) = 0;
};

class AxHostLibrary {
public:
    // dll: the runtime to load; windowClass: its host window class.
    AxHostLibrary(const wchar_t* dll, const wchar_t* windowClass) noexcept;
    ~AxHostLibrary();
    AxHostLibrary(const AxHostLibrary&) = delete;
    AxHostLibrary& operator=(const AxHostLibrary&) = delete;

    static AxHostLibrary& Atl100() noexcept; // "AtlAxWin100"
    static AxHostLibrary& Atl80() noexcept;  // "AtlAxWin80"

    // Loads the DLL (once); false when it or its entry points are missing.
    bool Load() noexcept;
    const wchar_t* WindowClass() const noexcept { return m_windowClass; }

    // Registers the host window classes and messages; FALSE without the DLL.
    BOOL AtlAxWinInit() noexcept;
    HRESULT AtlAxCreateControlEx(LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** container,
                                 IUnknown** control, REFIID adviseIid,
                                 IUnknown* adviseSink) noexcept;
    HRESULT AtlAxGetHost(HWND hWnd, IUnknown** host) noexcept;
    HRESULT AtlAxGetControl(HWND hWnd, IUnknown** control) noexcept;

    // Creates control `name` (ProgID or CLSID text) in host window hWnd: asks
    // the window for its host object ("WM_ATLGETHOST") and calls its
    // CreateControlEx; when the window answers no host or the host lacks
    // IAxWinHostWindow, AtlAxCreateControlEx does it instead.
    HRESULT CreateControl(HWND hWnd, LPCOLESTR name, IUnknown** control) noexcept;

private:
    using InitFn = BOOL(WINAPI*)();
    using CreateExFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**, REFIID,
                                        IUnknown*);
    using GetFn = HRESULT(WINAPI*)(HWND, IUnknown**);

    const wchar_t* m_dll;
    const wchar_t* m_windowClass;
    HMODULE m_module = nullptr;
    bool m_tried = false;
    bool m_initialised = false;
    InitFn m_init = nullptr;
    CreateExFn m_createEx = nullptr;
    GetFn m_getHost = nullptr;
    GetFn m_getControl = nullptr;
};

// The plug-in's form: atl100.dll.
inline BOOL AtlAxWinInit() noexcept {
    return AxHostLibrary::Atl100().AtlAxWinInit();
}

} // namespace ATL
