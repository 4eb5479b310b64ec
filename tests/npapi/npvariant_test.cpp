// Values crossing between page script and the plug-in: NPVariant to variant
// and back, with the browser's memory and references accounted for.

#include <cstring>

#include "DOM/Window.h"

#include "NpapiTestSupport.h"
#include "TestAPI.h"

using namespace FW;
using namespace FW::Testing;

using NPVariants = NpapiTest;

TEST_F(NPVariants, ScalarsFromTheBrowser) {
    NPVariant v = npVoid();
    EXPECT_TRUE(host->getVariant(&v).is_empty());
    v.type = NPVariantType_Null;
    EXPECT_TRUE(host->getVariant(&v).is_null());
    v.type = NPVariantType_Bool;
    v.value.boolValue = true;
    EXPECT_EQ(true, host->getVariant(&v).get<bool>());
    v = npInt(-7);
    EXPECT_EQ(-7, host->getVariant(&v).get<int>());
    v.type = NPVariantType_Double;
    v.value.doubleValue = 2.5;
    EXPECT_DOUBLE_EQ(2.5, host->getVariant(&v).get<double>());
    EXPECT_TRUE(host->getVariant(nullptr).is_empty());
    v.type = static_cast<NPVariantType>(99);
    EXPECT_TRUE(host->getVariant(&v).is_empty());
}

TEST_F(NPVariants, StringsAreTakenByLengthAndKeptByteForByte) {
    // Not terminated where the length ends, an embedded zero, and bytes that
    // are not UTF-8: all arrive as given.
    const char bytes[] = {'a', '\0', 'b', '\xff', '\xc3', 'X', 'Y'};
    NPVariant v;
    v.type = NPVariantType_String;
    v.value.stringValue.UTF8Characters = bytes;
    v.value.stringValue.UTF8Length = 5;
    EXPECT_EQ(std::string(bytes, 5), host->getVariant(&v).get<std::string>());
    v.value.stringValue.UTF8Characters = nullptr;
    v.value.stringValue.UTF8Length = 3;
    EXPECT_EQ("", host->getVariant(&v).get<std::string>());
}

TEST_F(NPVariants, NumbersToTheBrowser) {
    NPVariant r = toNP(variant(true));
    EXPECT_EQ(NPVariantType_Bool, r.type);
    r = toNP(variant(static_cast<short>(-3)));
    EXPECT_EQ(NPVariantType_Int32, r.type);
    EXPECT_EQ(-3, r.value.intValue);
    r = toNP(variant(123456L));
    EXPECT_EQ(NPVariantType_Int32, r.type); // a long reaches script as a number
    EXPECT_EQ(123456, r.value.intValue);
    r = toNP(variant(1.25f));
    EXPECT_EQ(NPVariantType_Double, r.type);
    EXPECT_DOUBLE_EQ(1.25, r.value.doubleValue);

    // Wider or unsigned integers reach script as decimal strings.
    r = toNP(variant(4000000000u));
    EXPECT_EQ("4000000000", FakeBrowser::text(r));
    browser.release(r);
    r = toNP(variant(-9000000000LL));
    EXPECT_EQ("-9000000000", FakeBrowser::text(r));
    browser.release(r);
    r = toNP(variant(18446744073709551615ULL));
    EXPECT_EQ("18446744073709551615", FakeBrowser::text(r));
    browser.release(r);
}

TEST_F(NPVariants, StringsToTheBrowserLiveInBrowserMemoryWithATerminator) {
    NPVariant r = toNP(variant(std::string("h\xc3\xa9llo")));
    ASSERT_EQ(NPVariantType_String, r.type);
    EXPECT_EQ(6u, r.value.stringValue.UTF8Length);
    EXPECT_EQ('\0', r.value.stringValue.UTF8Characters[6]);
    EXPECT_EQ(1, browser.liveBlocks());
    browser.release(r);

    r = toNP(variant(std::wstring(L"\u00e9t\u00e9")));
    EXPECT_EQ("\xc3\xa9t\xc3\xa9", FakeBrowser::text(r));
    browser.release(r);

    r = toNP(variant(std::string()));
    ASSERT_EQ(NPVariantType_String, r.type);
    EXPECT_EQ(0u, r.value.stringValue.UTF8Length);
    browser.release(r);
}

TEST_F(NPVariants, NullAndVoidToTheBrowser) {
    EXPECT_EQ(NPVariantType_Null, toNP(variant(variant_detail::null())).type);
    EXPECT_EQ(NPVariantType_Void, toNP(variant()).type);
    EXPECT_EQ(NPVariantType_Null, toNP(variant(JSAPIPtr())).type);
    EXPECT_EQ(NPVariantType_Null, toNP(variant(JSObjectPtr())).type);
    EXPECT_EQ(NPVariantType_Null, toNP(variant(JSAPIWeakPtr())).type);
    // No page window: lists cannot be made and stay void rather than failing.
    EXPECT_EQ(NPVariantType_Void, toNP(variant(VariantList{variant(1)})).type);
    // A null out-pointer is ignored.
    host->getNPVariant(nullptr, variant(1));
}

