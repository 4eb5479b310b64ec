// CX64ConfigCtrl in this process, its window created and destroyed directly:
// the camera control's creation with its saved InitCtrl, the calls before a
// camera exists, SetIEWindow's answers and the relay of camera events to a
// page function, its quick activation; and the name-list splitting it relies on.
#include "CX64ConfigCtrl.h"
#include "SplitString.h"

#include "ax_host.h"
#include "camera_sim_client.h"
#include "dispatch.h"
#include "exe_module.h"
#include "page_objects.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>
#include "support/ole_apartment.h"
#include "support/least_client_site.h"
#include "support/test_top_window.h"

using namespace ATL;

class CBridgeTestModule : public CAtlExeModuleT<CBridgeTestModule> {};
CBridgeTestModule _AtlModule;

namespace {

using Names = std::map<int, std::string>;

} // namespace

TEST(SplitString, PiecesWithAndWithoutEmptyOnes) {
    Names names;
    EXPECT_EQ(2, SplitString(",onCamera,,onOther,", ",", true, names));
    EXPECT_EQ((Names{{0, "onCamera"}, {1, "onOther"}}), names);
    EXPECT_EQ(5, SplitString(",a,,b,", ",", false, names));
    EXPECT_EQ((Names{{0, ""}, {1, "a"}, {2, ""}, {3, "b"}, {4, ""}}), names);
    EXPECT_EQ(1, SplitString("one", ",", true, names));
    EXPECT_EQ((Names{{0, "one"}}), names);
    EXPECT_EQ(0, SplitString("", ",", true, names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(2, SplitString("a::b", "::", true, names));
    EXPECT_EQ((Names{{0, "a"}, {1, "b"}}), names);
    // An empty delimiter leaves the map as it was.
    EXPECT_EQ(0, SplitString("x,y", "", true, names));
    EXPECT_EQ((Names{{0, "a"}, {1, "b"}}), names);
}

namespace {

class BridgeControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CComObject<CX64ConfigCtrl>::CreateInstance(&ctl));
        ctl->AddRef();
    }
    void TearDown() override {
        if (ctl->m_hWnd)
            ::DestroyWindow(ctl->m_hWnd);
        ctl->Release();
        CameraSim::pumpMessages(20);
    }
    HWND CreateWindowOfControl() {
        const RECT rc = {0, 0, 320, 240};
        return ctl->Create(testsupport::testTopWindow(), rc, nullptr,
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    }
    CameraSim::Records InitCalls() { return CameraSim::callsOf(journal.calls(), 7); }

    CameraSim::JournalFile journal;
    CComObject<CX64ConfigCtrl>* ctl = nullptr;
};

} // namespace

namespace {

// The page's sink for the bridge's events, as a container hands it to
// QuickActivate with its site.
class QuickEventSink : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(QuickEventSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID__IX64ConfigCtrlEvents, IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)
    (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }
};

} // namespace

TEST_F(BridgeControl, QuickActivateSitesTheBridgeAndConnectsItsEventSource) {
    CComObject<testsupport::LeastClientSite>* site = nullptr;
    CComObject<QuickEventSink>* sink = nullptr;
    ASSERT_EQ(S_OK, CComObject<testsupport::LeastClientSite>::CreateInstance(&site));
    CComPtr<IOleClientSite> holdSite(site);
    ASSERT_EQ(S_OK, CComObject<QuickEventSink>::CreateInstance(&sink));
    CComPtr<IDispatch> holdSink(sink);
    CComPtr<IQuickActivate> quick;
    ASSERT_EQ(S_OK, ctl->QueryInterface(IID_IQuickActivate, reinterpret_cast<void**>(&quick)));
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    container.pClientSite = site;
    container.pUnkEventSink = sink;
    QACONTROL answer = {};
    answer.cbSize = sizeof answer;
    ASSERT_EQ(S_OK, quick->QuickActivate(&container, &answer));
    EXPECT_EQ(static_cast<IOleClientSite*>(site), ctl->m_spClientSite.p);
    ASSERT_NE(0u, answer.dwEventCookie);
    // The bridge has no property notifications to connect.
    EXPECT_EQ(0u, answer.dwPropNotifyCookie);
    EXPECT_EQ(CX64ConfigCtrl::_GetMiscStatus(), answer.dwMiscStatus);
    EXPECT_EQ(S_OK,
              AtlUnadvise(ctl->GetUnknown(), DIID__IX64ConfigCtrlEvents, answer.dwEventCookie));
    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, ctl->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)));
    EXPECT_EQ(S_OK, ole->SetClientSite(nullptr));
}

