#pragma once
// Control hosting linked into the module itself, so that no ATL runtime DLL is
// needed on the user's machine.
//
// AtlAxWinInit registers the control-host window classes in this module: a
// window of the host class (text = ProgID, CLSID or "{clsid}" of a control to
// create, or empty) has a host object from its creation on, answers
// "WM_ATLGETHOST" with it and "WM_ATLGETCONTROL" with its control. The
// licensed class takes the license key as creation data (a null-terminated
// wide string). The functions below host a control in any window: one that
// has no host yet is subclassed by a new host object.

#include "com_ptr.h"

#include <windows.h>

namespace ATL {

extern const IID IID_IAxWinHostWindow;

// The host object behind a control-host window.
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

} // namespace ATL

__CRT_UUID_DECL(ATL::IAxWinHostWindow, 0xB6EA2050, 0x048A, 0x11D1, 0x82, 0xB9, 0x00, 0xC0, 0x4F,
                0xB9, 0x94, 0x2E)

namespace ATL {

// The names a module gives its two host window classes.
struct AxWinClassNames {
    const wchar_t* host;
    const wchar_t* licensed;
};
extern const AxWinClassNames kAxWin100; // "AtlAxWin100", "AtlAxWinLic100": the plug-in
extern const AxWinClassNames kAxWin80;  // "AtlAxWin80", "AtlAxWinLic80": the bridge

// Registers the two classes (once; a second call changes nothing) and the
// messages "WM_ATLGETHOST" and "WM_ATLGETCONTROL".
BOOL AtlAxWinInit(const AxWinClassNames& names = kAxWin100) noexcept;
// Unregisters every class AtlAxWinInit registered in this module (on unload).
void AtlAxWinTerm() noexcept;

UINT AxWinGetHostMessage() noexcept;    // "WM_ATLGETHOST"
UINT AxWinGetControlMessage() noexcept; // "WM_ATLGETCONTROL"

// Creates control `name` in hWnd; container and control receive the host
// object and the control (either may be null). A sink given with a non-null
// interface identity is connected to the control's connection point.
HRESULT AtlAxCreateControlEx(LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** container,
                             IUnknown** control, REFIID adviseIid, IUnknown* adviseSink) noexcept;
HRESULT AtlAxCreateControl(LPCOLESTR name, HWND hWnd, IStream* stream,
                           IUnknown** container) noexcept;
// Hosts an existing, already initialised control in hWnd.
HRESULT AtlAxAttachControl(IUnknown* control, HWND hWnd, IUnknown** container) noexcept;
// The host object or the control of a host window; E_FAIL when it has none.
HRESULT AtlAxGetHost(HWND hWnd, IUnknown** host) noexcept;
HRESULT AtlAxGetControl(HWND hWnd, IUnknown** control) noexcept;

// Creates control `name` in host window hWnd as an ATL-built plug-in does:
// asks the window for its host object ("WM_ATLGETHOST") and calls its
// CreateControlEx; when the window answers no host, or the host lacks
// IAxWinHostWindow, AtlAxCreateControlEx does it instead.
HRESULT CreateControlInHostWindow(HWND hWnd, LPCOLESTR name, IUnknown** control) noexcept;

} // namespace ATL
