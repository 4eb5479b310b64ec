// The registered camera simulator driven by real clients: its type library as
// callers see it, early-bound calls, Windows Script Host in another process,
// and a control host window with an event sink.
#include "camera_sim.h"
#include "camera_sim_client.h"
#include "camera_model.h"
#include "host_window.h"

#include "com_ptr.h"
#include "com_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace CameraSim;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComQIPtr;

namespace {

class ComApartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

std::wstring windowsPath(const char* path) {
    std::wstring out(path, path + strlen(path));
    for (wchar_t& c : out)
        if (c == L'/')
            c = L'\\';
    return out;
}

// Runs a program to its end; answers its exit code and collects its output.
DWORD runProgram(std::wstring commandLine, std::string& output, DWORD timeoutMs = 60000) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return ~0u;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return ~0u;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(readEnd);
    DWORD code = ~0u;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

const JournalRecord* findCall(const Records& records, const wchar_t* name, size_t nth = 0) {
    for (const JournalRecord& r : records)
        if (r.kind == JournalRecord::Kind::Call && r.name == name && nth-- == 0)
            return &r;
    return nullptr;
}

std::vector<JournalValue> texts(std::initializer_list<const wchar_t*> values) {
    std::vector<JournalValue> out;
    for (const wchar_t* v : values)
        out.push_back(JournalValue::string(v));
    return out;
}

// ---------------------------------------------------------------------------

TEST(Registration, ProgIdNamesTheSimulatorAndTheTypeLibraryDescribesEverySlot) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_MorvathCtrl));
    EXPECT_TRUE(IsEqualGUID(kClsid, CLSID_MorvathCtrl));

    wchar_t model[32] = {};
    DWORD size = sizeof model;
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT,
                           L"CLSID\\{02AC9B62-9CC6-4A19-96FE-E92D23142E5F}\\InprocServer32",
                           L"ThreadingModel", RRF_RT_REG_SZ, nullptr, model, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(model, L"Apartment");

    CComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_MorvathCtrlLib, 1, 0, LOCALE_NEUTRAL, &lib), S_OK);
    CComPtr<ITypeInfo> dispatchInfo;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IMorvathCtrl, &dispatchInfo), S_OK);
    HREFTYPE vtableRef = 0;
    ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(-1, &vtableRef), S_OK);
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatchInfo->GetRefTypeInfo(vtableRef, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->cFuncs, kLastSlot - kFirstSlot + 1);
    const WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    // Parameter kinds per slot: 't' text, 'n' 32-bit integer; the last is the output.
    const char* const shapes[] = {
        "ttnn", "n",  "tnn", "nnn", "nnn",  "ntn", "tttn", "tn", "n",   "ttn", "n",   "tttn",
        "n",    "tn", "tn",  "t",   "tn",   "tn",  "n",    "n",  "tn",  "n",   "n",   "n",
        "tttn", "n",  "n",   "n",   "n",    "n",   "nn",   "n",  "tn",  "nn",  "n",   "nnnnntn",
        "t",    "t",  "t",   "n",   "nttn", "n",   "ntn",  "t",  "ntn", "t",   "ttnn"};
    static_assert(sizeof shapes / sizeof shapes[0] == kLastSlot - kFirstSlot + 1, "one per slot");
    for (WORD i = 0; i < functions; ++i) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
        const int slot = desc->oVft / static_cast<int>(sizeof(void*));
        EXPECT_EQ(desc->memid, slot) << "DISPID equals the slot";
        CComBSTR name;
        info->GetDocumentation(desc->memid, &name, nullptr, nullptr, nullptr);
        ASSERT_NE(operationName(slot), nullptr) << slot;
        EXPECT_STREQ(name, operationName(slot)) << slot;
        std::string shape;
        for (SHORT p = 0; p < desc->cParams; ++p) {
            const TYPEDESC& t = desc->lprgelemdescParam[p].tdesc;
            const VARTYPE vt = t.vt == VT_PTR ? t.lptdesc->vt : t.vt;
            shape += vt == VT_BSTR ? 't' : vt == VT_I4 ? 'n' : '?';
        }
        EXPECT_EQ(shape, shapes[slot - kFirstSlot]) << "slot " << slot;
        EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_HRESULT);
        info->ReleaseFuncDesc(desc);
    }

    CComPtr<ITypeInfo> events;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID__IMorvathCtrlEvents, &events), S_OK);
    MEMBERID id = 0;
    LPOLESTR eventName = const_cast<LPOLESTR>(L"OnCtrlEvent");
    ASSERT_EQ(events->GetIDsOfNames(&eventName, 1, &id), S_OK);
    EXPECT_EQ(id, 1);
    FUNCDESC* onEvent = nullptr;
    ASSERT_EQ(events->GetFuncDesc(0, &onEvent), S_OK);
    ASSERT_EQ(onEvent->cParams, 3);
    EXPECT_EQ(onEvent->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(onEvent->lprgelemdescParam[1].tdesc.vt, VT_I4);
    EXPECT_EQ(onEvent->lprgelemdescParam[2].tdesc.vt, VT_I4);
    events->ReleaseFuncDesc(onEvent);
}

