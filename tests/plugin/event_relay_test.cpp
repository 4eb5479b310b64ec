// The control's event on its way to the page, the sink's own COM face, and the
// control's lifetime across detach, re-attach and destruction.
#include <gtest/gtest.h>

#include "TestPageObject.h"
#include "com_error.h"
#include "com_types.h"
#include "plugin_test_support.h"

using FW::variant;
using FW::VariantList;
using FW::Testing::TestPageObject;
using FW::Testing::TestPageObjectPtr;

namespace {

LONG sinkCount(IUnknown* control) {
    LONG sinks = -1;
    plugintest::simulatorOf(control)->get_SinkCount(&sinks);
    return sinks;
}

LONG raise(IUnknown* control, const wchar_t* text, LONG type, LONG subtype) {
    LONG reached = -1;
    plugintest::simulatorOf(control)->RaiseEvent(ATL::CComBSTR(text), type, subtype, &reached);
    return reached;
}

class Relay : public ::testing::Test {
protected:
    void SetUp() override {
        handler = TestPageObject::makeFunction(page.host);
        page.api->registerEventMethod("onOnCtrlEvent", handler);
    }
    void TearDown() override { handler->clearCalls(); }

    std::vector<TestPageObject::Call> delivered() {
        page.host->runAll();
        return handler->calls();
    }

    CameraSim::JournalFile journal;
    plugintest::PluginWindowHandle window{320, 240};
    plugintest::ApiOnHost page;
    TestPageObjectPtr handler;
};

DISPPARAMS paramsOf(VARIANTARG* reversed, UINT count) {
    DISPPARAMS params = {};
    params.rgvarg = reversed;
    params.cArgs = count;
    return params;
}

} // namespace

TEST_F(Relay, TheControlsEventReachesThePageAsWideTextAndTwoLongs) {
    ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
    IUnknown* control = page.api->getControl();
    EXPECT_EQ(sinkCount(control), 1);
    EXPECT_NE(page.api->getEventHandler().m_dwEventCookie, CEventHandler::kNotConnected);

    EXPECT_EQ(raise(control, L"abc", 3, 7), 1);
    auto calls = delivered();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].args.size(), 3u);
    EXPECT_EQ(calls[0].args[0].get<std::wstring>(), L"abc");
    EXPECT_EQ(calls[0].args[1].get<long>(), 3);
    EXPECT_EQ(calls[0].args[2].get<long>(), 7);

    // Other DISPIDs are swallowed.
    LONG reached = -1;
    plugintest::simulatorOf(control)->RaiseForeignEvent(2, &reached);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(delivered().size(), 1u);

    // Events the simulator raises by itself arrive the same way.
    page.api->Invoke("InitCtrl", {std::string("http://cam/"), std::string("10.0.0.5"), 554});
    page.api->Invoke("PlayRealVideo", {std::string("1"), std::string("0"), std::string("live")});
    CameraSim::pumpMessages(50);
    calls = delivered();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args[0].get<std::wstring>(), L"10.0.0.5");
    EXPECT_EQ(calls[1].args[1].get<long>(), 1);
    EXPECT_EQ(calls[1].args[2].get<long>(), 1);
    page.api->DetachHostedCtrl();
}

TEST_F(Relay, AfterDetachNothingArrivesAndReattachMakesANewHostWindowAndControl) {
    ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
    const HWND firstHost = page.api->getHostWindow();
    ATL::CComPtr<orvelaControl::ICameraControl> first = page.api->getControl();
    EXPECT_EQ(plugintest::rectInParent(firstHost).right, 320);

    page.api->DetachHostedCtrl();
    EXPECT_FALSE(IsWindow(firstHost));
    EXPECT_EQ(page.api->getEventHandler().m_dwEventCookie, CEventHandler::kNotConnected);
    EXPECT_EQ(page.api->getParentWindow(), nullptr);
    EXPECT_EQ(sinkCount(first), 0);
    raise(first, L"late", 1, 1);
    EXPECT_TRUE(delivered().empty());

    ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
    EXPECT_TRUE(IsWindow(page.api->getHostWindow()));
    EXPECT_NE(page.api->getHostWindow(), firstHost);
    EXPECT_NE(page.api->getControl(), first.p);
    EXPECT_EQ(raise(page.api->getControl(), L"again", 4, 1), 1);
    EXPECT_EQ(delivered().size(), 1u);
    page.api->DetachHostedCtrl();
}

TEST_F(Relay, ASecondCreationWhileConnectedIsRefusedAfterMakingTheNewControl) {
    ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
    const HWND firstHost = page.api->getHostWindow();
    try {
        page.api->CreateHostedCtrl(window.get());
        FAIL() << "second creation accepted";
    } catch (const ATL::CAtlException& e) {
        EXPECT_EQ(e.hr(), E_FAIL);
    }
    EXPECT_NE(page.api->getHostWindow(), firstHost);
    EXPECT_TRUE(IsWindow(page.api->getHostWindow()));
    page.api->DetachHostedCtrl();
    DestroyWindow(firstHost);
}

