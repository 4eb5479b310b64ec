#pragma once
// Where the bridge learns the address of the page that hosts it, so that the
// site lock can judge the page: its own client site first (the web browser's
// LocationURL, else the container's document URL); else the page window that
// SetIEWindow handed over (its document's URL, else its location).

#include <mshtml.h>
#include <ole2.h>

#include <string>

std::string BridgePageAddress(IOleClientSite* site, IHTMLDocument2* document,
                              IHTMLWindow2* window) noexcept;