TEST(EarlyBound, CallsAreJournaledWithArgumentsResultsAndRequestedFailures) {
    JournalFile journal;
    clearRequestedFailures();
    CComPtr<IMorvathCtrl> cam;
    ASSERT_EQ(CoCreateInstance(CLSID_MorvathCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IMorvathCtrl,
                               reinterpret_cast<void**>(&cam)),
              S_OK);
    CComQIPtr<ICameraSimTesting> testing(cam.p);
    ASSERT_TRUE(testing);

    LONG result = -99;
    CComBSTR base(L"http://cam/"), ip(L"cam.local"), empty(L"");
    EXPECT_EQ(cam->InitCtrl(base, ip, -1, &result), S_OK);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(cam->InitCtrl(base, ip, 554, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cam->GetCtrlVersion(&result), S_OK);
    EXPECT_EQ(result, CameraModel::kVersion);

    failNextCall(9, E_ACCESSDENIED); // as another process would
    EXPECT_EQ(cam->LoadLang(empty, 0, &result), E_ACCESSDENIED);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testing->FailNextCall(22, static_cast<LONG>(0x80040201)), S_OK);
    EXPECT_EQ(testing->FailNextCall(54, E_FAIL), E_INVALIDARG);
    BSTR text = nullptr;
    EXPECT_EQ(cam->GetMDBlockStr(&text), static_cast<HRESULT>(0x80040201));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(cam->LoadLang(nullptr, 0, &result), S_OK) << "failures are one-shot";
    EXPECT_EQ(result, -1);
    EXPECT_EQ(cam->ExtGetPublicDocumentsrPath(&text), S_OK);
    EXPECT_STREQ(text, CameraModel::kPublicDocumentsPath);
    SysFreeString(text);
    EXPECT_EQ(cam->ExtGetDiskList(nullptr), E_POINTER);
    EXPECT_EQ(cam->ExtReserved(&result), E_NOTIMPL);

    LONG sinks = -1;
    EXPECT_EQ(testing->RaiseEvent(CComBSTR(L"unheard"), 1, 2, &sinks), S_OK);
    EXPECT_EQ(sinks, 0);
    LONG calls = 0;
    EXPECT_EQ(testing->get_CallCount(&calls), S_OK);
    EXPECT_EQ(calls, 10);
    CComBSTR status;
    EXPECT_EQ(testing->get_StatusText(&status), S_OK);
    EXPECT_STREQ(status, L"cam.local:554; stopped");

    Records served = journal.calls();
    ASSERT_EQ(served.size(), 10u);
    EXPECT_EQ(served[0].slot, 7);
    EXPECT_EQ(served[0].args[1], JournalValue::string(L"cam.local"));
    EXPECT_EQ(served[0].args[2], JournalValue::number(-1));
    EXPECT_EQ(*served[0].result, JournalValue::number(-3));
    EXPECT_EQ(served[3].name, L"LoadLang");
    EXPECT_EQ(served[3].hr, E_ACCESSDENIED);
    EXPECT_EQ(served[5].args[0].kind, JournalValue::Kind::NullText);
    EXPECT_EQ(*served[6].result, JournalValue::string(CameraModel::kPublicDocumentsPath));
    EXPECT_EQ(served[7].hr, E_POINTER);
    EXPECT_EQ(served[8].slot, 38);
    Records events = journal.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].args,
              (std::vector<JournalValue>{JournalValue::string(L"unheard"), JournalValue::number(1),
                                         JournalValue::number(2)}));
    EXPECT_EQ(*events[0].result, JournalValue::number(0));
}

