#include "SitePermission.h"

#include "JSExceptions.h"
#include "site_lock.h"

SitePermission::SitePermission() : m_list(orvelaSites::ReadAllowedSites()) {}

std::string SitePermission::addressOf(const FW::BrowserHostPtr& host) {
    return host ? host->getPageAddress() : std::string();
}

bool SitePermission::allows(const FW::BrowserHostPtr& host) const {
    return !m_list || m_list->allows(addressOf(host));
}

void SitePermission::require(const FW::BrowserHostPtr& host) const {
    if (!m_list)
        return;
    const std::string address = addressOf(host);
    if (!m_list->allows(address))
        throw FW::script_error(orvelaSites::refusalMessage(address));
}
