// The control-host windows of the platform layer, driven as a plug-in and
// real controls use them: the module's own window classes and messages, the
// host object's creation path, the container interfaces a control sees, focus,
// keys, mouse and painting for windowed and windowless controls, tear-down
// without references left behind, and a control written by someone else
// (Wine's Windows Media Player) hosted as Wine's own ATL host does.
#include "ax_host.h"
#include "com_object.h"
#include "com_ptr.h"
#include "com_types.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>
#include <wmp.h>

#include <string>

#include "support/ole_apartment.h"
#include "support/test_top_window.h"

using namespace ATL;

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool AnyAtlRuntimeLoaded() {
    for (const wchar_t* dll : {L"atl80.dll", L"atl90.dll", L"atl100.dll", L"atl110.dll"})
        if (GetModuleHandleW(dll))
            return true;
    return false;
}

HWND NewHostWindow(const wchar_t* className = kAxWin100.host, const wchar_t* text = nullptr,
                   int width = 200, int height = 100, void* createData = nullptr) {
    return testsupport::childWindow(
        className, width, height, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, text, createData);
}

std::wstring ClsidText(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return text;
}

// The reference count left on an object after dropping ours.
ULONG ReleaseLast(CComPtr<IUnknown>& p) {
    IUnknown* raw = p.Detach();
    return raw ? raw->Release() : 0;
}

// Records the events a control fires at it.
class CEventCounter : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CEventCounter)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID__IProbeControlEvents, IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        ++events;
        lastId = id;
        lastArgs = params ? params->cArgs : 0;
        return S_OK;
    }
    int events = 0;
    DISPID lastId = 0;
    UINT lastArgs = 0;
};

CComVariant Ambient(IUnknown* control, DISPID id, HRESULT* hr = nullptr) {
    CComVariant value;
    CComPtr<IOleObject> ole;
    CComPtr<IOleClientSite> site;
    CComPtr<IDispatch> ambient;
    if (FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole))) ||
        FAILED(ole->GetClientSite(&site)) || !site ||
        FAILED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))))
        return value;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const HRESULT result = ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                           &none, &value, nullptr, nullptr);
    if (hr)
        *hr = result;
    return value;
}

} // namespace

TEST(HostWindowClasses, RegisteredInThisModuleOnceWithTheirMessages) {
    ASSERT_TRUE(AtlAxWinInit());
    EXPECT_TRUE(AtlAxWinInit()) << "a second call changes nothing";
    ASSERT_TRUE(AtlAxWinInit(kAxWin80));
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    for (const wchar_t* name : {L"AtlAxWin100", L"AtlAxWinLic100", L"AtlAxWin80", L"AtlAxWinLic80"})
        EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), name, &info)) << name;
    EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETHOST"), AxWinGetHostMessage());
    EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETCONTROL"), AxWinGetControlMessage());
    EXPECT_NE(AxWinGetHostMessage(), AxWinGetControlMessage());
    EXPECT_FALSE(AnyAtlRuntimeLoaded());

    // Unloading unregisters them; a class whose window is still open stays.
    HWND open = NewHostWindow();
    ASSERT_NE(nullptr, open);
    AtlAxWinTerm();
    EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWin100", &info));
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWinLic100", &info));
    DestroyWindow(open);
    AtlAxWinTerm();
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWin100", &info));
    EXPECT_TRUE(AtlAxWinInit());
    EXPECT_TRUE(AtlAxWinInit(kAxWin80));
}

