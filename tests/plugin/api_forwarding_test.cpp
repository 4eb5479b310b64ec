// Every forwarding member called through the scripting object's Invoke with
// script values, against the camera simulator hosted in a real control-host
// window: the simulator's journal shows the slot and the converted arguments,
// and the member hands back the simulator's answer.
#include <gtest/gtest.h>

#include <comdef.h>

#include "CameraControl.h"
#include "ControlCallError.h"
#include "dispatch.h"
#include "plugin_test_support.h"

using CameraSim::JournalRecord;
using CameraSim::JournalValue;
using FW::variant;
using FW::VariantList;

namespace {

JournalValue n(long value) {
    return JournalValue::number(value);
}
JournalValue t(const wchar_t* text) {
    return JournalValue::string(text);
}

std::string ansiBytes(const std::wstring& text) {
    std::string bytes(text.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<size_t>(n > 0 ? n : 0));
    return bytes;
}

enum class Answer { Number, Text, WideText };

struct Forwarded {
    const char* member;
    int slot;
    VariantList scriptArgs;
    std::vector<JournalValue> received;
    Answer answer = Answer::Number;
};

std::vector<Forwarded> everyForwardingMember() {
    const std::string a = "alpha", b = "beta", c = "gamma";
    return {
        {"InitCtrl",
         7,
         {std::string("http://cam/"), std::string("10.0.0.5"), 554},
         {t(L"http://cam/"), t(L"10.0.0.5"), n(554)}},
        {"GetCtrlVersion", 8, {}, {}},
        {"LoadLang", 9, {std::string("http://cam/lang.xml"), 2}, {t(L"http://cam/lang.xml"), n(2)}},
        {"SetBufferTick", 10, {40, 5}, {n(40), n(5)}},
        {"SetBufferTickV2", 11, {std::string("41"), 6.0}, {n(41), n(6)}},
        {"SetDeviceType", 12, {3, a}, {n(3), t(L"alpha")}},
        {"SetUsernamePasswordAndLanguage", 13, {a, b, c}, {t(L"alpha"), t(L"beta"), t(L"gamma")}},
        {"SetPlayerNum", 14, {std::string("4")}, {t(L"4")}},
        {"ShowIPConfig", 15, {}, {}},
        {"SetVideoPlayerSize",
         16,
         {std::string("640"), std::string("480")},
         {t(L"640"), t(L"480")}},
        {"DestroyOrvela", 17, {}, {}},
        {"PlayRealVideo",
         18,
         {std::string("1"), std::string("0"), std::string("live")},
         {t(L"1"), t(L"0"), t(L"live")}},
        {"StopPlayReal", 19, {}, {}},
        {"OpenMotionDetection", 20, {std::string("0101")}, {t(L"0101")}},
        {"ChangeMDNum", 21, {std::string("7")}, {t(L"7")}},
        {"GetMDBlockStr", 22, {}, {}, Answer::Text},
        {"ExtSnapPicture", 23, {std::string("C:\\snaps")}, {t(L"C:\\snaps")}},
        {"ExtRealRecord", 24, {std::string("C:\\rec")}, {t(L"C:\\rec")}},
        {"ExtTalkback", 25, {}, {}},
        {"ExtGetDiskList", 26, {}, {}},
        {"ExtVideoFullFill", 27, {std::string("1")}, {t(L"1")}},
        {"ExtVideoFullScreen", 28, {}, {}},
        {"ExtGetSnapRecordTalk_Status", 29, {}, {}},
        {"ExtVideoExitFullScreen", 30, {}, {}},
        {"OnPlayBackFile", 31, {a, b, c}, {t(L"alpha"), t(L"beta"), t(L"gamma")}},
        {"OnStopPlayBack", 32, {}, {}},
        {"OnPlayBackFast", 33, {}, {}},
        {"OnPlayBackSlow", 34, {}, {}},
        {"ExtGetPlayBackStatus", 35, {}, {}},
        {"ExtSoundSwitch", 36, {}, {}},
        {"ExtVideoZoom", 37, {-3}, {n(-3)}},
        {"ExtOpenFolder", 39, {std::string("C:\\x")}, {t(L"C:\\x")}},
        {"ExtSetPlayMode", 40, {true}, {n(1)}},
        {"ExtGetCtrlVersion", 41, {}, {}},
        {"ExtSetVideoMaskConfig",
         42,
         {1, 2, 3, 4, 5, std::string("area")},
         {n(1), n(2), n(3), n(4), n(5), t(L"area")}},
        {"ExtGetVideoMaskConfig", 43, {}, {}, Answer::Text},
        {"ExtGetPublicDocumentsrPath", 44, {}, {}, Answer::Text},
        {"ExtGetSelectPath", 45, {}, {}, Answer::WideText},
        {"ExtShowPathSelectNew", 46, {}, {}},
        {"OnPlayBackByTime",
         47,
         {2, std::string("10:00"), std::string("11:00")},
         {n(2), t(L"10:00"), t(L"11:00")}},
        {"ExtGetPlayBackTimestamp", 48, {}, {}},
        {"ExtSetVideoROIConfig", 49, {1, std::string("roi")}, {n(1), t(L"roi")}},
        {"ExtGetVideoROIConfig", 50, {}, {}, Answer::Text},
        {"ExtSetVideoHumanConfig", 51, {0, std::string("human")}, {n(0), t(L"human")}},
        {"ExtGetVideoHumanConfig", 52, {}, {}, Answer::Text},
        {"SetVideoPlayerSizeAndZoomValue",
         53,
         {std::string("320"), std::string("240"), 2},
         {t(L"320"), t(L"240"), n(2)}},
    };
}

class WithControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
        ASSERT_NE(page.api->getControl(), nullptr);
        journal.clear();
    }
    void TearDown() override { page.api->DetachHostedCtrl(); }

    // The one call the simulator journaled since the last clear.
    JournalRecord onlyCall() {
        const auto calls = journal.calls();
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? JournalRecord() : calls.front();
    }

    CameraSim::JournalFile journal;
    plugintest::PluginWindowHandle window{400, 300};
    plugintest::ApiOnHost page;
};

} // namespace