TEST_F(Relay, ACreationWithoutAParentWindowFailsAndLeavesNoControl) {
    // A parent that is not a window: no host window and no control.
    EXPECT_EQ(page.api->CreateHostedCtrl(nullptr), -1);
    EXPECT_EQ(page.api->getControl(), nullptr);
    EXPECT_EQ(page.api->Invoke("GetCtrlVersion", {}).get<long>(), -1);
}

TEST(RelayLifetime, DestroyingTheObjectWithoutDetachDisconnectsTheSink) {
    CameraSim::JournalFile journal;
    plugintest::PluginWindowHandle window(200, 100);
    ATL::CComPtr<orvelaControl::ICameraControl> control;
    HWND host = nullptr;
    {
        plugintest::ApiOnHost page;
        ASSERT_EQ(page.api->CreateHostedCtrl(window.get()), 0);
        control = page.api->getControl();
        host = page.api->getHostWindow();
        ASSERT_EQ(sinkCount(control), 1);
    }
    EXPECT_EQ(sinkCount(control), 0);
    // An event now reaches nobody instead of a sink that no longer exists.
    EXPECT_EQ(raise(control, L"after", 1, 0), 0);
    DestroyWindow(host);
}

TEST(EventSink, AnswersItsInterfacesAndRefusesTheRest) {
    CEventHandler sink;
    EXPECT_EQ(sink.m_dwEventCookie, CEventHandler::kNotConnected);
    EXPECT_EQ(sink.m_pOwner, nullptr);
    void* object = nullptr;
    for (const IID& iid : {orvelaControl::kEventsIid, IID_IUnknown, IID_IDispatch}) {
        EXPECT_EQ(sink.QueryInterface(iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IDispatch*>(&sink));
    }
    EXPECT_EQ(sink.QueryInterface(IID_NULL, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(sink.QueryInterface(IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(sink.QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    EXPECT_EQ(sink.AddRef(), 1u);
    EXPECT_EQ(sink.Release(), 1u);

    UINT count = 0;
    EXPECT_EQ(sink.GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    // The event's description comes from the control's registered type library.
    ATL::_ATL_FUNC_INFO described = {};
    ASSERT_EQ(sink.GetFuncInfoFromId(orvelaControl::kEventsIid, 1, 0, described), S_OK);
    ASSERT_EQ(described.nParams, 3);
    EXPECT_EQ(described.pVarTypes[0], VT_BSTR);
    EXPECT_EQ(described.pVarTypes[1], VT_I4);
    EXPECT_EQ(described.pVarTypes[2], VT_I4);

    ITypeInfo* info = nullptr;
    EXPECT_EQ(sink.GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    ASSERT_EQ(sink.GetTypeInfo(0, 0, &info), S_OK);
    info->Release();
    OLECHAR name[] = L"OnCtrlEvent";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 1);

    // Without the library the event is still described: text, long, long.
    const ATL::_ATL_FUNC_INFO& fixed = CEventHandler::fixedOnCtrlEventInfo();
    ASSERT_EQ(fixed.nParams, 3);
    EXPECT_EQ(fixed.pVarTypes[0], VT_BSTR);
    EXPECT_EQ(fixed.pVarTypes[1], VT_I4);
    EXPECT_EQ(fixed.pVarTypes[2], VT_I4);
}

TEST(EventSink, DeliversOnlyDispidOneAndDropsEventsWithoutAnOwner) {
    plugintest::ApiOnHost page;
    auto handler = TestPageObject::makeFunction(page.host);
    page.api->registerEventMethod("onOnCtrlEvent", handler);
    CEventHandler sink;

    // The dispatch record holds the arguments last to first; a short given
    // for a long is converted.
    ATL::CComVariant args[3];
    args[2] = ATL::CComVariant(L"txt");
    args[1].vt = VT_I2;
    args[1].iVal = -5;
    args[0] = ATL::CComVariant(9L);
    DISPPARAMS params = paramsOf(args, 3);

    EXPECT_EQ(sink.OnCtrlEvent(nullptr, 1, 2), S_FALSE);
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(sink.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);

    sink.m_pOwner = page.api.get();
    EXPECT_EQ(sink.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    page.host->runAll();
    EXPECT_TRUE(handler->calls().empty());

    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(sink.OnCtrlEvent(nullptr, 0, 0), S_OK);
    page.host->runAll();
    const auto calls = handler->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[0].get<std::wstring>(), L"txt");
    EXPECT_EQ(calls[0].args[1].get<long>(), -5);
    EXPECT_EQ(calls[0].args[2].get<long>(), 9);
    EXPECT_EQ(calls[1].args[0].get<std::wstring>(), L""); // a null text
    handler->clearCalls();

    // Malformed calls get defined answers and reach nobody.
    DISPPARAMS shortParams = paramsOf(args, 2);
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &shortParams, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    ATL::CComVariant bad[3];
    bad[2] = ATL::CComVariant(L"x");
    bad[1] = ATL::CComVariant(L"not a number");
    bad[0] = ATL::CComVariant(1L);
    DISPPARAMS badParams = paramsOf(bad, 3);
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &badParams, nullptr, nullptr, nullptr),
              DISP_E_TYPEMISMATCH);
    page.host->runAll();
    EXPECT_TRUE(handler->calls().empty());
}
