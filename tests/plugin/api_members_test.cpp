// The scripting object's test members, and the scripting core's argument
// errors that happen before any member runs, with no camera control.
#include <gtest/gtest.h>

#include "JSAPIAuto.h"
#include "TestPageObject.h"
#include "plugin_test_support.h"

using FW::variant;
using FW::VariantList;
using FW::Testing::TestPageObject;
using plugintest::ApiOnHost;

TEST(WithoutControl, TextArgumentsAreNotExaminedButCoreConversionsStillApply) {
    ApiOnHost page;
    // Numbers where texts belong: nothing looks at them without a control.
    EXPECT_EQ(page.api->Invoke("InitCtrl", {1, 2, 3}).get<long>(), -1);
    // A missing second text arrives empty and is not examined either.
    EXPECT_EQ(page.api->Invoke("SetVideoPlayerSize", {std::string("640")}).get<long>(), -1);

    // The 16-bit port is not optional and must fit.
    EXPECT_THROW(page.api->Invoke("InitCtrl", {std::string("http://cam/")}), FW::script_error);
    EXPECT_THROW(page.api->Invoke("InitCtrl", {std::string("a"), std::string("b"), 40000}),
                 FW::invalid_arguments);
    EXPECT_THROW(page.api->Invoke("SetBufferTick", {std::string("soon"), 1}),
                 FW::invalid_arguments);
    EXPECT_THROW(page.api->Invoke("SetBufferTick", {1, 2, 3}), FW::invalid_arguments);
    EXPECT_THROW(page.api->Invoke("ExtVideoZoom", {}), FW::script_error);
}

TEST(TestMembers, EchoCountsProcessWideFiresOneEchoAndReturnsItsArgument) {
    ApiOnHost first;
    ApiOnHost second;
    auto handler = TestPageObject::makeFunction(first.host);
    first.api->registerEventMethod("onecho", handler);

    EXPECT_EQ(first.api->Invoke("echo", {std::string("x")}).get<std::string>(), "x");
    first.host->runAll();
    ASSERT_EQ(handler->calls().size(), 1u);
    const VariantList args = handler->calls()[0].args;
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0].get<std::string>(), "So far, you clicked this many times: ");
    ASSERT_TRUE(args[1].holds<int>());
    const int firstCount = args[1].get<int>();

    // The counter is shared by every instance.
    second.api->Invoke("echo", {true});
    EXPECT_EQ(first.api->Invoke("echo", {2.5}).get<double>(), 2.5);
    first.host->runAll();
    ASSERT_EQ(handler->calls().size(), 2u);
    EXPECT_EQ(handler->calls()[1].args[1].get<int>(), firstCount + 2);

    // No argument: undefined comes back and the event still fires.
    EXPECT_TRUE(first.api->Invoke("echo", {}).is_empty());
    // Too many: the core refuses before the member runs; nothing fires, nothing counts.
    EXPECT_THROW(first.api->Invoke("echo", {1, 2}), FW::invalid_arguments);
    first.api->Invoke("echo", {0});
    first.host->runAll();
    ASSERT_EQ(handler->calls().size(), 4u);
    EXPECT_EQ(handler->calls()[3].args[1].get<int>(), firstCount + 4);
    handler->clearCalls();
}

TEST(TestMembers, TestEventFiresWithoutArgumentsAndPropertiesKeepTheirRules) {
    ApiOnHost page;
    auto handler = TestPageObject::makeFunction(page.host);
    page.api->registerEventMethod("ontest", handler);
    EXPECT_TRUE(page.api->Invoke("testEvent", {}).is_empty());
    page.host->runAll();
    ASSERT_EQ(handler->calls().size(), 1u);
    EXPECT_TRUE(handler->calls()[0].args.empty());
    handler->clearCalls();

    EXPECT_EQ(page.api->GetProperty("testString").get<std::string>(), "");
    page.api->SetProperty("testString", 5);
    EXPECT_EQ(page.api->GetProperty("testString").get<std::string>(), "5");

    EXPECT_EQ(page.api->GetProperty("version").get<std::string>(), "1.0.0.0");
    page.api->SetProperty("version", std::string("9.9"));
    EXPECT_EQ(page.api->GetProperty("version").get<std::string>(), "1.0.0.0");
    EXPECT_EQ(page.api->Invoke("toString", {}).get<std::string>(),
              "<JSAPI-Auto Javascript Object>");
}
