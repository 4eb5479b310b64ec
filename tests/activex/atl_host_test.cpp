// nporvela hosted by a container that nobody here wrote: Wine's ATL host
// window (AtlAxWin100 of atl100.dll) creates it by ProgID, as a customer's
// program would. Whichever way that host activates it, the control must come
// up in place, make its camera inside the host window, answer calls through
// its IDispatch and go away with nothing left behind.
#include "com_ptr.h"
#include "com_types.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <oleidl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "camera_sim_client.h"
#include "support/ole_apartment.h"
#include "support/run_program.h"
#include "support/test_top_window.h"

using namespace ATL;
using CameraSim::JournalRecord;
using CameraSim::JournalValue;
using CameraSim::Records;

namespace {

struct LibraryFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

struct WindowDestroy {
    void operator()(HWND window) const {
        if (IsWindow(window))
            DestroyWindow(window);
    }
};
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroy>;

// The exports of Wine's atl100.dll that a host program uses. The library
// stays for the process: the window classes it registers outlive an unload.
struct WineAtl {
    using InitFn = BOOL(WINAPI*)();
    using GetFn = HRESULT(WINAPI*)(HWND, IUnknown**);

    Library dll{LoadLibraryW(L"atl100.dll")};
    InitFn init = proc<InitFn>("AtlAxWinInit");
    GetFn getControl = proc<GetFn>("AtlAxGetControl");
    GetFn getHost = proc<GetFn>("AtlAxGetHost");

    template <class F>
    F proc(const char* name) const {
        return dll ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll.get(), name)))
                   : nullptr;
    }
    bool usable() const { return init && getControl && getHost; }
    bool initialised = usable() && init();
};

const WineAtl& wineAtl() {
    static const WineAtl atl;
    return atl;
}

std::vector<std::wstring> lifeOf(const Records& records) {
    std::vector<std::wstring> life;
    for (const JournalRecord& record : records)
        if (record.kind == JournalRecord::Kind::Life)
            life.push_back(record.name);
    return life;
}

bool has(const std::vector<std::wstring>& list, const wchar_t* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

HRESULT callByName(IDispatch* object, const wchar_t* name, std::vector<CComVariant> args,
                   CComVariant& result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    // Arguments travel last first.
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()),
                      0};
    ATL::CExcepInfo excep;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                          &excep, nullptr);
}

const JournalRecord* firstCall(const Records& records, const wchar_t* name) {
    const auto found = std::find_if(records.begin(), records.end(), [&](const JournalRecord& r) {
        return r.kind == JournalRecord::Kind::Call && r.name == name;
    });
    return found != records.end() ? &*found : nullptr;
}

BOOL CALLBACK collectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// The control in Wine's host window, up with its camera.
class WineAtlHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(atl.usable()) << "Wine's atl100.dll must be enabled for this test";
        ASSERT_TRUE(atl.initialised);
        host.reset(CreateWindowExW(0, L"AtlAxWin100", L"Brenlow.orvela",
                                   WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 320, 240,
                                   testsupport::testTopWindow(), nullptr, nullptr, nullptr));
        ASSERT_NE(nullptr, host.get());
        ASSERT_EQ(S_OK, atl.getControl(host.get(), &control));
        ASSERT_TRUE(control);
        ASSERT_TRUE(journal.waitFor([](const Records& records) {
            return has(lifeOf(records), L"activated");
        })) << "the camera was not activated inside the control";
    }

    // Tear-down as the host does it when its window goes: the camera goes with
    // the control, and the last reference is the test's.
    void tearDownHost() {
        host.reset();
        CameraSim::pumpMessages(200);
        IUnknown* last = control.Detach();
        EXPECT_EQ(0u, last->Release());
        EXPECT_TRUE(journal.waitFor(
            [](const Records& records) { return has(lifeOf(records), L"destroyed"); }));
        EXPECT_TRUE(CameraSim::findSimulators(GetCurrentProcessId()).empty());
        EXPECT_EQ(
            (std::vector<std::wstring>{L"created", L"activated", L"deactivated", L"destroyed"}),
            lifeOf(journal.records()));
    }

    const WineAtl& atl = wineAtl();
    CameraSim::JournalFile journal;
    Window host;
    CComPtr<IUnknown> control;
};

