// The layer's own pieces without a registered server: objects, interface
// tables, aggregation, connection points, quick activation, errors, text and
// RAII helpers.
#include "com_error.h"
#include "com_object.h"
#include "com_ptr.h"
#include "com_types.h"
#include "connection_points.h"
#include "control.h"
#include "disp_event.h"
#include "support/ole_apartment.h"
#include "support/least_client_site.h"
#include "text.h"

#include <gtest/gtest.h>

#include <ocidl.h>

using namespace ATL;

namespace {

int g_finalReleases = 0;

class CThing : public CComObjectRootEx<CComSingleThreadModel>,
               public IPersistStream,
               public IConnectionPointContainerImpl<CThing>,
               public IConnectionPointImpl<CThing, &IID_IPropertyNotifySink>,
               public IConnectionPointImpl<CThing, &IID_IDispatch> {
public:
    static constexpr bool _Aggregatable = true;
    BEGIN_COM_MAP(CThing)
    COM_INTERFACE_ENTRY(IPersistStream)
    COM_INTERFACE_ENTRY2(IPersist, IPersistStream)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CThing)
    CONNECTION_POINT_ENTRY(IID_IPropertyNotifySink)
    CONNECTION_POINT_ENTRY(IID_IDispatch)
    END_CONNECTION_POINT_MAP()

    HRESULT FinalConstruct() { return failConstruct ? E_ACCESSDENIED : S_OK; }
    void FinalRelease() { ++g_finalReleases; }

    STDMETHOD(GetClassID)(CLSID* id) override {
        *id = IID_IPersistStream;
        return S_OK;
    }
    STDMETHOD(IsDirty)() override { return S_FALSE; }
    STDMETHOD(Load)(IStream*) override { return S_OK; }
    STDMETHOD(Save)(IStream*, BOOL) override { return S_OK; }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER*) override { return E_NOTIMPL; }

    static bool failConstruct;
};
bool CThing::failConstruct = false;

// A sink recording what reaches it through IDispatch::Invoke.
class CRecordingSink : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CRecordingSink)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        lastId = id;
        args.clear();
        for (UINT i = p->cArgs; i-- > 0;)
            args.emplace_back(p->rgvarg[i]);
        ++calls;
        return S_OK;
    }
    DISPID lastId = 0;
    std::vector<CComVariant> args;
    int calls = 0;
};

// A property-notify sink counting the changes it hears of.
class CNotifySink : public CComObjectRootEx<CComSingleThreadModel>, public IPropertyNotifySink {
public:
    BEGIN_COM_MAP(CNotifySink)
    COM_INTERFACE_ENTRY(IPropertyNotifySink)
    END_COM_MAP()
    STDMETHOD(OnChanged)(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHOD(OnRequestEdit)(DISPID) override { return S_OK; }
    std::vector<DISPID> changed;
};

// {5B0C2D7E-3F1A-4C69-8E52-9D4A1B7C6E30}
const CLSID kQuickControl = {
    0x5B0C2D7E, 0x3F1A, 0x4C69, {0x8E, 0x52, 0x9D, 0x4A, 0x1B, 0x7C, 0x6E, 0x30}};

// A control with its own site handling, an event source (IDispatch stands in
// for its dispinterface) and property notifications.
class CQuickControl : public CComObjectRootEx<CComSingleThreadModel>,
                      public CComCoClass<CQuickControl, &kQuickControl>,
                      public CComControl<CQuickControl>,
                      public IOleObjectImpl<CQuickControl>,
                      public IQuickActivateImpl<CQuickControl>,
                      public IProvideClassInfo2Impl<&kQuickControl, &IID_IDispatch, &GUID_NULL>,
                      public IConnectionPointContainerImpl<CQuickControl>,
                      public IConnectionPointImpl<CQuickControl, &IID_IDispatch>,
                      public IConnectionPointImpl<CQuickControl, &IID_IPropertyNotifySink> {
public:
    DECLARE_OLEMISC_STATUS(OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST)
    BEGIN_COM_MAP(CQuickControl)
    COM_INTERFACE_ENTRY(IOleObject)
    COM_INTERFACE_ENTRY(IQuickActivate)
    COM_INTERFACE_ENTRY(IProvideClassInfo2)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    END_COM_MAP()
    BEGIN_CONNECTION_POINT_MAP(CQuickControl)
    CONNECTION_POINT_ENTRY(IID_IDispatch)
    CONNECTION_POINT_ENTRY(IID_IPropertyNotifySink)
    END_CONNECTION_POINT_MAP()
    BEGIN_MSG_MAP(CQuickControl)
    CHAIN_MSG_MAP(CComControl<CQuickControl>)
    END_MSG_MAP()

    HRESULT IOleObject_SetClientSite(IOleClientSite* site) override {
        sites.push_back(site);
        return CComControlBase::IOleObject_SetClientSite(site);
    }
    std::vector<IOleClientSite*> sites;
};

template <class T>
CComPtr<T> make() {
    CComObject<T>* p = nullptr;
    EXPECT_EQ(S_OK, CComObject<T>::CreateInstance(&p));
    return CComPtr<T>(p);
}

} // namespace

