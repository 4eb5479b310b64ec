#include "CX64ConfigCtrl.h"

#include "PageAddress.h"
#include "DispatchErrors.h"
#include "RelayedEvent.h"
#include "SplitString.h"

#include "ax_host.h"
#include "com_error.h"
#include "dispatch.h"
#include "site_lock.h"
#include "text.h"

#include <cstdio>
#include <string_view>
#include <vector>

using namespace ATL;

namespace {

std::wstring_view View(BSTR text) noexcept {
    return {text ? text : L"", SysStringLen(text)};
}

// An argument as the camera control takes it: a text as a copy of its own,
// which lives until the call returned.
CComBSTR CameraArg(BSTR text) {
    return CComBSTR(View(text));
}
LONG CameraArg(LONG value) noexcept {
    return value;
}

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

// The event text as the page sees it: through the ANSI code page and back.
constexpr AnsiCodePage kSystemCodePage{&WideToAnsi, &AnsiToWide, &IsAnsiLeadByte};

} // namespace

CX64ConfigCtrl::CX64ConfigCtrl() : m_allowedSites(orvelaSites::ReadAllowedSites()) {
    m_bWindowOnly = true;
    AtlAxWinInit(kAxWin80);
}

CX64ConfigCtrl::~CX64ConfigCtrl() {
    // A control released without being deactivated still holds the camera.
    DestroyHostedCtrl();
}

HRESULT WINAPI CX64ConfigCtrl::UpdateRegistry(BOOL bRegister) noexcept {
    return _pAtlModule->UpdateRegistryFromResource(103, bRegister, {{L"OLEMISC", L"131473"}});
}

HRESULT CX64ConfigCtrl::FinalConstruct() {
    CreateHostedCtrl();
    return S_OK;
}

int CX64ConfigCtrl::CreateHostedCtrl() {
    if (m_bCtrlCreated)
        return 0;
    if (!m_hWnd)
        return -1;
    m_bCtrlWithheld = !PageAllowed();
    if (m_bCtrlWithheld)
        return 0;
    if (!AtlAxWinInit(kAxWin80))
        return 0;
    if (!m_wndHost) {
        RECT rc = {};
        ::GetClientRect(m_hWnd, &rc);
        m_wndHost =
            CreateWindowExW(0, kAxWin80.host, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                            rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, m_hWnd,
                            nullptr, _pAtlModule->GetModuleInstance(), nullptr);
        if (!m_wndHost)
            return 0;
    }
    CComPtr<IUnknown> unknown;
    if (FAILED(CreateControlInHostWindow(m_wndHost, KavrinControl::kProgId, &unknown)) || !unknown)
        return 0;
    m_spCtrl.Release();
    if (FAILED(unknown->QueryInterface(KavrinControl::kControlIid,
                                       reinterpret_cast<void**>(&m_spCtrl))) ||
        !m_spCtrl)
        return 0;
    if (!m_pEventSink)
        m_pEventSink = std::make_unique<CIMorvathCtrlEvent>(this);
    if (!m_pEventSink->IsConnected() && FAILED(m_pEventSink->DispEventAdvise(m_spCtrl))) {
        m_spCtrl.Release();
        return 0;
    }
    if (!m_bCtrlInited && m_bstrBaseUrl.Length() > 0) {
        CComBSTR url(m_bstrBaseUrl), ip(m_bstrIp);
        LONG ignored = 0;
        m_spCtrl->InitCtrl(url, ip, m_nPtzPort, &ignored);
        m_bCtrlInited = TRUE;
    }
    m_bCtrlCreated = TRUE;
    return 0;
}

// No WM_DESTROY is posted to the host window before it goes: DestroyWindow
// below sends it the real one, and a posted copy would either be dropped with
// the window or, delivered to a live host, tear its camera down.
void CX64ConfigCtrl::DestroyHostedCtrl() {
    if (m_pEventSink && m_pEventSink->IsConnected() && m_spCtrl)
        m_pEventSink->DispEventUnadvise(m_spCtrl);
    m_spCtrl.Release();
    if (m_wndHost) {
        if (::IsWindow(m_wndHost))
            ::DestroyWindow(m_wndHost);
        m_wndHost = nullptr;
    }
    m_bCtrlInited = FALSE;
    m_bCtrlCreated = FALSE;
    CIMorvathCtrlEvent::Dispose(std::move(m_pEventSink));
}