TEST_F(BridgeControl, InitCtrlBeforeTheWindowIsMadeOnceTheCameraExistsAndAfterEachRecreation) {
    LONG ret = 99;
    EXPECT_EQ(S_OK, ctl->InitCtrl(CComBSTR(L"http://cam/"), CComBSTR(L"192.0.2.10"), 80, &ret));
    EXPECT_EQ(99, ret);
    CComBSTR version;
    EXPECT_EQ(S_OK, ctl->GetCtrlVersion(&version));
    EXPECT_EQ(nullptr, version.m_str);
    ret = 99;
    EXPECT_EQ(S_OK, ctl->SetBufferTick(1, 1, &ret));
    EXPECT_EQ(99, ret);
    EXPECT_TRUE(journal.calls().empty());

    HWND wnd = CreateWindowOfControl();
    ASSERT_NE(nullptr, wnd);
    CameraSim::Records calls = InitCalls();
    ASSERT_EQ(1u, calls.size());
    ASSERT_EQ(3u, calls[0].args.size());
    EXPECT_EQ(L"http://cam/", calls[0].args[0].text);
    EXPECT_EQ(L"192.0.2.10", calls[0].args[1].text);
    EXPECT_EQ(80, calls[0].args[2].integer);

    // The camera window follows the control's size.
    HWND camHost = GetWindow(wnd, GW_CHILD);
    ASSERT_NE(nullptr, camHost);
    SetWindowPos(wnd, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
    RECT rc;
    GetClientRect(camHost, &rc);
    EXPECT_EQ(200, rc.right);
    EXPECT_EQ(100, rc.bottom);

    ret = 99;
    EXPECT_EQ(S_OK, ctl->InitCtrl(CComBSTR(L"http://cam2/"), CComBSTR(L"host"), 70000, &ret));
    EXPECT_EQ(-3, ret);
    EXPECT_EQ(2u, InitCalls().size());

    ::DestroyWindow(wnd);
    ret = 99;
    EXPECT_EQ(S_OK, ctl->LoadLang(CComBSTR(L"x"), 0, &ret));
    EXPECT_EQ(99, ret);
    ASSERT_NE(nullptr, CreateWindowOfControl());
    calls = InitCalls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(L"http://cam2/", calls[2].args[0].text);
    EXPECT_EQ(70000, calls[2].args[2].integer);
}

TEST_F(BridgeControl, InitCtrlWithoutAPlaceForItsAnswerStillSavesItsArgumentsForTheCamera) {
    EXPECT_EQ(E_POINTER,
              ctl->InitCtrl(CComBSTR(L"http://saved/"), CComBSTR(L"192.0.2.20"), 81, nullptr));
    EXPECT_TRUE(journal.calls().empty());
    ASSERT_NE(nullptr, CreateWindowOfControl());
    const CameraSim::Records calls = InitCalls();
    ASSERT_EQ(1u, calls.size());
    ASSERT_EQ(3u, calls[0].args.size());
    EXPECT_EQ(L"http://saved/", calls[0].args[0].text);
    EXPECT_EQ(L"192.0.2.20", calls[0].args[1].text);
    EXPECT_EQ(81, calls[0].args[2].integer);
}

namespace {

LONG g_hostDestroys = 0;
WNDPROC g_hostProc = nullptr;
LRESULT CALLBACK CountingHostProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY)
        ++g_hostDestroys;
    return CallWindowProcW(g_hostProc, hWnd, msg, wParam, lParam);
}

} // namespace