TEST(HostWindow, AnswersWithItsHostBeforeAControlAndCreatesTheControlThroughIt) {
    ASSERT_TRUE(AtlAxWinInit());
    HWND host = NewHostWindow();
    ASSERT_NE(nullptr, host);
    auto* answered = reinterpret_cast<IUnknown*>(SendMessageW(host, AxWinGetHostMessage(), 0, 0));
    ASSERT_NE(nullptr, answered) << "the host object exists from the window's creation on";
    CComPtr<IUnknown> hostObject;
    ASSERT_EQ(S_OK, AtlAxGetHost(host, &hostObject));
    EXPECT_TRUE(hostObject.IsEqualObject(answered));
    CComPtr<IAxWinHostWindow> axHost;
    ASSERT_EQ(S_OK,
              answered->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&axHost)));
    EXPECT_EQ(0, SendMessageW(host, AxWinGetControlMessage(), 0, 0));
    CComPtr<IUnknown> none;
    EXPECT_EQ(E_FAIL, AtlAxGetControl(host, &none));

    // The plug-in's path: the window's host creates the control and is its site.
    CComPtr<IUnknown> control;
    ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Control", &control));
    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, control.QueryInterface(&ole));
    CComPtr<IOleClientSite> site;
    ASSERT_EQ(S_OK, ole->GetClientSite(&site));
    EXPECT_TRUE(hostObject.IsEqualObject(site));
    CComPtr<IUnknown> fromWindow;
    ASSERT_EQ(S_OK, AtlAxGetControl(host, &fromWindow));
    EXPECT_TRUE(control.IsEqualObject(fromWindow));
    CComPtr<IProbeControl> queried;
    EXPECT_EQ(S_OK, axHost->QueryControl(IID_IProbeControl, reinterpret_cast<void**>(&queried)));
    EXPECT_NE(nullptr, queried.p);

    // Tear-down: deactivated, closed, unsited; nothing else holds the control
    // or the host.
    queried.Release();
    fromWindow.Release();
    site.Release();
    ole.Release();
    axHost.Release();
    DestroyWindow(host);
    Pump();
    EXPECT_EQ(0u, ReleaseLast(hostObject));
    EXPECT_EQ(0u, ReleaseLast(control));
}

TEST(HostWindow, WindowTextNamesTheControlAsProgIdOrClsid) {
    ASSERT_TRUE(AtlAxWinInit());
    const std::wstring braced = ClsidText(CLSID_ProbeControl);
    const std::wstring bare = braced.substr(1, braced.size() - 2);
    for (const std::wstring& name : {std::wstring(L"OrvelaProbe.Control"), braced, bare}) {
        HWND host = NewHostWindow(kAxWin100.host, name.c_str());
        ASSERT_NE(nullptr, host) << name;
        CComPtr<IUnknown> control;
        EXPECT_EQ(S_OK, AtlAxGetControl(host, &control)) << name;
        CComPtr<IProbeControl> probe;
        EXPECT_EQ(S_OK, control.QueryInterface(&probe)) << name;
        long window = 0;
        EXPECT_EQ(S_OK, probe->get_Window(&window));
        EXPECT_EQ(host, GetParent(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window))));
        probe.Release();
        control.Release();
        DestroyWindow(host);
    }
    // A name that is no control fails the window's creation; so does a
    // license key for a control that takes none.
    EXPECT_EQ(nullptr, NewHostWindow(kAxWin100.host, L"Orvela.NoSuchControl"));
    wchar_t license[] = L"key";
    EXPECT_EQ(nullptr,
              NewHostWindow(kAxWin100.licensed, L"OrvelaProbe.Control", 200, 100, license));
    HWND unlicensed = NewHostWindow(kAxWin100.licensed, L"OrvelaProbe.Control");
    EXPECT_NE(nullptr, unlicensed);
    DestroyWindow(unlicensed);
    Pump();
}