LRESULT CX64ConfigCtrl::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
    CreateHostedCtrl();
    return 0;
}

LRESULT CX64ConfigCtrl::OnSize(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
    if (m_bCtrlCreated) {
        RECT rc = {};
        ::GetClientRect(m_hWnd, &rc);
        ::MoveWindow(m_wndHost, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
        ::PostMessageW(m_wndHost, WM_SIZE, wParam, lParam);
    }
    return 0;
}

LRESULT CX64ConfigCtrl::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
    DestroyHostedCtrl();
    return 0;
}

LRESULT CX64ConfigCtrl::OnSetFocus(UINT, WPARAM, LPARAM, BOOL&) {
    if (m_bCtrlCreated && ::IsWindow(m_wndHost))
        ::SetFocus(m_wndHost);
    return 0;
}

BOOL CX64ConfigCtrl::PreTranslateAccelerator(MSG* msg, HRESULT& hr) {
    if (m_bCtrlCreated && msg)
        ::PostMessageW(m_wndHost, msg->message, msg->wParam, msg->lParam);
    hr = S_OK;
    return TRUE;
}

template <class F>
HRESULT CX64ConfigCtrl::Forward(const wchar_t* operation, F&& call) {
    if (!m_bCtrlCreated || !m_spCtrl)
        return S_OK;
    const HRESULT hr = CallNoThrow([&] {
        const HRESULT answer = call(m_spCtrl.p);
        return FAILED(answer) ? answer : S_OK;
    });
    if (FAILED(hr))
        ReportCameraFailure(operation, hr);
    return hr;
}

template <auto Operation, class... Args>
HRESULT CX64ConfigCtrl::ForwardAnswer(const wchar_t* operation, LONG* answer, Args... args) {
    if (!answer)
        return E_POINTER;
    if (const HRESULT refused = AdmitCamera(); FAILED(refused))
        return refused;
    return Forward(operation, [&](KavrinControl::ICameraControl* ctrl) {
        LONG result = 0;
        const HRESULT hr = (ctrl->*Operation)(CameraArg(args)..., &result);
        if (SUCCEEDED(hr))
            *answer = result;
        return hr;
    });
}

// The page's exception then says which camera operation failed, and how.
void CX64ConfigCtrl::ReportCameraFailure(const wchar_t* operation, HRESULT hr) noexcept {
    wchar_t description[160];
    std::swprintf(description, 160, L"The camera control's %ls failed (0x%08lX).", operation,
                  static_cast<unsigned long>(hr));
    AtlReportError(GetObjectCLSID(), description, IID_IX64ConfigCtrl, hr);
}

bool CX64ConfigCtrl::PageAllowed() noexcept {
    return !m_allowedSites ||
           m_allowedSites->allows(BridgePageAddress(m_spClientSite, m_spHTMLDoc, m_spHTMLWindow));
}

HRESULT CX64ConfigCtrl::AdmitCamera() noexcept {
    if (!m_allowedSites)
        return S_OK;
    return CallNoThrow([&] {
        const std::string address = BridgePageAddress(m_spClientSite, m_spHTMLDoc, m_spHTMLWindow);
        if (!m_allowedSites->allows(address)) {
            const std::wstring refusal = Utf8ToWide(orvelaSites::refusalMessage(address));
            AtlReportError(GetObjectCLSID(), refusal.c_str(), IID_IX64ConfigCtrl, E_ACCESSDENIED);
            return E_ACCESSDENIED;
        }
        if (m_bCtrlWithheld && m_hWnd) {
            m_bCtrlWithheld = FALSE;
            CreateHostedCtrl();
        }
        return S_OK;
    });
}

