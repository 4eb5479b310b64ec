// The probe servers, registered in the prefix, driven as COM clients do:
// in-process class-object rules, a control hosted in an "AtlAxWin100" window
// with its events reaching layer sinks, and the local server in another process.
#include "ax_host.h"
#include "com_object.h"
#include "com_ptr.h"
#include "com_types.h"
#include "disp_event.h"
#include "probe.h"
#include "probe_server.h"

#include <gtest/gtest.h>

#include <objsafe.h>
#include <ocidl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include "support/ole_apartment.h"
#include "support/registry_tree.h"
#include "support/run_program.h"
#include "support/test_top_window.h"

using namespace ATL;

namespace {

std::wstring ProbeDllPath() {
    HKEY key = nullptr;
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT,
                      L"CLSID\\{13D3EE89-EB58-4824-B2D4-9E0E540D7735}\\InprocServer32", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
    }
    return path;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

TEST(InprocServer, ClassObjectRulesAndLockCount) {
    const std::wstring path = ProbeDllPath();
    ASSERT_FALSE(path.empty()) << "probe server not registered";
    HMODULE dll = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, dll);
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();
    using LockCountFn = LONG(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto canUnload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    auto lockCount = reinterpret_cast<LockCountFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "ProbeLockCount")));
    ASSERT_TRUE(getClassObject && canUnload && lockCount);

    EXPECT_EQ(E_POINTER, getClassObject(CLSID_ProbeObject, IID_IClassFactory, nullptr));
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IStream, IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);

    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_ProbeObject, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
    // The same cached factory every time; while a client holds it the module stays.
    CComPtr<IClassFactory> again;
    ASSERT_EQ(S_OK, getClassObject(CLSID_ProbeObject, IID_IClassFactory,
                                   reinterpret_cast<void**>(&again)));
    EXPECT_EQ(factory.p, again.p);
    EXPECT_EQ(S_FALSE, canUnload());
    again.Release();
    const LONG base = lockCount();

    CComPtr<IProbeObject> obj;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IProbeObject, reinterpret_cast<void**>(&obj)));
    EXPECT_EQ(base + 1, lockCount());
    long sum = 0;
    EXPECT_EQ(S_OK, obj->Add(2, 3, &sum));
    EXPECT_EQ(5, sum);

    int outer = 0; // never called: the request is refused first
    void* agg = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IProbeObject, &agg));

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(base + 2, lockCount());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    obj.Release();
    EXPECT_EQ(base, lockCount());

    // A failing method reports its message through ISupportErrorInfo.
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IProbeObject, reinterpret_cast<void**>(&obj)));
    const HRESULT hr = obj->Fail(CComBSTR(L"lens cap on"));
    try {
        _com_issue_errorex(hr, obj, IID_IProbeObject);
        FAIL();
    } catch (const _com_error& e) {
        EXPECT_EQ(E_FAIL, e.Error());
        EXPECT_STREQ(L"lens cap on", static_cast<const wchar_t*>(e.Description()));
    }
    obj.Release();
    factory.Release();
    EXPECT_EQ(S_OK, canUnload());
}

namespace {

// What the sinks below were called with; each kind's handlers record here.
struct Recorded {
    int calls = 0;
    std::wstring text;
    long type = 0, subtype = 0;
    int others = 0;
    long otherValue = 0;
    int wide = 0;

    HRESULT ctrlEvent(BSTR eventText, long eventType, long eventSubtype) {
        ++calls;
        text.assign(eventText ? eventText : L"", SysStringLen(eventText));
        type = eventType;
        subtype = eventSubtype;
        return S_OK;
    }
    HRESULT other(long value) {
        ++others;
        otherValue = value;
        return S_OK;
    }
};

class CTypeLibSink : public IDispEventImpl<0, CTypeLibSink, &DIID__IProbeControlEvents,
                                           &LIBID_OrvelaProbeLib, 1, 0> {
public:
    BEGIN_SINK_MAP(CTypeLibSink)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 1, OnCtrlEvent)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 2, OnOther)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 3, OnWide)
    END_SINK_MAP()

    HRESULT __stdcall OnCtrlEvent(BSTR text, long type, long subtype) {
        return seen.ctrlEvent(text, type, subtype);
    }
    HRESULT __stdcall OnOther(long value) { return seen.other(value); }
    HRESULT __stdcall OnWide(long, long, long, long, long, long, long, long, long) {
        ++seen.wide;
        return S_OK;
    }
    Recorded seen;
};