TEST(HostWindow, WindowedControlFollowsTheWindowAndGetsFocusAndKeys) {
    ASSERT_TRUE(AtlAxWinInit(kAxWin80));
    HWND host = NewHostWindow(kAxWin80.host, nullptr, 300, 200);
    ASSERT_NE(nullptr, host);
    CComPtr<IUnknown> control;
    ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Control", &control));
    CComPtr<IProbeControl> probe;
    ASSERT_EQ(S_OK, control.QueryInterface(&probe));
    long window = 0;
    ASSERT_EQ(S_OK, probe->get_Window(&window));
    HWND own = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    ASSERT_TRUE(IsWindowVisible(own));
    RECT rc;
    GetClientRect(own, &rc);
    EXPECT_EQ(300, rc.right);
    EXPECT_EQ(200, rc.bottom);

    SetWindowPos(host, nullptr, 0, 0, 160, 90, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    GetClientRect(own, &rc);
    EXPECT_EQ(160, rc.right);
    EXPECT_EQ(90, rc.bottom);
    SIZEL extent = {};
    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, control.QueryInterface(&ole));
    ASSERT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &extent));
    EXPECT_NEAR(MulDiv(160, 2540, 96), extent.cx, 40) << "HIMETRIC, not pixels";

    // Focus given to the host window goes to the control's own window.
    SetFocus(host);
    EXPECT_EQ(own, GetFocus());
    PostMessageW(GetFocus(), WM_KEYDOWN, 'A', 0);
    Pump();
    long keys = 0;
    EXPECT_EQ(S_OK, probe->get_Keys(&keys));
    EXPECT_EQ(1, keys);

    // A container offers keys to the control's accelerators through the host.
    MSG f5 = {own, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
    MSG f6 = {own, WM_KEYDOWN, VK_F6, 0, 0, {0, 0}};
    EXPECT_EQ(TRUE, SendMessageW(host, 0x037F, 0, reinterpret_cast<LPARAM>(&f5)));
    EXPECT_EQ(FALSE, SendMessageW(host, 0x037F, 0, reinterpret_cast<LPARAM>(&f6)));

    probe.Release();
    ole.Release();
    DestroyWindow(host);
    Pump();
    EXPECT_FALSE(IsWindow(own));
    EXPECT_EQ(0u, ReleaseLast(control));
}