TEST_F(NPVariants, OneScriptingObjectIsOneBrowserObject) {
    auto api = std::make_shared<TestAPI>();
    NPVariant first = toNP(variant(JSAPIPtr(api)));
    NPVariant second = toNP(variant(JSAPIPtr(api)));
    ASSERT_EQ(NPVariantType_Object, first.type);
    EXPECT_EQ(first.value.objectValue, second.value.objectValue);
    EXPECT_EQ(2u, first.value.objectValue->referenceCount);
    EXPECT_TRUE(Npapi::NPJavascriptObject::isNPJavaScriptObject(first.value.objectValue));
    browser.release(first);
    browser.release(second);
    EXPECT_EQ(0, browser.liveObjects());
    // After the browser let go, a new wrapper is made.
    NPVariant third = toNP(variant(JSAPIPtr(api)));
    ASSERT_EQ(NPVariantType_Object, third.type);
    EXPECT_EQ(1u, third.value.objectValue->referenceCount);
    browser.release(third);
}

TEST_F(NPVariants, PageObjectsComeBackAsTheSameBrowserObject) {
    NPObject* page = browser.newPageObject();
    NPVariant in = npObject(page);
    variant v = host->getVariant(&in);
    ASSERT_TRUE(v.holds<JSObjectPtr>());
    EXPECT_EQ(2u, page->referenceCount); // the wrapper holds its own reference
    NPVariant out = toNP(v);
    ASSERT_EQ(NPVariantType_Object, out.type);
    EXPECT_EQ(page, out.value.objectValue);
    browser.release(out);
    v = variant();
    EXPECT_EQ(1u, page->referenceCount);
    browser.release(in);

    NPVariant nullObject = npObject(nullptr);
    variant none = host->getVariant(&nullObject);
    ASSERT_TRUE(none.holds<JSObjectPtr>());
    EXPECT_FALSE(none.get<JSObjectPtr>());
}

TEST_F(NPVariants, PageObjectMembersGoThroughTheBrowser) {
    NPObject* page = browser.newPageObject();
    {
        auto object = std::make_shared<Npapi::NPObjectAPI>(page, host);
        object->SetProperty("text", variant(std::string("abc")));
        object->SetProperty(3, variant(42));
        EXPECT_TRUE(object->HasProperty("text"));
        EXPECT_EQ("abc", object->GetProperty("text").get<std::string>());
        EXPECT_EQ(42, object->GetProperty(3).get<int>());
        EXPECT_THROW(object->GetProperty("missing"), script_error);
        // Page functions are not callable on a plain object: the refusal is an error.
        EXPECT_THROW(object->Invoke("nothing", VariantList{variant(1)}), script_error);
        EXPECT_THROW(object->registerEventMethod("onx", object), script_error);
        // The same page object keeps one event identity.
        EXPECT_NE(nullptr, object->getEventId());
        auto again = std::make_shared<Npapi::NPObjectAPI>(page, host);
        EXPECT_EQ(object->getEventId(), again->getEventId());
        EXPECT_EQ(static_cast<const void*>(browser.npp()), object->getEventContext());
    }
    EXPECT_EQ(1u, page->referenceCount);
    browser.m_funcs.releaseobject(page);
}

TEST_F(NPVariants, HostWithoutWindowAndAfterShutdown) {
    EXPECT_THROW(host->evaluateJavaScript(std::string("1")), std::runtime_error);
    EXPECT_THROW(host->getDOMWindow(), std::runtime_error);
    int ran = 0;
    EXPECT_TRUE(host->ScheduleAsyncCall([](void* p) { ++*static_cast<int*>(p); }, &ran));
    browser.runAsyncCalls();
    EXPECT_EQ(1, ran);
    host->shutdown();
    EXPECT_FALSE(host->ScheduleAsyncCall([](void* p) { ++*static_cast<int*>(p); }, &ran));
    EXPECT_EQ(0u, browser.pendingAsyncCalls());
    // The table is gone: browser calls answer failure instead of crashing.
    EXPECT_EQ(nullptr, host->MemAlloc(4));
    EXPECT_FALSE(host->Invoke(nullptr, nullptr, nullptr, 0, nullptr));
}

TEST_F(NPVariants, PageWindowAndCallFunction) {
    NPObject* window = browser.window();
    NPVariant marker = npInt(5);
    browser.propertiesOf(window)["marker"] = marker;
    auto pageHost = makeHost();
    EXPECT_EQ(5, pageHost->getDOMWindow()->getProperty<int>("marker"));
    pageHost->initJS(pageHost.get());
    EXPECT_TRUE(pageHost->getJSCallFunction());
    pageHost->shutdown();
    browser.closeWindow();
}

TEST_F(NPVariants, PageObjectsStillHeldAtShutdownGiveTheirReferencesBack) {
    NPObject* page = browser.newPageObject();
    NPVariant in = npObject(page);
    variant held = host->getVariant(&in);
    EXPECT_EQ(2u, page->referenceCount);
    host->shutdown();
    EXPECT_EQ(1u, page->referenceCount); // nothing may reach the browser later
    held = variant();
    EXPECT_EQ(1u, page->referenceCount);
    browser.release(in);
}
