#include "ax_host_window.h"
#include "ax_host_units.h"

#include "com_error.h"
#include "connection_points.h"

#include <olectl.h>

#include <cwchar>

namespace ATL {

using ax_host_units::kHimetricPerInch;
using ax_host_units::screenDpi;

namespace {

constexpr UINT kForwardMessage = 0x037F;        // WM_FORWARDMSG: a container's accelerator check
constexpr UINT kReflectBase = WM_USER + 0x1C00; // OCM__BASE: reflected notifications

ATOM hostProperty() noexcept {
    static const ATOM atom = GlobalAddAtomW(L"OrvelaAxHostWindow");
    return atom;
}

LPCWSTR hostPropertyName() noexcept {
    return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(hostProperty()));
}

// A ProgID, "{clsid}" or the same CLSID without braces.
HRESULT classFromName(LPCOLESTR name, CLSID& clsid) noexcept {
    if (!name || !*name)
        return CO_E_CLASSSTRING;
    if (name[0] == L'{')
        return CLSIDFromString(name, &clsid);
    const HRESULT hr = CLSIDFromProgID(name, &clsid);
    if (SUCCEEDED(hr))
        return hr;
    constexpr size_t kBareClsidLength = 36;
    if (wcslen(name) == kBareClsidLength) {
        wchar_t braced[kBareClsidLength + 3] = L"{";
        wcscpy(braced + 1, name);
        braced[kBareClsidLength + 1] = L'}';
        braced[kBareClsidLength + 2] = L'\0';
        if (SUCCEEDED(CLSIDFromString(braced, &clsid)))
            return S_OK;
    }
    return hr;
}

HRESULT createInstance(const CLSID& clsid, BSTR license, CComPtr<IUnknown>& control) noexcept {
    if (!license || !SysStringLen(license))
        return CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&control));
    CComPtr<IClassFactory2> factory;
    HRESULT hr = CoGetClassObject(clsid, CLSCTX_SERVER, nullptr, IID_IClassFactory2,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    return factory->CreateInstanceLic(nullptr, nullptr, IID_IUnknown, license,
                                      reinterpret_cast<void**>(&control));
}

// The child window a notification came from, for message reflection.
HWND notifyingChild(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
    case WM_COMMAND:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<HWND>(lParam);
    case WM_NOTIFY:
        return lParam ? reinterpret_cast<NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_DRAWITEM:
        return lParam ? reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_COMPAREITEM:
        return lParam ? reinterpret_cast<COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lParam ? reinterpret_cast<DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_MEASUREITEM:
        return lParam ? GetDlgItem(parent, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlID)
                      : nullptr;
    case WM_PARENTNOTIFY:
        return (LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY)
                   ? reinterpret_cast<HWND>(lParam)
                   : nullptr;
    default:
        return nullptr;
    }
}

bool isWindowlessInput(UINT msg) noexcept {
    return (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) ||
           (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) ||
           (msg >= WM_IME_SETCONTEXT && msg <= WM_IME_KEYUP) || msg == WM_SETFOCUS ||
           msg == WM_KILLFOCUS || msg == WM_SETCURSOR || msg == WM_CONTEXTMENU || msg == WM_HELP ||
           msg == WM_CANCELMODE || msg == WM_CAPTURECHANGED;
}

bool isClientMouseMessage(UINT msg) noexcept {
    return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL &&
           msg != WM_MOUSEHWHEEL;
}

} // namespace

HRESULT CAxHostWindow::Create(CComPtr<IAxWinHostWindow>& host) noexcept {
    host.Release();
    CComObject<CAxHostWindow>* object = nullptr;
    const HRESULT hr = CComObject<CAxHostWindow>::CreateInstance(&object);
    if (FAILED(hr))
        return hr;
    host = static_cast<IAxWinHostWindow*>(object);
    return S_OK;
}