const _ATL_FUNC_INFO kCtrlEventInfo = {CC_STDCALL, VT_ERROR, 3, {VT_BSTR, VT_I4, VT_I4}};

// The second kind keeps its own type information, so it first meets the
// type library when it is no longer registered.
class CFallbackSink : public IDispEventImpl<0, CFallbackSink, &DIID__IProbeControlEvents,
                                            &LIBID_OrvelaProbeLib, 1, 0> {
public:
    BEGIN_SINK_MAP(CFallbackSink)
    SINK_ENTRY_FALLBACK(0, DIID__IProbeControlEvents, 1, OnCtrlEvent, &kCtrlEventInfo)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 2, OnOther)
    END_SINK_MAP()

    virtual HRESULT __stdcall OnCtrlEvent(BSTR text, long type, long subtype) {
        return seen.ctrlEvent(text, type, subtype);
    }
    HRESULT __stdcall OnOther(long value) { return seen.other(value); }
    Recorded seen;
};

class HostedControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AtlAxWinInit());
        host = testsupport::childWindow(kAxWin100.host, 400, 300,
                                        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 20);
        ASSERT_NE(nullptr, host);
        ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Control", &unk));
        ASSERT_EQ(S_OK, unk.QueryInterface(&ctl));
        Pump();
    }
    void TearDown() override {
        ctl.Release();
        unk.Release();
        if (host)
            DestroyWindow(host);
        Pump();
    }
    HWND ControlWindow() {
        long hwnd = 0;
        EXPECT_EQ(S_OK, ctl->get_Window(&hwnd));
        return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
    }

    HWND host = nullptr;
    CComPtr<IUnknown> unk;
    CComPtr<IProbeControl> ctl;
};

} // namespace

TEST_F(HostedControl, InPlaceActiveWithItsOwnWindow) {
    HWND wnd = ControlWindow();
    ASSERT_NE(nullptr, wnd);
    EXPECT_EQ(host, GetParent(wnd));
    EXPECT_TRUE(IsWindowVisible(wnd));
    RECT rc;
    GetClientRect(wnd, &rc);
    EXPECT_EQ(400, rc.right);
    EXPECT_EQ(300, rc.bottom);
    UpdateWindow(wnd);
    HDC dc = GetDC(wnd);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 5, 5));
    ReleaseDC(wnd, dc);

    CComPtr<IUnknown> fromHost;
    EXPECT_EQ(S_OK, AtlAxGetControl(host, &fromHost));
    EXPECT_TRUE(CComPtr<IUnknown>(unk).IsEqualObject(fromHost));

    // Resizing the host reaches the control through SetObjectRects.
    SetWindowPos(host, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    GetClientRect(wnd, &rc);
    EXPECT_EQ(300, rc.right);
    EXPECT_EQ(200, rc.bottom);

    // The container closes the control with its window; the control's goes too.
    DestroyWindow(host);
    host = nullptr;
    Pump();
    EXPECT_FALSE(IsWindow(wnd));
}