TEST_F(BridgeControl, TheCameraHostWindowGetsOneDestroyWhenTheControlsWindowGoes) {
    HWND wnd = CreateWindowOfControl();
    ASSERT_NE(nullptr, wnd);
    HWND camHost = GetWindow(wnd, GW_CHILD);
    ASSERT_NE(nullptr, camHost);
    g_hostDestroys = 0;
    g_hostProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(camHost, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingHostProc)));
    ::DestroyWindow(wnd);
    CameraSim::pumpMessages(50);
    EXPECT_FALSE(IsWindow(camHost));
    EXPECT_EQ(1, g_hostDestroys);
    EXPECT_TRUE(CameraSim::findSimulators(GetCurrentProcessId()).empty());
}

TEST_F(BridgeControl, FocusGivenToTheControlUIActivatesItAndGoesOnToTheCameraWindow) {
    ASSERT_TRUE(AtlAxWinInit());
    HWND site = testsupport::childWindow(kAxWin100.host, 320, 240);
    ASSERT_NE(nullptr, site);
    ASSERT_EQ(S_OK, AtlAxAttachControl(ctl->GetUnknown(), site, nullptr));
    HWND wnd = ctl->m_hWnd;
    ASSERT_NE(nullptr, wnd);
    EXPECT_FALSE(ctl->m_bUIActive);
    HWND other = testsupport::childWindow(L"STATIC", 10, 10, WS_CHILD | WS_VISIBLE, 0, 250);
    SetFocus(other);

    // As a tab into the element gives it.
    SetFocus(wnd);
    EXPECT_TRUE(ctl->m_bUIActive);
    HWND camHost = GetWindow(wnd, GW_CHILD);
    ASSERT_NE(nullptr, camHost);
    const HWND focus = GetFocus();
    EXPECT_TRUE(focus == camHost || IsChild(camHost, focus));

    SetFocus(other);
    DestroyWindow(other);
    DestroyWindow(site);
}

TEST_F(BridgeControl, NotificationsReflectedBackToItGetTheOriginalMessagesDefaultHandling) {
    HWND wnd = CreateWindowOfControl();
    ASSERT_NE(nullptr, wnd);
    HDC dc = GetDC(wnd);
    const LRESULT brush = SendMessageW(wnd, OCM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(wnd));
    EXPECT_NE(0, brush);
    EXPECT_EQ(DefWindowProcW(wnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(wnd)),
              brush);
    ReleaseDC(wnd, dc);
}

TEST_F(BridgeControl, WithoutInitCtrlCreationCallsNothingAndFailuresAreReported) {
    ASSERT_NE(nullptr, CreateWindowOfControl());
    EXPECT_TRUE(InitCalls().empty());
    CComBSTR version;
    EXPECT_EQ(S_OK, ctl->GetCtrlVersion(&version));
    EXPECT_STREQ(L"20100", version.m_str);

    CameraSim::failNextCall(12, E_ACCESSDENIED);
    LONG ret = 99;
    EXPECT_EQ(E_ACCESSDENIED, ctl->SetDeviceType(1, CComBSTR(L"info"), &ret));
    EXPECT_EQ(99, ret);
    // The failure carries a description that names the operation.
    CComPtr<IErrorInfo> error;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &error));
    CComBSTR description;
    ASSERT_EQ(S_OK, error->GetDescription(&description));
    EXPECT_STREQ(L"The camera control's SetDeviceType failed (0x80070005).", description.m_str);
    CameraSim::failNextCall(8, E_FAIL);
    version.Empty();
    EXPECT_EQ(E_FAIL, ctl->GetCtrlVersion(&version));
    EXPECT_EQ(nullptr, version.m_str);

    EXPECT_EQ(E_POINTER, ctl->SetBufferTickV2(1, 1, nullptr));
    EXPECT_EQ(E_POINTER, ctl->GetCtrlVersion(nullptr));
}

