// orvelaX64.exe as its clients meet it: registration from its command line,
// X64ConfigCtrl hosted by a container in this process while COM serves it
// from the bridge's own process, camera calls reaching the simulator there,
// camera events reaching a page function here, and the idle exit.
#include "ax_host.h"
#include "camera_sim_client.h"
#include "com_ptr.h"
#include "com_types.h"
#include "orvelaX64.h"
#include "page_objects.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>
#include "support/ole_apartment.h"
#include "support/registry_tree.h"
#include "support/run_program.h"
#include "support/test_top_window.h"

using namespace ATL;

namespace {

// Runs the bridge with a command line; answers its exit code.
DWORD RunBridge(const std::wstring& arguments, std::string* errorOutput = nullptr) {
    std::string output;
    const DWORD code =
        testsupport::runProgram(L"\"" BRIDGE_EXE_PATH L"\" " + arguments, output, nullptr, 30000);
    if (errorOutput)
        *errorOutput = output;
    return code;
}

using testsupport::RegistryTree;

const wchar_t* const kBridgeKeys[] = {
    L"CLSID\\{DF503770-8711-488F-B779-C289743BB4A9}",
    L"KavrinX64.X64ConfigCtrl",
    L"KavrinX64.X64ConfigCtrl.1",
    L"AppID\\{0D902167-059D-4128-B191-0BFF738DE68C}",
    L"AppID\\KavrinX64.EXE",
    L"TypeLib\\{4DF015C0-1025-4485-BDD7-EFFA8F23503E}",
    L"Interface\\{F3E0DCA1-AF03-4671-BDD4-22F166072293}",
};

// The program's path as the program itself sees it.
std::wstring ExePathWindows() {
    std::wstring path = BRIDGE_EXE_PATH;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

RegistryTree BridgeEntries() {
    RegistryTree tree;
    for (const wchar_t* key : kBridgeKeys)
        testsupport::readRegistryTree(HKEY_CLASSES_ROOT, key, tree);
    return tree;
}

} // namespace

TEST(BridgeRegistration, UnregisterRemovesAndRegisterRestoresEveryEntry) {
    const RegistryTree registered = BridgeEntries();
    const std::wstring clsid = L"CLSID\\{DF503770-8711-488F-B779-C289743BB4A9}";
    ASSERT_EQ(L"1:X64ConfigCtrl Class", registered.at(clsid + L"|"));
    const std::wstring quoted = L"\"" + ExePathWindows() + L"\"";
    EXPECT_EQ(L"1:" + quoted, registered.at(clsid + L"\\LocalServer32|"));
    EXPECT_EQ(L"1:131473", registered.at(clsid + L"\\MiscStatus\\1|"));
    EXPECT_EQ(L"1:0", registered.at(clsid + L"\\MiscStatus|"));
    EXPECT_EQ(L"1:{0D902167-059D-4128-B191-0BFF738DE68C}", registered.at(clsid + L"|AppID"));
    EXPECT_EQ(L"1:" + quoted + L", 102", registered.at(clsid + L"\\ToolboxBitmap32|"));
    EXPECT_EQ(L"<key>", registered.at(clsid + L"\\Control"));
    EXPECT_EQ(L"<key>", registered.at(clsid + L"\\Programmable"));
    EXPECT_EQ(L"1:KavrinX64.X64ConfigCtrl.1", registered.at(L"KavrinX64.X64ConfigCtrl\\CurVer|"));
    EXPECT_EQ(L"1:KavrinX64", registered.at(L"AppID\\{0D902167-059D-4128-B191-0BFF738DE68C}|"));
    EXPECT_EQ(0u, registered.count(L"AppID\\{0D902167-059D-4128-B191-0BFF738DE68C}|LocalService"));
    EXPECT_EQ(1u, registered.count(L"TypeLib\\{4DF015C0-1025-4485-BDD7-EFFA8F23503E}\\1.0"));

    // The word in another case after a hyphen, as an installer may write it.
    ASSERT_EQ(0u, RunBridge(L"-unregSERVER"));
    EXPECT_TRUE(BridgeEntries().empty());
    HKEY appIds = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ, &appIds));
    RegCloseKey(appIds);
    // Started by COM without its AppID, the program ends at once with the
    // registry's error.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), RunBridge(L"-Embedding"));

    // The first registration word on the line is the one carried out.
    ASSERT_EQ(0u, RunBridge(L"/regserver /UnregServer"));
    EXPECT_EQ(registered, BridgeEntries());
}