TEST_F(HostedControl, EmbeddingInterfacesAnswerAsContainersExpect) {
    CComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(S_OK, unk.QueryInterface(&info));
    GUID source = GUID_NULL;
    EXPECT_EQ(S_OK, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(InlineIsEqualGUID(source, DIID__IProbeControlEvents));
    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, info->GetClassInfo(&coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_TRUE(InlineIsEqualGUID(attr->guid, CLSID_ProbeControl));
    coclass->ReleaseTypeAttr(attr);

    CComPtr<IObjectSafety> safety;
    ASSERT_EQ(S_OK, unk.QueryInterface(&safety));
    DWORD supported = 9, enabled = 9;
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(DWORD(INTERFACESAFE_FOR_UNTRUSTED_CALLER), supported);
    EXPECT_EQ(0u, enabled);
    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4));
    EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IStream, 1, 1));
    EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IStream, &supported, &enabled));
    EXPECT_EQ(0u, supported);
    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(1u, enabled);

    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, unk.QueryInterface(&ole));
    DWORD misc = 0;
    EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &misc));
    EXPECT_EQ(131473u, misc);

    // The extent survives a save and load through a stream.
    CComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, unk.QueryInterface(&persist));
    SIZEL size = {1234, 5678};
    EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &size));
    CComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    EXPECT_EQ(S_OK, persist->Save(stream, TRUE));
    size = {1, 1};
    EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &size));
    const LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(S_OK, persist->Load(stream));
    EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(1234, size.cx);
    EXPECT_EQ(5678, size.cy);

    CComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(S_OK, unk.QueryInterface(&withSite));
    CComPtr<IStream> site;
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IStream, reinterpret_cast<void**>(&site)));
    EXPECT_EQ(S_OK, withSite->SetSite(stream));
    EXPECT_EQ(S_OK, withSite->GetSite(IID_IStream, reinterpret_cast<void**>(&site)));
    EXPECT_EQ(stream.p, site.p);
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));

    CComPtr<IOleInPlaceObject> inplace;
    ASSERT_EQ(S_OK, unk.QueryInterface(&inplace));
    HWND wnd = nullptr;
    EXPECT_EQ(S_OK, inplace->GetWindow(&wnd));
    EXPECT_EQ(ControlWindow(), wnd);

    CComPtr<IOleInPlaceActiveObject> active;
    ASSERT_EQ(S_OK, unk.QueryInterface(&active));
    MSG key = {wnd, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
    EXPECT_EQ(S_OK, active->TranslateAccelerator(&key));
    key.wParam = VK_F6;
    EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&key));
    // A failing hook and a missing message are answered, not thrown or followed.
    key.wParam = VK_F7;
    EXPECT_EQ(E_FAIL, active->TranslateAccelerator(&key));
    EXPECT_EQ(E_POINTER, active->TranslateAccelerator(nullptr));

    CComPtr<IQuickActivate> quick;
    ASSERT_EQ(S_OK, unk.QueryInterface(&quick));
    QACONTAINER container = {};
    container.cbSize = sizeof(container);
    QACONTROL answer = {};
    answer.cbSize = sizeof(answer);
    EXPECT_EQ(S_OK, quick->QuickActivate(&container, &answer));
    EXPECT_EQ(131473u, answer.dwMiscStatus);
    answer.cbSize = 4;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&container, &answer));

    // Hiding by verb hides the control's window.
    EXPECT_EQ(S_OK, ole->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(IsWindowVisible(wnd));
}