TEST(ComObject, InterfaceTableAnswersInOrderWithOneIdentity) {
    CComPtr<IUnknown> unk;
    ASSERT_EQ(S_OK,
              CreateComInstance<CThing>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)));
    CComPtr<IPersist> persist;
    CComPtr<IPersistStream> stream;
    CComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(S_OK, unk.QueryInterface(&persist));
    ASSERT_EQ(S_OK, unk.QueryInterface(&stream));
    ASSERT_EQ(S_OK, unk.QueryInterface(&cpc));
    EXPECT_EQ(static_cast<IPersist*>(stream.p), persist.p);
    // IUnknown is the first entry, whichever interface is asked.
    CComPtr<IUnknown> fromCpc;
    ASSERT_EQ(S_OK, cpc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromCpc)));
    EXPECT_EQ(unk.p, fromCpc.p);
    EXPECT_EQ(static_cast<IUnknown*>(stream.p), unk.p);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(GUID_NULL, &out));
    EXPECT_EQ(E_POINTER, unk->QueryInterface(IID_IUnknown, nullptr));
}

TEST(ComObject, ReferenceCountEndsInFinalRelease) {
    const int before = g_finalReleases;
    CComObject<CThing>* p = nullptr;
    ASSERT_EQ(S_OK, CComObject<CThing>::CreateInstance(&p));
    EXPECT_EQ(1u, p->AddRef());
    EXPECT_EQ(2u, p->AddRef());
    EXPECT_EQ(1u, p->Release());
    EXPECT_EQ(before, g_finalReleases);
    EXPECT_EQ(0u, p->Release());
    EXPECT_EQ(before + 1, g_finalReleases);
}

TEST(ComObject, FailedFinalConstructCreatesNothing) {
    CThing::failConstruct = true;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_ACCESSDENIED, CreateComInstance<CThing>(nullptr, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    CThing::failConstruct = false;
}

namespace {
// An outer object aggregating CThing: its own IUnknown plus the inner's interfaces.
class Outer : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    ULONG refs = 1;
    CComPtr<IUnknown> inner;
};
} // namespace

TEST(ComObject, AggregationDelegatesToTheOuterObject) {
    Outer outer;
    void* out = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateComInstance<CThing>(&outer, IID_IPersist, &out));
    ASSERT_EQ(S_OK, CreateComInstance<CThing>(&outer, IID_IUnknown,
                                              reinterpret_cast<void**>(&outer.inner)));
    CComPtr<IPersistStream> stream;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&stream)));
    EXPECT_EQ(2u, outer.refs); // the outer object counts the inner's interfaces
    CComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.p);
    identity.Release();
    stream.Release();
    EXPECT_EQ(1u, outer.refs);
    const int before = g_finalReleases;
    outer.inner.Release();
    EXPECT_EQ(before + 1, g_finalReleases);
}

