#include "PageAddress.h"

#include <exdisp.h>
#include <servprov.h>
#include <shlguid.h>

#include <exception>

#include "com_ptr.h"
#include "com_types.h"
#include "text.h"

using namespace ATL;

namespace {

std::string Utf8(const CComBSTR& text) {
    try {
        return WideToUtf8(text.view());
    } catch (const std::exception&) {
        return std::string();
    }
}

CComBSTR SiteAddress(IOleClientSite* site) {
    CComBSTR url;
    if (!site)
        return url;
    CComQIPtr<IServiceProvider> services(site);
    CComPtr<IWebBrowser2> browser;
    if (services &&
        SUCCEEDED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                         reinterpret_cast<void**>(&browser))) &&
        browser && SUCCEEDED(browser->get_LocationURL(&url)) && url.Length() > 0)
        return url;
    url.Empty();
    CComPtr<IOleContainer> container;
    if (SUCCEEDED(site->GetContainer(&container)) && container) {
        CComQIPtr<IHTMLDocument2> document(container);
        if (document)
            document->get_URL(&url);
    }
    return url;
}

CComBSTR WindowAddress(IHTMLDocument2* document, IHTMLWindow2* window) {
    CComBSTR url;
    if (document && SUCCEEDED(document->get_URL(&url)) && url.Length() > 0)
        return url;
    url.Empty();
    CComPtr<IHTMLLocation> location;
    if (window && SUCCEEDED(window->get_location(&location)) && location)
        location->get_href(&url);
    return url;
}

} // namespace

std::string BridgePageAddress(IOleClientSite* site, IHTMLDocument2* document,
                              IHTMLWindow2* window) noexcept {
    CComBSTR url = SiteAddress(site);
    if (url.Length() == 0)
        url = WindowAddress(document, window);
    return Utf8(url);
}