TEST(WithoutControl, EveryMemberAnswersMinusOneOrTheEmptyTextAndCallsNothing) {
    CameraSim::JournalFile journal;
    plugintest::ApiOnHost page;
    for (const Forwarded& call : everyForwardingMember()) {
        SCOPED_TRACE(call.member);
        const variant result = page.api->Invoke(call.member, call.scriptArgs);
        switch (call.answer) {
        case Answer::Number:
            ASSERT_TRUE(result.holds<long>());
            EXPECT_EQ(result.get<long>(), -1);
            break;
        case Answer::Text:
            ASSERT_TRUE(result.holds<std::string>());
            EXPECT_EQ(result.get<std::string>(), "");
            break;
        case Answer::WideText:
            ASSERT_TRUE(result.holds<std::wstring>());
            EXPECT_EQ(result.get<std::wstring>(), L"");
            break;
        }
    }
    EXPECT_FALSE(page.api->HasMethod("ExtReserved"));
    EXPECT_TRUE(journal.records().empty());
}

TEST_F(WithControl, EveryMemberReachesItsSlotWithConvertedArgumentsAndReturnsTheAnswer) {
    for (const Forwarded& call : everyForwardingMember()) {
        SCOPED_TRACE(call.member);
        journal.clear();
        const variant result = page.api->Invoke(call.member, call.scriptArgs);
        const JournalRecord record = onlyCall();
        EXPECT_EQ(record.slot, call.slot);
        EXPECT_EQ(record.hr, S_OK);
        ASSERT_EQ(record.args.size(), call.received.size());
        for (size_t i = 0; i < record.args.size(); ++i)
            EXPECT_EQ(record.args[i], call.received[i]) << "argument " << i + 1;
        ASSERT_TRUE(record.result.has_value());
        switch (call.answer) {
        case Answer::Number:
            ASSERT_TRUE(result.holds<long>());
            EXPECT_EQ(result.get<long>(), record.result->integer);
            break;
        case Answer::Text:
            ASSERT_TRUE(result.holds<std::string>());
            EXPECT_EQ(result.get<std::string>(), ansiBytes(record.result->text));
            break;
        case Answer::WideText:
            ASSERT_TRUE(result.holds<std::wstring>());
            EXPECT_EQ(result.get<std::wstring>(), record.result->text);
            break;
        }
    }
}