CAxHostWindow* CAxHostWindow::FromWindow(HWND hWnd) noexcept {
    return static_cast<CAxHostWindow*>(GetPropW(hWnd, hostPropertyName()));
}

HRESULT CAxHostWindow::AttachWindow(HWND hWnd, bool subclass) noexcept {
    if (!IsWindow(hWnd))
        return E_INVALIDARG;
    if (m_hWnd)
        return m_hWnd == hWnd ? S_OK : E_UNEXPECTED;
    if (FromWindow(hWnd))
        return E_UNEXPECTED;
    if (!SetPropW(hWnd, hostPropertyName(), this))
        return HRESULT_FROM_WIN32(GetLastError());
    m_hWnd = hWnd;
    AddRef(); // the window's reference, given back at WM_NCDESTROY
    if (subclass)
        m_previousProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CAxHostWindow::WindowProc)));
    ::GetClientRect(hWnd, &m_rcPos);
    return S_OK;
}

void CAxHostWindow::DetachWindow() noexcept {
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return;
    RemovePropW(hWnd, hostPropertyName());
    if (m_previousProc && GetWindowLongPtrW(hWnd, GWLP_WNDPROC) ==
                              reinterpret_cast<LONG_PTR>(&CAxHostWindow::WindowProc))
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    m_hWnd = nullptr;
    Release();
}

LRESULT CALLBACK CAxHostWindow::WindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                           LPARAM lParam) noexcept {
    if (CAxHostWindow* host = FromWindow(hWnd)) {
        // A handler may end the window's reference to the host.
        CComPtr<IUnknown> keep(host->GetUnknown());
        return host->OnMessage(msg, wParam, lParam);
    }
    if (msg != WM_CREATE)
        return DefWindowProcW(hWnd, msg, wParam, lParam);

    // A window of the host classes has its host from creation on and creates
    // the control its text names.
    CComPtr<IAxWinHostWindow> host;
    if (FAILED(Create(host)))
        return -1;
    auto* self = static_cast<CAxHostWindow*>(host.p);
    if (FAILED(self->AttachWindow(hWnd, false)))
        return -1;
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    if (!create || !create->lpszName || !*create->lpszName)
        return 0;
    wchar_t className[32] = {};
    GetClassNameW(hWnd, className, 32);
    const bool licensed = wcsncmp(className, L"AtlAxWinLic", 11) == 0;
    const HRESULT hr = CallNoThrow([&] {
        CComBSTR license(licensed ? static_cast<const wchar_t*>(create->lpCreateParams) : nullptr);
        return self->CreateControlLicensed(create->lpszName, hWnd, nullptr, license, nullptr,
                                           IID_NULL, nullptr);
    });
    return FAILED(hr) ? -1 : 0;
}

LRESULT CAxHostWindow::CallNext(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return m_previousProc ? CallWindowProcW(m_previousProc, m_hWnd, msg, wParam, lParam)
                          : DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CAxHostWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == AxWinGetHostMessage())
        return reinterpret_cast<LRESULT>(GetUnknown());
    if (msg == AxWinGetControlMessage())
        return reinterpret_cast<LRESULT>(m_control.p);
    HWND hWnd = m_hWnd;
    LRESULT result = 0;
    switch (msg) {
    case WM_SIZE:
        result = CallNext(msg, wParam, lParam);
        ResizeControl();
        return result;
    case WM_PAINT:
        if (m_windowless && m_viewObject) {
            Paint();
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        // The windowless control paints its whole rectangle; erasing would flicker.
        if (m_windowless && m_viewObject)
            return 1;
        break;
    case WM_SETFOCUS:
        if (!m_windowless && m_inPlaceObject) {
            CComPtr<IOleInPlaceObject> inPlace(m_inPlaceObject);
            HWND controlWindow = nullptr;
            if (SUCCEEDED(inPlace->GetWindow(&controlWindow)) && IsWindow(controlWindow)) {
                ::SetFocus(controlWindow);
                return 0;
            }
        }
        break;
    case kForwardMessage: {
        auto* forwarded = reinterpret_cast<MSG*>(lParam);
        CComPtr<IOleInPlaceActiveObject> active(m_activeObject);
        if (!active && m_control)
            m_control->QueryInterface(IID_IOleInPlaceActiveObject,
                                      reinterpret_cast<void**>(&active));
        return forwarded && active && active->TranslateAccelerator(forwarded) == S_OK;
    }
    case WM_DESTROY:
        ReleaseControl();
        return CallNext(msg, wParam, lParam);
    case WM_NCDESTROY:
        result = CallNext(msg, wParam, lParam);
        DetachWindow();
        return result;
    default:
        break;
    }
    if (m_windowless && isWindowlessInput(msg) && ForwardToWindowless(msg, wParam, lParam, result))
        return result;
    if (Reflect(msg, wParam, lParam, result))
        return result;
    return hWnd == m_hWnd ? CallNext(msg, wParam, lParam)
                          : DefWindowProcW(hWnd, msg, wParam, lParam);
}

