#include "HostObjects.h"

#include <objsafe.h>
#include <shlguid.h>

namespace IeHost {

namespace {

const wchar_t kContainerClass[] = L"IeHostElement";

LRESULT CALLBACK containerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* site = reinterpret_cast<ControlSite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (site && site->windowless) {
        if (msg == WM_PAINT) {
            site->paint();
            return 0;
        }
        LRESULT result = 0;
        if ((msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) ||
            (msg >= WM_KEYFIRST && msg <= WM_KEYLAST)) {
            if (site->windowlessMessage(msg, wParam, lParam, result))
                return result;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool clsidFor(const PageItem& item, CLSID& clsid, std::wstring& error) {
    auto classid = item.attributes.find(L"classid");
    if (classid != item.attributes.end()) {
        std::wstring text = classid->second;
        if (_wcsnicmp(text.c_str(), L"clsid:", 6) == 0)
            text = text.substr(6);
        if (!text.empty() && text[0] != L'{')
            text = L"{" + text + L"}";
        if (FAILED(CLSIDFromString(text.c_str(), &clsid))) {
            error = L"not a class identifier: " + classid->second;
            return false;
        }
        return true;
    }
    auto type = item.attributes.find(L"type");
    if (type == item.attributes.end()) {
        error = L"an <object> needs a type or a classid";
        return false;
    }
    const std::wstring key = L"MIME\\Database\\Content Type\\" + type->second;
    wchar_t text[64] = {};
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"CLSID", RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS ||
        FAILED(CLSIDFromString(text, &clsid))) {
        error = L"no control registered for " + type->second;
        return false;
    }
    return true;
}

int sizeAttribute(const PageItem& item, const wchar_t* name, int fallback) {
    auto found = item.attributes.find(name);
    if (found == item.attributes.end())
        return fallback;
    const int value = _wtoi(found->second.c_str());
    return value > 0 ? value : fallback;
}

} // namespace

HRESULT ControlSite::windowlessSite(void* self, REFIID, void** ppv, DWORD_PTR) {
    auto* site = static_cast<ControlSite*>(self);
    if (!g_host->options().windowless)
        return E_NOINTERFACE;
    *ppv = static_cast<IOleInPlaceSiteWindowless*>(site);
    site->AddRef();
    return S_OK;
}

bool ControlSite::create(Element* object, std::wstring& error) {
    const PageItem& item = object->item;
    auto idAttribute = item.attributes.find(L"id");
    id = idAttribute == item.attributes.end() ? std::wstring() : idAttribute->second;
    const int width = sizeAttribute(item, L"width", 300);
    const int height = sizeAttribute(item, L"height", 150);
    CLSID clsid;
    if (!clsidFor(item, clsid, error))
        return false;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IUnknown, reinterpret_cast<void**>(&control));
    if (FAILED(hr)) {
        wchar_t text[16];
        swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        error = L"cannot create the control (" + std::wstring(text) + L")";
        return false;
    }
    // As Internet Explorer: a control that offers safety options must agree
    // to be scripted and initialised by the page.
    ATL::CComQIPtr<IObjectSafety> safety(control);
    if (safety) {
        if (FAILED(safety->SetInterfaceSafetyOptions(IID_IDispatch,
                                                     INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                     INTERFACESAFE_FOR_UNTRUSTED_CALLER))) {
            error = L"the control is not safe for scripting";
            control.Release();
            return false;
        }
        safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                          INTERFACESAFE_FOR_UNTRUSTED_DATA);
    }
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&controlDispatch));
    object->site = this;
    element = static_cast<IHTMLElement*>(object);

    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = containerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kContainerClass;
        RegisterClassW(&wc);
        registered = true;
    }
    RECT place;
    g_host->nextElementPosition(width, height, place);
    container = CreateWindowExW(0, kContainerClass, id.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                place.left, place.top, width, height, g_host->topWindow(), nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(container, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    rect = {0, 0, width, height};

    control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&m_oleObject));
    DWORD misc = 0;
    if (m_oleObject)
        m_oleObject->GetMiscStatus(DVASPECT_CONTENT, &misc);
    bool siteSet = false;
    if (m_oleObject && (misc & OLEMISC_SETCLIENTSITEFIRST)) {
        m_oleObject->SetClientSite(this);
        siteSet = true;
    }
    ATL::CComQIPtr<IPersistPropertyBag> bag(control);
    if (bag) {
        ATL::CComObject<PropertyBag>* params = nullptr;
        ATL::CComObject<PropertyBag>::CreateInstance(&params);
        ATL::CComPtr<IPropertyBag> hold(params);
        params->params = item.params;
        if (item.params.empty())
            bag->InitNew();
        else
            bag->Load(hold, nullptr);
    } else {
        ATL::CComQIPtr<IPersistStreamInit> stream(control);
        if (stream)
            stream->InitNew();
    }
    if (m_oleObject && !siteSet)
        m_oleObject->SetClientSite(this);
    if (m_oleObject)
        m_oleObject->SetHostNames(L"ie-host", nullptr);
    return true;
}