TEST_F(HostedControl, EventsReachTheSinkInDeclarationOrder) {
    CTypeLibSink sink;
    EXPECT_EQ(kNotConnected, sink.m_dwEventCookie);
    ASSERT_EQ(S_OK, sink.DispEventAdvise(ctl));
    EXPECT_NE(kNotConnected, sink.m_dwEventCookie);

    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"abc"), 3, 7));
    EXPECT_EQ(1, sink.seen.calls);
    EXPECT_EQ(L"abc", sink.seen.text);
    EXPECT_EQ(3, sink.seen.type);
    EXPECT_EQ(7, sink.seen.subtype);

    ASSERT_EQ(S_OK, ctl->RaiseOther(-5));
    EXPECT_EQ(1, sink.seen.others);
    EXPECT_EQ(-5, sink.seen.otherValue);

    // More than eight parameters are refused; the handler never runs.
    ASSERT_EQ(S_OK, ctl->RaiseWide());
    EXPECT_EQ(0, sink.seen.wide);
    VARIANT nine[9];
    for (VARIANT& v : nine) {
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = 1;
    }
    DISPPARAMS wide = {nine, nullptr, 9, 0};
    EXPECT_EQ(E_FAIL,
              sink.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &wide, nullptr, nullptr, nullptr));

    // Unknown DISPIDs are accepted and ignored; a wrong value type is converted.
    EXPECT_EQ(S_OK,
              sink.Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &wide, nullptr, nullptr, nullptr));
    CComVariant args[3];
    args[2] = CComVariant(L"xyz");
    args[1] = CComVariant(L"12");
    args[0] = CComVariant(true);
    DISPPARAMS three = {args, nullptr, 3, 0};
    EXPECT_EQ(S_OK,
              sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &three, nullptr, nullptr, nullptr));
    EXPECT_EQ(L"xyz", sink.seen.text);
    EXPECT_EQ(12, sink.seen.type);
    EXPECT_EQ(-1, sink.seen.subtype);
    // Values passed by reference reach the handler as values.
    BSTR byRefText = SysAllocString(L"by ref");
    LONG byRefType = 5;
    VARIANT refs[3];
    refs[2].vt = VT_BSTR | VT_BYREF;
    refs[2].pbstrVal = &byRefText;
    refs[1].vt = VT_I4 | VT_BYREF;
    refs[1].plVal = &byRefType;
    refs[0].vt = VT_I4;
    refs[0].lVal = 6;
    DISPPARAMS byRef = {refs, nullptr, 3, 0};
    EXPECT_EQ(S_OK,
              sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &byRef, nullptr, nullptr, nullptr));
    EXPECT_EQ(L"by ref", sink.seen.text);
    EXPECT_EQ(5, sink.seen.type);
    EXPECT_EQ(6, sink.seen.subtype);
    SysFreeString(byRefText);
    // A value that cannot become the described type is refused, not passed on.
    CComVariant notANumber[3];
    notANumber[2] = CComVariant(L"t");
    notANumber[1] = CComVariant(L"seven");
    notANumber[0] = CComVariant(1L);
    DISPPARAMS bad = {notANumber, nullptr, 3, 0};
    const int delivered = sink.seen.calls;
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &bad, nullptr, nullptr, nullptr));
    EXPECT_EQ(delivered, sink.seen.calls);
    DISPPARAMS tooFew = {args, nullptr, 1, 0};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT,
              sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &tooFew, nullptr, nullptr, nullptr));

    // The sink's identity answers: IUnknown, IDispatch and the event interface.
    void* p = nullptr;
    EXPECT_EQ(S_OK, sink.QueryInterface(DIID__IProbeControlEvents, &p));
    EXPECT_EQ(E_NOINTERFACE, sink.QueryInterface(GUID_NULL, &p));
    EXPECT_EQ(E_POINTER, sink.QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(1u, sink.AddRef());
    EXPECT_EQ(1u, sink.Release());
    CComPtr<ITypeInfo> ti;
    EXPECT_EQ(S_OK, sink.GetTypeInfo(0, 0, &ti));
    EXPECT_EQ(DISP_E_BADINDEX, sink.GetTypeInfo(1, 0, &ti));

    ASSERT_EQ(S_OK, sink.DispEventUnadvise(ctl));
    EXPECT_EQ(kNotConnected, sink.m_dwEventCookie);
    const int before = sink.seen.calls;
    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"late"), 1, 1));
    EXPECT_EQ(before, sink.seen.calls);
}

namespace {

// Handlers whose signatures differ from the event's description: one takes a
// value fewer, one takes the numbers as other types.
class CShortSink : public IDispEventImpl<0, CShortSink, &DIID__IProbeControlEvents,
                                         &LIBID_OrvelaProbeLib, 1, 0> {
public:
    BEGIN_SINK_MAP(CShortSink)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 1, OnCtrlEvent)
    END_SINK_MAP()

    HRESULT __stdcall OnCtrlEvent(BSTR, long) {
        ++calls;
        return S_OK;
    }
    int calls = 0;
};