namespace {

std::wstring ServiceValue() {
    wchar_t value[64] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"AppID\\{0D902167-059D-4128-B191-0BFF738DE68C}",
                     L"LocalService", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

bool ServiceInstalled() {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = scm ? OpenServiceW(scm, L"KavrinX64", SERVICE_QUERY_STATUS) : nullptr;
    if (service)
        CloseServiceHandle(service);
    if (scm)
        CloseServiceHandle(scm);
    return service != nullptr;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status = {};
    for (int i = 0; i < 100; ++i) {
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == state)
            return true;
        Sleep(50);
    }
    return false;
}

} // namespace

namespace {

// A help string as the type library holds it: the reader's code page gives
// back the bytes, which the library wrote in code page 936.
std::wstring In936(const wchar_t* help) {
    if (!help)
        return L"<none>";
    const int bytes = WideCharToMultiByte(CP_ACP, 0, help, -1, nullptr, 0, nullptr, nullptr);
    std::string raw(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, help, -1, raw.data(), bytes, nullptr, nullptr);
    const int chars = MultiByteToWideChar(936, 0, raw.c_str(), -1, nullptr, 0);
    std::wstring text(chars, L'\0');
    MultiByteToWideChar(936, 0, raw.c_str(), -1, text.data(), chars);
    text.resize(chars > 0 ? chars - 1 : 0);
    return text;
}

std::wstring HelpString(ITypeInfo* info, MEMBERID member) {
    CComBSTR help;
    if (!info || FAILED(info->GetDocumentation(member, nullptr, &help, nullptr, nullptr)))
        return L"<none>";
    return In936(help);
}

} // namespace

TEST(BridgeTypeLibrary, HelpStringsAreTheChineseTexts) {
    CComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLibEx(BRIDGE_EXE_PATH, REGKIND_NONE, &library));
    CComBSTR libraryHelp;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, nullptr, &libraryHelp, nullptr, nullptr));
    EXPECT_EQ(L"KavrinX64 1.0 \u7C7B\u578B\u5E93", In936(libraryHelp));

    CComPtr<ITypeInfo> control, events;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IX64ConfigCtrl, &control));
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(DIID__IX64ConfigCtrlEvents, &events));
    EXPECT_EQ(L"IX64ConfigCtrl \u63A5\u53E3", HelpString(control, MEMBERID_NIL));
    EXPECT_EQ(L"_IX64ConfigCtrlEvents \u63A5\u53E3", HelpString(events, MEMBERID_NIL));
    EXPECT_EQ(L"\u65B9\u6CD5 PlayAudio", HelpString(control, 7));
    EXPECT_EQ(L"\u901A\u77E5\u7F51\u9875\u5904\u7406\u6D88\u606F", HelpString(events, 1));
    // The members' English texts stay as they are.
    EXPECT_EQ(L"init control", HelpString(control, 1));
    EXPECT_EQ(L"get control version string", HelpString(control, 2));
}

TEST(BridgeRegistration, ServiceWordInstallsOneServiceThatRunsAndRegServerRemovesIt) {
    ASSERT_EQ(0u, RunBridge(L"/Service"));
    ASSERT_EQ(0u, RunBridge(L"-SERVICE"));
    EXPECT_EQ(L"KavrinX64", ServiceValue());
    ASSERT_TRUE(ServiceInstalled());

    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, scm);
    SC_HANDLE service = OpenServiceW(scm, L"KavrinX64", SERVICE_ALL_ACCESS);
    ASSERT_NE(nullptr, service);
    EXPECT_TRUE(StartServiceW(service, 0, nullptr));
    EXPECT_TRUE(WaitForServiceState(service, SERVICE_RUNNING));
    SERVICE_STATUS status = {};
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(WaitForServiceState(service, SERVICE_STOPPED));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);

    // Both words: only the unregistration runs.
    ASSERT_EQ(0u, RunBridge(L"/UnregServer /Service"));
    EXPECT_FALSE(ServiceInstalled());
    EXPECT_TRUE(BridgeEntries().empty());

    ASSERT_EQ(0u, RunBridge(L"/Service"));
    EXPECT_TRUE(ServiceInstalled());
    ASSERT_EQ(0u, RunBridge(L"/RegServer"));
    EXPECT_FALSE(ServiceInstalled());
    EXPECT_EQ(L"<none>", ServiceValue());
}