TEST(ConnectionPoints, FindAdviseFireUnadvise) {
    auto thing = make<CThing>();
    CComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(S_OK, thing.QueryInterface(&cpc));
    CComPtr<IConnectionPoint> cp;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cpc->FindConnectionPoint(IID_IStream, &cp));
    ASSERT_EQ(S_OK, cpc->FindConnectionPoint(IID_IDispatch, &cp));
    IID iid;
    ASSERT_EQ(S_OK, cp->GetConnectionInterface(&iid));
    EXPECT_TRUE(InlineIsEqualGUID(iid, IID_IDispatch));
    // The point is its own object but keeps its container alive.
    CComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, cp->GetConnectionPointContainer(&back));
    EXPECT_EQ(cpc.p, back.p);
    CComPtr<IPersist> notFromPoint;
    EXPECT_EQ(E_NOINTERFACE, cp.QueryInterface(&notFromPoint));

    auto a = make<CRecordingSink>();
    auto b = make<CRecordingSink>();
    DWORD ca = 0, cb = 0;
    ASSERT_EQ(S_OK, AtlAdvise(thing->GetUnknown(), a->GetUnknown(), IID_IDispatch, &ca));
    ASSERT_EQ(S_OK, AtlAdvise(thing->GetUnknown(), b->GetUnknown(), IID_IDispatch, &cb));
    EXPECT_NE(ca, cb);
    CComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, cp->EnumConnections(&connections));
    CONNECTDATA listed[3] = {};
    ULONG count = 0;
    EXPECT_EQ(S_FALSE, connections->Next(3, listed, &count));
    ASSERT_EQ(2u, count);
    EXPECT_EQ(ca, listed[0].dwCookie);
    EXPECT_EQ(cb, listed[1].dwCookie);
    EXPECT_TRUE(CComPtr<IUnknown>(listed[1].pUnk).IsEqualObject(b->GetUnknown()));
    for (ULONG i = 0; i < count; ++i)
        listed[i].pUnk->Release();
    // A copy starts where its original stands.
    ASSERT_EQ(S_OK, connections->Reset());
    ASSERT_EQ(S_OK, connections->Skip(1));
    CComPtr<IEnumConnections> copy;
    ASSERT_EQ(S_OK, connections->Clone(&copy));
    CONNECTDATA second = {};
    ASSERT_EQ(S_OK, copy->Next(1, &second, nullptr));
    EXPECT_EQ(cb, second.dwCookie);
    second.pUnk->Release();
    CComObject<CThing>* obj =
        static_cast<CComObject<CThing>*>(static_cast<IPersistStream*>(thing.p));
    obj->IConnectionPointImpl<CThing, &IID_IDispatch>::FireEvent(7, L"abc", 3L, 7L);
    for (CRecordingSink* s :
         {static_cast<CRecordingSink*>(a.p), static_cast<CRecordingSink*>(b.p)}) {
        ASSERT_EQ(1, s->calls);
        EXPECT_EQ(7, s->lastId);
        ASSERT_EQ(3u, s->args.size()); // declaration order
        EXPECT_STREQ(L"abc", s->args[0].bstrVal);
        EXPECT_EQ(3, s->args[1].lVal);
        EXPECT_EQ(7, s->args[2].lVal);
    }
    EXPECT_EQ(S_OK, AtlUnadvise(thing->GetUnknown(), IID_IDispatch, ca));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, AtlUnadvise(thing->GetUnknown(), IID_IDispatch, ca));
    obj->IConnectionPointImpl<CThing, &IID_IDispatch>::FireEvent(8);
    EXPECT_EQ(1, static_cast<CRecordingSink*>(a.p)->calls);
    EXPECT_EQ(2, static_cast<CRecordingSink*>(b.p)->calls);
    // A sink without the point's interface is refused.
    DWORD none = 0;
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT,
              AtlAdvise(thing->GetUnknown(), a->GetUnknown(), IID_IPropertyNotifySink, &none));
    EXPECT_EQ(E_INVALIDARG, AtlAdvise(nullptr, a->GetUnknown(), IID_IDispatch, &none));

    CComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, cpc->EnumConnectionPoints(&points));
    IConnectionPoint* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(3, got, &fetched));
    EXPECT_EQ(2u, fetched);
    for (ULONG i = 0; i < fetched; ++i)
        got[i]->Release();
    // Skipping exactly to the end skips all that was asked; a count past the
    // end, even one that would wrap the position around, stops at the end.
    ASSERT_EQ(S_OK, points->Reset());
    EXPECT_EQ(S_OK, points->Skip(2));
    EXPECT_EQ(S_FALSE, points->Skip(1));
    ASSERT_EQ(S_OK, points->Reset());
    ASSERT_EQ(S_OK, points->Skip(1));
    EXPECT_EQ(S_FALSE, points->Skip(0xFFFFFFFFu));
    IConnectionPoint* after = nullptr;
    EXPECT_EQ(S_FALSE, points->Next(1, &after, nullptr));
    EXPECT_EQ(nullptr, after);
    EXPECT_EQ(S_OK, AtlUnadvise(thing->GetUnknown(), IID_IDispatch, cb));
}