bool CAxHostWindow::ForwardToWindowless(UINT msg, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) noexcept {
    CComPtr<IOleInPlaceObjectWindowless> windowless(m_windowlessObject);
    if (!windowless)
        return false;
    if (isClientMouseMessage(msg) && !m_capture) {
        const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (!PtInRect(&m_rcPos, at))
            return false;
    }
    result = 0;
    return windowless->OnWindowMessage(msg, wParam, lParam, &result) == S_OK;
}

bool CAxHostWindow::Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    HWND child = notifyingChild(m_hWnd, msg, wParam, lParam);
    if (!child || child == m_hWnd || !IsWindow(child) || !IsChild(m_hWnd, child))
        return false;
    result = SendMessageW(child, kReflectBase + msg, wParam, lParam);
    return true;
}

void CAxHostWindow::Paint() noexcept {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (!dc)
        return;
    FillRect(dc, &ps.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    CComPtr<IViewObject> view(m_viewObject);
    const RECTL bounds = {m_rcPos.left, m_rcPos.top, m_rcPos.right, m_rcPos.bottom};
    if (view)
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr,
                   0);
    EndPaint(m_hWnd, &ps);
}

SIZEL CAxHostWindow::ClientExtent() const noexcept {
    const SIZE dpi = screenDpi();
    return {MulDiv(m_rcPos.right - m_rcPos.left, kHimetricPerInch, dpi.cx),
            MulDiv(m_rcPos.bottom - m_rcPos.top, kHimetricPerInch, dpi.cy)};
}

