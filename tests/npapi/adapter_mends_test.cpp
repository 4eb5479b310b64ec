// The adapter's answers to faults a browser or a plug-in object may provoke
// (releases asked for off the main thread, addresses reused by new scripting
// objects, browser tables that end inside an entry), and the browser functions
// the host offers the core.

#include <cstddef>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "NpapiTestSupport.h"
#include "TestAPI.h"

namespace FW {
namespace Testing {
namespace {

using AdapterMends = NpapiTest;

TEST_F(AdapterMends, ReleaseFromAnotherThreadIsDoneOnTheMainThreadAtItsNextTurn) {
    NPObject* page = browser.newPageObject();
    browser.m_funcs.retainobject(page); // the reference the host gives back
    std::thread([&] {
        host->ReleaseObject(page);
        host->DeferredRelease();
    }).join();
    EXPECT_EQ(2u, page->referenceCount) << "the browser was called off its main thread";
    EXPECT_EQ(1u, browser.pendingAsyncCalls()) << "one main-thread turn for the queue";
    browser.runAsyncCalls();
    EXPECT_EQ(1u, page->referenceCount);
    browser.m_funcs.releaseobject(page);
}

TEST_F(AdapterMends, ACallStillPendingAtShutdownRunsWithoutReachingThePage) {
    int pageCalls = 0;
    NPObject* function = browser.newPageObject([&](const NPVariant*, uint32_t, NPVariant*) {
        ++pageCalls;
        return true;
    });
    struct Pending {
        JSObjectPtr function;
        bool ran = false;
    } pending{std::make_shared<Npapi::NPObjectAPI>(function, host)};
    ASSERT_TRUE(host->queueMainThreadCall(
        [](void* data) {
            auto* call = static_cast<Pending*>(data);
            call->ran = true;
            try {
                call->function->Invoke("", VariantList{});
            } catch (const std::exception&) {
            }
            call->function.reset(); // released while the host still can
        },
        &pending));
    host->shutdown();
    EXPECT_TRUE(pending.ran);
    EXPECT_EQ(0, pageCalls);
    browser.runAsyncCalls();
    EXPECT_EQ(0, pageCalls);
    browser.m_funcs.releaseobject(function);
}

TEST_F(AdapterMends, APropertyTheBrowserRefusesToSetFailsAMapConversionAndAnEventStamp) {
    NPNetscapeFuncs refusing = *browser.funcs();
    refusing.setproperty = [](NPP, NPObject*, NPIdentifier, const NPVariant*) { return false; };
    browser.window(); // maps are made through the page's window
    auto strict = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
    strict->setBrowserFuncs(&refusing);

    NPVariant out = npVoid();
    try {
        strict->getNPVariant(&out, variant(VariantMap{{"a", variant(1)}}));
        ADD_FAILURE() << "a map went to the page without its entries";
    } catch (const script_error& e) {
        EXPECT_STREQ("Failed to set property", e.what());
    }
    EXPECT_EQ(NPVariantType_Void, out.type);

    NPObject* function = browser.newPageObject();
    auto page = std::make_shared<Npapi::NPObjectAPI>(function, strict);
    try {
        page->getEventId();
        ADD_FAILURE() << "a handler without its stamp got an identifier";
    } catch (const script_error& e) {
        EXPECT_STREQ("Failed to set property", e.what());
    }
    page.reset();
    strict->shutdown();
    browser.m_funcs.releaseobject(function);
    browser.closeWindow();
}

TEST_F(AdapterMends, WrapperCacheNeverHandsOutAWrapperOfADeadObjectAtTheSameAddress) {
    alignas(TestAPI) unsigned char storage[sizeof(TestAPI)];
    auto make = [&storage] {
        return std::shared_ptr<TestAPI>(new (storage) TestAPI(), [](TestAPI* p) { p->~TestAPI(); });
    };
    auto first = make();
    NPObject* firstWrapper = host->getJSAPIWrapper(first, false);
    ASSERT_NE(nullptr, firstWrapper);
    first.reset(); // the browser still holds the wrapper of the dead object
    auto second = make();
    ASSERT_EQ(static_cast<void*>(storage), static_cast<void*>(second.get()));
    NPObject* secondWrapper = host->getJSAPIWrapper(second, false);
    ASSERT_NE(nullptr, secondWrapper);
    EXPECT_NE(firstWrapper, secondWrapper);
    NPVariant result = npVoid();
    const NPIdentifier name = browser.id("takeLong");
    NPVariant arg = npInt(21);
    EXPECT_TRUE(secondWrapper->_class->invoke(secondWrapper, name, &arg, 1, &result));
    EXPECT_EQ(42, result.value.intValue);
    browser.m_funcs.releaseobject(firstWrapper);
    browser.m_funcs.releaseobject(secondWrapper);
}

TEST_F(AdapterMends, TableEntriesCutByTheBrowsersSizeAreNotUsed) {
    NPNetscapeFuncs cut = *browser.funcs();
    cut.size = static_cast<uint16_t>(offsetof(NPNetscapeFuncs, pluginthreadasynccall) + 2);
    auto shortHost = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
    shortHost->setBrowserFuncs(&cut);
    int ran = 0;
    EXPECT_FALSE(shortHost->ScheduleAsyncCall([](void* p) { ++*static_cast<int*>(p); }, &ran));
    EXPECT_EQ(0u, browser.pendingAsyncCalls());
    shortHost->shutdown();

    cut.size = static_cast<uint16_t>(offsetof(NPNetscapeFuncs, pluginthreadasynccall) +
                                     sizeof(cut.pluginthreadasynccall));
    auto wholeHost = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
    wholeHost->setBrowserFuncs(&cut);
    EXPECT_TRUE(wholeHost->ScheduleAsyncCall([](void* p) { ++*static_cast<int*>(p); }, &ran));
    browser.runAsyncCalls();
    EXPECT_EQ(1, ran);
    wholeHost->shutdown();
}

using BrowserFunctions = NpapiTest;

std::string s_proxyAnswer;
std::vector<std::string> s_browserCalls;

NPError proxyForURL(NPP, int variable, const char*, char** value, uint32_t* length) {
    if (variable != 502)
        return NPERR_GENERIC_ERROR;
    *value = static_cast<char*>(
        FakeBrowser::current->m_funcs.memalloc(static_cast<uint32_t>(s_proxyAnswer.size() + 1)));
    std::memcpy(*value, s_proxyAnswer.c_str(), s_proxyAnswer.size() + 1);
    *length = static_cast<uint32_t>(s_proxyAnswer.size());
    return NPERR_NO_ERROR;
}

TEST_F(BrowserFunctions, ProxySettingsComeFromTheBrowsersAnswerForTheURL) {
    browser.m_funcs.getvalueforurl = proxyForURL;
    auto proxied = makeHost();
    std::map<std::string, std::string> settings;
    s_proxyAnswer = "PROXY cache.example:3128";
    EXPECT_TRUE(proxied->DetectProxySettings(settings, "https://camera.example/"));
    EXPECT_EQ("https", settings["type"]);
    EXPECT_EQ("cache.example", settings["hostname"]);
    EXPECT_EQ("3128", settings["port"]);
    settings.clear();
    s_proxyAnswer = "SOCKS socks.example:1080";
    EXPECT_TRUE(proxied->DetectProxySettings(settings, "http://camera.example/"));
    EXPECT_EQ("socks", settings["type"]);
    settings.clear();
    s_proxyAnswer = "DIRECT";
    EXPECT_FALSE(proxied->DetectProxySettings(settings, "http://camera.example/"));
    EXPECT_TRUE(settings.empty());
    proxied->shutdown();
}

TEST_F(BrowserFunctions, NavigateOpensTheURLBetweenPopupStates) {
    s_browserCalls.clear();
    browser.m_funcs.pushpopupsenabledstate = [](NPP, NPBool enabled) {
        s_browserCalls.push_back(enabled ? "push true" : "push false");
    };
    browser.m_funcs.geturl = [](NPP, const char* url, const char* target) -> NPError {
        s_browserCalls.push_back(std::string("get ") + url + " " + target);
        return NPERR_NO_ERROR;
    };
    browser.m_funcs.poppopupsenabledstate = [](NPP) { s_browserCalls.push_back("pop"); };
    auto navigating = makeHost();
    navigating->Navigate("http://camera.example/help", "_blank");
    EXPECT_EQ(
        (std::vector<std::string>{"push true", "get http://camera.example/help _blank", "pop"}),
        s_browserCalls);
    navigating->shutdown();
}

} // namespace
} // namespace Testing
} // namespace FW
