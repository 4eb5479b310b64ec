#include "HostObjects.h"

#include <objsafe.h>
#include <olectl.h>
#include <shlguid.h>

#include "connection_points.h"

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

std::wstring hexCode(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The component categories of a control without IObjectSafety.
const wchar_t kSafeForScripting[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const wchar_t kSafeForInitializing[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

bool inCategory(const CLSID& clsid, const wchar_t* category) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    const std::wstring key =
        std::wstring(L"CLSID\\") + text + L"\\Implemented Categories\\" + category;
    HKEY found = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &found) != ERROR_SUCCESS)
        return false;
    RegCloseKey(found);
    return true;
}

// The interface the control's <param>s will be loaded through.
const IID& persistenceInterface(IUnknown* control) {
    ATL::CComQIPtr<IPersistPropertyBag2> bag2(control);
    if (bag2 && g_host->options().activation == Activation::internetExplorer)
        return IID_IPersistPropertyBag2;
    ATL::CComQIPtr<IPersistPropertyBag> bag(control);
    return bag ? IID_IPersistPropertyBag : IID_IPersistStreamInit;
}

const wchar_t* interfaceName(const IID& iid) {
    if (InlineIsEqualGUID(iid, __uuidof(IDispatchEx)))
        return L"IDispatchEx";
    if (InlineIsEqualGUID(iid, IID_IDispatch))
        return L"IDispatch";
    if (InlineIsEqualGUID(iid, IID_IPersistPropertyBag2))
        return L"IPersistPropertyBag2";
    if (InlineIsEqualGUID(iid, IID_IPersistPropertyBag))
        return L"IPersistPropertyBag";
    return L"IPersistStreamInit";
}

bool askSafety(IObjectSafety* safety, const IID& iid, DWORD option,
               std::vector<std::wstring>& calls) {
    const bool agreed = SUCCEEDED(safety->SetInterfaceSafetyOptions(iid, option, option));
    calls.push_back(std::wstring(L"safety ") + interfaceName(iid) +
                    (option == INTERFACESAFE_FOR_UNTRUSTED_DATA ? L" data" : L" caller") +
                    (agreed ? L"" : L" refused"));
    return agreed;
}

// The control's default source interface: from IProvideClassInfo2, or from
// the [default, source] interface of the coclass IProvideClassInfo describes.
bool defaultSource(IUnknown* control, ScriptFor way, IID& source) {
    if (way == ScriptFor::classInfo2) {
        ATL::CComQIPtr<IProvideClassInfo2> info(control);
        return info && SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    }
    ATL::CComQIPtr<IProvideClassInfo> info(control);
    ATL::CComPtr<ITypeInfo> coclass;
    TYPEATTR* attributes = nullptr;
    if (!info || FAILED(info->GetClassInfo(&coclass)) || FAILED(coclass->GetTypeAttr(&attributes)))
        return false;
    const WORD count = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ATL::CComPtr<ITypeInfo> events;
        TYPEATTR* eventAttributes = nullptr;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
                (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(coclass->GetRefTypeInfo(reference, &events)) ||
            FAILED(events->GetTypeAttr(&eventAttributes)))
            continue;
        source = eventAttributes->guid;
        events->ReleaseTypeAttr(eventAttributes);
        return true;
    }
    return false;
}

