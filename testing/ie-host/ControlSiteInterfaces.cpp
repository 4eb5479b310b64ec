// What the control asks of its site: windows, drawing, services and the
// ambient properties.
#include "HostObjects.h"

#include <olectl.h>
#include <shlguid.h>

namespace IeHost {

namespace {

void setBool(VARIANT& value, bool on) {
    value.vt = VT_BOOL;
    value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
}

void setInt(VARIANT& value, LONG number) {
    value.vt = VT_I4;
    value.lVal = number;
}

// The ambient properties a page's site answers (as the quick activation's
// ambient flags say: user mode, message reflection, mnemonics).
HRESULT ambientProperty(DISPID id, const std::wstring& name, VARIANT& value) {
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
        setBool(value, true);
        return S_OK;
    case DISPID_AMBIENT_AUTOCLIP:
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
    case DISPID_AMBIENT_RIGHTTOLEFT:
    case DISPID_AMBIENT_TOPTOBOTTOM:
        setBool(value, false);
        return S_OK;
    case DISPID_AMBIENT_BACKCOLOR:
        setInt(value, static_cast<LONG>(GetSysColor(COLOR_WINDOW)));
        return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
        setInt(value, static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT)));
        return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        setInt(value, static_cast<LONG>(GetUserDefaultLCID()));
        return S_OK;
    case DISPID_AMBIENT_CODEPAGE:
        setInt(value, CP_UTF8);
        return S_OK;
    case DISPID_AMBIENT_APPEARANCE:
        setInt(value, 0);
        return S_OK;
    case DISPID_AMBIENT_DISPLAYNAME:
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(name.c_str());
        return S_OK;
    case DISPID_AMBIENT_FONT: {
        ATL::CComPtr<IFont> font = ControlSite::pageFont();
        IDispatch* dispatch = nullptr;
        if (font)
            font->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        if (!dispatch)
            return DISP_E_MEMBERNOTFOUND;
        value.vt = VT_DISPATCH;
        value.pdispVal = dispatch;
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace

ATL::CComPtr<IFont> ControlSite::pageFont() {
    FONTDESC description = {};
    description.cbSizeofstruct = sizeof description;
    description.lpstrName = const_cast<LPOLESTR>(L"Times New Roman");
    description.cySize.Lo = 120000; // 12 points
    description.sWeight = FW_NORMAL;
    description.sCharset = DEFAULT_CHARSET;
    ATL::CComPtr<IFont> font;
    OleCreateFontIndirect(&description, IID_IFont, reinterpret_cast<void**>(&font));
    return font;
}

STDMETHODIMP ControlSite::GetContainer(IOleContainer** c) {
    if (c)
        *c = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ControlSite::GetWindow(HWND* hwnd) {
    if (!hwnd)
        return E_POINTER;
    *hwnd = container;
    return S_OK;
}

STDMETHODIMP ControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                           LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame)
        *frame = nullptr;
    if (doc)
        *doc = nullptr;
    if (pos)
        *pos = rect;
    if (clip)
        *clip = rect;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = g_host->topWindow();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP ControlSite::OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) {
    if (noRedraw)
        *noRedraw = FALSE;
    windowless = (flags & ACTIVATE_WINDOWLESS) != 0;
    return S_OK;
}

STDMETHODIMP ControlSite::CanWindowlessActivate() {
    return g_host->options().windowless ? S_OK : S_FALSE;
}

STDMETHODIMP ControlSite::SetCapture(BOOL capture) {
    m_capture = capture != FALSE;
    if (m_capture)
        ::SetCapture(container);
    else if (::GetCapture() == container)
        ::ReleaseCapture();
    return S_OK;
}

STDMETHODIMP ControlSite::GetDC(LPCRECT, DWORD, HDC* hdc) {
    if (!hdc)
        return E_POINTER;
    *hdc = ::GetDC(container);
    return *hdc ? S_OK : E_FAIL;
}

STDMETHODIMP ControlSite::ReleaseDC(HDC hdc) {
    ::ReleaseDC(container, hdc);
    return S_OK;
}

STDMETHODIMP ControlSite::InvalidateRect(LPCRECT area, BOOL erase) {
    ::InvalidateRect(container, area, erase);
    return S_OK;
}

STDMETHODIMP ControlSite::InvalidateRgn(HRGN, BOOL erase) {
    ::InvalidateRect(container, nullptr, erase);
    return S_OK;
}

STDMETHODIMP ControlSite::OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) {
    if (!result)
        return E_POINTER;
    *result = DefWindowProcW(container, msg, wParam, lParam);
    return S_OK;
}

STDMETHODIMP ControlSite::GetExtendedControl(IDispatch** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!element)
        return E_NOTIMPL;
    return element->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
}

STDMETHODIMP ControlSite::QueryService(REFGUID service, REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (InlineIsEqualGUID(service, SID_SWebBrowserApp) && g_host->webBrowser())
        return static_cast<IWebBrowser2*>(g_host->webBrowser())->QueryInterface(iid, ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP ControlSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                 EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET) || !result)
        return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    return ambientProperty(id, this->id, *result);
}

STDMETHODIMP_(void) ControlSite::OnViewChange(DWORD, LONG) {
    if (container)
        ::InvalidateRect(container, nullptr, FALSE);
}

STDMETHODIMP ControlSite::OnChanged(DISPID changed) {
    if (changed == DISPID_READYSTATE || changed == DISPID_UNKNOWN) {
        readReadyState();
        calls.push_back(L"OnChanged readyState " + std::to_wstring(readyState));
    }
    return S_OK;
}

} // namespace IeHost
