#include <mshtml.h>

#include "ActiveXBrowserHost.h"
#include "com_types.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

std::string ActiveXBrowserHost::getPageAddress() {
    ATL::CComBSTR url;
    if (m_webBrowser && SUCCEEDED(m_webBrowser->get_LocationURL(&url)) && url.Length() > 0)
        return wstring_to_utf8(std::wstring(url.view()));
    url.Empty();
    ATL::CComQIPtr<IHTMLDocument2> document(m_document);
    if (document && SUCCEEDED(document->get_URL(&url)) && url.Length() > 0)
        return wstring_to_utf8(std::wstring(url.view()));
    return std::string();
}

} // namespace ActiveX
} // namespace FW