TEST_F(WineAtlHost, ActivatesTheControlInPlaceWithItsCameraAnswersCallsAndTearsDown) {
    {
        // In place: the control's window sits inside the host window, and the
        // camera was made inside that.
        CComQIPtr<IOleInPlaceObject> inPlace(control);
        ASSERT_TRUE(inPlace);
        HWND own = nullptr;
        ASSERT_EQ(S_OK, inPlace->GetWindow(&own));
        EXPECT_TRUE(IsChild(host.get(), own));
        EXPECT_TRUE(IsWindowVisible(own));
        EXPECT_EQ(1u, CameraSim::findSimulators(GetCurrentProcessId()).size());
        std::vector<HWND> inside;
        EnumChildWindows(own, collectChild, reinterpret_cast<LPARAM>(&inside));
        EXPECT_GE(inside.size(), 2u) << "the camera's host window and the camera's own";
        for (HWND window : inside)
            EXPECT_TRUE(IsWindowVisible(window));
    }
    {
        // Calls by name through the control's IDispatch reach the camera.
        CComQIPtr<IDispatch> script(control);
        ASSERT_TRUE(script);
        CComVariant result;
        ASSERT_EQ(S_OK, callByName(script, L"InitCtrl",
                                   {CComVariant(L"http://192.0.2.41/"), CComVariant(L"192.0.2.41"),
                                    CComVariant(81L)},
                                   result));
        EXPECT_EQ(S_OK, VariantChangeType(&result, &result, 0, VT_I4));
        EXPECT_EQ(0, result.lVal);
        CComVariant version;
        ASSERT_EQ(S_OK, callByName(script, L"GetCtrlVersion", {}, version));
        EXPECT_EQ(S_OK, VariantChangeType(&version, &version, 0, VT_I4));
        EXPECT_EQ(20100, version.lVal);
        const Records calls = journal.calls();
        const JournalRecord* init = firstCall(calls, L"InitCtrl");
        ASSERT_NE(nullptr, init);
        EXPECT_EQ((std::vector<JournalValue>{JournalValue::string(L"http://192.0.2.41/"),
                                             JournalValue::string(L"192.0.2.41"),
                                             JournalValue::number(81)}),
                  init->args);
    }
    tearDownHost();
}

// A class whose every instance is the control in the host window, so that
// VBScript in another process reaches it with WScript.CreateObject: Wine's
// script host has no GetObject, and VBScript's own CreateObject and GetObject
// need a site that the script host cannot give.
const wchar_t kHostedProgId[] = L"OrvelaTest.HostedCamera";
const CLSID kHostedClsid = {
    0x5c0a7e21, 0x9d43, 0x4f6b, {0x8e, 0x2a, 0x31, 0xb7, 0xc4, 0xd9, 0xe6, 0xf0}};

class HostedControlFactory final : public IClassFactory {
public:
    explicit HostedControlFactory(IUnknown* control) : m_control(control) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!InlineIsEqualGUID(riid, IID_IUnknown) && !InlineIsEqualGUID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = InterlockedDecrement(&m_refs);
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : m_control->QueryInterface(riid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ~HostedControlFactory() = default;
    CComPtr<IUnknown> m_control;
    LONG m_refs = 1;
};

// The ProgID in the machine's classes (where Wine's COM reads it) and the
// class object registered with COM, both withdrawn at the end.
class HostedClass {
public:
    explicit HostedClass(IUnknown* control) {
        wchar_t clsid[40] = {};
        StringFromGUID2(kHostedClsid, clsid, 40);
        const std::wstring key = std::wstring(L"Software\\Classes\\") + kHostedProgId + L"\\CLSID";
        if (RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, clsid,
                            static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t))) !=
            ERROR_SUCCESS)
            return;
        m_keyWritten = true;
        CComPtr<IClassFactory> factory;
        factory.Attach(new HostedControlFactory(control));
        if (FAILED(CoRegisterClassObject(kHostedClsid, factory, CLSCTX_LOCAL_SERVER,
                                         REGCLS_MULTIPLEUSE, &m_cookie)))
            m_cookie = 0;
    }
    ~HostedClass() {
        if (m_cookie != 0)
            CoRevokeClassObject(m_cookie);
        if (m_keyWritten)
            RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                           (std::wstring(L"Software\\Classes\\") + kHostedProgId).c_str());
    }
    HostedClass(const HostedClass&) = delete;
    HostedClass& operator=(const HostedClass&) = delete;
    bool registered() const { return m_cookie != 0; }

private:
    bool m_keyWritten = false;
    DWORD m_cookie = 0;
};

TEST_F(WineAtlHost, VBScriptInTheScriptHostDrivesTheHostedCameraWithArgumentsByReference) {
    {
        HostedClass hosted(control);
        ASSERT_TRUE(hosted.registered());
        std::string output;
        const DWORD code = testsupport::runProgram(
            L"cscript.exe //nologo \"" + testsupport::windowsPath(ORVELA_HOSTED_CAMERA_SCRIPT) +
                L"\" " + kHostedProgId,
            output);
        EXPECT_EQ(0u, code) << output;
        EXPECT_NE(std::string::npos, output.find("hosted_camera.vbs: all checks passed")) << output;
        EXPECT_EQ(std::string::npos, output.find("FAIL ")) << output;
    }
    const Records calls = journal.calls();
    const JournalRecord* init = firstCall(calls, L"InitCtrl");
    ASSERT_NE(nullptr, init);
    EXPECT_EQ(
        (std::vector<JournalValue>{JournalValue::string(L"http://192.0.2.42/"),
                                   JournalValue::string(L"192.0.2.42"), JournalValue::number(82)}),
        init->args);
    const JournalRecord* play = firstCall(calls, L"PlayRealVideo");
    ASSERT_NE(nullptr, play);
    EXPECT_EQ((std::vector<JournalValue>{JournalValue::string(L"1"), JournalValue::string(L"0"),
                                         JournalValue::string(L"main")}),
              play->args);
    tearDownHost();
}

} // namespace