void CAxHostWindow::ResizeControl() noexcept {
    if (!m_hWnd)
        return;
    ::GetClientRect(m_hWnd, &m_rcPos);
    CComPtr<IOleObject> ole(m_oleObject);
    if (!ole || !m_inPlaceActive)
        return;
    SIZEL extent = ClientExtent();
    ole->SetExtent(DVASPECT_CONTENT, &extent);
    CComPtr<IOleInPlaceObject> inPlace(m_inPlaceObject);
    if (inPlace)
        inPlace->SetObjectRects(&m_rcPos, &m_rcPos);
    if (m_windowless)
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

// ---- creating, activating and releasing the control

HRESULT CAxHostWindow::CreateControlLicensed(LPCOLESTR name, HWND hWnd, IStream* stream,
                                             BSTR license, IUnknown** control, REFIID adviseIid,
                                             IUnknown* adviseSink) noexcept {
    if (control)
        *control = nullptr;
    if (!name)
        return E_INVALIDARG;
    HRESULT hr = AttachWindow(hWnd, true);
    if (FAILED(hr))
        return hr;
    ReleaseControl();
    CLSID clsid = {};
    hr = classFromName(name, clsid);
    if (FAILED(hr))
        return hr;
    CComPtr<IUnknown> created;
    hr = createInstance(clsid, license, created);
    if (FAILED(hr))
        return hr;
    hr = CallNoThrow([&] {
        m_name = name;
        return S_OK;
    });
    if (SUCCEEDED(hr))
        hr = ActivateControl(created, false, stream);
    if (FAILED(hr))
        return hr;
    if (adviseSink && !InlineIsEqualGUID(adviseIid, IID_NULL) &&
        SUCCEEDED(AtlAdvise(created, adviseSink, adviseIid, &m_eventCookie))) {
        m_eventIid = adviseIid;
        m_eventSink = adviseSink;
    }
    if (control)
        *control = created.Detach();
    return S_OK;
}

HRESULT CAxHostWindow::ActivateControl(IUnknown* control, bool initialised,
                                       IStream* stream) noexcept {
    CComPtr<IOleObject> ole;
    HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    if (FAILED(hr))
        return hr;
    m_control = control;
    m_oleObject = ole;
    control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&m_viewObject));
    m_miscStatus = 0;
    ole->GetMiscStatus(DVASPECT_CONTENT, &m_miscStatus);

    // Quick activation sites the control and connects its view in one call.
    const bool quick = !initialised && QuickActivate();
    const bool siteFirst = (m_miscStatus & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (!quick && siteFirst)
        ole->SetClientSite(this);
    if (!initialised) {
        hr = InitialiseControl(stream);
        if (FAILED(hr)) {
            ReleaseControl();
            return hr;
        }
    }
    if (!quick && !siteFirst)
        ole->SetClientSite(this);
    ole->Advise(this, &m_oleAdviseCookie);
    if (!quick && m_viewObject)
        m_viewAdvised = SUCCEEDED(m_viewObject->SetAdvise(DVASPECT_CONTENT, 0, this));
    ole->SetHostNames(L"AXWIN", nullptr);

    if ((m_miscStatus & OLEMISC_INVISIBLEATRUNTIME) == 0 && m_hWnd) {
        ::GetClientRect(m_hWnd, &m_rcPos);
        SIZEL extent = ClientExtent();
        ole->SetExtent(DVASPECT_CONTENT, &extent);
        // A control that refuses in-place activation stays created, without a view.
        ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hWnd, &m_rcPos);
    }
    return S_OK;
}

bool CAxHostWindow::QuickActivate() noexcept {
    CComPtr<IQuickActivate> quick;
    if (FAILED(m_control->QueryInterface(IID_IQuickActivate, reinterpret_cast<void**>(&quick))))
        return false;
    QACONTAINER container = {};
    container.cbSize = sizeof(container);
    container.pClientSite = this;
    container.pAdviseSink = this;
    container.dwAmbientFlags =
        QACONTAINER_USERMODE | QACONTAINER_MESSAGEREFLECT | QACONTAINER_AUTOCLIP;
    container.colorFore = 0x80000000 | COLOR_WINDOWTEXT;
    container.colorBack = 0x80000000 | COLOR_WINDOW;
    container.dwAppearance = 1;
    container.lcid = GetUserDefaultLCID();
    container.pOleControlSite = this;
    container.pServiceProvider = this;
    VARIANT font;
    VariantInit(&font);
    if (SUCCEEDED(ReadAmbient(DISPID_AMBIENT_FONT, &font)) && font.vt == VT_DISPATCH)
        font.pdispVal->QueryInterface(IID_IFont, reinterpret_cast<void**>(&container.pFont));
    VariantClear(&font);
    QACONTROL answer = {};
    answer.cbSize = sizeof(answer);
    const HRESULT hr = quick->QuickActivate(&container, &answer);
    if (container.pFont)
        container.pFont->Release();
    if (FAILED(hr))
        return false;
    m_miscStatus = answer.dwMiscStatus;
    m_viewAdvised = m_viewObject != nullptr;
    return true;
}