// The source interface's type information, from the control's type library.
ATL::CComPtr<ITypeInfo> sourceDescription(IUnknown* control, const IID& source) {
    ATL::CComQIPtr<IProvideClassInfo> info(control);
    ATL::CComPtr<ITypeInfo> coclass;
    ATL::CComPtr<ITypeLib> library;
    ATL::CComPtr<ITypeInfo> events;
    UINT index = 0;
    if (info && SUCCEEDED(info->GetClassInfo(&coclass)) &&
        SUCCEEDED(coclass->GetContainingTypeLib(&library, &index)))
        library->GetTypeInfoOfGuid(source, &events);
    return events;
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
        error = L"cannot create the control (" + hexCode(hr) + L")";
        return false;
    }
    bool safeToLoad = false;
    if (!safeToUse(clsid, safeToLoad, error)) {
        // As Internet Explorer: the page keeps the element, without a control.
        control.Release();
        object->site = this;
        element = static_cast<IHTMLElement*>(object);
        return true;
    }
    ATL::CComObject<EventSink>* sink = nullptr;
    ATL::CComObject<EventSink>::CreateInstance(&sink);
    m_eventSinkHold = sink;
    m_eventSink = sink;
    if (m_eventSink && defaultSource(control, g_host->options().scriptFor, m_eventSink->source))
        m_eventSink->events = sourceDescription(control, m_eventSink->source);
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
    // With IQuickActivate the one call sites the control and connects it;
    // only without it come SetClientSite and the Advise calls.
    const bool quick =
        g_host->options().activation == Activation::internetExplorer && quickActivate();
    bool siteSet = quick;
    if (!quick && m_oleObject) {
        DWORD misc = 0;
        m_oleObject->GetMiscStatus(DVASPECT_CONTENT, &misc);
        if (misc & OLEMISC_SETCLIENTSITEFIRST) {
            calls.push_back(L"SetClientSite");
            m_oleObject->SetClientSite(this);
            siteSet = true;
        }
    }
    load(item, safeToLoad);
    if (m_oleObject && !siteSet) {
        calls.push_back(L"SetClientSite");
        m_oleObject->SetClientSite(this);
    }
    if (!quick)
        adviseSinks();
    if (m_oleObject)
        m_oleObject->SetHostNames(L"ie-host", nullptr);
    readReadyState();
    return true;
}

bool ControlSite::safeToUse(const CLSID& clsid, bool& safeToLoad, std::wstring& error) {
    const IID& persistence = persistenceInterface(control);
    bool safeToScript = false;
    ATL::CComQIPtr<IObjectSafety> safety(control);
    if (safety) {
        safeToLoad = askSafety(safety, persistence, INTERFACESAFE_FOR_UNTRUSTED_DATA, calls);
        ATL::CComQIPtr<IDispatchEx> dispatchEx(control);
        safeToScript = (dispatchEx && askSafety(safety, __uuidof(IDispatchEx),
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER, calls)) ||
                       askSafety(safety, IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER, calls);
    } else {
        safeToLoad = inCategory(clsid, kSafeForInitializing);
        safeToScript = inCategory(clsid, kSafeForScripting);
        calls.push_back(std::wstring(L"categories ") + (safeToLoad ? L"initializing " : L"") +
                        (safeToScript ? L"scripting" : L""));
    }
    if (!safeToScript)
        error = L"the control is not safe for scripting";
    return safeToScript;
}

bool ControlSite::quickActivate() {
    ATL::CComQIPtr<IQuickActivate> quick(control);
    if (!quick)
        return false;
    QACONTAINER site = {};
    site.cbSize = sizeof site;
    site.pClientSite = this;
    site.pAdviseSink = this;
    site.pPropertyNotifySink = this;
    site.pUnkEventSink =
        m_eventSink && m_eventSink->source != GUID_NULL ? m_eventSinkHold.p : nullptr;
    site.dwAmbientFlags =
        QACONTAINER_USERMODE | QACONTAINER_MESSAGEREFLECT | QACONTAINER_SUPPORTSMNEMONICS;
    site.colorFore = GetSysColor(COLOR_WINDOWTEXT);
    site.colorBack = GetSysColor(COLOR_WINDOW);
    ATL::CComPtr<IFont> font = pageFont();
    site.pFont = font;
    site.lcid = GetUserDefaultLCID();
    site.pOleControlSite = this;
    site.pServiceProvider = this;
    QACONTROL answer = {};
    answer.cbSize = sizeof answer;
    const HRESULT hr = quick->QuickActivate(&site, &answer);
    if (FAILED(hr)) {
        calls.push_back(L"QuickActivate failed " + hexCode(hr));
        return false;
    }
    m_eventCookie = answer.dwEventCookie;
    m_propertyNotifyCookie = answer.dwPropNotifyCookie;
    // The control's view reports to the advise sink it was given.
    ATL::CComQIPtr<IViewObject> view(control);
    m_viewAdvised = view != nullptr;
    calls.push_back(std::wstring(L"QuickActivate") + (m_eventCookie ? L" events" : L"") +
                    (m_propertyNotifyCookie ? L" notifications" : L""));
    return true;
}

