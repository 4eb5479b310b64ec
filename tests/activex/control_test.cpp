// The control and its IDispatchEx bridge in process: identifiers, calls with
// their fixed answers and error mapping, answers to malformed calls, the
// property bag, safety options and the wrapper cache.

#include <gtest/gtest.h>

#include <windows.h>
#include <mshtmdid.h>
#include <objsafe.h>
#include <servprov.h>

#include <map>
#include <new>
#include <string>

#include "AXDOM.h"
#include "ActiveXBrowserHost.h"
#include "COMJavascriptObject.h"
#include "FWControl.h"
#include "JSAPIAuto.h"
#include "TypeIDMap.h"
#include "com_object.h"
#include "support/least_client_site.h"

using namespace FW;
using namespace FW::ActiveX;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComQIPtr;
using ATL::CComVariant;
using ATL::CExcepInfo;

namespace {

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// A container site: client site, optional service provider (no web
// browser) and a property-notification sink that counts changes.
class TestSite : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                 public testsupport::ClientSiteAnswers,
                 public IServiceProvider,
                 public IPropertyNotifySink {
public:
    BEGIN_COM_MAP(TestSite)
    COM_INTERFACE_ENTRY(IOleClientSite)
    COM_INTERFACE_ENTRY_FUNC(IID_IServiceProvider, 0, &TestSite::serviceProvider)
    COM_INTERFACE_ENTRY(IPropertyNotifySink)
    END_COM_MAP()

    static HRESULT serviceProvider(void* self, REFIID, void** ppv, DWORD_PTR) {
        auto* site = static_cast<TestSite*>(self);
        if (!site->offersServices)
            return E_NOINTERFACE;
        *ppv = static_cast<IServiceProvider*>(site);
        site->AddRef();
        return S_OK;
    }

    STDMETHOD(QueryService)(REFGUID, REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD(OnChanged)(DISPID id) override {
        ++changes[id];
        return S_OK;
    }
    STDMETHOD(OnRequestEdit)(DISPID) override { return S_OK; }

    bool offersServices = true;
    std::map<DISPID, int> changes;
};

// A property bag of text values, read through IPropertyBag2.
class TestBag : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                public IPropertyBag,
                public IPropertyBag2 {
public:
    BEGIN_COM_MAP(TestBag)
    COM_INTERFACE_ENTRY(IPropertyBag)
    COM_INTERFACE_ENTRY(IPropertyBag2)
    END_COM_MAP()

    STDMETHOD(Read)(LPCOLESTR, VARIANT*, IErrorLog*) override { return E_INVALIDARG; }
    STDMETHOD(Write)(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(Read)
    (ULONG count, PROPBAG2* bags, IErrorLog*, VARIANT* values, HRESULT* results) override {
        for (ULONG i = 0; i < count; ++i) {
            auto found = values_.find(bags[i].pstrName);
            if (found == values_.end() || found->second == L"<fail>") {
                results[i] = E_FAIL;
                continue;
            }
            values[i].vt = VT_BSTR;
            values[i].bstrVal = SysAllocString(found->second.c_str());
            results[i] = S_OK;
        }
        // As a browser's bag answers when one of the reads failed.
        for (ULONG i = 0; i < count; ++i) {
            if (FAILED(results[i]))
                return E_FAIL;
        }
        return S_OK;
    }
    STDMETHOD(Write)(ULONG, PROPBAG2*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(CountProperties)(ULONG* count) override {
        *count = static_cast<ULONG>(values_.size());
        return S_OK;
    }
    STDMETHOD(GetPropertyInfo)(ULONG first, ULONG count, PROPBAG2* bags, ULONG* got) override {
        ULONG n = 0;
        auto it = values_.begin();
        std::advance(it, first);
        for (; it != values_.end() && n < count; ++it, ++n) {
            bags[n] = PROPBAG2{};
            bags[n].vt = VT_BSTR;
            const size_t bytes = (it->first.size() + 1) * sizeof(wchar_t);
            bags[n].pstrName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            memcpy(bags[n].pstrName, it->first.c_str(), bytes);
        }
        *got = n;
        return S_OK;
    }
    STDMETHOD(LoadObject)(LPCOLESTR, DWORD, IUnknown*, IErrorLog*) override { return E_NOTIMPL; }

    std::map<std::wstring, std::wstring> values_;
};

template <class T>
CComPtr<T> makeObject() {
    ATL::CComObject<T>* object = nullptr;
    ATL::CComObject<T>::CreateInstance(&object);
    return CComPtr<T>(object);
}

struct Control {
    CComPtr<IDispatchEx> dispatch;
    CFWControl* object = nullptr;
    Control() {
        ATL::CComObject<CFWControl>* created = nullptr;
        ATL::CComObject<CFWControl>::CreateInstance(&created);
        object = created;
        created->QueryInterface(__uuidof(IDispatchEx), reinterpret_cast<void**>(&dispatch));
    }
    template <class Q>
    CComPtr<Q> as() const {
        CComPtr<Q> q;
        dispatch->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(&q));
        return q;
    }
    DISPID id(const wchar_t* name, DWORD flags = fdexNameCaseSensitive) const {
        DISPID result = DISPID_UNKNOWN;
        dispatch->GetDispID(CComBSTR(name), flags, &result);
        return result;
    }
    HRESULT call(const wchar_t* name, std::initializer_list<CComVariant> args, VARIANT* result,
                 EXCEPINFO* info = nullptr) const {
        std::vector<VARIANT> reversed(args.size());
        size_t i = args.size();
        for (const CComVariant& v : args)
            reversed[--i] = v;
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        return dispatch->InvokeEx(id(name), LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                  info, nullptr);
    }
};

// A control sited like a scripting host does it.
struct SitedControl : Control {
    CComPtr<TestSite> site = makeObject<TestSite>();
    SitedControl() { as<IObjectWithSite>()->SetSite(static_cast<IOleClientSite*>(site.p)); }
};

class ActiveXControlTest : public ::testing::Test {
protected:
    ComApartment apartment;
};

} // namespace

TEST(TypeIDMapTest, FixedPairsAndNewNames) {
    TypeIDMap& map = TypeIDMap::instance();
    EXPECT_EQ(map.idForName(L"value"), 0);
    EXPECT_EQ(map.idForName(L"toString"), -1);
    EXPECT_EQ(map.idForName(L"readystate"), DISPID_READYSTATE);
    EXPECT_EQ(map.idForName(L"securitydomain"), -5514);
    EXPECT_EQ(map.idForName(L"onload"), static_cast<long>(DISPID_EVPROP_ONLOAD));
    EXPECT_EQ(map.idForName(L"onabort"), static_cast<long>(DISPID_EVPROP_ONABORT));
    EXPECT_EQ(static_cast<unsigned long>(map.idForName(L"onwaiting")), 0x80011809UL);
    // Names are case-sensitive: a fresh spelling gets a fresh identifier.
    const long first = map.idForName(L"ReadyStateOfSomethingNew");
    const long second = map.idForName(L"AnotherNewName");
    EXPECT_GE(first, 100);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(map.idForName(L"ReadyStateOfSomethingNew"), first);
    ASSERT_NE(map.nameForId(second), nullptr);
    EXPECT_EQ(*map.nameForId(second), L"AnotherNewName");
    EXPECT_EQ(map.nameForId(99), nullptr);
    // Both spellings come from one look-up; a name that is not valid UTF-16
    // has no UTF-8 one.
    const TypeIDMap::Names* names = map.namesForId(map.idForName(L"caf\u00e9Member"));
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(*names->wide, L"caf\u00e9Member");
    EXPECT_EQ(names->utf8, "caf\xc3\xa9Member");
    const TypeIDMap::Names* broken = map.namesForId(map.idForName(std::wstring(1, L'\xd800')));
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->utf8, "");
    EXPECT_EQ(map.namesForId(99), nullptr);
    try {
        map.define(L"value", 12345);
        FAIL() << "a defined name was accepted again";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "ID or value already defined");
    }
    EXPECT_THROW(map.define(L"brandNewName", DISPID_READYSTATE), std::runtime_error);
}

