#include "FWControl.h"

#include <servprov.h>
#include <shlguid.h>

#include <vector>

#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
#include "WindowContext.h"
#include "text.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

namespace {

const char kMimeType[] = "application/x-orvela";

std::string modulePathUtf8() {
    try {
        return ATL::WideToUtf8(ATL::_pAtlModule ? ATL::_pAtlModule->GetModulePath()
                                                : std::wstring());
    } catch (...) {
        return std::string();
    }
}

} // namespace

CFWControl::CFWControl() : JSAPI_IDispatchEx(kMimeType), BrowserPlugin(kMimeType) {
    m_mimetype = kMimeType;
    m_sizeExtent = {5080, 5080};
    if (pluginMain)
        pluginMain->setFSPath(modulePathUtf8());
}

CFWControl::~CFWControl() = default;

HRESULT WINAPI CFWControl::UpdateRegistry(BOOL bRegister) noexcept {
    wchar_t libid[64] = {};
    StringFromGUID2(LIBID_orvelaLib, libid, 64);
    return ATL::_pAtlModule->UpdateRegistryFromResource(
        IDR_FWCONTROL, bRegister, {{L"LIBID", libid}, {L"THREADING", L"Apartment"}});
}

void CFWControl::FinalRelease() {
    expireToken();
    ATL::CallNoThrow([this] {
        shutdown();
        return S_OK;
    });
}

// ---- persistence

STDMETHODIMP CFWControl::GetClassID(CLSID* clsid) {
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_FWControl0;
    return S_OK;
}

STDMETHODIMP CFWControl::InitNew() {
    return ATL::CallNoThrow([this] {
        if (!pluginMain)
            return E_UNEXPECTED;
        if (!m_host)
            createHost();
        pluginMain->setParams(VariantMap());
        setReady();
        return S_OK;
    });
}

STDMETHODIMP CFWControl::Load(IPropertyBag* bag, IErrorLog*) {
    if (!bag)
        return E_POINTER;
    return ATL::CallNoThrow([&] {
        if (!pluginMain)
            return E_UNEXPECTED;
        if (!m_host)
            createHost();
        ATL::CComQIPtr<IPropertyBag2> bag2(bag);
        VariantMap params;
        if (bag2)
            params = getParamsFromBag(bag2);
        pluginMain->setParams(params);
        setReady();
        return S_OK;
    });
}

VariantMap CFWControl::getParamsFromBag(IPropertyBag2* bag) {
    VariantMap params;
    ULONG count = 0;
    if (!bag || FAILED(bag->CountProperties(&count)) || count == 0)
        return params;
    std::vector<PROPBAG2> infos(count);
    ULONG got = 0;
    if (FAILED(bag->GetPropertyInfo(0, count, infos.data(), &got)) || got > count)
        return params;
    std::vector<VARIANT> values(got);
    std::vector<HRESULT> results(got, E_FAIL);
    for (VARIANT& v : values)
        VariantInit(&v);
    // Read's own answer is a failure when any one property failed; each
    // property's result says which ones were read, and those are kept.
    if (got)
        bag->Read(got, infos.data(), nullptr, values.data(), results.data());
    for (ULONG i = 0; i < got; ++i) {
        try {
            if (SUCCEEDED(results[i]) && infos[i].pstrName)
                params[wstring_to_utf8(infos[i].pstrName)] = m_host->getVariant(&values[i]);
        } catch (const std::exception&) {
            // A name or value that cannot be read is skipped like a failed read.
        }
        CoTaskMemFree(infos[i].pstrName);
        VariantClear(&values[i]);
    }
    return params;
}

// ---- site

HRESULT CFWControl::siteChanged(IUnknown* site) {
    if (!site) {
        m_webBrowser.Release();
        m_propertyNotifySink.Release();
        return S_OK;
    }
    ATL::CComQIPtr<IServiceProvider> services(site);
    if (!services)
        return E_FAIL;
    m_webBrowser.Release();
    services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                           reinterpret_cast<void**>(&m_webBrowser));
    services.Release();
    ATL::CComQIPtr<IPropertyNotifySink> notify(site);
    if (notify)
        m_propertyNotifySink = notify;
    createHost();
    return S_OK;
}

