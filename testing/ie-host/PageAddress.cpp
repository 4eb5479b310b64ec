#include "PageAddress.h"

#include "Host.h"
#include "HostObjects.h"

namespace IeHost {
namespace {

// Set once the page moved; the page's own address until then.
std::wstring& movedTo() {
    static std::wstring address;
    return address;
}

} // namespace

std::wstring pageAddress() {
    if (!movedTo().empty())
        return movedTo();
    const Options& options = g_host->options();
    return options.pageUrl.empty() ? L"file:///" + options.page : options.pageUrl;
}

void movePage(std::wstring url) {
    movedTo() = std::move(url);
}

STDMETHODIMP Document::get_URL(BSTR* p) {
    if (!p)
        return E_POINTER;
    *p = SysAllocString(pageAddress().c_str());
    return *p ? S_OK : E_OUTOFMEMORY;
}

} // namespace IeHost