TEST_F(BridgeControl, RelaysEventsToTheFirstPageFunctionWithTheArgumentsReversed) {
    ASSERT_NE(nullptr, CreateWindowOfControl());
    auto* script = PageObjects::PageScript::Create(L"first");
    auto* document = PageObjects::PageDocument::Create(script);
    auto* window = PageObjects::PageWindow::Create(document);
    const DWORD self = GetCurrentProcessId();
    auto pumpUntil = [&](size_t n) {
        const DWORD start = GetTickCount();
        while (script->calls.size() < n && GetTickCount() - start < 3000)
            CameraSim::pumpMessages(10);
        return script->calls.size() >= n;
    };

    LONG ret = 0;
    EXPECT_EQ(S_FALSE, ctl->SetIEWindow(CComVariant(L"window"), CComBSTR(L"first"), &ret));
    EXPECT_EQ(-1, ret);
    VARIANT nullWindow;
    VariantInit(&nullWindow);
    V_VT(&nullWindow) = VT_DISPATCH;
    V_DISPATCH(&nullWindow) = nullptr;
    ret = 0;
    EXPECT_EQ(S_FALSE, ctl->SetIEWindow(nullWindow, CComBSTR(L"first"), &ret));
    EXPECT_EQ(-1, ret);

    // No function named yet: the event is dropped.
    ASSERT_EQ(1, CameraSim::requestEvent(L"early", 1, 1, self));
    CameraSim::pumpMessages(100);

    VARIANT page;
    VariantInit(&page);
    V_VT(&page) = VT_DISPATCH;
    V_DISPATCH(&page) = static_cast<IHTMLWindow2*>(window);
    ret = 99;
    EXPECT_EQ(S_OK, ctl->SetIEWindow(page, CComBSTR(L"first,second"), &ret));
    EXPECT_EQ(0, ret);
    ASSERT_EQ(1, CameraSim::requestEvent(L"abc", 3, 7, self));
    ASSERT_TRUE(pumpUntil(1));
    EXPECT_EQ((std::vector<std::wstring>{L"7", L"3", L"abc"}), script->calls[0].params);

    // Text longer than the relay's buffer arrives cut, nothing overflows.
    ASSERT_EQ(1, CameraSim::requestEvent(std::wstring(20000, L'x'), -5, 0, self));
    ASSERT_TRUE(pumpUntil(2));
    ASSERT_EQ(3u, script->calls[1].params.size());
    EXPECT_EQ(L"-5", script->calls[1].params[1]);
    EXPECT_EQ(std::wstring(10239, L'x'), script->calls[1].params[2]);
    EXPECT_EQ(2u, script->calls.size());

    // An empty list stops the relay.
    EXPECT_EQ(S_OK, ctl->SetIEWindow(page, CComBSTR(L""), &ret));
    ASSERT_EQ(1, CameraSim::requestEvent(L"late", 1, 0, self));
    CameraSim::pumpMessages(100);
    EXPECT_EQ(2u, script->calls.size());

    window->Release();
    document->Release();
    script->Release();
}

// Script engines hand a variable over by reference (VBScript's arguments are
// VT_BYREF|VT_VARIANT): the window it refers to is taken as if passed by value,
// and a text by reference is still refused.
TEST_F(BridgeControl, SetIEWindowTakesTheWindowOrTextThatAVariableByReferenceHolds) {
    ASSERT_NE(nullptr, CreateWindowOfControl());
    auto* script = PageObjects::PageScript::Create(L"first");
    auto* document = PageObjects::PageDocument::Create(script);
    auto* window = PageObjects::PageWindow::Create(document);

    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"window");
    VARIANT textRef;
    VariantInit(&textRef);
    V_VT(&textRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&textRef) = &text;
    LONG ret = 0;
    EXPECT_EQ(S_FALSE, ctl->SetIEWindow(textRef, CComBSTR(L"first"), &ret));
    EXPECT_EQ(-1, ret);
    VariantClear(&text);

    VARIANT page;
    VariantInit(&page);
    V_VT(&page) = VT_DISPATCH;
    V_DISPATCH(&page) = static_cast<IHTMLWindow2*>(window);
    VARIANT pageRef;
    VariantInit(&pageRef);
    V_VT(&pageRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&pageRef) = &page;
    ret = 99;
    EXPECT_EQ(S_OK, ctl->SetIEWindow(pageRef, CComBSTR(L"first"), &ret));
    EXPECT_EQ(0, ret);
    ASSERT_EQ(1, CameraSim::requestEvent(L"byref", 2, 4, GetCurrentProcessId()));
    const DWORD start = GetTickCount();
    while (script->calls.empty() && GetTickCount() - start < 3000)
        CameraSim::pumpMessages(10);
    ASSERT_EQ(1u, script->calls.size());
    EXPECT_EQ((std::vector<std::wstring>{L"4", L"2", L"byref"}), script->calls[0].params);

    window->Release();
    document->Release();
    script->Release();
}

