#pragma once
// Whether the page a camera element is on may use the camera: the sites an
// administrator listed (see site_lock.h), matched against the page's address
// as the browser reports it. Without a list every page may.

#include <optional>
#include <string>

#include "BrowserHost.h"
#include "site_patterns.h"

class SitePermission {
public:
    // Reads the list in force now.
    SitePermission();

    // Asks the browser for the page's address only when a list is set, so
    // pages without one pay nothing.
    bool allows(const FW::BrowserHostPtr& host) const;
    // Throws FW::script_error "This page is not allowed to use the camera:
    // <origin>" when the page may not.
    void require(const FW::BrowserHostPtr& host) const;

private:
    static std::string addressOf(const FW::BrowserHostPtr& host);

    std::optional<orvelaSites::AllowList> m_list;
};