TEST(BridgeStart, ALocalServiceValueLongerThan255CharactersEndsItWithTheRegistryError) {
    const wchar_t* const appId = L"AppID\\{0D902167-059D-4128-B191-0BFF738DE68C}";
    const std::wstring tooLong(256, L'K');
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_CLASSES_ROOT, appId, L"LocalService", REG_SZ, tooLong.c_str(),
                              static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t))));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), RunBridge(L"-Embedding"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyValueW(HKEY_CLASSES_ROOT, appId, L"LocalService"));
}

namespace {

// One journal for the whole run: the bridge started by COM inherits this
// process's environment, which names the journal file it writes to.
CameraSim::JournalFile& Journal() {
    static CameraSim::JournalFile journal;
    return journal;
}

// X64ConfigCtrl in a control-host window of this process, served by the
// bridge in its own process.
class HostedBridge : public ::testing::Test {
protected:
    void SetUp() override {
        journal.clear();
        ASSERT_TRUE(AtlAxWinInit());
        host = testsupport::childWindow(kAxWin100.host, 400, 300,
                                        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN);
        ASSERT_NE(nullptr, host);
        ASSERT_EQ(S_OK, CreateControlInHostWindow(host, L"KavrinX64.X64ConfigCtrl", &unk));
        ASSERT_EQ(S_OK, unk.QueryInterface(&bridge));
        CameraSim::pumpMessages(50);
    }
    void TearDown() override {
        bridge.Release();
        unk.Release();
        if (host)
            DestroyWindow(host);
        CameraSim::pumpMessages(50);
    }

    // Pumps until the page saw n calls (events arrive while this thread pumps).
    bool WaitForPageCalls(PageObjects::PageScript* script, size_t n, DWORD timeoutMs = 5000) {
        const DWORD start = GetTickCount();
        while (script->calls.size() < n && GetTickCount() - start < timeoutMs)
            CameraSim::pumpMessages(20);
        return script->calls.size() >= n;
    }

    CameraSim::JournalFile& journal = Journal();
    HWND host = nullptr;
    CComPtr<IUnknown> unk;
    CComPtr<IX64ConfigCtrl> bridge;
};

std::vector<std::wstring> Texts(const CameraSim::JournalRecord& record) {
    std::vector<std::wstring> out;
    for (const auto& arg : record.args)
        out.push_back(arg.isText() ? arg.text : std::to_wstring(arg.integer));
    return out;
}

} // namespace

TEST_F(HostedBridge, ForwardsTheSixCameraOperationsToTheCameraInItsOwnProcess) {
    LONG ret = 99;
    EXPECT_EQ(S_OK,
              bridge->InitCtrl(CComBSTR(L"http://cam/"), CComBSTR(L"192.0.2.10"), 8091, &ret));
    EXPECT_EQ(0, ret);
    CComBSTR version;
    EXPECT_EQ(S_OK, bridge->GetCtrlVersion(&version));
    EXPECT_STREQ(L"20100", version.m_str);
    ret = 99;
    EXPECT_EQ(S_OK, bridge->LoadLang(CComBSTR(L"http://cam/lang/zh.xml"), 1, &ret));
    EXPECT_EQ(0, ret);
    ret = 99;
    EXPECT_EQ(S_OK, bridge->SetBufferTick(40, 3, &ret));
    EXPECT_EQ(0, ret);
    ret = 99;
    EXPECT_EQ(S_OK, bridge->SetBufferTickV2(0, 3, &ret));
    EXPECT_EQ(-1, ret);
    ret = 99;
    EXPECT_EQ(S_OK, bridge->SetDeviceType(2, CComBSTR(L"ipc\x00e9"), &ret));
    EXPECT_EQ(0, ret);

    const CameraSim::Records calls = journal.calls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_NE(GetCurrentProcessId(), calls[0].pid);
    const std::vector<std::pair<int, std::vector<std::wstring>>> expected = {
        {7, {L"http://cam/", L"192.0.2.10", L"8091"}},
        {8, {}},
        {9, {L"http://cam/lang/zh.xml", L"1"}},
        {10, {L"40", L"3"}},
        {11, {L"0", L"3"}},
        {12, {L"2", L"ipc\x00e9"}},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, calls[i].slot) << i;
        EXPECT_EQ(expected[i].second, Texts(calls[i])) << i;
    }

    // A failing camera call is the method's failure, not a result.
    CameraSim::failNextCall(9, E_ACCESSDENIED);
    ret = 99;
    EXPECT_EQ(E_ACCESSDENIED, bridge->LoadLang(CComBSTR(L"x"), 0, &ret));
    EXPECT_EQ(0, ret); // unwritten by the bridge: the marshaler's fresh value

    // Script reaches the same methods through IDispatch.
    CComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, bridge.QueryInterface(&disp));
    LPOLESTR name = const_cast<LPOLESTR>(L"SetIEWindow");
    DISPID id = 0;
    ASSERT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(7, id);
    // A window that is not an object: -1.
    CComVariant args[2];
    args[1] = CComVariant(L"not a window");
    args[0] = CComVariant(L"onCamera");
    DISPPARAMS dp = {args, nullptr, 2, 0};
    CComVariant result;
    EXPECT_EQ(S_OK, disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(-1, result.lVal);
}