class CRetypedSink : public IDispEventImpl<0, CRetypedSink, &DIID__IProbeControlEvents,
                                           &LIBID_OrvelaProbeLib, 1, 0> {
public:
    BEGIN_SINK_MAP(CRetypedSink)
    SINK_ENTRY_EX(0, DIID__IProbeControlEvents, 1, OnCtrlEvent)
    END_SINK_MAP()

    HRESULT __stdcall OnCtrlEvent(BSTR text, double type, short subtype) {
        seenText.assign(text ? text : L"", SysStringLen(text));
        seenType = type;
        seenSubtype = subtype;
        return S_OK;
    }
    std::wstring seenText;
    double seenType = 0;
    short seenSubtype = 0;
};

// Committed memory for one object, taken from the top of the address space
// (above 4 GB in a 64-bit process).
class TopDownPage {
public:
    TopDownPage()
        : m_page(VirtualAlloc(nullptr, kSize, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN,
                              PAGE_READWRITE)) {}
    ~TopDownPage() {
        if (m_page)
            VirtualFree(m_page, 0, MEM_RELEASE);
    }
    TopDownPage(const TopDownPage&) = delete;
    TopDownPage& operator=(const TopDownPage&) = delete;
    void* get() const { return m_page; }
    static constexpr SIZE_T kSize = 4096;

private:
    void* m_page;
};

struct DestroyInPlace {
    template <class T>
    void operator()(T* object) const {
        object->~T();
    }
};

} // namespace

TEST_F(HostedControl, HandlerSignatureGivesTheCallsParameterCountAndTypes) {
    CShortSink shortSink;
    ASSERT_EQ(S_OK, shortSink.DispEventAdvise(ctl));
    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"abc"), 3, 7));
    EXPECT_EQ(0, shortSink.calls) << "a handler taking fewer values is never called";
    CComVariant args[3];
    args[2] = CComVariant(L"abc");
    args[1] = CComVariant(3L);
    args[0] = CComVariant(7L);
    DISPPARAMS three = {args, nullptr, 3, 0};
    EXPECT_EQ(E_FAIL,
              shortSink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &three, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, shortSink.calls);
    ASSERT_EQ(S_OK, shortSink.DispEventUnadvise(ctl));

    CRetypedSink retyped;
    ASSERT_EQ(S_OK, retyped.DispEventAdvise(ctl));
    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"abc"), 3, 7));
    EXPECT_EQ(L"abc", retyped.seenText);
    EXPECT_EQ(3.0, retyped.seenType);
    EXPECT_EQ(7, retyped.seenSubtype);
    ASSERT_EQ(S_OK, retyped.DispEventUnadvise(ctl));
}

TEST_F(HostedControl, SinkAbove4GBReceivesEvents) {
    if (sizeof(void*) == 4)
        GTEST_SKIP() << "a 32-bit process has no memory above 4 GB";
    static_assert(sizeof(CTypeLibSink) <= TopDownPage::kSize, "the sink fits its page");
    TopDownPage page;
    ASSERT_NE(nullptr, page.get());
    ASSERT_GT(reinterpret_cast<std::uintptr_t>(page.get()), std::uintptr_t{0xFFFFFFFFu});
    std::unique_ptr<CTypeLibSink, DestroyInPlace> sink(new (page.get()) CTypeLibSink);

    ASSERT_EQ(S_OK, sink->DispEventAdvise(ctl));
    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"high"), 4, 2));
    EXPECT_EQ(1, sink->seen.calls);
    EXPECT_EQ(L"high", sink->seen.text);
    EXPECT_EQ(4, sink->seen.type);
    EXPECT_EQ(2, sink->seen.subtype);
    ASSERT_EQ(S_OK, ctl->RaiseOther(-9));
    EXPECT_EQ(-9, sink->seen.otherValue);
    ASSERT_EQ(S_OK, sink->DispEventUnadvise(ctl));
}

namespace {
// Unregisters the probe type library for a scope; registers it again after.
class TypeLibUnregistered {
public:
    TypeLibUnregistered() {
        EXPECT_EQ(S_OK, UnRegisterTypeLib(LIBID_OrvelaProbeLib, 1, 0, 0,
                                          sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
    }
    ~TypeLibUnregistered() {
        const std::wstring path = ProbeDllPath();
        CComPtr<ITypeLib> lib;
        if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib)))
            RegisterTypeLib(lib, const_cast<wchar_t*>(path.c_str()), nullptr);
    }
};
} // namespace