TEST(HostWindow, SiteOffersTheContainerInterfacesAndAmbientProperties) {
    ASSERT_TRUE(AtlAxWinInit());
    HWND host = NewHostWindow();
    ASSERT_NE(nullptr, host);
    CComPtr<IUnknown> control;
    ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Control", &control));
    CComPtr<IUnknown> site;
    ASSERT_EQ(S_OK, AtlAxGetHost(host, &site));
    EXPECT_TRUE(CComQIPtr<IOleInPlaceSiteWindowless>(site.p));
    EXPECT_TRUE(CComQIPtr<IOleControlSite>(site.p));
    EXPECT_TRUE(CComQIPtr<IAdviseSinkEx>(site.p));
    CComQIPtr<IOleClientSite> client(site.p);
    ASSERT_TRUE(client);
    CComPtr<IOleContainer> container;
    EXPECT_EQ(S_OK, client->GetContainer(&container));
    CComQIPtr<IOleInPlaceSite> inPlace(site.p);
    ASSERT_TRUE(inPlace);
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> doc;
    RECT pos = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    ASSERT_EQ(S_OK, inPlace->GetWindowContext(&frame, &doc, &pos, &clip, &frameInfo));
    EXPECT_NE(nullptr, frame.p);
    EXPECT_EQ(200, pos.right);
    EXPECT_EQ(testsupport::testTopWindow(), frameInfo.hwndFrame);
    EXPECT_EQ(E_POINTER, inPlace->GetWindowContext(nullptr, &doc, &pos, &clip, &frameInfo));

    EXPECT_EQ(VARIANT_TRUE, Ambient(control, DISPID_AMBIENT_USERMODE).boolVal);
    EXPECT_EQ(VARIANT_FALSE, Ambient(control, DISPID_AMBIENT_UIDEAD).boolVal);
    EXPECT_EQ(VARIANT_FALSE, Ambient(control, DISPID_AMBIENT_SHOWGRABHANDLES).boolVal);
    EXPECT_EQ(VARIANT_FALSE, Ambient(control, DISPID_AMBIENT_SHOWHATCHING).boolVal);
    EXPECT_EQ(VARIANT_TRUE, Ambient(control, DISPID_AMBIENT_MESSAGEREFLECT).boolVal);
    const CComVariant name = Ambient(control, DISPID_AMBIENT_DISPLAYNAME);
    ASSERT_EQ(VT_BSTR, name.vt);
    EXPECT_STREQ(L"OrvelaProbe.Control", name.bstrVal);
    const CComVariant font = Ambient(control, DISPID_AMBIENT_FONT);
    ASSERT_EQ(VT_DISPATCH, font.vt);
    EXPECT_TRUE(CComQIPtr<IFont>(font.pdispVal));
    EXPECT_EQ(VT_I4, Ambient(control, DISPID_AMBIENT_FORECOLOR).vt);
    EXPECT_EQ(VT_I4, Ambient(control, DISPID_AMBIENT_BACKCOLOR).vt);
    EXPECT_EQ(static_cast<LONG>(GetUserDefaultLCID()),
              Ambient(control, DISPID_AMBIENT_LOCALEID).lVal);
    HRESULT hr = S_OK;
    EXPECT_EQ(VT_EMPTY, Ambient(control, 12345, &hr).vt);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, hr);
    CComQIPtr<IDispatch> ambient(site.p);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(E_INVALIDARG,
              ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                              nullptr, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none,
                              nullptr, nullptr, nullptr));

    // Services come from the site the container gives the host.
    CComQIPtr<IServiceProvider> services(site.p);
    ASSERT_TRUE(services);
    CComPtr<IUnknown> service;
    EXPECT_EQ(E_NOINTERFACE, services->QueryService(IID_IUnknown, IID_IUnknown,
                                                    reinterpret_cast<void**>(&service)));
    EXPECT_EQ(E_POINTER, services->QueryService(IID_IUnknown, IID_IUnknown, nullptr));
    CComQIPtr<IObjectWithSite> withSite(site.p);
    ASSERT_TRUE(withSite);
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, reinterpret_cast<void**>(&service)));
    ASSERT_EQ(S_OK, withSite->SetSite(site));
    EXPECT_EQ(S_OK, withSite->GetSite(IID_IUnknown, reinterpret_cast<void**>(&service)));
    EXPECT_TRUE(site.IsEqualObject(service));
    service.Release();
    withSite->SetSite(nullptr);

    client.Release();
    container.Release();
    inPlace.Release();
    frame.Release();
    withSite.Release();
    services.Release();
    ambient.Release();
    DestroyWindow(host);
    Pump();
    EXPECT_EQ(0u, ReleaseLast(site));
    EXPECT_EQ(0u, ReleaseLast(control));
}

TEST(HostWindow, WindowlessControlIsDrawnAndGetsMouseAndKeys) {
    ASSERT_TRUE(AtlAxWinInit());
    HWND host = NewHostWindow(kAxWin100.host, nullptr, 200, 100);
    ASSERT_NE(nullptr, host);
    CComPtr<IUnknown> control;
    ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Windowless", &control));
    CComPtr<IProbeControl> probe;
    ASSERT_EQ(S_OK, control.QueryInterface(&probe));
    VARIANT_BOOL windowless = VARIANT_FALSE;
    ASSERT_EQ(S_OK, probe->get_Windowless(&windowless));
    EXPECT_EQ(VARIANT_TRUE, windowless);
    EXPECT_EQ(nullptr, GetWindow(host, GW_CHILD));

    // Painted by the host through the control's view.
    InvalidateRect(host, nullptr, TRUE);
    UpdateWindow(host);
    HDC dc = GetDC(host);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 5, 5));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 195, 95));
    ReleaseDC(host, dc);

    SendMessageW(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    SendMessageW(host, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    PostMessageW(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 40));
    SendMessageW(host, WM_KEYDOWN, 'Q', 0);
    Pump();
    long clicks = 0, keys = 0;
    EXPECT_EQ(S_OK, probe->get_Clicks(&clicks));
    EXPECT_EQ(S_OK, probe->get_Keys(&keys));
    EXPECT_EQ(2, clicks);
    EXPECT_EQ(1, keys);

    // It is drawn at the new size after a resize.
    SetWindowPos(host, nullptr, 0, 0, 240, 120, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(host);
    dc = GetDC(host);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 235, 115));
    ReleaseDC(host, dc);

    probe.Release();
    DestroyWindow(host);
    Pump();
    EXPECT_EQ(0u, ReleaseLast(control));
}