TEST_F(WithControl, Int16PortIsWidenedWithItsSignAndResultsAreTheSimulators) {
    const variant refused =
        page.api->Invoke("InitCtrl", {std::string("http://cam/"), std::string("10.0.0.5"), -2});
    const JournalRecord record = onlyCall();
    EXPECT_EQ(record.args.at(2), n(-2));
    EXPECT_EQ(refused.get<long>(), record.result->integer);
    EXPECT_NE(refused.get<long>(), 0); // the simulator refuses the port

    journal.clear();
    EXPECT_EQ(page.api->Invoke("GetCtrlVersion", {}).get<long>(), 20100);
}

TEST_F(WithControl, TextArgumentsMustBeNarrowStringsAndTheFirstBadOneIsReported) {
    try {
        page.api->Invoke("InitCtrl", {1, 2, 3});
        FAIL() << "numbers accepted as texts";
    } catch (const FW::invalid_arguments& e) {
        EXPECT_EQ(std::string(e.what()), "Could not convert from number to string");
    }
    try {
        page.api->Invoke("InitCtrl", {std::string("ok"), true, 3});
        FAIL() << "a boolean accepted as text";
    } catch (const FW::invalid_arguments& e) {
        EXPECT_EQ(std::string(e.what()), "Could not convert from boolean to string");
    }
    // A missing text arrives empty and fails the same way.
    try {
        page.api->Invoke("SetVideoPlayerSize", {std::string("640")});
        FAIL() << "a missing text accepted";
    } catch (const FW::invalid_arguments& e) {
        EXPECT_EQ(std::string(e.what()), "Could not convert from undefined to string");
    }
    // Wide strings are not taken either.
    EXPECT_THROW(page.api->Invoke("SetPlayerNum", {std::wstring(L"4")}), FW::invalid_arguments);
    // Core conversions still come first and stop the call.
    EXPECT_THROW(page.api->Invoke("InitCtrl", {std::string("a"), std::string("b"), 40000}),
                 FW::invalid_arguments);
    EXPECT_THROW(page.api->Invoke("InitCtrl", {std::string("a")}), FW::script_error);
    EXPECT_TRUE(journal.calls().empty());
}

TEST_F(WithControl, TextsTravelThroughTheAnsiCodePageBothWays) {
    const std::string utf8E = "\xC3\xA9"; // "é" in UTF-8
    page.api->Invoke("ExtSetVideoROIConfig", {1, utf8E});
    EXPECT_EQ(onlyCall().args.at(1), t(L"\u00C3\u00A9")); // what those bytes are in 1252

    // The stored text comes back through the same code page: the original bytes.
    journal.clear();
    EXPECT_EQ(page.api->Invoke("ExtGetVideoROIConfig", {}).get<std::string>(), "1," + utf8E);

    // Embedded NULs are kept.
    journal.clear();
    page.api->Invoke("OpenMotionDetection", {std::string("a\0b", 3)});
    EXPECT_EQ(onlyCall().args.at(0), JournalValue::string(std::wstring(L"a\0b", 3)));

    // The selected path is handed over as UTF-16, untouched.
    page.api->Invoke("ExtShowPathSelectNew", {});
    EXPECT_EQ(page.api->Invoke("ExtGetSelectPath", {}).get<std::wstring>(),
              L"C:\\Users\\Public\\Vid\u00E9os\\\u30AB\u30E1\u30E9");
}