TEST_F(HostedBridge, RelaysCameraEventsToTheFirstNamedPageFunction) {
    auto* script = PageObjects::PageScript::Create(L"onCamera");
    auto* document = PageObjects::PageDocument::Create(script);
    auto* window = PageObjects::PageWindow::Create(document);

    // An event before any page is known goes nowhere.
    ASSERT_GE(CameraSim::requestEvent(L"early", 1, 1), 1);
    ASSERT_TRUE(journal.waitFor([](const CameraSim::Records& r) {
        return !CameraSim::ofKind(r, CameraSim::JournalRecord::Kind::Delivery).empty();
    }));

    VARIANT page;
    VariantInit(&page);
    V_VT(&page) = VT_DISPATCH;
    V_DISPATCH(&page) = static_cast<IHTMLWindow2*>(window);
    LONG ret = 99;
    EXPECT_EQ(S_OK, bridge->SetIEWindow(page, CComBSTR(L",onCamera,,onOther,"), &ret));
    EXPECT_EQ(0, ret);

    ASSERT_GE(CameraSim::requestEvent(L"abc \x00e9", 3, 7), 1);
    ASSERT_TRUE(WaitForPageCalls(script, 1));
    ASSERT_EQ(1u, script->calls.size());
    EXPECT_EQ((std::vector<std::wstring>{L"7", L"3", L"abc \x00e9"}), script->calls[0].params);

    ASSERT_GE(CameraSim::requestEvent(L"", -2, 0), 1);
    ASSERT_TRUE(WaitForPageCalls(script, 2));
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"-2", L""}), script->calls[1].params);
    // The script object and the function were looked up once.
    EXPECT_EQ(1, document->scriptRequests);
    EXPECT_EQ(1, script->lookups);

    // A function the page does not have: nothing is called, and each event
    // looks again.
    ret = 99;
    EXPECT_EQ(S_OK, bridge->SetIEWindow(page, CComBSTR(L"missing"), &ret));
    EXPECT_EQ(0, ret);
    ASSERT_GE(CameraSim::requestEvent(L"lost", 1, 0), 1);
    ASSERT_GE(CameraSim::requestEvent(L"lost", 1, 0), 1);
    const DWORD start = GetTickCount();
    while (script->lookups < 3 && GetTickCount() - start < 5000)
        CameraSim::pumpMessages(20);
    EXPECT_EQ(3, script->lookups);
    EXPECT_EQ(2u, script->calls.size());

    window->Release();
    document->Release();
    script->Release();
}

TEST_F(HostedBridge, EndsFiveSecondsAfterItsLastObjectIsReleased) {
    CComBSTR version;
    ASSERT_EQ(S_OK, bridge->GetCtrlVersion(&version));
    const CameraSim::Records calls = journal.calls();
    ASSERT_FALSE(calls.empty());
    HANDLE server = OpenProcess(SYNCHRONIZE, FALSE, calls.back().pid);
    ASSERT_NE(nullptr, server);

    bridge.Release();
    unk.Release();
    DestroyWindow(host);
    host = nullptr;
    const DWORD released = GetTickCount();
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount() - released < 12000) {
        CameraSim::pumpMessages(20);
        waited = WaitForSingleObject(server, 0);
    }
    const DWORD elapsed = GetTickCount() - released;
    CloseHandle(server);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    EXPECT_GE(elapsed, 4500u);
    EXPECT_LE(elapsed, 9000u);
}