TEST_F(ActiveXControlTest, SiteWithoutServiceProviderFails) {
    Control control;
    auto site = makeObject<TestSite>();
    site->offersServices = false;
    EXPECT_EQ(control.as<IOleObject>()->SetClientSite(site), E_FAIL);
    EXPECT_EQ(control.object->browserHost(), nullptr);
    site->offersServices = true;
    EXPECT_EQ(control.as<IOleObject>()->SetClientSite(site), S_OK);
    EXPECT_NE(control.object->browserHost(), nullptr);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, BeforeItIsReadyNamesAreUnknown) {
    Control control;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"InitCtrl"), const_cast<LPOLESTR>(L"echo")};
    DISPID ids[2] = {12, 34};
    EXPECT_EQ(control.dispatch->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], 34);
    CComVariant result;
    DISPPARAMS none{};
    EXPECT_EQ(control.dispatch->InvokeEx(DISPID_READYSTATE, 0, DISPATCH_PROPERTYGET, &none, &result,
                                         nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(ActiveXControlTest, ReadyOnceWithFixedAnswers) {
    SitedControl control;
    // Loading and initialising later changes nothing: ready happened once.
    auto bag = makeObject<TestBag>();
    bag->values_ = {{L"a", L"1"}, {L"colour", L"red"}, {L"broken", L"<fail>"}};
    EXPECT_EQ(control.as<IPersistPropertyBag>()->Load(bag, nullptr), S_OK);
    EXPECT_EQ(control.as<IPersistPropertyBag>()->InitNew(), S_OK);
    EXPECT_EQ(control.site->changes[DISPID_READYSTATE], 1);

    DISPPARAMS none{};
    CComVariant state;
    EXPECT_EQ(control.dispatch->InvokeEx(DISPID_READYSTATE, 0, DISPATCH_PROPERTYGET, &none, &state,
                                         nullptr, nullptr),
              S_OK);
    EXPECT_EQ(state.vt, VT_I4);
    EXPECT_EQ(state.lVal, READYSTATE_COMPLETE);
    CComVariant enabled;
    EXPECT_EQ(control.dispatch->InvokeEx(DISPID_ENABLED, 0, DISPATCH_PROPERTYGET, &none, &enabled,
                                         nullptr, nullptr),
              S_OK);
    EXPECT_EQ(enabled.vt, VT_BOOL);
    EXPECT_EQ(enabled.boolVal, VARIANT_TRUE);
    CComVariant security;
    EXPECT_EQ(control.dispatch->InvokeEx(-5511, 0, DISPATCH_PROPERTYGET, &none, &security, nullptr,
                                         nullptr),
              E_NOTIMPL);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, PropertyBagParametersReachTheCoreWhenAnotherOneFailsToRead) {
    Control control;
    auto site = makeObject<TestSite>();
    control.as<IOleObject>()->SetClientSite(site);
    auto bag = makeObject<TestBag>();
    bag->values_ = {{L"a", L"1"}, {L"colour", L"red"}, {L"broken", L"<fail>"}};
    ASSERT_EQ(control.as<IPersistPropertyBag>()->Load(bag, nullptr), S_OK);
    PluginCorePtr core = control.object->core();
    ASSERT_TRUE(core);
    EXPECT_EQ(core->getParam("a").value_or("<none>"), "1");
    EXPECT_TRUE(core->getParamVariant("a").holds<std::string>());
    EXPECT_EQ(core->getParam("colour").value_or("<none>"), "red");
    EXPECT_FALSE(core->getParam("broken").has_value());
    EXPECT_EQ(site->changes[DISPID_READYSTATE], 1);
    CLSID clsid{};
    EXPECT_EQ(control.as<IPersistPropertyBag>()->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(InlineIsEqualGUID(clsid, CLSID_FWControl0));
    EXPECT_EQ(control.as<IPersistPropertyBag>()->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(control.as<IPersistPropertyBag>()->Load(nullptr, nullptr), E_POINTER);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, ScriptErrorsBecomeExceptionsWithTheirMessage) {
    SitedControl control;
    CComVariant result;
    CExcepInfo info;
    EXPECT_EQ(control.call(L"InitCtrl", {CComVariant(L"http://192.0.2.10/")}, &result, &info),
              DISP_E_EXCEPTION);
    EXPECT_STREQ(info.bstrSource, L"application/x-orvela");
    EXPECT_STREQ(info.bstrDescription, L"Error: Argument 3is not optional.");
    EXPECT_EQ(info.scode, E_NOTIMPL);
    EXPECT_EQ(info.bstrHelpFile, nullptr);
    // Without an EXCEPINFO the answer is the same.
    EXPECT_EQ(control.call(L"InitCtrl", {CComVariant(L"x")}, &result, nullptr), DISP_E_EXCEPTION);

    CComVariant last;
    EXPECT_EQ(control.call(L"getLastException", {}, &last), S_OK);
    ASSERT_EQ(last.vt, VT_BSTR);
    EXPECT_STREQ(last.bstrVal, L"Error: Argument 3is not optional.");

    // Without a camera control the call itself answers by value.
    CComVariant answer;
    EXPECT_EQ(control.call(L"InitCtrl",
                           {CComVariant(L"http://192.0.2.10/"), CComVariant(L"192.0.2.10"),
                            CComVariant(80L)},
                           &answer),
              S_OK);
    EXPECT_EQ(answer.vt, VT_I4);
    EXPECT_EQ(answer.lVal, -1);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, MalformedCallsGetDefinedAnswers) {
    SitedControl control;
    const DISPID expando = control.id(L"someExpando", fdexNameCaseSensitive | fdexNameEnsure);
    ASSERT_NE(expando, DISPID_UNKNOWN);
    CComVariant value(7L);
    DISPID put = DISPID_PROPERTYPUT;
    // A put without arguments, without parameters, or naming more arguments than it has.
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYPUT, &empty, nullptr, nullptr,
                                         nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYPUT, nullptr, nullptr,
                                         nullptr, nullptr),
              E_INVALIDARG);
    DISPID named[2] = {DISPID_PROPERTYPUT, DISPID_THIS};
    DISPPARAMS tooManyNames{&value, named, 1, 2};
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYPUT, &tooManyNames, nullptr,
                                         nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    DISPPARAMS noArray{nullptr, nullptr, 2, 0};
    CComVariant result;
    EXPECT_EQ(control.dispatch->InvokeEx(control.id(L"echo"), 0, DISPATCH_METHOD, &noArray, &result,
                                         nullptr, nullptr),
              E_INVALIDARG);
    // A property get needs somewhere to put the value.
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYGET, &empty, nullptr, nullptr,
                                         nullptr),
              E_INVALIDARG);
    // A well-formed put and get.
    DISPPARAMS good{&value, &put, 1, 1};
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYPUT, &good, nullptr, nullptr,
                                         nullptr),
              S_OK);
    EXPECT_EQ(control.dispatch->InvokeEx(expando, 0, DISPATCH_PROPERTYGET, nullptr, &result,
                                         nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 7);
    // Unknown identifiers and null out-pointers.
    EXPECT_EQ(control.dispatch->InvokeEx(99, 0, DISPATCH_METHOD, &empty, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(control.dispatch->GetDispID(CComBSTR(L"echo"), 0, nullptr), E_POINTER);
    EXPECT_EQ(control.dispatch->GetMemberName(expando, nullptr), E_POINTER);
    EXPECT_EQ(control.dispatch->GetNextDispID(fdexEnumAll, DISPID_STARTENUM, nullptr), E_POINTER);
    EXPECT_EQ(control.dispatch->GetIDsOfNames(IID_NULL, nullptr, 1, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(control.dispatch->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(control.dispatch->GetMemberName(99, &name), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(control.dispatch->GetMemberName(expando, &name), S_OK);
    EXPECT_STREQ(name, L"someExpando");
    SysFreeString(name);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

// A known identifier whose name the object has no member for: the error names
// the member with a missing member's code, and getLastException gives that text.
TEST_F(ActiveXControlTest, AnUnknownMemberIsNotFoundAndItsNameIsTheLastException) {
    SitedControl control;
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    CComVariant result;
    CExcepInfo info;
    EXPECT_EQ(control.dispatch->InvokeEx(DISPID_CAPTION, 0, DISPATCH_METHOD, &empty, &result, &info,
                                         nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, DISP_E_MEMBERNOTFOUND);
    EXPECT_STREQ(info.bstrDescription, L"The specified member does not exist: caption");
    CComVariant last;
    EXPECT_EQ(control.call(L"getLastException", {}, &last), S_OK);
    ASSERT_EQ(last.vt, VT_BSTR);
    EXPECT_STREQ(last.bstrVal, L"The specified member does not exist: caption");
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

// Script asks for a name without fdexNameEnsure before reading or calling it:
// a name the object lacks is unknown, so script raises its own error for a
// call, and getLastException names the member. An assignment asks with
// fdexNameEnsure and gets a name to hold the value.
TEST_F(ActiveXControlTest, ANameTheObjectLacksIsUnknownUntilAnAssignmentMakesIt) {
    SitedControl control;
    EXPECT_EQ(control.id(L"addEventListener"), DISPID_UNKNOWN);
    CComVariant last;
    EXPECT_EQ(control.call(L"getLastException", {}, &last), S_OK);
    ASSERT_EQ(last.vt, VT_BSTR);
    EXPECT_STREQ(last.bstrVal, L"The specified member does not exist: addEventListener");
    EXPECT_NE(control.id(L"InitCtrl"), DISPID_UNKNOWN);
    EXPECT_NE(control.id(L"attachEvent"), DISPID_UNKNOWN);
    EXPECT_EQ(control.id(L"later"), DISPID_UNKNOWN);
    const DISPID made = control.id(L"later", fdexNameCaseSensitive | fdexNameEnsure);
    ASSERT_NE(made, DISPID_UNKNOWN);
    CComVariant value(5L);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS assign{&value, &put, 1, 1};
    EXPECT_EQ(control.dispatch->InvokeEx(made, 0, DISPATCH_PROPERTYPUT, &assign, nullptr, nullptr,
                                         nullptr),
              S_OK);
    EXPECT_EQ(control.id(L"later"), made);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, ThisArgumentIsNotAScriptArgument) {
    SitedControl control;
    CComVariant args[2] = {CComVariant(L"text"), CComVariant()};
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = control.dispatch;
    // rgvarg[0] is the named this-argument; the script argument follows.
    VARIANT raw[2] = {args[1], args[0]};
    DISPID named = DISPID_THIS;
    DISPPARAMS params{raw, &named, 2, 1};
    CComVariant result;
    EXPECT_EQ(control.dispatch->InvokeEx(control.id(L"echo"), 0, DISPATCH_METHOD, &params, &result,
                                         nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, L"text");
    args[1].vt = VT_EMPTY;
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

// Calls to different members in turn each reach their own member, and an
// identifier that names nothing is not found, also right after a call.
TEST_F(ActiveXControlTest, CallsToMembersInTurnEachReachTheirOwn) {
    SitedControl control;
    const DISPID echo = control.id(L"echo");
    const DISPID attach = control.id(L"attachEvent");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (int round = 0; round < 2; ++round) {
        CComVariant text(round == 0 ? L"first" : L"second");
        DISPPARAMS params{&text, nullptr, 1, 0};
        CComVariant result;
        EXPECT_EQ(control.dispatch->InvokeEx(echo, 0, DISPATCH_METHOD, &params, &result, nullptr,
                                             nullptr),
                  S_OK);
        ASSERT_EQ(result.vt, VT_BSTR);
        EXPECT_STREQ(result.bstrVal, text.bstrVal);
        CComVariant special;
        EXPECT_EQ(control.dispatch->InvokeEx(attach, 0, DISPATCH_PROPERTYGET, &none, &special,
                                             nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(special.vt, VT_DISPATCH);
        CComVariant nothing;
        EXPECT_EQ(
            control.dispatch->InvokeEx(99, 0, DISPATCH_METHOD, &none, &nothing, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
    }
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, EnumerationEndsWithTheSpecialMembers) {
    SitedControl control;
    std::vector<std::wstring> names;
    DISPID id = DISPID_STARTENUM;
    while (control.dispatch->GetNextDispID(fdexEnumAll, id, &id) == S_OK && names.size() < 500) {
        BSTR name = nullptr;
        ASSERT_EQ(control.dispatch->GetMemberName(id, &name), S_OK);
        names.emplace_back(name);
        SysFreeString(name);
    }
    ASSERT_GE(names.size(), 4u);
    ASSERT_LT(names.size(), 500u);
    EXPECT_EQ(names[names.size() - 3], L"attachEvent");
    EXPECT_EQ(names[names.size() - 2], L"detachEvent");
    EXPECT_EQ(names[names.size() - 1], L"getLastException");
    EXPECT_NE(std::find(names.begin(), names.end(), L"InitCtrl"), names.end());
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, SpecialMembersAsObjectsAreSubObjects) {
    SitedControl control;
    CComVariant function;
    DISPPARAMS none{};
    ASSERT_EQ(control.dispatch->InvokeEx(control.id(L"attachEvent"), 0, DISPATCH_PROPERTYGET, &none,
                                         &function, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(function.vt, VT_DISPATCH);
    CComQIPtr<IDispatchEx> attach(function.pdispVal);
    ASSERT_TRUE(attach);
    // Called as script calls a function (with its this-argument) and with one
    // argument only, the function object fails as a sub-object.
    VARIANT raw[2];
    raw[0].vt = VT_DISPATCH;
    raw[0].pdispVal = control.dispatch;
    raw[1].vt = VT_BSTR;
    raw[1].bstrVal = SysAllocString(L"onecho");
    DISPID named = DISPID_THIS;
    DISPPARAMS params{raw, &named, 2, 1};
    CExcepInfo info;
    CComVariant result;
    EXPECT_EQ(attach->InvokeEx(DISPID_VALUE, 0, DISPATCH_METHOD, &params, &result, &info, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_STREQ(info.bstrSource, L"SUBOBJECT");
    EXPECT_STREQ(info.bstrDescription, L"Invalid Arguments");
    SysFreeString(raw[1].bstrVal);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

TEST_F(ActiveXControlTest, SafetyOptions) {
    Control control;
    auto safety = control.as<IObjectSafety>();
    DWORD supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IClassFactory, 1, 1), E_NOINTERFACE);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled),
              E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
}

TEST_F(ActiveXControlTest, ValueConversions) {
    SitedControl control;
    ActiveXBrowserHostPtr host = control.object->browserHost();
    ASSERT_TRUE(host);
    CComVariant ui4;
    ui4.vt = VT_UI4;
    ui4.ulVal = 4000000000UL;
    variant converted = host->getVariant(&ui4);
    ASSERT_TRUE(converted.holds<unsigned long>());
    EXPECT_EQ(converted.get<unsigned long>(), 4000000000UL);
    CComVariant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    converted = host->getVariant(&missing);
    ASSERT_TRUE(converted.holds<bool>());
    EXPECT_FALSE(converted.get<bool>());
    CComVariant i2(static_cast<short>(-5));
    EXPECT_EQ(host->getVariant(&i2).get<long>(), -5);
    // A value by reference is read through it, also one that is widened.
    LONG referenced = 41;
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &referenced;
    EXPECT_EQ(host->getVariant(&byRef).get<long>(), 41);
    SHORT shortReferenced = -7;
    byRef.vt = VT_BYREF | VT_I2;
    byRef.piVal = &shortReferenced;
    EXPECT_EQ(host->getVariant(&byRef).get<long>(), -7);
    // A kind script has no value for is no value.
    VARIANT unknown;
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = nullptr;
    EXPECT_TRUE(host->getVariant(&unknown).is_empty());
    CComVariant text(L"h\u00e9llo");
    EXPECT_EQ(host->getVariant(&text).get<std::string>(), "h\xc3\xa9llo");
    CComVariant null;
    null.vt = VT_NULL;
    EXPECT_TRUE(host->getVariant(&null).is_null());
    EXPECT_TRUE(host->getVariant(nullptr).is_empty());
    // A lone surrogate is refused as a script error, not a crash.
    CComVariant broken;
    broken.vt = VT_BSTR;
    broken.bstrVal = SysAllocStringLen(L"\xd800", 1);
    EXPECT_THROW(host->getVariant(&broken), script_error);

    CComVariant out;
    host->getComVariant(&out, variant(std::string("caf\xc3\xa9")));
    ASSERT_EQ(out.vt, VT_BSTR);
    EXPECT_STREQ(out.bstrVal, L"caf\u00e9");
    host->getComVariant(&out, variant(static_cast<unsigned short>(9)));
    EXPECT_EQ(out.vt, VT_UI2);
    host->getComVariant(&out, variant(12345678901LL));
    EXPECT_EQ(out.vt, VT_I8);
    host->getComVariant(&out, variant(variant_detail::null()));
    EXPECT_EQ(out.vt, VT_NULL);
    host->getComVariant(&out, variant());
    EXPECT_EQ(out.vt, VT_EMPTY);
    host->getComVariant(&out, variant(JSAPIPtr()));
    EXPECT_EQ(out.vt, VT_NULL);
    // The root scripting object comes back to script as the control itself.
    host->getComVariant(&out, variant(control.object->core()->getRootJSAPI()));
    ASSERT_EQ(out.vt, VT_DISPATCH);
    CComPtr<IUnknown> fromVariant, fromControl;
    out.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromVariant));
    control.dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromControl));
    EXPECT_EQ(fromVariant, fromControl);
    out.Clear();
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

namespace {

class Probe : public JSAPIAuto {
public:
    Probe() : JSAPIAuto("probe") {}
};

} // namespace

TEST_F(ActiveXControlTest, WrapperCacheHandsOutOnlyLiveWrappersOfTheSameObject) {
    SitedControl control;
    ActiveXBrowserHostPtr host = control.object->browserHost();
    auto probe = std::make_shared<Probe>();
    IDispatchEx* first = host->getJSAPIWrapper(probe, false);
    IDispatchEx* again = host->getJSAPIWrapper(probe, false);
    EXPECT_EQ(first, again);
    again->Release();
    first->Release();
    // Released: the next request makes a new wrapper that works.
    IDispatchEx* fresh = host->getJSAPIWrapper(probe, false);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(fresh->GetDispID(CComBSTR(L"toString"), 0, &id), S_OK);

    // An entry left for an object that is gone must not serve a new object at
    // the same address.
    alignas(Probe) static unsigned char storage[sizeof(Probe)];
    auto other = std::make_shared<Probe>();
    IDispatchEx* stale = host->getJSAPIWrapper(other, false);
    CComPtr<IFWScriptingObjectOwner> owner;
    ASSERT_EQ(stale->QueryInterface(IID_IFWScriptingObjectOwner, reinterpret_cast<void**>(&owner)),
              S_OK);
    {
        std::shared_ptr<Probe> placed(new (storage) Probe(), [](Probe* p) { p->~Probe(); });
        host->cacheJSAPIWrapper(placed, stale, owner->wrapperToken());
    }
    std::shared_ptr<Probe> reused(new (storage) Probe(), [](Probe* p) { p->~Probe(); });
    IDispatchEx* forReused = host->getJSAPIWrapper(reused, false);
    EXPECT_NE(forReused, stale);
    forReused->Release();
    stale->Release();
    fresh->Release();
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

// A host whose control has no site and no web browser: no page to run script
// in, no document, and once shut down nothing more is scheduled.
TEST_F(ActiveXControlTest, AHostWithoutAPageRunsNoScriptAndSchedulesNothingAfterShutdown) {
    auto host = std::make_shared<FW::ActiveX::ActiveXBrowserHost>(nullptr, nullptr);
    try {
        host->evaluateJavaScript("1");
        ADD_FAILURE() << "script ran without a page";
    } catch (const FW::script_error& e) {
        EXPECT_STREQ("Can't execute JavaScript: Window is NULL", e.what());
    }
    EXPECT_FALSE(host->getDOMDocument());
    EXPECT_FALSE(host->getDOMWindow());

    static int ran;
    ran = 0;
    auto count = [](void*) { ++ran; };
    EXPECT_TRUE(host->ScheduleAsyncCall(count, nullptr));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(1, ran);
    host->shutdown();
    EXPECT_FALSE(host->ScheduleAsyncCall(count, nullptr));
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(1, ran);
}

// The DOM wrappers over a page object that offers none of the browser's
// document interfaces, and without a web browser: each operation fails with
// its own text, and the getters answer nothing.
TEST_F(ActiveXControlTest, DOMWrappersOverAnObjectWithoutThePageInterfacesFailWithTheirTexts) {
    SitedControl control;
    auto host = std::make_shared<ActiveXBrowserHost>(nullptr, nullptr);
    CComPtr<IDispatch> plain;
    ASSERT_EQ(S_OK,
              control.dispatch->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&plain)));
    JSObjectPtr object = host->wrapIDispatch(plain);
    auto document = std::make_shared<AXDOM::Document>(object, plain, nullptr);
    auto element = std::make_shared<AXDOM::Element>(object, plain, nullptr);
    auto window = std::make_shared<AXDOM::Window>(object, plain, nullptr);
    auto errorOf = [](auto&& operation) -> std::string {
        try {
            operation();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "<no error>";
    };
    EXPECT_EQ("Document does not support getElementById",
              errorOf([&] { document->getElementById("cam"); }));
    EXPECT_EQ("Failed to create element!", errorOf([&] { document->createElement("div"); }));
    EXPECT_EQ("Could not get element by tag name",
              errorOf([&] { document->getElementsByTagName("p"); }));
    EXPECT_EQ("Could not get element by tag name",
              errorOf([&] { element->getElementsByTagName("p"); }));
    EXPECT_EQ("Could not get innerhtml", errorOf([&] { element->getInnerHTML(); }));
    EXPECT_EQ("Could not set innerHtml", errorOf([&] { element->setInnerHTML("<b>x</b>"); }));
    EXPECT_EQ("failed to appendChild!", errorOf([&] { element->appendChild(window); }));
    EXPECT_FALSE(document->getWindow());
    EXPECT_FALSE(window->getDocument());
    EXPECT_EQ("", window->getLocation());
    EXPECT_EQ("<no error>", errorOf([&] { window->alert("nobody sees this"); }));
    document.reset();
    element.reset();
    window.reset();
    object.reset();
    host->shutdown();
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}

namespace {

// A page function that takes one text and refuses anything else, as script
// functions of a typed page object do.
class TextOnlyFunction : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                         public IDispatch {
public:
    BEGIN_COM_MAP(TextOnlyFunction)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
     UINT* argErr) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_METHOD) || !params)
            return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) {
            if (argErr)
                *argErr = 0;
            return DISP_E_TYPEMISMATCH;
        }
        received = params->rgvarg[0].bstrVal;
        if (result)
            VariantInit(result);
        return S_OK;
    }

    std::wstring received;
};

} // namespace

TEST_F(ActiveXControlTest, APageFunctionThatRefusesTheArgumentsTypeFailsTheCall) {
    auto host = std::make_shared<ActiveXBrowserHost>(nullptr, nullptr);
    CComPtr<TextOnlyFunction> function = makeObject<TextOnlyFunction>();
    JSObjectPtr page = host->wrapIDispatch(function);
    try {
        page->Invoke("", VariantList{variant(5)});
        ADD_FAILURE() << "a number reached a function that takes a text";
    } catch (const script_error& e) {
        EXPECT_STREQ("Method invoke failed", e.what());
    }
    EXPECT_TRUE(function->received.empty());
    page->Invoke("", VariantList{variant(std::string("text"))});
    EXPECT_EQ(L"text", function->received);
    page.reset();
    host->shutdown();
}
TEST_F(ActiveXControlTest, ConnectionCookiesAreNeverHandedOutTwice) {
    SitedControl control;
    ActiveXBrowserHostPtr host = control.object->browserHost();
    auto probe = std::make_shared<Probe>();
    CComPtr<IDispatchEx> sink;
    sink.Attach(host->getJSAPIWrapper(probe, false));
    CComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(control.as<IConnectionPointContainer>()->EnumConnectionPoints(&points), S_OK);
    CComPtr<IConnectionPoint> point;
    ASSERT_EQ(points->Next(1, &point, nullptr), S_OK);

    DWORD first = 0, second = 0, third = 0;
    ASSERT_EQ(point->Advise(sink, &first), S_OK);
    ASSERT_EQ(point->Advise(sink, &second), S_OK);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(control.object->sinkCount(), 2u);
    // A cookie given back is not handed out again, so using it twice reaches
    // no later connection.
    ASSERT_EQ(point->Unadvise(first), S_OK);
    ASSERT_EQ(point->Advise(sink, &third), S_OK);
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(point->Unadvise(first), E_UNEXPECTED);
    EXPECT_EQ(control.object->sinkCount(), 2u);
    EXPECT_EQ(point->Unadvise(second), S_OK);
    EXPECT_EQ(point->Unadvise(third), S_OK);
    EXPECT_EQ(control.object->sinkCount(), 0u);
    control.as<IOleObject>()->Close(OLECLOSE_NOSAVE);
}