namespace {

// A bridge control with its window and a page whose event function runs
// `reaction` while the bridge waits for it.
struct ReactingPage {
    ReactingPage() {
        script = PageObjects::PageScript::Create(L"onCam");
        document = PageObjects::PageDocument::Create(script);
        window = PageObjects::PageWindow::Create(document);
    }
    ~ReactingPage() {
        window->Release();
        document->Release();
        script->Release();
    }
    VARIANT Page() {
        VARIANT page;
        VariantInit(&page);
        V_VT(&page) = VT_DISPATCH;
        V_DISPATCH(&page) = static_cast<IHTMLWindow2*>(window);
        return page;
    }
    bool WaitForCalls(size_t n) {
        const DWORD start = GetTickCount();
        while (script->calls.size() < n && GetTickCount() - start < 3000)
            CameraSim::pumpMessages(10);
        return script->calls.size() >= n;
    }
    PageObjects::PageScript* script;
    PageObjects::PageDocument* document;
    PageObjects::PageWindow* window;
};

} // namespace

// The page function runs synchronously while the camera delivers its event;
// what it does to the bridge must not leave the bridge using freed objects.
TEST_F(BridgeControl, APageFunctionMayCallTheBridgeOrRemoveItsWindowDuringAnEvent) {
    ReactingPage page;
    HWND wnd = CreateWindowOfControl();
    ASSERT_NE(nullptr, wnd);
    LONG ret = 0;
    ASSERT_EQ(S_OK, ctl->SetIEWindow(page.Page(), CComBSTR(L"onCam"), &ret));
    const DWORD self = GetCurrentProcessId();

    LONG inner = 0;
    page.script->onCall = [&] {
        ctl->SetBufferTick(1, 2, &inner);
        ctl->SetIEWindow(page.Page(), CComBSTR(L"onCam"), &ret);
    };
    ASSERT_EQ(1, CameraSim::requestEvent(L"again", 1, 1, self));
    ASSERT_TRUE(page.WaitForCalls(1));
    EXPECT_EQ(0, inner);

    // Removing the element: the window and the camera go while the camera
    // is still calling the bridge's sink.
    page.script->onCall = [&] { ::DestroyWindow(wnd); };
    ASSERT_EQ(1, CameraSim::requestEvent(L"remove", 1, 1, self));
    ASSERT_TRUE(page.WaitForCalls(2));
    CameraSim::pumpMessages(50);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_TRUE(CameraSim::findSimulators(self).empty());

    // Added again, the element works as before.
    page.script->onCall = nullptr;
    wnd = CreateWindowOfControl();
    ASSERT_NE(nullptr, wnd);
    ASSERT_EQ(1, CameraSim::requestEvent(L"back", 2, 0, self));
    ASSERT_TRUE(page.WaitForCalls(3));
    EXPECT_EQ(L"back", page.script->calls[2].params[2]);
}