TEST_F(HostedControl, FixedDescriptionDeliversWithoutTheTypeLibrary) {
    TypeLibUnregistered unregistered;
    CComPtr<ITypeLib> gone;
    ASSERT_TRUE(FAILED(LoadRegTypeLib(LIBID_OrvelaProbeLib, 1, 0, 0, &gone)));

    CFallbackSink sink;
    ASSERT_EQ(S_OK, sink.DispEventAdvise(ctl));
    ASSERT_EQ(S_OK, ctl->RaiseEvent(CComBSTR(L"abc"), 3, 7));
    EXPECT_EQ(1, sink.seen.calls);
    EXPECT_EQ(L"abc", sink.seen.text);
    EXPECT_EQ(3, sink.seen.type);
    EXPECT_EQ(7, sink.seen.subtype);
    // Without a fixed description the event is dropped silently.
    ASSERT_EQ(S_OK, ctl->RaiseOther(5));
    EXPECT_EQ(0, sink.seen.others);
    EXPECT_EQ(S_OK, sink.DispEventUnadvise(ctl));

    // Dispatch falls back to the type library embedded in the server.
    CComPtr<IDispatch> object;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ProbeObject, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDispatch, reinterpret_cast<void**>(&object)));
    LPOLESTR name = const_cast<LPOLESTR>(L"Add");
    DISPID id = 0;
    ASSERT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(1, id);
    CComVariant args[2];
    args[0] = CComVariant(2L); // last argument first
    args[1] = CComVariant(40L);
    DISPPARAMS params = {args, nullptr, 2, 0};
    CComVariant sum;
    ASSERT_EQ(S_OK, object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                   &sum, nullptr, nullptr));
    EXPECT_EQ(VT_I4, sum.vt);
    EXPECT_EQ(42, sum.lVal);
}

namespace {

std::wstring ProbeServerPath() {
    HKEY key = nullptr;
    wchar_t path[MAX_PATH + 2] = {};
    DWORD size = sizeof(path) - sizeof(wchar_t);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT,
                      L"CLSID\\{95BD490B-2BD2-4FFB-AEC5-24EEDD791B19}\\LocalServer32", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
    }
    std::wstring quoted = path;
    if (quoted.size() >= 2 && quoted.front() == L'"')
        return quoted.substr(1, quoted.size() - 2);
    return quoted;
}

// Runs the probe server with args and returns its exit code.
DWORD RunProbeServer(const wchar_t* args) {
    return testsupport::runProgram(L"\"" + ProbeServerPath() + L"\" " + args, 30000);
}

bool LocalServiceValue(std::wstring* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID\\{1660140D-6A5C-432E-9283-2B91F901297D}", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    wchar_t text[256] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    const bool found = RegQueryValueExW(key, L"LocalService", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (found && value)
        *value = text;
    return found;
}

DWORD ServiceState(SC_HANDLE svc) {
    SERVICE_STATUS status = {};
    return QueryServiceStatus(svc, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE svc, DWORD state) {
    for (int i = 0; i < 300; ++i) { // a loaded machine starts services slowly
        if (ServiceState(svc) == state)
            return true;
        Sleep(50);
    }
    return false;
}

} // namespace