TEST(AnyWindow, AtlAxCreateControlExSubclassesItAndConnectsTheSink) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelaPlainWindow";
    RegisterClassW(&wc);
    HWND plain =
        testsupport::childWindow(wc.lpszClassName, 120, 80, WS_CHILD | WS_VISIBLE, 0, 0, L"keep");
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(0, SendMessageW(plain, AxWinGetHostMessage(), 0, 0));

    CComObject<CEventCounter>* counter = nullptr;
    ASSERT_EQ(S_OK, CComObject<CEventCounter>::CreateInstance(&counter));
    CComPtr<IUnknown> sink(counter->GetUnknown());
    CComPtr<IUnknown> container, control;
    ASSERT_EQ(S_OK, AtlAxCreateControlEx(L"OrvelaProbe.Control", plain, nullptr, &container,
                                         &control, DIID__IProbeControlEvents, sink));
    CComPtr<IUnknown> fromWindow;
    ASSERT_EQ(S_OK, AtlAxGetHost(plain, &fromWindow));
    EXPECT_TRUE(container.IsEqualObject(fromWindow));
    fromWindow.Release();
    wchar_t text[8] = {};
    GetWindowTextW(plain, text, 8);
    EXPECT_STREQ(L"keep", text) << "the window's own procedure still runs";

    CComPtr<IProbeControl> probe;
    ASSERT_EQ(S_OK, control.QueryInterface(&probe));
    ASSERT_EQ(S_OK, probe->RaiseOther(7));
    EXPECT_EQ(1, counter->events);
    EXPECT_EQ(2, counter->lastId);

    // A second control replaces the first, whose sink is disconnected.
    CComPtr<IUnknown> second;
    CComPtr<IAxWinHostWindow> axHost;
    ASSERT_EQ(S_OK, container.QueryInterface(&axHost));
    ASSERT_EQ(S_OK, axHost->CreateControlEx(L"OrvelaProbe.Control", plain, nullptr, &second,
                                            IID_NULL, nullptr));
    EXPECT_FALSE(second.IsEqualObject(control));
    ASSERT_EQ(S_OK, probe->RaiseOther(8));
    EXPECT_EQ(1, counter->events);
    probe.Release();
    EXPECT_EQ(0u, ReleaseLast(control)) << "the replaced control was let go";

    // An initialised control attached to another window.
    HWND other = testsupport::childWindow(wc.lpszClassName, 50, 50);
    CComPtr<IUnknown> made;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ProbeControl, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, reinterpret_cast<void**>(&made)));
    CComPtr<IPersistStreamInit> init;
    ASSERT_EQ(S_OK, made.QueryInterface(&init));
    ASSERT_EQ(S_OK, init->InitNew());
    init.Release();
    CComPtr<IUnknown> otherContainer;
    ASSERT_EQ(S_OK, AtlAxAttachControl(made, other, &otherContainer));
    CComPtr<IProbeControl> attached;
    ASSERT_EQ(S_OK, made.QueryInterface(&attached));
    long window = 0;
    EXPECT_EQ(S_OK, attached->get_Window(&window));
    EXPECT_EQ(other, GetParent(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window))));
    attached.Release();

    EXPECT_EQ(E_INVALIDARG, AtlAxCreateControlEx(L"OrvelaProbe.Control", nullptr, nullptr, nullptr,
                                                 nullptr, IID_NULL, nullptr));
    EXPECT_EQ(E_POINTER, AtlAxGetHost(plain, nullptr));
    EXPECT_EQ(E_POINTER, CreateControlInHostWindow(plain, L"OrvelaProbe.Control", nullptr));

    axHost.Release();
    DestroyWindow(plain);
    DestroyWindow(other);
    Pump();
    EXPECT_EQ(0u, ReleaseLast(second));
    EXPECT_EQ(0u, ReleaseLast(made));
    EXPECT_EQ(0u, ReleaseLast(container));
    EXPECT_EQ(0u, ReleaseLast(otherContainer));
    EXPECT_EQ(0u, ReleaseLast(sink)) << "the sink was disconnected and let go";
}

