#pragma once
// The system's ATL control-host runtime (atl100.dll), loaded at run time, and
// the connection-point helpers the plug-in uses to reach a hosted control.
// When the runtime is missing every call fails cleanly.

#include <windows.h>
#include <ocidl.h>

namespace orvelaHost {

constexpr wchar_t kHostWindowClass[] = L"AtlAxWin100";

// The host object's face that creates controls ({B6EA2050-048A-11D1-82B9-00C04FB9942E}).
struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window,
                                                    IStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                                      IUnknown** control, REFIID adviseIid,
                                                      IUnknown* adviseSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* external) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IUnknown* handler) = 0;
};
extern const IID IID_IAxWinHostWindow;

// Registers the host window classes and messages; a second call changes nothing.
bool AxWinInit() noexcept;

// The message a host window answers with its host object (not add-referenced).
UINT HostQueryMessage() noexcept;

// Creates the named control in a host window without an advise sink.
HRESULT AxCreateControlEx(LPCOLESTR name, HWND window, IUnknown** control) noexcept;

// Connects a sink to the container's connection point for iid; the cookie is
// written only on success.
HRESULT Advise(IUnknown* container, IUnknown* sink, REFIID iid, DWORD* cookie) noexcept;
HRESULT Unadvise(IUnknown* container, REFIID iid, DWORD cookie) noexcept;

// The instance handle of the module this code is linked into.
HINSTANCE ThisModule() noexcept;

} // namespace orvelaHost