TEST(QuickActivate, SitesTheControlAsSetClientSiteDoesAndConnectsTheContainersSinks) {
    auto control = make<CQuickControl>();
    auto* object = static_cast<CComObject<CQuickControl>*>(static_cast<IOleObject*>(control.p));
    CComPtr<IQuickActivate> quick;
    ASSERT_EQ(S_OK, control.QueryInterface(&quick));
    auto site = make<testsupport::LeastClientSite>();
    auto events = make<CRecordingSink>();
    auto notifications = make<CNotifySink>();
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    container.pClientSite = site;
    container.pUnkEventSink = events->GetUnknown();
    container.pPropertyNotifySink = notifications;
    QACONTROL answer = {};
    answer.cbSize = sizeof answer;
    ASSERT_EQ(S_OK, quick->QuickActivate(&container, &answer));

    // The control's own site handling ran, once, with the container's site.
    ASSERT_EQ(1u, object->sites.size());
    EXPECT_EQ(static_cast<IOleClientSite*>(site), object->sites[0]);
    CComPtr<IOleClientSite> held;
    EXPECT_EQ(S_OK, control->GetClientSite(&held));
    EXPECT_EQ(static_cast<IOleClientSite*>(site), held.p);
    EXPECT_EQ(static_cast<DWORD>(OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST),
              answer.dwMiscStatus);
    EXPECT_EQ(static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND), answer.dwViewStatus);

    // The event sink hears the default source and the notify sink the
    // property notifications, by the cookies the answer names.
    ASSERT_NE(0u, answer.dwEventCookie);
    ASSERT_NE(0u, answer.dwPropNotifyCookie);
    object->IConnectionPointImpl<CQuickControl, &IID_IDispatch>::FireEvent(4, 9L);
    auto* recorded = static_cast<CRecordingSink*>(events.p);
    ASSERT_EQ(1, recorded->calls);
    EXPECT_EQ(4, recorded->lastId);
    for (const CComPtr<IUnknown>& sink :
         object->IConnectionPointImpl<CQuickControl, &IID_IPropertyNotifySink>::ConnectionPoint()
             .Sinks())
        static_cast<IPropertyNotifySink*>(sink.p)->OnChanged(DISPID_READYSTATE);
    EXPECT_EQ(std::vector<DISPID>{DISPID_READYSTATE},
              static_cast<CNotifySink*>(notifications.p)->changed);
    EXPECT_EQ(S_OK, AtlUnadvise(object->GetUnknown(), IID_IDispatch, answer.dwEventCookie));
    EXPECT_EQ(S_OK, AtlUnadvise(object->GetUnknown(), IID_IPropertyNotifySink,
                                answer.dwPropNotifyCookie));

    // A container without sinks gets no cookies; unsiting goes the same way.
    QACONTAINER bare = {};
    bare.cbSize = sizeof bare;
    QACONTROL second = {};
    second.cbSize = sizeof second;
    ASSERT_EQ(S_OK, quick->QuickActivate(&bare, &second));
    EXPECT_EQ(0u, second.dwEventCookie);
    EXPECT_EQ(0u, second.dwPropNotifyCookie);
    ASSERT_EQ(2u, object->sites.size());
    EXPECT_EQ(nullptr, object->sites[1]);
}