void ControlSite::activate() {
    if (!m_oleObject)
        return;
    RECT pos = rect;
    m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, container, &pos);
    m_windowlessObject.Release();
    control->QueryInterface(IID_IOleInPlaceObjectWindowless,
                            reinterpret_cast<void**>(&m_windowlessObject));
}

void ControlSite::deactivate() {
    m_windowlessObject.Release();
    ATL::CComQIPtr<IOleInPlaceObject> inPlace(control);
    if (inPlace)
        inPlace->InPlaceDeactivate();
}

void ControlSite::advise(EventSink* sink) {
    if (m_point || !control)
        return;
    GUID source = GUID_NULL;
    ATL::CComQIPtr<IProvideClassInfo2> info(control);
    if (!info || FAILED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)))
        return;
    ATL::CComQIPtr<IConnectionPointContainer> container(control);
    if (!container || FAILED(container->FindConnectionPoint(source, &m_point)))
        return;
    if (FAILED(m_point->Advise(static_cast<IDispatch*>(sink), &m_cookie)))
        m_point.Release();
}

void ControlSite::destroy() {
    if (m_point) {
        m_point->Unadvise(m_cookie);
        m_point.Release();
    }
    m_windowlessObject.Release();
    if (m_oleObject) {
        m_oleObject->Close(OLECLOSE_NOSAVE);
        m_oleObject->SetClientSite(nullptr);
        m_oleObject.Release();
    }
    if (element) {
        static_cast<Element*>(element.p)->site = nullptr;
        element.Release();
    }
    controlDispatch.Release();
    if (container) {
        SetWindowLongPtrW(container, GWLP_USERDATA, 0);
        DestroyWindow(container);
        container = nullptr;
    }
}

void ControlSite::resize(int width, int height) {
    rect = {0, 0, width, height};
    if (container)
        SetWindowPos(container, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    ATL::CComQIPtr<IOleInPlaceObject> inPlace(control);
    if (inPlace)
        inPlace->SetObjectRects(&rect, &rect);
}

void ControlSite::paint() {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(container, &ps);
    ATL::CComQIPtr<IViewObject> view(control);
    if (view) {
        RECTL bounds = {rect.left, rect.top, rect.right, rect.bottom};
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, hdc, &bounds, nullptr, nullptr,
                   0);
    }
    EndPaint(container, &ps);
}

bool ControlSite::windowlessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return m_windowlessObject &&
           m_windowlessObject->OnWindowMessage(msg, wParam, lParam, &result) == S_OK;
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

STDMETHODIMP ControlSite::GetTypeInfoCount(UINT* n) {
    if (!n)
        return E_POINTER;
    *n = 0;
    return S_OK;
}

} // namespace IeHost