HRESULT CFWControl::IOleObject_SetClientSite(IOleClientSite* site) {
    return ATL::CallNoThrow([&] {
        ATL::CComControlBase::IOleObject_SetClientSite(site);
        return siteChanged(site);
    });
}

STDMETHODIMP CFWControl::SetSite(IUnknown* site) {
    return ATL::CallNoThrow([&] {
        ATL::IObjectWithSiteImpl<CFWControl>::SetSite(site);
        const HRESULT hr = siteChanged(site);
        if (FAILED(hr) || !site)
            return hr;
        if (pluginMain)
            pluginMain->setScriptingOnly(true);
        setReady();
        return S_OK;
    });
}

STDMETHODIMP CFWControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    m_propertyNotifyPoint.SetContainer(this);
    return ATL::EnumConnectionPointsOf(
        {static_cast<IConnectionPoint*>(this), &m_propertyNotifyPoint}, points);
}

STDMETHODIMP CFWControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (point && InlineIsEqualGUID(iid, IID_IPropertyNotifySink)) {
        m_propertyNotifyPoint.SetContainer(this);
        *point = &m_propertyNotifyPoint;
        (*point)->AddRef();
        return S_OK;
    }
    return JSAPI_IDispatchEx::FindConnectionPoint(iid, point);
}

void CFWControl::createHost() {
    if (m_host) {
        m_host->resume(m_webBrowser, m_spClientSite);
        return;
    }
    m_host = std::make_shared<ActiveXBrowserHost>(m_spClientSite, m_webBrowser);
    if (pluginMain)
        pluginMain->SetHost(m_host);
}

void CFWControl::setReady() {
    if (m_isReady || !pluginMain || m_isShutDown)
        return;
    m_isReady = true;
    if (!m_host)
        createHost();
    JSAPIPtr root = pluginMain->getRootJSAPI();
    setAPI(root, m_host);
    // The page sees the control itself wherever the root object reaches it.
    m_host->cacheJSAPIWrapper(root, static_cast<IFWControl*>(this), aliveToken());
    m_readyState = READYSTATE_COMPLETE;
    notifyReadyState();
    pluginMain->setReady();
}

void CFWControl::notifyReadyState() {
    // The site itself when it listens, and every connected sink once.
    if (m_propertyNotifySink)
        m_propertyNotifySink->OnChanged(DISPID_READYSTATE);
    for (const ATL::CComPtr<IUnknown>& held : m_propertyNotifyPoint.Sinks()) {
        auto* sink = static_cast<IPropertyNotifySink*>(held.p);
        if (sink != m_propertyNotifySink.p)
            sink->OnChanged(DISPID_READYSTATE);
    }
}

// ---- activation and drawing

HRESULT CFWControl::InPlaceActivate(LONG verb, const RECT* pos) {
    if (pluginMain)
        m_bWindowOnly = !pluginMain->isWindowless();
    const HRESULT hr = ATL::CComControl<CFWControl>::InPlaceActivate(verb, pos);
    if (m_host)
        m_host->resume(m_webBrowser, m_spClientSite);
    if (FAILED(hr))
        return hr;
    if (m_pluginWindow || !pluginMain || !m_bInPlaceActive)
        return S_OK;
    if (m_bWndLess) {
        auto window =
            getFactoryInstance()->createPluginWindowless(WindowContextWindowless{nullptr});
        std::weak_ptr<void> alive = aliveToken();
        CFWControl* self = this;
        window->setInvalidateWindowFunc([self, alive](int, int, int, int) {
            if (alive.expired())
                return;
            self->invalidateWindowless();
        });
        HWND container = nullptr;
        if (m_spInPlaceSite)
            m_spInPlaceSite->GetWindow(&container);
        window->setHWND(container);
        window->setWindowPosition(m_rcPos.left, m_rcPos.top, m_rcPos.right - m_rcPos.left,
                                  m_rcPos.bottom - m_rcPos.top);
        m_pluginWindow = window;
    } else {
        auto window = getFactoryInstance()->createPluginWindowWin(WindowContextWin{m_hWnd});
        // The window is our own control window: what the plug-in leaves goes
        // on to its message map.
        window->setCallOldWinProc(true);
        m_pluginWindow = window;
    }
    pluginMain->SetWindow(m_pluginWindow.get());
    setReady();
    return S_OK;
}

