// Where the NPAPI host reads the address of the plug-in's page: the browser's
// document origin where it offers one, else the window's location as the
// browser has it at the time of asking.

#include <cstring>
#include <string>

#include "NpapiTestSupport.h"

namespace FW {
namespace Testing {
namespace {

using PageAddress = NpapiTest;

void setText(FakeBrowser& browser, NPObject* object, const char* name, const std::string& text) {
    NPVariant value = browser.string(text);
    browser.m_funcs.setproperty(browser.npp(), object, browser.id(name), &value);
    browser.release(value);
}

TEST_F(PageAddress, IsTheWindowsLocationAsTheBrowserHasItWhenAsked) {
    EXPECT_EQ("", host->getPageAddress()) << "a page without a window has no address";
    NPObject* location = browser.newPageObject();
    setText(browser, location, "href", "http://cams.example.com/view.html");
    NPVariant value = npObject(location);
    browser.m_funcs.setproperty(browser.npp(), browser.window(), browser.id("location"), &value);
    EXPECT_EQ("http://cams.example.com/view.html", host->getPageAddress());
    setText(browser, location, "href", "http://evil.example/next.html");
    EXPECT_EQ("http://evil.example/next.html", host->getPageAddress());
    browser.m_funcs.releaseobject(location);
    browser.closeWindow();
}

TEST_F(PageAddress, IsTheDocumentOriginWhereTheBrowserOffersOne) {
    NPNetscapeFuncs offering = *browser.funcs();
    offering.getvalue = [](NPP, NPNVariable variable, void* value) -> NPError {
        if (variable != NPNVdocumentOrigin)
            return NPERR_GENERIC_ERROR;
        const char origin[] = "https://cams.example.com:8443";
        auto* copy = static_cast<char*>(FakeBrowser::current->m_funcs.memalloc(sizeof origin));
        std::memcpy(copy, origin, sizeof origin);
        *static_cast<char**>(value) = copy;
        return NPERR_NO_ERROR;
    };
    auto origins = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
    origins->setBrowserFuncs(&offering);
    EXPECT_EQ("https://cams.example.com:8443", origins->getPageAddress());
    EXPECT_EQ(0, browser.liveBlocks()) << "the origin's memory goes back to the browser";
    origins->shutdown();
}

} // namespace
} // namespace Testing
} // namespace FW
