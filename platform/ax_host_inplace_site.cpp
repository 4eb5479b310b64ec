#include "ax_host_window.h"

namespace ATL {

// ---- IOleWindow

STDMETHODIMP CAxHostWindow::GetWindow(HWND* hWnd) {
    if (!hWnd)
        return E_POINTER;
    *hWnd = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP CAxHostWindow::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// ---- IOleInPlaceSite, IOleInPlaceSiteEx, IOleInPlaceSiteWindowless

STDMETHODIMP CAxHostWindow::CanInPlaceActivate() {
    return m_hWnd ? S_OK : S_FALSE;
}

STDMETHODIMP CAxHostWindow::OnInPlaceActivate() {
    return OnInPlaceActivateEx(nullptr, 0);
}

STDMETHODIMP CAxHostWindow::OnUIActivate() {
    m_uiActive = true;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             RECT* pos, RECT* clip,
                                             OLEINPLACEFRAMEINFO* frameInfo) {
    if (frame)
        *frame = nullptr;
    if (doc)
        *doc = nullptr;
    if (!frame || !doc || !pos || !clip || !frameInfo)
        return E_POINTER;
    if (!m_hWnd)
        return E_FAIL;
    *frame = this;
    AddRef();
    ::GetClientRect(m_hWnd, &m_rcPos);
    *pos = m_rcPos;
    *clip = m_rcPos;
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = GetAncestor(m_hWnd, GA_ROOT);
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::Scroll(SIZE) {
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::OnUIDeactivate(BOOL) {
    m_uiActive = false;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnInPlaceDeactivate() {
    return OnInPlaceDeactivateEx(TRUE);
}

STDMETHODIMP CAxHostWindow::DiscardUndoState() {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::DeactivateAndUndo() {
    CComPtr<IOleInPlaceObject> inPlace(m_inPlaceObject);
    return inPlace ? inPlace->UIDeactivate() : S_OK;
}

STDMETHODIMP CAxHostWindow::OnPosRectChange(const RECT* pos) {
    if (!pos)
        return E_POINTER;
    m_rcPos = *pos;
    CComPtr<IOleInPlaceObject> inPlace(m_inPlaceObject);
    return inPlace ? inPlace->SetObjectRects(&m_rcPos, &m_rcPos) : S_OK;
}

STDMETHODIMP CAxHostWindow::OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) {
    if (noRedraw)
        *noRedraw = FALSE;
    if (!m_control)
        return E_UNEXPECTED;
    m_inPlaceActive = true;
    m_windowless = (flags & ACTIVATE_WINDOWLESS) != 0;
    m_inPlaceObject.Release();
    m_windowlessObject.Release();
    m_control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlaceObject));
    if (m_windowless)
        m_control->QueryInterface(IID_IOleInPlaceObjectWindowless,
                                  reinterpret_cast<void**>(&m_windowlessObject));
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnInPlaceDeactivateEx(BOOL) {
    m_inPlaceActive = false;
    m_windowless = false;
    m_inPlaceObject.Release();
    m_windowlessObject.Release();
    return S_OK;
}

STDMETHODIMP CAxHostWindow::RequestUIActivate() {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::CanWindowlessActivate() {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetCapture() {
    return m_capture ? S_OK : S_FALSE;
}

STDMETHODIMP CAxHostWindow::SetCapture(BOOL capture) {
    if (!m_hWnd)
        return E_FAIL;
    m_capture = capture != FALSE;
    if (m_capture)
        ::SetCapture(m_hWnd);
    else if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetFocus() {
    return m_focus ? S_OK : S_FALSE;
}

STDMETHODIMP CAxHostWindow::SetFocus(BOOL focus) {
    if (!m_hWnd)
        return E_FAIL;
    m_focus = focus != FALSE;
    if (m_focus && ::GetFocus() != m_hWnd)
        ::SetFocus(m_hWnd);
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetDC(const RECT*, DWORD flags, HDC* dc) {
    if (!dc)
        return E_POINTER;
    *dc = m_hWnd ? ::GetDC(m_hWnd) : nullptr;
    if (!*dc)
        return E_FAIL;
    if (flags & OLEDC_PAINTBKGND)
        FillRect(*dc, &m_rcPos, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    return S_OK;
}

STDMETHODIMP CAxHostWindow::ReleaseDC(HDC dc) {
    return m_hWnd && ::ReleaseDC(m_hWnd, dc) ? S_OK : E_FAIL;
}

STDMETHODIMP CAxHostWindow::InvalidateRect(const RECT* rect, BOOL erase) {
    if (!m_hWnd)
        return E_FAIL;
    ::InvalidateRect(m_hWnd, rect ? rect : &m_rcPos, erase);
    return S_OK;
}

STDMETHODIMP CAxHostWindow::InvalidateRgn(HRGN region, BOOL erase) {
    if (!m_hWnd)
        return E_FAIL;
    ::InvalidateRgn(m_hWnd, region, erase);
    return S_OK;
}

STDMETHODIMP CAxHostWindow::ScrollRect(INT, INT, const RECT*, const RECT*) {
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::AdjustRect(RECT* rect) {
    return rect ? S_OK : E_POINTER;
}

STDMETHODIMP CAxHostWindow::OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                               LRESULT* result) {
    if (!result)
        return E_POINTER;
    *result = m_hWnd ? DefWindowProcW(m_hWnd, msg, wParam, lParam) : 0;
    return S_OK;
}

// ---- IOleInPlaceUIWindow, IOleInPlaceFrame

STDMETHODIMP CAxHostWindow::GetBorder(RECT* border) {
    if (border)
        SetRectEmpty(border);
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CAxHostWindow::RequestBorderSpace(LPCBORDERWIDTHS) {
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CAxHostWindow::SetBorderSpace(LPCBORDERWIDTHS widths) {
    return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
}

STDMETHODIMP CAxHostWindow::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    m_activeObject = active;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::InsertMenus(HMENU, OLEMENUGROUPWIDTHS* widths) {
    if (widths)
        for (LONG& width : widths->width)
            width = 0;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::SetMenu(HMENU, HOLEMENU, HWND) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::RemoveMenus(HMENU) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::SetStatusText(LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::EnableModeless(BOOL) {
    return S_OK;
}

STDMETHODIMP CAxHostWindow::TranslateAccelerator(MSG*, WORD) {
    return S_FALSE;
}

} // namespace ATL