void CFWControl::invalidateWindowless() {
    ActiveXBrowserHostPtr host = m_host;
    if (!host)
        return;
    if (host->isMainThread()) {
        if (m_spInPlaceSiteWindowless)
            m_spInPlaceSiteWindowless->InvalidateRect(nullptr, TRUE);
        return;
    }
    // Off the browser's thread the request waits for that thread.
    std::weak_ptr<void> alive = aliveToken();
    CFWControl* self = this;
    host->ScheduleOnMainThread(host, [self, alive] {
        if (!alive.expired() && self->m_spInPlaceSiteWindowless)
            self->m_spInPlaceSiteWindowless->InvalidateRect(nullptr, TRUE);
    });
}

HRESULT CFWControl::IOleInPlaceObject_SetObjectRects(LPCRECT pos, LPCRECT clip) {
    const HRESULT hr = ATL::CComControlBase::IOleInPlaceObject_SetObjectRects(pos, clip);
    if (SUCCEEDED(hr) && pos && m_bWndLess) {
        if (auto window = std::dynamic_pointer_cast<PluginWindowlessWin>(m_pluginWindow)) {
            ATL::CallNoThrow([&] {
                window->setWindowPosition(pos->left, pos->top, pos->right - pos->left,
                                          pos->bottom - pos->top);
                if (clip)
                    window->setWindowClipping(
                        Rect{clip->top, clip->left, clip->bottom, clip->right});
                return S_OK;
            });
        }
    }
    return hr;
}

HRESULT CFWControl::OnDrawAdvanced(ATL::ATL_DRAWINFO& di) {
    if (m_bWndLess && di.prcBounds) {
        if (auto window = std::dynamic_pointer_cast<PluginWindowlessWin>(m_pluginWindow)) {
            const RECTL& b = *di.prcBounds;
            window->HandleDraw(di.hdcDraw, Rect{b.top, b.left, b.bottom, b.right});
            return S_OK;
        }
    }
    return ATL::CComControl<CFWControl>::OnDrawAdvanced(di);
}

BOOL CFWControl::ProcessWindowlessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (m_spInPlaceSiteWindowless) {
        switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            m_spInPlaceSiteWindowless->SetFocus(TRUE);
            m_spInPlaceSiteWindowless->SetCapture(TRUE);
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            m_spInPlaceSiteWindowless->SetCapture(FALSE);
            break;
        default:
            break;
        }
    }
    if (auto window = std::dynamic_pointer_cast<PluginWindowlessWin>(m_pluginWindow)) {
        if (window->HandleEvent(msg, wParam, lParam, result))
            return TRUE;
    }
    if (ProcessWindowMessage(nullptr, msg, wParam, lParam, result, 0))
        return TRUE;
    return FALSE;
}

// ---- shutdown

void CFWControl::destroyPluginWindow() {
    if (!m_pluginWindow)
        return;
    if (pluginMain)
        pluginMain->ClearWindow();
    m_pluginWindow.reset();
}

HRESULT CFWControl::IOleInPlaceObject_InPlaceDeactivate() {
    destroyPluginWindow();
    return ATL::CComControl<CFWControl>::IOleInPlaceObject_InPlaceDeactivate();
}

HRESULT CFWControl::IOleObject_Close(DWORD saveOption) {
    ATL::CallNoThrow([this] {
        shutdown();
        return S_OK;
    });
    return ATL::CComControlBase::IOleObject_Close(saveOption);
}

void CFWControl::shutdown() {
    if (m_isShutDown)
        return;
    m_isShutDown = true;
    if (m_host)
        m_host->shutdown();
    if (pluginMain) {
        pluginMain->ClearWindow();
        pluginMain->shutdown();
    }
    destroyPluginWindow();
    m_webBrowser.Release();
    m_propertyNotifySink.Release();
    m_spUnkSite.Release();
    clearSinks();
    setAPI(JSAPIPtr(), ActiveXBrowserHostPtr());
    m_host.reset();
}

} // namespace ActiveX
} // namespace FW