TEST(Errors, ComIssueErrorAndCallNoThrow) {
    try {
        _com_issue_errorex(E_ACCESSDENIED, nullptr, IID_NULL);
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_ACCESSDENIED, e.Error());
    }
    try {
        _com_issue_error(E_OUTOFMEMORY);
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_OUTOFMEMORY, e.Error());
    }
    EXPECT_EQ(E_FAIL, CallNoThrow([]() -> HRESULT { throw CAtlException(E_FAIL); }));
    EXPECT_EQ(E_OUTOFMEMORY, CallNoThrow([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, CallNoThrow([]() -> HRESULT { throw 42; }));
    EXPECT_EQ(E_ABORT, CallNoThrow([]() -> HRESULT {
                  _com_issue_error(E_ABORT);
                  return S_OK;
              }));
}

TEST(Text, StrictUnicodeAndLossyAnsi) {
    EXPECT_EQ(L"\u00e9\u4e2d\U0001F600", Utf8ToWide("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"));
    EXPECT_EQ("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", WideToUtf8(L"\u00e9\u4e2d\U0001F600"));
    EXPECT_EQ(L"", Utf8ToWide(""));
    EXPECT_THROW(Utf8ToWide("a\xC3"), CAtlException);
    EXPECT_THROW(Utf8ToWide("\xC0\xAF"), CAtlException);
    EXPECT_THROW(WideToUtf8(std::wstring(1, wchar_t(0xD800))), CAtlException);
    // The prefix's active code page is 1252.
    EXPECT_EQ(L"\u00e9", AnsiToWide("\xE9"));
    EXPECT_EQ("\xE9", WideToAnsi(L"\u00e9"));
    EXPECT_EQ("?", WideToAnsi(L"\u4e2d"));
    // UTF-8 bytes read as ANSI become the characters those bytes stand for.
    EXPECT_EQ(L"\u00c3\u00a9", AnsiToWide("\xC3\xA9"));
    // The BSTR form, and <comdef.h>'s _bstr_t, read ANSI text the same way;
    // empty text is an empty BSTR, not a null one.
    CComBSTR direct;
    direct.Attach(AnsiToBstr("caf\xE9"));
    EXPECT_EQ(L"caf\u00e9", direct.view());
    CComBSTR none;
    none.Attach(AnsiToBstr(""));
    ASSERT_NE(nullptr, none.m_str);
    EXPECT_EQ(0u, none.Length());
    const _bstr_t both("caf\xE9");
    EXPECT_STREQ(L"caf\u00e9", static_cast<const wchar_t*>(both));
    EXPECT_STREQ("caf\xE9", static_cast<const char*>(both));
}

TEST(Raii, BstrVariantHandle) {
    CComBSTR empty;
    EXPECT_EQ(nullptr, empty.m_str);
    EXPECT_EQ(0u, empty.Length());
    CComBSTR withNul(std::wstring_view(L"a\0b", 3));
    EXPECT_EQ(3u, withNul.Length());
    CComBSTR copy = withNul;
    EXPECT_NE(copy.m_str, withNul.m_str);
    EXPECT_EQ(copy.view(), withNul.view());
    BSTR out = nullptr;
    EXPECT_EQ(S_OK, empty.CopyTo(&out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, copy.CopyTo(nullptr));

    CComVariant v(L"12");
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(S_OK, v.ChangeType(VT_I4));
    EXPECT_EQ(12, v.lVal);
    CComVariant w = v;
    EXPECT_EQ(VT_I4, w.vt);
    VARIANT raw;
    VariantInit(&raw);
    EXPECT_EQ(S_OK, w.Detach(&raw));
    EXPECT_EQ(VT_EMPTY, w.vt);
    EXPECT_EQ(12, raw.lVal);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        CHandle h(event);
        EXPECT_TRUE(static_cast<bool>(h));
    }
    EXPECT_FALSE(SetEvent(event)); // closed by CHandle
}

#include "exe_module.h"

TEST(CommandLine, WordsFollowASlashOrHyphenAnywhere) {
    EXPECT_TRUE(HasCommandWord(L"x.exe /regserver", L"RegServer"));
    EXPECT_TRUE(HasCommandWord(L"x.exe -RegSERVER", L"RegServer"));
    EXPECT_TRUE(HasCommandWord(L"\"C:\\a b\\x.exe\" -Embedding\t/UnregServer", L"UnregServer"));
    EXPECT_FALSE(HasCommandWord(L"x.exe /RegServerX", L"RegServer"));
    EXPECT_FALSE(HasCommandWord(L"x.exe RegServer", L"RegServer"));
    EXPECT_FALSE(HasCommandWord(L"x.exe /Reg", L"RegServer"));
    EXPECT_TRUE(HasCommandWord(L"x.exe/Service", L"Service"));
    EXPECT_FALSE(HasCommandWord(nullptr, L"Service"));
}

TEST(CommandLine, TheFirstRegistrationWordInScanOrderWins) {
    EXPECT_EQ(RegistrationWord::Register, FirstRegistrationWord(L"x.exe /RegServer /UnregServer"));
    EXPECT_EQ(RegistrationWord::Unregister,
              FirstRegistrationWord(L"x.exe -unregserver -Embedding /RegServer"));
    EXPECT_EQ(RegistrationWord::Register, FirstRegistrationWord(L"x.exe /Service -REGSERVER"));
    EXPECT_EQ(RegistrationWord::None, FirstRegistrationWord(L"x.exe /Service /RegServerX"));
    EXPECT_EQ(RegistrationWord::None, FirstRegistrationWord(nullptr));
}

TEST(CommandLine, AnArgumentOutsideTheKnownWordsIsUnknown) {
    const wchar_t* const words[] = {L"RegServer", L"Embedding"};
    EXPECT_FALSE(HasUnknownCommandWord(L"x.exe", words, 2));
    EXPECT_FALSE(HasUnknownCommandWord(L"x.exe -Embedding  /regserver ", words, 2));
    EXPECT_FALSE(HasUnknownCommandWord(L"\"C:\\my-dir\\a b\\x.exe\" /RegServer", words, 2));
    EXPECT_FALSE(HasUnknownCommandWord(L"C:\\my-dir\\x.exe\t/Embedding", words, 2));
    EXPECT_TRUE(HasUnknownCommandWord(L"x.exe /nonsense", words, 2));
    EXPECT_TRUE(HasUnknownCommandWord(L"x.exe /RegServer /Reg", words, 2));
    EXPECT_TRUE(HasUnknownCommandWord(L"x.exe RegServer", words, 2));
    EXPECT_TRUE(HasUnknownCommandWord(L"x.exe -", words, 2));
    EXPECT_FALSE(HasUnknownCommandWord(nullptr, words, 2));
}

namespace {

class CTestServiceModule : public CAtlServiceModuleT<CTestServiceModule, 1> {
public:
    DECLARE_REGISTRY_APPID_RESOURCEID(1, L"{00000000-0000-0000-0000-000000000000}")
};

std::wstring g_boxes;
int RecordBox(const wchar_t* text, const wchar_t* caption, UINT) {
    g_boxes += std::wstring(caption) + L": " + text + L"\n";
    return IDOK;
}

} // namespace

TEST(ServiceModule, FailuresAreReportedThroughTheMessageBoxHook) {
    SetMessageBoxHook(&RecordBox);
    {
        CTestServiceModule module;
        wcscpy(module.m_szServiceName, L"Orvela\\Bad/Name");
        EXPECT_FALSE(module.IsInstalled());
        EXPECT_TRUE(module.Uninstall()); // nothing installed: nothing to do, no message
        EXPECT_EQ(L"", g_boxes);
        EXPECT_FALSE(module.Install());
        EXPECT_EQ(L"Orvela\\Bad/Name: Could not start service\n", g_boxes);
        // Registering the AppID needs a script; a module without one fails cleanly.
        EXPECT_TRUE(FAILED(module.UpdateRegistryAppId(TRUE)));
    }
    SetMessageBoxHook(nullptr);
    g_boxes.clear();
}