namespace {

// A host object as a control-host window of Windows' ATL answers to
// "WM_ATLGETHOST": it records the request and hands back a marker object.
class CFakeHost : public CComObjectRootEx<CComSingleThreadModel>, public IAxWinHostWindow {
public:
    BEGIN_COM_MAP(CFakeHost)
    COM_INTERFACE_ENTRY_IID(IID_IAxWinHostWindow, IAxWinHostWindow)
    END_COM_MAP()
    STDMETHOD(CreateControl)(LPCOLESTR, HWND, IStream*) override { return E_NOTIMPL; }
    STDMETHOD(CreateControlEx)
    (LPCOLESTR name, HWND hWnd, IStream* stream, IUnknown** control, REFIID adviseIid,
     IUnknown* sink) override {
        requested = name;
        window = hWnd;
        plainRequest = !stream && InlineIsEqualGUID(adviseIid, IID_NULL) && !sink;
        *control = GetUnknown();
        (*control)->AddRef();
        return S_OK;
    }
    STDMETHOD(AttachControl)(IUnknown*, HWND) override { return E_NOTIMPL; }
    STDMETHOD(QueryControl)(REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(SetExternalDispatch)(IDispatch*) override { return E_NOTIMPL; }
    STDMETHOD(SetExternalUIHandler)(IUnknown*) override { return E_NOTIMPL; }

    std::wstring requested;
    HWND window = nullptr;
    bool plainRequest = false;
};

IUnknown* g_hostAnswer = nullptr;

LRESULT CALLBACK AnsweringHostProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == AxWinGetHostMessage())
        return reinterpret_cast<LRESULT>(g_hostAnswer);
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace

TEST(AnyWindow, AWindowThatAnswersWithAHostCreatesThroughThatHost) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = AnsweringHostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelaAnsweringHost";
    RegisterClassW(&wc);
    HWND wnd = testsupport::childWindow(wc.lpszClassName, 50, 50, WS_CHILD);
    ASSERT_NE(nullptr, wnd);

    CComObject<CFakeHost>* host = nullptr;
    ASSERT_EQ(S_OK, CComObject<CFakeHost>::CreateInstance(&host));
    CComPtr<IUnknown> keep(host->GetUnknown());
    g_hostAnswer = host->GetUnknown();
    CComPtr<IUnknown> control;
    EXPECT_EQ(S_OK, CreateControlInHostWindow(wnd, L"Some.Control", &control));
    EXPECT_EQ(L"Some.Control", host->requested);
    EXPECT_EQ(wnd, host->window);
    EXPECT_TRUE(host->plainRequest);
    EXPECT_EQ(host->GetUnknown(), control.p);

    // A host without IAxWinHostWindow: a host of ours takes the window over.
    CComPtr<IStream> notAHost;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &notAHost));
    g_hostAnswer = notAHost;
    control.Release();
    EXPECT_EQ(S_OK, CreateControlInHostWindow(wnd, L"OrvelaProbe.Control", &control));
    CComPtr<IProbeControl> probe;
    EXPECT_EQ(S_OK, control.QueryInterface(&probe));
    g_hostAnswer = nullptr;
    probe.Release();
    DestroyWindow(wnd);
    Pump();
    EXPECT_EQ(0u, ReleaseLast(control));
}