STDMETHODIMP CX64ConfigCtrl::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                    UINT* argErr) {
    using Dispatch = IDispatchImpl<IX64ConfigCtrl, &IID_IX64ConfigCtrl, &LIBID_KavrinX64Lib, 1, 0>;
    const HRESULT hr = Dispatch::Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    if (SUCCEEDED(hr) || hr == DISP_E_EXCEPTION)
        return hr;
    CComPtr<ITypeInfo> info;
    Dispatch::GetTypeInfo(0, lcid, &info);
    return ExplainDispatchFailure(hr, info, id, params, excep, GetObjectCLSID(),
                                  IID_IX64ConfigCtrl);
}

STDMETHODIMP CX64ConfigCtrl::InitCtrl(BSTR strBaseUrl, BSTR strIp, LONG nPtzPort, LONG* nRet) {
    if (const HRESULT refused = AdmitCamera(); FAILED(refused))
        return refused;
    return CallNoThrow([&] {
        m_bstrBaseUrl = CComBSTR(View(strBaseUrl));
        m_bstrIp = CComBSTR(View(strIp));
        m_nPtzPort = nPtzPort;
        // Without a place for the answer the camera is not called now; the
        // saved arguments still reach it when it is next created.
        if (!nRet)
            return E_POINTER;
        if (!m_bCtrlCreated)
            return S_OK;
        const HRESULT hr = ForwardAnswer<&KavrinControl::ICameraControl::InitCtrl>(
            L"InitCtrl", nRet, m_bstrBaseUrl.m_str, m_bstrIp.m_str, nPtzPort);
        m_bCtrlInited = TRUE;
        return hr;
    });
}

STDMETHODIMP CX64ConfigCtrl::GetCtrlVersion(BSTR* strVerSion) {
    if (!strVerSion)
        return E_POINTER;
    if (const HRESULT refused = AdmitCamera(); FAILED(refused))
        return refused;
    // The page gets a text: the control's own text unchanged, or its number
    // as decimal text, whichever form the installed control declares. A
    // control whose type library declares the slot in any other form answers
    // as if there were no control: no call is made, as a call in the wrong
    // form would unbalance the stack.
    return Forward(L"GetCtrlVersion", [&](KavrinControl::ICameraControl* ctrl) {
        using namespace KavrinControl;
        const RetvalSlot slot = DescribeRetvalSlot(kTypeLibId, kTypeLibMajor, kTypeLibMinor,
                                                   kControlIid, kGetCtrlVersionSlot);
        if (slot.described && slot.type != VT_BSTR && slot.type != VT_I4)
            return S_OK;
        if (slot.type == VT_BSTR) {
            BSTR text = nullptr;
            const HRESULT hr = CallVtableSlot(ctrl, kGetCtrlVersionSlot, &text);
            if (FAILED(hr)) {
                SysFreeString(text);
                return hr;
            }
            *strVerSion = text;
            return S_OK;
        }
        LONG version = 0;
        const HRESULT hr = ctrl->GetCtrlVersion(&version);
        if (FAILED(hr))
            return hr;
        wchar_t text[16];
        std::swprintf(text, 16, L"%ld", static_cast<long>(version));
        *strVerSion = CComBSTR(text).Detach();
        return S_OK;
    });
}

STDMETHODIMP CX64ConfigCtrl::LoadLang(BSTR strUrl, LONG nUrlType, LONG* nRet) {
    return ForwardAnswer<&KavrinControl::ICameraControl::LoadLang>(L"LoadLang", nRet, strUrl,
                                                                   nUrlType);
}

STDMETHODIMP CX64ConfigCtrl::SetBufferTick(LONG nTick, LONG nCount, LONG* nRet) {
    return ForwardAnswer<&KavrinControl::ICameraControl::SetBufferTick>(L"SetBufferTick", nRet,
                                                                        nTick, nCount);
}

STDMETHODIMP CX64ConfigCtrl::SetBufferTickV2(LONG nTick, LONG nCount, LONG* nRet) {
    return ForwardAnswer<&KavrinControl::ICameraControl::SetBufferTickV2>(L"SetBufferTickV2", nRet,
                                                                          nTick, nCount);
}

