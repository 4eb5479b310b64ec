// The registered camera simulator driven by real clients: its type library as
// callers see it, early-bound calls, Windows Script Host in another process,
// and a control host window with an event sink.
#include "camera_sim.h"
#include "camera_sim_client.h"
#include "files.h"
#include "camera_model.h"
#include "journal_writer.h"
#include "host_window.h"

#include "com_ptr.h"
#include "com_types.h"
#include "ax_host.h"
#include "disp_event.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace CameraSim;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComQIPtr;
using testsupport::runProgram;
using testsupport::windowsPath;

namespace {

class ComApartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

// This process's environment block without the journal variable.
std::wstring environmentWithoutJournalVariable() {
    std::wstring block;
    const std::wstring prefix = std::wstring(kJournalEnvVar) + L"=";
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1)
        if (_wcsnicmp(entry, prefix.c_str(), prefix.size()) != 0)
            block.append(entry, wcslen(entry) + 1);
    FreeEnvironmentStringsW(strings);
    block += L'\0';
    return block;
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
    EXPECT_EQ(calls, 9);
    CComBSTR status;
    EXPECT_EQ(testing->get_StatusText(&status), S_OK);
    EXPECT_STREQ(status, L"cam.local:554; stopped");

    Records served = journal.calls();
    ASSERT_EQ(served.size(), 9u);
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

TEST(EarlyBound, AFastSimulatorAnswersAsTheModelAndWritesNoJournal) {
    JournalFile journal;
    struct FastWhileAlive {
        FastWhileAlive() { SetEnvironmentVariableW(kFastEnvVar, L"1"); }
        ~FastWhileAlive() { SetEnvironmentVariableW(kFastEnvVar, nullptr); }
    } fast;
    CComPtr<IMorvathCtrl> cam;
    ASSERT_EQ(CoCreateInstance(CLSID_MorvathCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IMorvathCtrl,
                               reinterpret_cast<void**>(&cam)),
              S_OK);
    CComQIPtr<ICameraSimTesting> testing(cam.p);
    ASSERT_TRUE(testing);

    LONG result = -99;
    EXPECT_EQ(cam->InitCtrl(CComBSTR(L"http://cam/"), CComBSTR(L"cam.local"), 554, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cam->SetBufferTick(1, 2, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cam->GetCtrlVersion(&result), S_OK);
    EXPECT_EQ(result, CameraModel::kVersion);
    BSTR text = nullptr;
    EXPECT_EQ(cam->ExtGetPublicDocumentsrPath(&text), S_OK);
    EXPECT_STREQ(text, CameraModel::kPublicDocumentsPath);
    SysFreeString(text);
    EXPECT_EQ(cam->ExtGetDiskList(nullptr), E_POINTER);
    EXPECT_EQ(testing->FailNextCall(10, E_ACCESSDENIED), S_OK);
    EXPECT_EQ(cam->SetBufferTick(1, 2, &result), E_ACCESSDENIED) << "failure requests still apply";
    EXPECT_EQ(cam->ExtReserved(&result), E_NOTIMPL);
    LONG sinks = -1;
    EXPECT_EQ(testing->RaiseEvent(CComBSTR(L"unheard"), 1, 2, &sinks), S_OK);
    EXPECT_EQ(sinks, 0);
    LONG calls = 0;
    EXPECT_EQ(testing->get_CallCount(&calls), S_OK);
    EXPECT_EQ(calls, 7);
    CComBSTR status;
    EXPECT_EQ(testing->get_StatusText(&status), S_OK);
    EXPECT_STREQ(status, L"cam.local:554; stopped");

    cam.Release();
    testing.Release();
    EXPECT_TRUE(journal.records().empty()) << "no call, event or lifecycle line";
}

TEST(Script, JScriptInAnotherProcessReachesEveryParameterShapeWithTextsIntact) {
    JournalFile journal;
    std::string output;
    // Without the environment variable the journal is found through the
    // registry, as in a process that COM starts.
    const std::wstring environment = environmentWithoutJournalVariable();
    DWORD code = runProgram(L"cscript.exe //nologo \"" + windowsPath(CAMERA_SIM_SCRIPT) + L"\"",
                            output, environment.c_str());
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

// A sink as the plug-in connects one: handler parameters described by the
// registered type library.
class EventRecorder : public ATL::IDispEventImpl<0, EventRecorder, &DIID__IMorvathCtrlEvents,
                                                 &LIBID_MorvathCtrlLib, 1, 0> {
public:
    BEGIN_SINK_MAP(EventRecorder)
    SINK_ENTRY_EX(0, DIID__IMorvathCtrlEvents, 1, OnCtrlEvent)
    END_SINK_MAP()

    HRESULT __stdcall OnCtrlEvent(BSTR text, long type, long subtype) {
        received.push_back(
            SimEvent{text ? std::wstring(text, SysStringLen(text)) : L"<null>", type, subtype});
        if (reaction)
            reaction();
        return S_OK;
    }

    std::vector<SimEvent> received;
    std::function<void()> reaction;
};

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        pumpMessages(10);
    }
    return true;
}

TEST(Hosting, ShowsItselfInAControlHostAndRaisesEventsToATypeLibrarySink) {
    JournalFile journal;
    const int width = 480, height = 360;
    HostWindow window(0, 0, width, height);
    ASSERT_TRUE(window.host());
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(window.createControl(kProgId, &unknown), S_OK);
    HWND view = window.controlWindow();
    ASSERT_TRUE(view) << "the control made its own child window";
    EXPECT_TRUE(IsWindowVisible(view));
    RECT viewRect{};
    GetClientRect(view, &viewRect);
    EXPECT_EQ(viewRect.right, width);
    EXPECT_EQ(viewRect.bottom, height);

    CComQIPtr<IMorvathCtrl> cam(unknown.p);
    ASSERT_TRUE(cam);
    EventRecorder sink;
    ASSERT_EQ(sink.DispEventAdvise(cam), S_OK);

    // On demand, through the request window, as another process would ask.
    EXPECT_EQ(requestEvent(L"abc", 3, 7, GetCurrentProcessId()), 1);
    ASSERT_TRUE(pumpUntil([&] { return sink.received.size() == 1; }));
    EXPECT_EQ(sink.received[0].text, L"abc");
    EXPECT_EQ(sink.received[0].type, 3);
    EXPECT_EQ(sink.received[0].subtype, 7);
    EXPECT_EQ(requestEvent(L"caf\u00e9 \u30ab\u30e1\u30e9 \xD83D\xDE00", -1, 0), 1);
    ASSERT_TRUE(pumpUntil([&] { return sink.received.size() == 2; }));
    EXPECT_EQ(sink.received[1].text, L"caf\u00e9 \u30ab\u30e1\u30e9 \xD83D\xDE00");
    EXPECT_EQ(sink.received[1].type, -1);
    EXPECT_EQ(requestForeignEvent(2), 1);
    // ... and from another process.
    std::string output;
    EXPECT_EQ(runProgram(L"\"" + windowsPath(CAMERA_SIM_REQUEST_TOOL) +
                             L"\" event \"far away\" 5 6 " + std::to_wstring(GetCurrentProcessId()),
                         output),
              0u)
        << output;
    ASSERT_TRUE(pumpUntil([&] { return sink.received.size() == 3; }));
    EXPECT_EQ(sink.received[2].text, L"far away");
    EXPECT_EQ(sink.received[2].type, 5);
    EXPECT_EQ(sink.received[2].subtype, 6);

    // Natural events follow the operations, once the caller pumps messages.
    LONG result = -99;
    EXPECT_EQ(
        cam->InitCtrl(CComBSTR(L"http://cam.example/"), CComBSTR(L"192.168.1.64"), 8091, &result),
        S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cam->PlayRealVideo(CComBSTR(L"1"), CComBSTR(L"0"), CComBSTR(L"0"), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sink.received.size(), 3u) << "not raised inside the call";
    ASSERT_TRUE(pumpUntil([&] { return sink.received.size() == 4; }));
    EXPECT_EQ(sink.received[3].text, L"192.168.1.64");
    EXPECT_EQ(sink.received[3].type, kEventVideo);
    EXPECT_EQ(sink.received[3].subtype, kStarted);

    // The picture shows the test pattern and the state.
    CComQIPtr<ICameraSimTesting> testing(unknown.p);
    ASSERT_TRUE(testing);
    CComBSTR status;
    ASSERT_EQ(testing->get_StatusText(&status), S_OK);
    EXPECT_STREQ(status, L"192.168.1.64:8091; live");
    RedrawWindow(window.frame(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The screen shows the picture once the X server has it.
    EXPECT_TRUE(pumpUntil([&] {
        return window.pixel(10, height * 3 / 8) == RGB(192, 192, 192) &&
               window.pixel(width - 10, height * 3 / 8) == RGB(0, 0, 192);
    })) << "first and last colour bars";
    EXPECT_TRUE(window.capture(windowsPath(CAMERA_SIM_SCREENSHOT)));

    // Another process asks for the picture as the simulator paints it.
    const std::wstring picture = windowsPath(CAMERA_SIM_PICTURE);
    DeleteFileW(picture.c_str());
    EXPECT_EQ(runProgram(L"\"" + windowsPath(CAMERA_SIM_REQUEST_TOOL) + L"\" picture \"" + picture +
                             L"\" " + std::to_wstring(GetCurrentProcessId()),
                         output),
              0u)
        << output;
    std::string png;
    readWholeFile(picture, png);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.compare(1, 3, "PNG"), 0);
    EXPECT_EQ(png.compare(16, 8, std::string("\0\0\x01\xE0\0\0\x01\x68", 8)), 0)
        << "480 x 360, the window's size";
    std::string cyanRun;
    for (int i = 0; i < 32; ++i)
        cyanRun += std::string("\0\xC0\xC0", 3);
    EXPECT_NE(png.find(cyanRun), std::string::npos) << "rows of the cyan bar (stored, unfiltered)";
    EXPECT_EQ(runProgram(L"\"" + windowsPath(CAMERA_SIM_REQUEST_TOOL) +
                             L"\" picture Z:\\no\\such\\folder\\x.png",
                         output),
              1u)
        << "a file that cannot be written is no picture";
    // While live, a marker sweeps the grey ramp under the bars.
    const int rampMiddle = height / 2 + height / 32;
    EXPECT_TRUE(pumpUntil([&] { return window.pixel(2, rampMiddle) == RGB(0, 0, 0); }))
        << "the live marker moves on";

    // The host resizes the control's window.
    MoveWindow(window.frame(), 0, 0, 320, 240, TRUE);
    EXPECT_TRUE(pumpUntil([&] {
        GetClientRect(view, &viewRect);
        return viewRect.right == 320 && viewRect.bottom == 240;
    })) << viewRect.right
        << "x" << viewRect.bottom;

    // A disconnected sink hears nothing more.
    ASSERT_EQ(sink.DispEventUnadvise(cam), S_OK);
    EXPECT_EQ(requestEvent(L"after", 0, 0), 1);
    pumpMessages(100);
    EXPECT_EQ(sink.received.size(), 4u);

    Records events = journal.events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(*events[0].result, JournalValue::number(1)) << "one sink connected";
    EXPECT_EQ(events[2].name, L"ForeignEvent");
    EXPECT_EQ(events[2].slot, 2);
    EXPECT_EQ(*events[5].result, JournalValue::number(0));
    Records deliveries = journal.deliveries();
    ASSERT_EQ(deliveries.size(), 6u);
    EXPECT_EQ(deliveries[0].args, std::vector<JournalValue>{JournalValue::number(S_OK)});
    EXPECT_EQ(deliveries[2].args, std::vector<JournalValue>{JournalValue::number(S_OK)})
        << "a sink answers an event it does not handle with S_OK";
    EXPECT_TRUE(deliveries[5].args.empty());
    Records life = ofKind(journal.records(), JournalRecord::Kind::Life);
    ASSERT_GE(life.size(), 2u);
    EXPECT_EQ(life[0].name, L"created");
    EXPECT_EQ(life[1].name, L"activated");
}

TEST(Hosting, SinkMayCallBackAndTeardownReleasesTheControl) {
    JournalFile journal;
    auto window = std::make_unique<HostWindow>(0, 0, 320, 240);
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(window->createControl(kProgId, &unknown), S_OK);
    CComQIPtr<IMorvathCtrl> cam(unknown.p);
    CComQIPtr<ICameraSimTesting> testing(unknown.p);
    ASSERT_TRUE(cam && testing);
    EventRecorder sink;
    ASSERT_EQ(sink.DispEventAdvise(cam), S_OK);
    LONG sinks = 0;
    EXPECT_EQ(testing->get_SinkCount(&sinks), S_OK);
    EXPECT_EQ(sinks, 1);

    // The handler calls the control while the event is being raised.
    LONG disks = 0;
    sink.reaction = [&] { cam->ExtGetDiskList(&disks); };
    EXPECT_EQ(testing->RaiseEvent(CComBSTR(L"sync"), 9, 8, &sinks), S_OK);
    EXPECT_EQ(sinks, 1);
    ASSERT_EQ(sink.received.size(), 1u) << "RaiseEvent is synchronous";
    EXPECT_EQ(disks, 1);
    sink.reaction = nullptr;

    ASSERT_EQ(sink.DispEventUnadvise(cam), S_OK);
    EXPECT_EQ(testing->get_SinkCount(&sinks), S_OK);
    EXPECT_EQ(sinks, 0);
    testing.Release();
    cam.Release();
    unknown.Release();
    window.reset();
    pumpMessages(50);

    Records records = journal.records();
    ASSERT_GE(records.size(), 3u);
    std::vector<std::wstring> order;
    for (const JournalRecord& r : records)
        order.push_back(r.name);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"created", L"activated", L"OnCtrlEvent",
                                                L"ExtGetDiskList", L"OnCtrlEvent", L"deactivated",
                                                L"destroyed"}));
    EXPECT_EQ(records[4].kind, JournalRecord::Kind::Delivery) << "after the sink's own call";
    EXPECT_TRUE(findSimulators(GetCurrentProcessId()).empty());
}

TEST(Hosting, AlsoInTheBridgesAtl80HostWindow) {
    JournalFile journal;
    HostWindow window(0, 0, 320, 240, &ATL::kAxWin80);
    ASSERT_TRUE(window.host());
    wchar_t className[32] = {};
    GetClassNameW(window.host(), className, 32);
    EXPECT_STREQ(className, L"AtlAxWin80");
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(window.createControl(kProgId, &unknown), S_OK);
    EXPECT_TRUE(window.controlWindow());
    CComQIPtr<IMorvathCtrl> cam(unknown.p);
    ASSERT_TRUE(cam);
    EventRecorder sink;
    ASSERT_EQ(sink.DispEventAdvise(cam), S_OK);
    LONG result = -99;
    EXPECT_EQ(cam->InitCtrl(CComBSTR(L"http://h/"), CComBSTR(L"10.0.0.8"), 80, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(requestEvent(L"eighty", 1, 2, GetCurrentProcessId()), 1);
    ASSERT_TRUE(pumpUntil([&] { return sink.received.size() == 1; }));
    EXPECT_EQ(sink.received[0].text, L"eighty");
    EXPECT_EQ(sink.DispEventUnadvise(cam), S_OK);
}

TEST(RequestTool, ExitCodesTellWhetherTheRequestWasTaken) {
    JournalFile journal;
    const std::wstring tool = L"\"" + windowsPath(CAMERA_SIM_REQUEST_TOOL) + L"\" ";
    std::string output;
    EXPECT_EQ(runProgram(tool + L"event", output), 2u) << output;
    EXPECT_EQ(runProgram(tool + L"fail 99 0x80004005", output), 2u) << "not a slot";
    EXPECT_EQ(
        runProgram(tool + L"event nobody 1 2 " + std::to_wstring(GetCurrentProcessId()), output),
        1u)
        << "no simulator in this process";
    EXPECT_EQ(runProgram(tool + L"fail 26 0x80070005", output), 0u) << output;
    EXPECT_EQ(takeRequestedFailure(26), std::optional<HRESULT>(E_ACCESSDENIED));
}

TEST(Module, UnloadsWhenUnusedAndWorksAgainAfterReload) {
    JournalFile journal;
    {
        CComPtr<IMorvathCtrl> cam;
        ASSERT_EQ(CoCreateInstance(CLSID_MorvathCtrl, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMorvathCtrl, reinterpret_cast<void**>(&cam)),
                  S_OK);
        EXPECT_TRUE(GetModuleHandleW(L"camera_sim.dll"));
    }
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(GetModuleHandleW(L"camera_sim.dll")) << "no object alive: the DLL may go";

    CComPtr<IMorvathCtrl> cam;
    ASSERT_EQ(CoCreateInstance(CLSID_MorvathCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IMorvathCtrl,
                               reinterpret_cast<void**>(&cam)),
              S_OK);
    CComQIPtr<ICameraSimTesting> testing(cam.p);
    ASSERT_TRUE(testing);
    LONG version = 0;
    EXPECT_EQ(cam->GetCtrlVersion(&version), S_OK);
    EXPECT_EQ(version, CameraModel::kVersion);
    EXPECT_EQ(requestEvent(L"reloaded", 1, 1, GetCurrentProcessId()), 1)
        << "the request window class was registered again";
    EXPECT_TRUE(journal.waitFor([](const Records& r) { return countEvents(r) == 1; }));
}

} // namespace