void ControlSite::load(const PageItem& item, bool safeToLoad) {
    ATL::CComQIPtr<IPersistPropertyBag2> bag2(control);
    ATL::CComQIPtr<IPersistPropertyBag> bag(control);
    ATL::CComQIPtr<IPersistStreamInit> stream(control);
    if (item.params.empty() || !safeToLoad || (!bag2 && !bag)) {
        // Nothing to load, or nothing the control may be trusted to load.
        if (bag2 || bag || stream)
            calls.push_back(L"InitNew");
        if (bag2)
            bag2->InitNew();
        else if (bag)
            bag->InitNew();
        else if (stream)
            stream->InitNew();
        return;
    }
    ATL::CComObject<PropertyBag>* params = nullptr;
    ATL::CComObject<ErrorLog>* errors = nullptr;
    ATL::CComObject<PropertyBag>::CreateInstance(&params);
    ATL::CComObject<ErrorLog>::CreateInstance(&errors);
    ATL::CComPtr<IPropertyBag> holdParams(params);
    ATL::CComPtr<IErrorLog> holdErrors(errors);
    if (!params)
        return;
    params->params = item.params;
    // Each call is written down as it is made: the control may call back meanwhile.
    if (bag2 && g_host->options().activation == Activation::internetExplorer) {
        calls.push_back(L"Load IPersistPropertyBag2");
        bag2->Load(params, holdErrors);
    } else {
        calls.push_back(L"Load IPersistPropertyBag");
        bag->Load(holdParams, holdErrors);
    }
}

void ControlSite::adviseSinks() {
    if (m_oleObject && SUCCEEDED(m_oleObject->Advise(this, &m_adviseCookie)))
        calls.push_back(L"Advise");
    ATL::CComQIPtr<IViewObject> view(control);
    m_viewAdvised = view && SUCCEEDED(view->SetAdvise(DVASPECT_CONTENT, 0, this));
    if (SUCCEEDED(ATL::AtlAdvise(control, static_cast<IPropertyNotifySink*>(this),
                                 IID_IPropertyNotifySink, &m_propertyNotifyCookie)))
        calls.push_back(L"Advise notifications");
    if (m_eventSink && m_eventSink->source != GUID_NULL &&
        SUCCEEDED(ATL::AtlAdvise(control, m_eventSinkHold, m_eventSink->source, &m_eventCookie)))
        calls.push_back(L"Advise events");
}

void ControlSite::readReadyState() {
    // A control without a ready state counts as complete.
    readyState = READYSTATE_COMPLETE;
    if (!controlDispatch)
        return;
    DISPPARAMS none{};
    ATL::CComVariant value;
    if (SUCCEEDED(controlDispatch->Invoke(DISPID_READYSTATE, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
        SUCCEEDED(value.ChangeType(VT_I4)))
        readyState = value.lVal;
}

void ControlSite::activate() {
    if (!m_oleObject)
        return;
    RECT pos = rect;
    calls.push_back(L"DoVerb INPLACEACTIVATE");
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

void ControlSite::unadvise() {
    if (m_eventCookie && m_eventSink)
        ATL::AtlUnadvise(control, m_eventSink->source, m_eventCookie);
    if (m_propertyNotifyCookie)
        ATL::AtlUnadvise(control, IID_IPropertyNotifySink, m_propertyNotifyCookie);
    if (m_adviseCookie && m_oleObject)
        m_oleObject->Unadvise(m_adviseCookie);
    ATL::CComQIPtr<IViewObject> view(control);
    if (m_viewAdvised && view)
        view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    m_eventCookie = m_propertyNotifyCookie = m_adviseCookie = 0;
    m_viewAdvised = false;
}

void ControlSite::destroy() {
    // Internet Explorer's order: deactivate, close, unsite, disconnect, release.
    if (control)
        deactivate();
    if (m_oleObject) {
        m_oleObject->Close(OLECLOSE_NOSAVE);
        m_oleObject->SetClientSite(nullptr);
    }
    if (control)
        unadvise();
    m_oleObject.Release();
    m_eventSink = nullptr;
    m_eventSinkHold.Release();
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

} // namespace IeHost