TEST(LocalServer, StartedByComCalledThroughTheMarshalerEndsWhenIdle) {
    CComPtr<ILocalProbe> probe;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_LocalProbe, nullptr, CLSCTX_LOCAL_SERVER,
                                     IID_ILocalProbe, reinterpret_cast<void**>(&probe)));
    long pid = 0;
    ASSERT_EQ(S_OK, probe->get_ProcessId(&pid));
    EXPECT_NE(static_cast<long>(GetCurrentProcessId()), pid);
    long sum = 0;
    EXPECT_EQ(S_OK, probe->Add(40, 2, &sum));
    EXPECT_EQ(42, sum);
    CComBSTR joined;
    EXPECT_EQ(S_OK, probe->Concat(CComBSTR(L"ab"), CComBSTR(L"\u00e9\u4e2d"), &joined));
    EXPECT_EQ(L"ab\u00e9\u4e2d", joined.view());

    // Late binding through the same proxy, and error information across processes.
    CComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, probe.QueryInterface(&disp));
    LPOLESTR name = const_cast<LPOLESTR>(L"Fail");
    DISPID id = 0;
    ASSERT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    CComVariant arg(L"remote says no");
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    CExcepInfo excep;
    EXPECT_EQ(DISP_E_EXCEPTION, disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                             &params, nullptr, &excep, nullptr));
    EXPECT_STREQ(L"remote says no", excep.bstrDescription);

    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(nullptr, process);
    disp.Release();
    probe.Release();
    const DWORD released = GetTickCount();
    // The server waits out its idle delay (1 s) and ends by itself.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 10000));
    EXPECT_GE(GetTickCount() - released, 900u);
    CloseHandle(process);
}

TEST(LocalServer, ServiceRegistrationRunsAndIsUndone) {
    ASSERT_FALSE(ProbeServerPath().empty()) << "probe server not registered";
    ASSERT_EQ(0u, RunProbeServer(L"/Service"));
    ASSERT_EQ(0u, RunProbeServer(L"-SERVICE")); // twice leaves one service
    std::wstring value;
    ASSERT_TRUE(LocalServiceValue(&value));
    EXPECT_EQ(L"OrvelaProbeService", value);

    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(nullptr, scm);
    SC_HANDLE svc = OpenServiceW(scm, L"OrvelaProbeService",
                                 SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, svc);
    ASSERT_TRUE(StartServiceW(svc, 0, nullptr));
    EXPECT_TRUE(WaitForState(svc, SERVICE_RUNNING));
    SERVICE_STATUS status = {};
    EXPECT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(WaitForState(svc, SERVICE_STOPPED));
    CloseServiceHandle(svc);

    // Back to a local server: the service and its AppID value go.
    ASSERT_EQ(0u, RunProbeServer(L"/regserver"));
    EXPECT_FALSE(LocalServiceValue(nullptr));
    svc = OpenServiceW(scm, L"OrvelaProbeService", SERVICE_QUERY_STATUS);
    EXPECT_EQ(nullptr, svc);
    if (svc)
        CloseServiceHandle(svc);
    CloseServiceHandle(scm);

    // Started without its AppID key, the program ends with the registry error.
    ASSERT_EQ(ERROR_SUCCESS,
              RegDeleteTreeW(HKEY_CLASSES_ROOT, L"AppID\\{1660140D-6A5C-432E-9283-2B91F901297D}"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), RunProbeServer(L"-Embedding"));
    EXPECT_EQ(0u, RunProbeServer(L"/RegServerX /RegServer"));
    EXPECT_FALSE(LocalServiceValue(nullptr));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID\\{1660140D-6A5C-432E-9283-2B91F901297D}", 0,
                            KEY_READ, &key));
    RegCloseKey(key);
}

namespace {

using Registry = testsupport::RegistryTree;

Registry Classes() {
    Registry all;
    Registry machine, user;
    testsupport::readRegistryTree(HKEY_LOCAL_MACHINE, L"Software\\Classes", machine);
    testsupport::readRegistryTree(HKEY_CURRENT_USER, L"Software\\Classes", user);
    for (auto& [k, v] : machine)
        all[L"HKLM\\" + k] = v;
    for (auto& [k, v] : user)
        all[L"HKCU\\" + k] = v;
    return all;
}

std::string Diff(const Registry& a, const Registry& b) {
    std::string out;
    for (const auto& [k, v] : a)
        if (!b.count(k) || b.at(k) != v)
            out += "- " + std::string(k.begin(), k.end()) + "\n";
    for (const auto& [k, v] : b)
        if (!a.count(k))
            out += "+ " + std::string(k.begin(), k.end()) + "\n";
    return out.substr(0, 4000);
}

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

TEST(Registration, RegisterThenUnregisterRestoresTheRegistry) {
    const std::wstring path = PROBE_DLL_PATH;
    HMODULE dll = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, dll);
    using RegFn = HRESULT(WINAPI*)();
    using InstallFn = HRESULT(WINAPI*)(BOOL, LPCWSTR);
    auto reg =
        reinterpret_cast<RegFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    auto unreg = reinterpret_cast<RegFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
    auto install =
        reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllInstall")));
    ASSERT_TRUE(reg && unreg && install);