TEST_F(WithControl, AFailingOperationRaisesAComErrorThatIsAlsoAStandardException) {
    CameraSim::failNextCall(18, E_ACCESSDENIED);
    try {
        page.api->Invoke("PlayRealVideo", {std::string("1"), std::string("0"), std::string("m")});
        FAIL() << "the failure was not raised";
    } catch (const FW::script_error&) {
        FAIL() << "a control failure must not look like a script error";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_ACCESSDENIED);
        // Adapters end the call as failed by catching standard exceptions.
        const auto* standard = dynamic_cast<const std::exception*>(&e);
        ASSERT_NE(standard, nullptr);
        EXPECT_STREQ(standard->what(), "Camera control call failed: 0x80070005");
    }
    EXPECT_EQ(onlyCall().hr, E_ACCESSDENIED);

    CameraSim::failNextCall(43, E_FAIL);
    EXPECT_THROW(page.api->Invoke("ExtGetVideoMaskConfig", {}), orvelaControl::ControlCallError);
    CameraSim::failNextCall(45, E_OUTOFMEMORY);
    EXPECT_THROW(page.api->Invoke("ExtGetSelectPath", {}), std::exception);
    CameraSim::clearRequestedFailures();
}

TEST_F(WithControl, DetachedMembersStillReachTheSameControl) {
    ATL::CComPtr<ICameraSimTesting> simulator = plugintest::simulatorOf(page.api->getControl());
    ASSERT_TRUE(simulator);
    LONG instance = 0;
    simulator->get_InstanceId(&instance);
    page.api->DetachHostedCtrl();
    EXPECT_EQ(page.api->getHostWindow(), nullptr);
    journal.clear();
    EXPECT_EQ(page.api->Invoke("GetCtrlVersion", {}).get<long>(), 20100);
    EXPECT_EQ(onlyCall().instance, instance);
}

// A release of the camera whose version operation answers text: the member
// takes the text's decimal value.
TEST(TextVersionRelease, GetCtrlVersionTakesTheTextAsItsDecimalValue) {
    CameraSim::JournalFile journal;
    CameraSim::SubstituteControl textRelease(CAMSIM_TEXT_VERSION_DLL, CAMSIM_DLL);
    ASSERT_TRUE(textRelease.registered());
    plugintest::PluginWindowHandle window{200, 100};
    plugintest::ApiOnHost page;
    ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
    EXPECT_EQ(page.api->Invoke("GetCtrlVersion", {}).get<long>(), 20100);
    CameraSim::failNextCall(8, E_FAIL);
    EXPECT_THROW(page.api->Invoke("GetCtrlVersion", {}), orvelaControl::ControlCallError);
    const auto calls = CameraSim::callsOf(journal.calls(), 8);
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_TRUE(calls[0].result.has_value());
    EXPECT_EQ(calls[0].result->text, L"020100") << "the release answered text";
    page.api->DetachHostedCtrl();
}

// A release whose type library declares the version operation in a form that
// no one-argument call fits: the member answers as without a control, and
// the control is never called (on 32-bit Windows the call would unbalance
// the stack).
TEST(VersionDeclaredInAnotherForm, GetCtrlVersionAnswersAsWithoutAControlAndMakesNoCall) {
    using namespace orvelaControl;
    for (const CameraSim::VersionSlotForm form :
         {CameraSim::VersionSlotForm::TwoParameters, CameraSim::VersionSlotForm::Cdecl}) {
        SCOPED_TRACE(form == CameraSim::VersionSlotForm::Cdecl ? "cdecl" : "two parameters");
        CameraSim::JournalFile journal;
        CameraSim::SubstituteVersionDeclaration declared(form, CAMSIM_DLL);
        ASSERT_TRUE(declared.registered());
        const ATL::RetvalSlot version =
            ATL::DescribeRetvalSlot(kTypeLibId, kTypeLibMajor, kTypeLibMinor, kControlIid, 8);
        EXPECT_TRUE(version.described);
        EXPECT_EQ(VT_EMPTY, version.type);
        EXPECT_EQ(
            VT_I4,
            ATL::DescribeRetvalSlot(kTypeLibId, kTypeLibMajor, kTypeLibMinor, kControlIid, 7).type);
        plugintest::PluginWindowHandle window{200, 100};
        plugintest::ApiOnHost page;
        ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
        EXPECT_EQ(page.api->Invoke("GetCtrlVersion", {}).get<long>(), -1);
        EXPECT_EQ(page.api->Invoke("ExtGetCtrlVersion", {}).get<long>(), 20100)
            << "the control itself still answers";
        EXPECT_TRUE(CameraSim::callsOf(journal.calls(), 8).empty());
        page.api->DetachHostedCtrl();
    }
}