namespace {

// What a test can see of a hosted control, the same for any host.
struct Observed {
    HRESULT created = E_FAIL;
    bool childWindow = false;
    bool childVisible = false;
    HRESULT scripted = E_FAIL;
    VARTYPE scriptedType = VT_EMPTY;
    ULONG referencesAfterDestroy = 99;
};

// mingw's wmp.h declares the identity without a library that defines it.
const IID kIWMPCore = {
    0xD84CCA99, 0xCCE2, 0x11D2, {0x9E, 0xCC, 0x00, 0x00, 0xF8, 0x08, 0x59, 0x81}};

// Wine's player answers no IDispatch calls (its GetIDsOfNames is not
// implemented), so script-like use goes through its dual interface IWMPCore.
void ObserveScripting(IUnknown* control, Observed& seen) {
    CComPtr<IWMPCore> player;
    seen.scripted = control->QueryInterface(kIWMPCore, reinterpret_cast<void**>(&player));
    if (FAILED(seen.scripted))
        return;
    CComBSTR version;
    seen.scripted = player->get_versionInfo(&version);
    seen.scriptedType = version.Length() > 0 ? VT_BSTR : VT_EMPTY;
}

void ObserveWindow(HWND host, Observed& seen) {
    Pump();
    HWND child = GetWindow(host, GW_CHILD);
    seen.childWindow = child != nullptr;
    seen.childVisible = child && IsWindowVisible(child);
}

const wchar_t kMediaPlayer[] = L"WMPlayer.OCX";

} // namespace

TEST(ForeignControl, MediaPlayerBehavesInOurHostAsInWinesAtlHost) {
    ASSERT_TRUE(AtlAxWinInit());
    Observed ours;
    {
        HWND host = NewHostWindow(kAxWin100.host, nullptr, 320, 240);
        ASSERT_NE(nullptr, host);
        CComPtr<IUnknown> control;
        ours.created = CreateControlInHostWindow(host, kMediaPlayer, &control);
        ASSERT_EQ(S_OK, ours.created);
        ObserveWindow(host, ours);
        ObserveScripting(control, ours);
        EXPECT_FALSE(AnyAtlRuntimeLoaded());
        DestroyWindow(host);
        Pump();
        ours.referencesAfterDestroy = ReleaseLast(control);
    }
    EXPECT_TRUE(ours.childWindow);
    EXPECT_TRUE(ours.childVisible);
    EXPECT_EQ(S_OK, ours.scripted);
    EXPECT_EQ(VT_BSTR, ours.scriptedType);
    EXPECT_EQ(0u, ours.referencesAfterDestroy);

    HMODULE atl = LoadLibraryW(L"atl100.dll");
    if (!atl)
        GTEST_SKIP() << "Wine's atl100.dll is not available for the comparison";
    using InitFn = BOOL(WINAPI*)();
    using CreateFn =
        HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**, REFIID, IUnknown*);
    auto init =
        reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    auto create = reinterpret_cast<CreateFn>(
        reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxCreateControlEx")));
    ASSERT_TRUE(init && create);
    init();
    Observed wines;
    {
        // Wine's host takes over any window, as ours does.
        HWND host = testsupport::childWindow(L"Static", 320, 240);
        ASSERT_NE(nullptr, host);
        CComPtr<IUnknown> control;
        wines.created = create(kMediaPlayer, host, nullptr, nullptr, &control, IID_NULL, nullptr);
        ASSERT_EQ(S_OK, wines.created);
        ObserveWindow(host, wines);
        ObserveScripting(control, wines);
        DestroyWindow(host);
        Pump();
        wines.referencesAfterDestroy = ReleaseLast(control);
    }
    EXPECT_EQ(wines.created, ours.created);
    EXPECT_EQ(wines.childWindow, ours.childWindow);
    EXPECT_EQ(wines.childVisible, ours.childVisible);
    EXPECT_EQ(wines.scripted, ours.scripted);
    EXPECT_EQ(wines.scriptedType, ours.scriptedType);
    EXPECT_EQ(wines.referencesAfterDestroy, ours.referencesAfterDestroy);
}