HRESULT CAxHostWindow::InitialiseControl(IStream* stream) noexcept {
    CComPtr<IPersistStreamInit> streamInit;
    if (SUCCEEDED(m_control->QueryInterface(IID_IPersistStreamInit,
                                            reinterpret_cast<void**>(&streamInit))))
        return stream ? streamInit->Load(stream) : streamInit->InitNew();
    CComPtr<IPersistStream> persistStream;
    if (stream && SUCCEEDED(m_control->QueryInterface(IID_IPersistStream,
                                                      reinterpret_cast<void**>(&persistStream))))
        return persistStream->Load(stream);
    CComPtr<IPersistStorage> persistStorage;
    if (SUCCEEDED(m_control->QueryInterface(IID_IPersistStorage,
                                            reinterpret_cast<void**>(&persistStorage)))) {
        CComPtr<ILockBytes> bytes;
        CComPtr<IStorage> storage;
        HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
        if (SUCCEEDED(hr))
            hr = StgCreateDocfileOnILockBytes(
                bytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, &storage);
        return SUCCEEDED(hr) ? persistStorage->InitNew(storage) : hr;
    }
    return S_OK; // a control with nothing to initialise
}

// Deactivates, closes and unsites the control, in that order, and drops every
// reference to it. The members are emptied first: the control calls back
// into the site while it goes.
void CAxHostWindow::ReleaseControl() noexcept {
    CComPtr<IUnknown> control(std::move(m_control));
    CComPtr<IOleObject> ole(std::move(m_oleObject));
    CComPtr<IViewObject> view(std::move(m_viewObject));
    CComPtr<IOleInPlaceObject> inPlace(std::move(m_inPlaceObject));
    CComPtr<IUnknown> sink(std::move(m_eventSink));
    m_windowlessObject.Release();
    m_activeObject.Release();
    if (!control)
        return;
    if (sink)
        AtlUnadvise(control, m_eventIid, m_eventCookie);
    m_eventCookie = 0;
    if (m_inPlaceActive) {
        if (!inPlace)
            control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
        if (inPlace)
            inPlace->InPlaceDeactivate();
    }
    if (view && m_viewAdvised)
        view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    m_viewAdvised = false;
    if (ole) {
        if (m_oleAdviseCookie)
            ole->Unadvise(m_oleAdviseCookie);
        ole->Close(OLECLOSE_NOSAVE);
        ole->SetClientSite(nullptr);
    }
    m_oleAdviseCookie = 0;
    m_inPlaceActive = m_uiActive = m_windowless = m_capture = m_focus = false;
    m_miscStatus = 0;
}

void CAxHostWindow::FinalRelease() {
    ReleaseControl();
}

// ---- IAxWinHostWindow

STDMETHODIMP CAxHostWindow::CreateControl(LPCOLESTR name, HWND hWnd, IStream* stream) {
    return CreateControlLicensed(name, hWnd, stream, nullptr, nullptr, IID_NULL, nullptr);
}

STDMETHODIMP CAxHostWindow::CreateControlEx(LPCOLESTR name, HWND hWnd, IStream* stream,
                                            IUnknown** control, REFIID adviseIid,
                                            IUnknown* adviseSink) {
    return CreateControlLicensed(name, hWnd, stream, nullptr, control, adviseIid, adviseSink);
}

STDMETHODIMP CAxHostWindow::AttachControl(IUnknown* control, HWND hWnd) {
    if (!control)
        return E_INVALIDARG;
    const HRESULT hr = AttachWindow(hWnd, true);
    if (FAILED(hr))
        return hr;
    CComPtr<IUnknown> keep(control);
    ReleaseControl();
    return ActivateControl(control, true, nullptr);
}

STDMETHODIMP CAxHostWindow::QueryControl(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    return m_control ? m_control->QueryInterface(iid, ppv) : E_NOINTERFACE;
}

STDMETHODIMP CAxHostWindow::SetExternalDispatch(IDispatch* external) {
    m_externalDispatch = external;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::SetExternalUIHandler(IUnknown* handler) {
    m_externalUIHandler = handler;
    return S_OK;
}
} // namespace ATL