STDMETHODIMP CX64ConfigCtrl::SetDeviceType(LONG nType, BSTR bsInfo, LONG* nRet) {
    return ForwardAnswer<&KavrinControl::ICameraControl::SetDeviceType>(L"SetDeviceType", nRet,
                                                                        nType, bsInfo);
}

STDMETHODIMP CX64ConfigCtrl::SetIEWindow(VARIANT vtWindow, BSTR strFuncLs, LONG* nRet) {
    if (!nRet)
        return E_POINTER;
    // VBScript passes a variable by reference (VT_BYREF|VT_VARIANT): the window
    // is the value it refers to.
    CComVariant given;
    if (FAILED(VariantCopyInd(&given, &vtWindow)) || V_VT(&given) != VT_DISPATCH ||
        !V_DISPATCH(&given)) {
        *nRet = -1;
        return S_FALSE;
    }
    return CallNoThrow([&] {
        std::map<int, std::string> names;
        SplitString(WideToAnsi(View(strFuncLs)), ",", true, names);
        CComBSTR list(View(strFuncLs));

        CComPtr<IHTMLWindow2> window;
        V_DISPATCH(&given)->QueryInterface(__uuidof(IHTMLWindow2),
                                           reinterpret_cast<void**>(&window));
        CComPtr<IHTMLDocument2> document;
        if (window)
            window->get_document(&document);
        m_spHTMLWindow = window;
        m_spHTMLDoc = document;
        m_spPageScript.Release();
        m_pageFunctionIds.clear();
        m_bstrFuncList = std::move(list);
        m_mapFuncName = std::move(names);
        *nRet = 0;
        return S_OK;
    });
}

LONG CX64ConfigCtrl::DisplayCtrlEvent(BSTR text, LONG type, LONG subType) {
    if (m_mapFuncName.empty())
        return 0;
    // The page function runs while this call waits; it may release this
    // control or destroy its window.
    CComPtr<IUnknown> self(GetUnknown());
    const std::map<int, std::wstring> arguments =
        RelayedEventArguments(View(text), type, subType, kSystemCodePage);
    CComVariant result;
    CallPageFunction(AnsiToWide(m_mapFuncName.begin()->second), arguments, &result);
    return 0;
}

HRESULT CX64ConfigCtrl::PageScript(IDispatch** script) {
    if (!m_spPageScript) {
        if (m_spHTMLWindow && !m_spHTMLDoc)
            m_spHTMLWindow->get_document(&m_spHTMLDoc);
        if (!m_spHTMLDoc)
            return E_FAIL;
        const HRESULT hr = m_spHTMLDoc->get_Script(&m_spPageScript);
        if (FAILED(hr) || !m_spPageScript)
            return FAILED(hr) ? hr : E_FAIL;
    }
    *script = m_spPageScript;
    (*script)->AddRef();
    return S_OK;
}

bool CX64ConfigCtrl::CallPageFunction(const std::wstring& name,
                                      const std::map<int, std::wstring>& arguments,
                                      VARIANT* result) {
    CComPtr<IDispatch> script;
    if (FAILED(PageScript(&script)))
        return false;
    DISPID id = DISPID_UNKNOWN;
    const auto known = m_pageFunctionIds.find(name);
    if (known != m_pageFunctionIds.end()) {
        id = known->second;
    } else {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
        if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)))
            return false;
        m_pageFunctionIds[name] = id;
    }

    // Argument i at position i: the page function receives them in reverse.
    static_assert(sizeof(CComVariant) == sizeof(VARIANT), "variants are passed as an array");
    std::vector<CComVariant> params;
    params.reserve(arguments.size());
    for (const auto& argument : arguments)
        params.emplace_back(argument.second.c_str());
    DISPPARAMS dp = {params.empty() ? nullptr : params.data(), nullptr,
                     static_cast<UINT>(params.size()), 0};
    CComVariant answer;
    CExcepInfo excep;
    UINT argErr = static_cast<UINT>(-1);
    const HRESULT hr =
        script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &answer, &excep, &argErr);
    if (FAILED(hr)) {
        // The page may have changed; look the name up again next time.
        m_pageFunctionIds.erase(name);
        return false;
    }
    if (result)
        answer.Detach(result);
    return true;
}