    const wchar_t* clsidKey = L"Software\\Classes\\CLSID\\{13D3EE89-EB58-4824-B2D4-9E0E540D7735}";
    const wchar_t* libKey = L"Software\\Classes\\TypeLib\\{D3284390-DEF5-4A9C-8A5F-FC373E4DE0E4}";
    // Start from nothing registered (unregistering twice is harmless). Container
    // keys are never removed: they stand as on any system that has used them.
    ASSERT_EQ(S_OK, unreg());
    EXPECT_EQ(S_OK, unreg());
    ASSERT_EQ(S_OK, install(FALSE, L"user"));
    for (const wchar_t* container :
         {L"Software\\Classes\\CLSID", L"Software\\Classes\\AppID", L"Software\\Classes\\TypeLib",
          L"Software\\Classes\\Interface"}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, container, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    const Registry before = Classes();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));

    // Machine-wide.
    ASSERT_EQ(S_OK, reg());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, libKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, clsidKey));
    ASSERT_EQ(S_OK, unreg());
    EXPECT_EQ("", Diff(before, Classes()));

    // Per user: the same entries under HKCU\Software\Classes, none machine-wide.
    ASSERT_EQ(S_OK, install(TRUE, L"USER"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, clsidKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, libKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, libKey));
    ASSERT_EQ(S_OK, install(FALSE, L"user"));
    EXPECT_EQ("", Diff(before, Classes()));

    // Leave the probe registered as the fixture had it.
    EXPECT_EQ(S_OK, reg());
}

TEST(WindowlessControl, ActivatesWindowlessWhenTheSiteOffersIt) {
    ASSERT_TRUE(AtlAxWinInit());
    HWND host = testsupport::childWindow(kAxWin100.host, 200, 100);
    ASSERT_NE(nullptr, host);
    CComPtr<IUnknown> unk;
    ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"OrvelaProbe.Windowless", &unk));
    CComPtr<IProbeControl> ctl;
    ASSERT_EQ(S_OK, unk.QueryInterface(&ctl));
    VARIANT_BOOL windowless = VARIANT_FALSE;
    ASSERT_EQ(S_OK, ctl->get_Windowless(&windowless));
    EXPECT_EQ(VARIANT_TRUE, windowless);
    long hwnd = -1;
    EXPECT_EQ(S_OK, ctl->get_Window(&hwnd));
    EXPECT_EQ(0, hwnd);
    EXPECT_EQ(nullptr, GetWindow(host, GW_CHILD));

    // Messages arrive through the container and reach the control's message map.
    CComPtr<IOleInPlaceObjectWindowless> inplace;
    ASSERT_EQ(S_OK, unk.QueryInterface(&inplace));
    HWND none = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_FAIL, inplace->GetWindow(&none));
    LRESULT result = 0;
    EXPECT_EQ(S_OK, inplace->OnWindowMessage(WM_USER + 1, 21, 0, &result));
    EXPECT_EQ(42, result);
    EXPECT_EQ(S_FALSE, inplace->OnWindowMessage(WM_USER + 2, 0, 0, &result));

    // Drawing goes through IViewObject::Draw into the container's device context.
    CComPtr<IViewObject> view;
    ASSERT_EQ(S_OK, unk.QueryInterface(&view));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 20, 20);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECTL bounds = {0, 0, 20, 20};
    EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                               nullptr, nullptr, 0));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 10, 10));
    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                        nullptr, nullptr, 0));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    ctl.Release();
    inplace.Release();
    view.Release();
    unk.Release();
    DestroyWindow(host);
    Pump();
}
