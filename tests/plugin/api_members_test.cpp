// The scripting object without a camera control: the test members, the
// answers that stand for "no control", and the scripting core's argument
// errors that happen before any member runs.
#include <gtest/gtest.h>

#include "JSAPIAuto.h"
#include "TestPageObject.h"
#include "plugin_test_support.h"

using FW::variant;
using FW::VariantList;
using FW::Testing::TestPageObject;
using plugintest::ApiOnHost;

namespace {

const char* const kNumberMembers[] = {"InitCtrl",
                                      "GetCtrlVersion",
                                      "LoadLang",
                                      "SetBufferTick",
                                      "SetBufferTickV2",
                                      "SetDeviceType",
                                      "SetUsernamePasswordAndLanguage",
                                      "SetPlayerNum",
                                      "ShowIPConfig",
                                      "SetVideoPlayerSize",
                                      "DestroyOrvela",
                                      "PlayRealVideo",
                                      "StopPlayReal",
                                      "OpenMotionDetection",
                                      "ChangeMDNum",
                                      "ExtSnapPicture",
                                      "ExtRealRecord",
                                      "ExtTalkback",
                                      "ExtGetDiskList",
                                      "ExtVideoFullFill",
                                      "ExtVideoFullScreen",
                                      "ExtGetSnapRecordTalk_Status",
                                      "ExtVideoExitFullScreen",
                                      "OnPlayBackFile",
                                      "OnStopPlayBack",
                                      "OnPlayBackFast",
                                      "OnPlayBackSlow",
                                      "ExtGetPlayBackStatus",
                                      "ExtSoundSwitch",
                                      "ExtVideoZoom",
                                      "ExtOpenFolder",
                                      "ExtSetPlayMode",
                                      "ExtGetCtrlVersion",
                                      "ExtSetVideoMaskConfig",
                                      "ExtShowPathSelectNew",
                                      "OnPlayBackByTime",
                                      "ExtGetPlayBackTimestamp",
                                      "ExtSetVideoROIConfig",
                                      "ExtSetVideoHumanConfig",
                                      "SetVideoPlayerSizeAndZoomValue"};

const char* const kTextMembers[] = {"GetMDBlockStr", "ExtGetVideoMaskConfig",
                                    "ExtGetPublicDocumentsrPath", "ExtGetVideoROIConfig",
                                    "ExtGetVideoHumanConfig"};

// Arguments that pass the scripting core's conversions for each number member.
VariantList validArgsFor(const std::string& name) {
    const variant text(std::string("x"));
    const variant number(1);
    if (name == "InitCtrl" || name == "SetVideoPlayerSizeAndZoomValue")
        return {text, text, number};
    if (name == "LoadLang")
        return {text, number};
    if (name == "SetBufferTick" || name == "SetBufferTickV2")
        return {number, number};
    if (name == "SetDeviceType" || name == "ExtSetVideoROIConfig" ||
        name == "ExtSetVideoHumanConfig")
        return {number, text};
    if (name == "SetUsernamePasswordAndLanguage" || name == "PlayRealVideo" ||
        name == "OnPlayBackFile")
        return {text, text, text};
    if (name == "SetVideoPlayerSize")
        return {text, text};
    if (name == "ExtVideoZoom" || name == "ExtSetPlayMode")
        return {number};
    if (name == "ExtSetVideoMaskConfig")
        return {number, number, number, number, number, text};
    if (name == "OnPlayBackByTime")
        return {number, text, text};
    if (name == "SetPlayerNum" || name == "OpenMotionDetection" || name == "ChangeMDNum" ||
        name == "ExtSnapPicture" || name == "ExtRealRecord" || name == "ExtVideoFullFill" ||
        name == "ExtOpenFolder")
        return {text};
    return {};
}

} // namespace

TEST(WithoutControl, NumberMembersAnswerMinusOneAndTextMembersTheEmptyText) {
    ApiOnHost page;
    for (const char* name : kNumberMembers) {
        ASSERT_TRUE(page.api->HasMethod(name)) << name;
        const variant result = page.api->Invoke(name, validArgsFor(name));
        ASSERT_TRUE(result.holds<long>()) << name;
        EXPECT_EQ(result.get<long>(), -1) << name;
    }
    for (const char* name : kTextMembers) {
        const variant result = page.api->Invoke(name, {});
        ASSERT_TRUE(result.holds<std::string>()) << name;
        EXPECT_EQ(result.get<std::string>(), "") << name;
    }
    const variant path = page.api->Invoke("ExtGetSelectPath", {});
    ASSERT_TRUE(path.holds<std::wstring>());
    EXPECT_EQ(path.get<std::wstring>(), L"");
    EXPECT_FALSE(page.api->HasMethod("ExtReserved"));
}

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