TEST(BridgeLifetime, APageFunctionMayReleaseTheControlDuringAnEvent) {
    CameraSim::JournalFile journal;
    ReactingPage page;
    CComObject<CX64ConfigCtrl>* ctl = nullptr;
    ASSERT_EQ(S_OK, CComObject<CX64ConfigCtrl>::CreateInstance(&ctl));
    ctl->AddRef();
    const RECT rc = {0, 0, 160, 120};
    HWND wnd = ctl->Create(testsupport::testTopWindow(), rc, nullptr,
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    ASSERT_NE(nullptr, wnd);
    LONG ret = 0;
    ASSERT_EQ(S_OK, ctl->SetIEWindow(page.Page(), CComBSTR(L"onCam"), &ret));
    // The page drops its element: the window goes and the last reference with it.
    page.script->onCall = [&] {
        ::DestroyWindow(wnd);
        ctl->Release();
        ctl = nullptr;
    };
    ASSERT_EQ(1, CameraSim::requestEvent(L"bye", 1, 0, GetCurrentProcessId()));
    ASSERT_TRUE(page.WaitForCalls(1));
    CameraSim::pumpMessages(100);
    EXPECT_EQ(nullptr, ctl);
    EXPECT_TRUE(CameraSim::findSimulators(GetCurrentProcessId()).empty());
    std::vector<std::wstring> life;
    for (const CameraSim::JournalRecord& record : journal.records())
        if (record.kind == CameraSim::JournalRecord::Kind::Life)
            life.push_back(record.name);
    EXPECT_EQ((std::vector<std::wstring>{L"created", L"activated", L"deactivated", L"destroyed"}),
              life);
}

// A release of the camera whose version operation answers text: the bridge
// passes the text on unchanged instead of formatting a number.
TEST_F(BridgeControl, TheVersionIsReadInTheFormTheInstalledControlDeclares) {
    ASSERT_NE(nullptr, CreateWindowOfControl());
    CComBSTR number;
    EXPECT_EQ(S_OK, ctl->GetCtrlVersion(&number));
    EXPECT_STREQ(L"20100", number.m_str);
    ::DestroyWindow(ctl->m_hWnd);

    CameraSim::SubstituteControl textRelease(CAMSIM_TEXT_VERSION_DLL, CAMSIM_DLL);
    ASSERT_TRUE(textRelease.registered());
    EXPECT_EQ(
        VT_BSTR,
        DescribeRetvalSlot(KavrinControl::kTypeLibId, 1, 0, KavrinControl::kControlIid, 8).type);
    ASSERT_NE(nullptr, CreateWindowOfControl());
    CComBSTR text;
    EXPECT_EQ(S_OK, ctl->GetCtrlVersion(&text));
    EXPECT_STREQ(L"020100", text.m_str);
    CameraSim::failNextCall(8, E_FAIL);
    text.Empty();
    EXPECT_EQ(E_FAIL, ctl->GetCtrlVersion(&text));
    EXPECT_EQ(nullptr, text.m_str);
    ::DestroyWindow(ctl->m_hWnd);
}

TEST(DescribeRetvalSlot, ReadsTheRegisteredLibraryAndAcceptsOnlyTheOneArgumentStdcallForm) {
    using namespace KavrinControl;
    const auto slot = [](WORD major, const IID& iid, unsigned at) {
        const RetvalSlot found = DescribeRetvalSlot(kTypeLibId, major, 0, iid, at);
        return std::make_pair(found.described, found.type);
    };
    EXPECT_EQ(std::make_pair(true, VARTYPE(VT_I4)), slot(1, kControlIid, 8));
    EXPECT_EQ(std::make_pair(true, VARTYPE(VT_BSTR)), slot(1, kControlIid, 22));
    // InitCtrl takes inputs before its output: no one-argument form.
    EXPECT_EQ(std::make_pair(true, VARTYPE(VT_EMPTY)), slot(1, kControlIid, 7));
    EXPECT_EQ(std::make_pair(false, VARTYPE(VT_EMPTY)), slot(1, kControlIid, 99));
    EXPECT_EQ(std::make_pair(false, VARTYPE(VT_EMPTY)), slot(9, kControlIid, 8));
    EXPECT_EQ(std::make_pair(false, VARTYPE(VT_EMPTY)), slot(1, IID_IUnknown, 8));
}

// A type library that declares slot 8 with two parameters, or as cdecl: the
// bridge answers as without a control and never calls the slot.
TEST_F(BridgeControl, AVersionDeclaredInAnotherFormIsNotCalled) {
    for (const CameraSim::VersionSlotForm form :
         {CameraSim::VersionSlotForm::TwoParameters, CameraSim::VersionSlotForm::Cdecl}) {
        SCOPED_TRACE(form == CameraSim::VersionSlotForm::Cdecl ? "cdecl" : "two parameters");
        CameraSim::SubstituteVersionDeclaration declared(form, CAMSIM_DLL);
        ASSERT_TRUE(declared.registered());
        ASSERT_NE(nullptr, CreateWindowOfControl());
        journal.clear();
        CComBSTR text;
        EXPECT_EQ(S_OK, ctl->GetCtrlVersion(&text));
        EXPECT_EQ(nullptr, text.m_str);
        EXPECT_TRUE(CameraSim::callsOf(journal.calls(), 8).empty());
        ::DestroyWindow(ctl->m_hWnd);
    }
}