TEST(Script, JScriptInAnotherProcessReachesEveryParameterShapeWithTextsIntact) {
    JournalFile journal;
    clearRequestedFailures();
    std::string output;
    DWORD code =
        runProgram(L"cscript.exe //nologo \"" + windowsPath(CAMERA_SIM_SCRIPT) + L"\"", output);
    EXPECT_EQ(code, 0u) << output;
    EXPECT_NE(output.find("all checks passed"), std::string::npos) << output;

    Records records = journal.records();
    ASSERT_FALSE(records.empty());
    EXPECT_NE(records.front().pid, GetCurrentProcessId()) << "the script host's own process";
    const JournalRecord* init = findCall(records, L"InitCtrl", 2);
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->slot, 7);
    EXPECT_EQ(init->args, (std::vector<JournalValue>{JournalValue::string(L"http://cam.example/"),
                                                     JournalValue::string(L"192.168.1.64"),
                                                     JournalValue::number(8091)}));
    const JournalRecord* user = findCall(records, L"SetUsernamePasswordAndLanguage");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->slot, 13);
    EXPECT_EQ(user->args,
              texts({L"admin", L"p\u00e4ssw\u00f6rd \u20ac", L"\u65e5\u672c\u8a9e \xD83D\xDE00"}));
    const JournalRecord* device = findCall(records, L"SetDeviceType");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->args,
              (std::vector<JournalValue>{JournalValue::number(2),
                                         JournalValue::string(L"dvr \"quoted\"\ttab")}));
    const JournalRecord* mask = findCall(records, L"ExtSetVideoMaskConfig");
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->slot, 42);
    EXPECT_EQ(mask->args.size(), 6u);
    EXPECT_EQ(mask->args[5], JournalValue::string(L"mask"));
    const JournalRecord* byTime = findCall(records, L"OnPlayBackByTime");
    ASSERT_NE(byTime, nullptr);
    EXPECT_EQ(byTime->args[0], JournalValue::number(1));
    const JournalRecord* zoomed = findCall(records, L"SetVideoPlayerSizeAndZoomValue");
    ASSERT_NE(zoomed, nullptr);
    EXPECT_EQ(zoomed->slot, 53);
    EXPECT_EQ(zoomed->args,
              (std::vector<JournalValue>{JournalValue::string(L"800"), JournalValue::string(L"600"),
                                         JournalValue::number(2)}));
    const JournalRecord* path = findCall(records, L"ExtGetSelectPath");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(*path->result, JournalValue::string(CameraModel::kSelectedPath));
    const JournalRecord* reserved = findCall(records, L"ExtReserved");
    ASSERT_NE(reserved, nullptr);
    EXPECT_EQ(reserved->hr, E_NOTIMPL);

    std::vector<int> slots;
    for (const JournalRecord& r : ofKind(records, JournalRecord::Kind::Call))
        slots.push_back(r.slot);
    EXPECT_EQ(slots, (std::vector<int>{7,  7,  7,  8,  9,  10, 11, 12, 13, 14, 16, 20,
                                       22, 42, 43, 37, 47, 49, 53, 46, 45, 18, 23, 38}));
    EXPECT_EQ(records.back().name, L"destroyed");
}

} // namespace
