// orvela-demo <journal file> <screenshot .bmp>
//
// Plays what a browser page does with the plug-in, as far as the product goes
// without a browser adapter: module start through the factory, one plug-in
// instance on a test browser host with an in-memory page, a real plug-in window
// hosting the camera control, the page's onload call, page script calling the
// camera API and receiving the control's events, a resize, a screenshot, and
// the tear-down. Every step prints what happened with the real values; the exit
// code is 0 only when every step did what it should.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "DemoPage.h"
#include "Narrator.h"
#include "PluginCore.h"
#include "PluginFactory.h"
#include "PluginWindowWin.h"
#include "Screenshot.h"
#include "camera_sim_client.h"
#include "orvela.h"
#include "orvelaAPI.h"
#include "utf8_tools.h"

using FW::variant;
using FW::VariantList;

namespace {

constexpr DWORD kWatchdogMs = 60000;
constexpr int kPluginWidth = 640;
constexpr int kPluginHeight = 480;
constexpr wchar_t kWindowClass[] = L"OrvelaDemoWindow";
const char kCameraUrl[] = "http://192.168.1.64/";
const char kCameraAddress[] = "192.168.1.64";
constexpr long kCameraPort = 8091;
const char kSnapshotFolder[] = "C:\\orvela\\snapshots";

std::string utf8(const std::wstring& text) {
    return FW::wstring_to_utf8(text);
}

// Ends the process if a step hangs (a dialog nobody answers, a lost event).
DWORD WINAPI watchdog(void*) {
    Sleep(kWatchdogMs);
    std::printf("\norvela demo: no progress for %lu s, giving up\n", kWatchdogMs / 1000);
    ExitProcess(2);
}

std::wstring registryText(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    return buffer;
}

HWND makeWindow(DWORD style, const wchar_t* title, int x, int y, int width, int height,
                HWND parent) {
    static const bool registered = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExW(0, kWindowClass, title, style, x, y, width, height, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

RECT rectInParent(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return utf8(name);
}

const char* eventTypeName(long type) {
    switch (type) {
    case CameraSim::kEventVideo:
        return "video";
    case CameraSim::kEventSnapshot:
        return "snapshot";
    case CameraSim::kEventRecord:
        return "recording";
    case CameraSim::kEventPlayback:
        return "playback";
    default:
        return "other";
    }
}

bool isEvent(const FW::VariantList& args, const std::wstring& textPrefix, long type, long subtype) {
    return args.size() == 3 && args[0].holds<std::wstring>() &&
           args[0].get<std::wstring>().compare(0, textPrefix.size(), textPrefix) == 0 &&
           args[1].convert<long>() == type && args[2].convert<long>() == subtype;
}

class Demo {
public:
    Demo(std::wstring journalPath, std::wstring screenshotPath)
        : m_journalPath(std::move(journalPath)), m_screenshotPath(std::move(screenshotPath)) {}

    int run() {
        std::printf("orvela demo: a page embeds <object type=\"application/x-orvela\"> "
                    "with <param name=\"onload\" value=\"%s\">\n",
                    demo::DemoPage::kOnloadFunction);
        cameraControl();
        moduleAndInstance();
        pageScript();
        resize();
        screenshot();
        journalAndTearDown();
        if (m_say.failures() == 0)
            std::printf("\norvela demo passed: every step did what it should.\n");
        else
            std::printf("\norvela demo FAILED: %d check(s) did not hold.\n", m_say.failures());
        return m_say.failures() == 0 ? 0 : 1;
    }

private:
    std::shared_ptr<orvelaAPI> api() const {
        return std::static_pointer_cast<orvelaAPI>(m_plugin->getRootJSAPI());
    }

    void cameraControl() {
        m_say.step("The camera control and its journal");
        const std::wstring clsid =
            registryText(HKEY_CLASSES_ROOT, std::wstring(CameraSim::kProgId) + L"\\CLSID", nullptr);
        const std::wstring server =
            registryText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", nullptr);
        m_say.check(!clsid.empty() && !server.empty(), "\"%s\" is registered as %s in %s",
                    utf8(CameraSim::kProgId).c_str(), utf8(clsid).c_str(), utf8(server).c_str());
        m_journal = std::make_unique<CameraSim::JournalFile>(m_journalPath);
        m_journal->keep();
        m_say.say("every call that reaches the camera is journaled in %s",
                  utf8(m_journal->path()).c_str());
    }

    void moduleAndInstance() {
        m_say.step("Module start, the plug-in instance and its window");
        m_factory = std::static_pointer_cast<PluginFactory>(getFactoryInstance());
        if (!m_factory)
            throw std::runtime_error("no plug-in factory");
        m_factory->globalPluginInitialize();
        const std::string name = m_factory->getPluginName();
        const std::string description = m_factory->getPluginDescription("application/x-orvela");
        m_say.check(name == "orvela" && description == "orvela",
                    "getFactoryInstance() -> plug-in \"%s\", MIME types \"%s\" (\"%s\"); "
                    "globalPluginInitialize() done",
                    name.c_str(), PluginFactory::getMimeDescription(), description.c_str());

        m_plugin =
            std::dynamic_pointer_cast<orvela>(m_factory->createPlugin("application/x-orvela"));
        if (!m_say.check(m_plugin != nullptr, "createPlugin(\"application/x-orvela\") -> orvela"))
            throw std::runtime_error("no plug-in object");
        m_plugin->SetHost(m_page.host());
        m_plugin->setParams({{"onload", variant(std::string(demo::DemoPage::kOnloadFunction))}});
        m_say.check(m_plugin->getParamVariant("onload").holds<FW::JSObjectPtr>(),
                    "SetHost(test browser host), setParams({onload: \"%s\"}) -> the page "
                    "function %s",
                    demo::DemoPage::kOnloadFunction, demo::DemoPage::kOnloadFunction);

        m_frame = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                             L"orvela demo page", 0, 0, 720, 560, nullptr);
        m_pluginHwnd = makeWindow(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, nullptr, 20, 20,
                                  kPluginWidth, kPluginHeight, m_frame);
        if (!m_say.check(m_frame && m_pluginHwnd,
                         "browser window %p holds the plug-in window %p (%dx%d)",
                         static_cast<void*>(m_frame), static_cast<void*>(m_pluginHwnd),
                         kPluginWidth, kPluginHeight))
            throw std::runtime_error("no windows");
        m_pluginWindow = std::make_unique<FW::PluginWindowWin>(m_pluginHwnd);
        m_plugin->SetWindow(m_pluginWindow.get());
        m_hostWindow = api()->getHostWindow();
        const HWND controlWindow = GetWindow(m_hostWindow, GW_CHILD);
        const RECT host = rectInParent(m_hostWindow);
        m_say.check(IsWindow(m_hostWindow) && className(m_hostWindow) == "AtlAxWin100" &&
                        host.left == 0 && host.top == 0 && host.right == kPluginWidth &&
                        host.bottom == kPluginHeight,
                    "SetWindow(PluginWindowWin) -> control-host window \"%s\" %p at (%ld,%ld) "
                    "%ldx%ld",
                    className(m_hostWindow).c_str(), static_cast<void*>(m_hostWindow), host.left,
                    host.top, host.right - host.left, host.bottom - host.top);
        m_say.check(api()->getControl() != nullptr && IsWindowVisible(controlWindow),
                    "the camera control is created in it and shows its own window %p (\"%s\")",
                    static_cast<void*>(controlWindow), className(controlWindow).c_str());

        const auto readyAt = demo::DemoPage::Clock::now();
        const bool scheduled = m_plugin->setReady();
        const auto timers = m_page.host()->pendingTimers();
        const int delay = timers.size() == 1 ? timers[0].delay : -1;
        m_say.check(scheduled && delay == 250,
                    "setReady() -> the onload call is scheduled on a page timer of %d ms", delay);
        const char* const onloadName = demo::DemoPage::kOnloadFunction;
        m_page.pumpUntil([&] { return !m_page.receivedBy(onloadName).empty(); }, 3000);
        const auto onload = m_page.receivedBy(onloadName);
        if (onload.size() != 1) {
            m_say.check(false, "the page's %s was called %u times", onloadName,
                        static_cast<unsigned>(onload.size()));
            return;
        }
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(onload[0].at - readyAt).count();
        bool isRoot = false;
        try {
            isRoot = onload[0].args.size() == 1 &&
                     onload[0].args[0].convert<FW::JSAPIPtr>() == m_plugin->getRootJSAPI();
        } catch (const std::exception&) {
        }
        m_say.check(isRoot, "%s(%s) ran %lld ms after setReady, with the root scripting object",
                    demo::DemoPage::kOnloadFunction,
                    onload[0].args.empty() ? "" : demo::describe(onload[0].args[0]).c_str(), ms);
    }

    // What page script gets from camera.<member>(args): the value, or the script
    // error; line tells it as page script would read it.
    std::optional<variant> call(const char* member, const VariantList& args, std::string& line) {
        std::string text;
        for (const auto& arg : args)
            text += (text.empty() ? "" : ", ") + demo::describe(arg);
        line = "camera." + std::string(member) + "(" + text + ") -> ";
        try {
            const variant result = m_root->Invoke(member, args);
            line += demo::describe(result);
            return result;
        } catch (const std::exception& e) {
            line += "script error \"" + std::string(e.what()) + "\"";
            return std::nullopt;
        }
    }

    void answers(const char* member, const VariantList& args, long expected) {
        std::string line;
        const auto result = call(member, args, line);
        bool ok = false;
        try {
            ok = result && result->convert<long>() == expected;
        } catch (const std::exception&) {
        }
        m_say.check(ok, "%s", line.c_str());
    }

    // Waits for the page handler's next onOnCtrlEvent call and checks it.
    void expectEvent(const std::wstring& textPrefix, long type, long subtype) {
        const size_t before = m_seenEvents;
        m_page.pumpUntil([&] { return m_page.receivedBy("onOnCtrlEvent").size() > before; }, 3000);
        const auto events = m_page.receivedBy("onOnCtrlEvent");
        if (events.size() <= before) {
            m_say.check(false, "no onOnCtrlEvent reached the page");
            return;
        }
        m_seenEvents = events.size();
        const auto& args = events[before].args;
        if (args.size() != 3) {
            m_say.check(false, "onOnCtrlEvent with %u arguments",
                        static_cast<unsigned>(args.size()));
            return;
        }
        const long gotType = args[1].convert<long>();
        m_say.check(isEvent(args, textPrefix, type, subtype),
                    "  => page handler onOnCtrlEvent: text %s, type %ld (%s), subtype %s",
                    demo::describe(args[0]).c_str(), gotType, eventTypeName(gotType),
                    demo::describe(args[2]).c_str());
    }

    void pageScript() {
        m_say.step("Page script calls the camera API through the root scripting object");
        m_root = m_plugin->getRootJSAPI();
        m_page.listen(m_root, "onOnCtrlEvent");
        m_page.listen(m_root, "onecho");
        m_say.say("camera.addEventListener(\"OnCtrlEvent\", handler) and (\"echo\", handler)");

        answers("InitCtrl",
                {std::string(kCameraUrl), std::string(kCameraAddress), variant(kCameraPort)}, 0);
        answers("GetCtrlVersion", {}, 20100);
        answers("PlayRealVideo", {std::string("1"), std::string("0"), std::string("main")}, 0);
        expectEvent(utf8ToWide(kCameraAddress), CameraSim::kEventVideo, CameraSim::kStarted);
        answers("ExtSnapPicture", {std::string(kSnapshotFolder)}, 0);
        expectEvent(utf8ToWide(kSnapshotFolder) + L"\\snap", CameraSim::kEventSnapshot, 0);

        std::string line;
        const auto documents = call("ExtGetPublicDocumentsrPath", {}, line);
        m_say.check(documents && documents->holds<std::string>() &&
                        documents->get<std::string>() == "C:\\Users\\Public\\Documents",
                    "%s", line.c_str());
        answers("ExtShowPathSelectNew", {}, 0);
        const auto selected = call("ExtGetSelectPath", {}, line);
        m_say.check(selected && selected->holds<std::wstring>() &&
                        selected->get<std::wstring>() ==
                            L"C:\\Users\\Public\\Vid\u00e9os\\\u30ab\u30e1\u30e9",
                    "%s", line.c_str());

        const variant version = m_root->GetProperty("version");
        m_say.check(version.holds<std::string>() && version.get<std::string>() == "1.0.0.0",
                    "camera.version -> %s", demo::describe(version).c_str());
        const auto echoed = call("echo", {std::string("hello, camera")}, line);
        m_say.check(echoed && echoed->holds<std::string>() &&
                        echoed->get<std::string>() == "hello, camera",
                    "%s", line.c_str());
        m_page.pumpUntil([this] { return !m_page.receivedBy("onecho").empty(); }, 2000);
        const auto echoes = m_page.receivedBy("onecho");
        const bool echoFired = echoes.size() == 1 && echoes[0].args.size() == 2;
        m_say.check(echoFired, "  => page handler onecho(%s, %s)",
                    echoFired ? demo::describe(echoes[0].args[0]).c_str() : "?",
                    echoFired ? demo::describe(echoes[0].args[1]).c_str() : "?");

        m_say.say("two calls that go wrong, as the page sees them:");
        const auto badPort =
            call("InitCtrl", {std::string(kCameraUrl), std::string(kCameraAddress), 40000}, line);
        m_say.check(!badPort, "%s", line.c_str());
        CameraSim::failNextCall(23, E_ACCESSDENIED);
        m_say.say("(the simulator is told to fail the next ExtSnapPicture with E_ACCESSDENIED)");
        const auto refused = call("ExtSnapPicture", {std::string(kSnapshotFolder)}, line);
        m_say.check(!refused, "%s", line.c_str());

        const wchar_t alarm[] = L"alarm: motion in zone 2";
        const int took = CameraSim::requestEvent(alarm, 5, 1, GetCurrentProcessId());
        m_say.check(took == 1,
                    "the simulator is asked to raise OnCtrlEvent(\"%s\", 5, 1) -> %d instance "
                    "took the request",
                    utf8(alarm).c_str(), took);
        expectEvent(alarm, 5, 1);
    }

    static std::wstring utf8ToWide(const std::string& text) { return FW::utf8_to_wstring(text); }

    void resize() {
        m_say.step("The plug-in window is resized");
        SetWindowPos(m_pluginHwnd, nullptr, 0, 0, 480, 360, SWP_NOMOVE | SWP_NOZORDER);
        m_page.pump(100);
        const RECT host = rectInParent(m_hostWindow);
        m_say.check(host.left == 0 && host.top == 0 && host.right == 480 && host.bottom == 360,
                    "plug-in window 480x360 -> control-host window at (%ld,%ld) %ldx%ld", host.left,
                    host.top, host.right - host.left, host.bottom - host.top);
        RECT control = {};
        GetClientRect(GetWindow(m_hostWindow, GW_CHILD), &control);
        m_say.check(control.right == 480 && control.bottom == 360,
                    "the camera control's window follows: %ldx%ld", control.right, control.bottom);
    }

    void screenshot() {
        m_say.step("What the plug-in window shows");
        m_page.pump(300); // the live picture moves on
        RedrawWindow(m_pluginHwnd, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        m_page.pump(50);
        const size_t colours = demo::saveScreenshot(m_pluginHwnd, m_screenshotPath);
        m_say.check(colours > 0, "screenshot of the plug-in window saved as %s",
                    utf8(m_screenshotPath).c_str());
        // A blank or single-colour window would mean that the control did not paint.
        m_say.check(colours >= 8, "it holds %u colours: the camera control's picture",
                    static_cast<unsigned>(colours));
    }

    void printJournal(size_t from) {
        const CameraSim::Records records = m_journal->records();
        for (size_t i = from; i < records.size(); ++i)
            m_say.say("| %s", CameraSim::formatJournalRecord(records[i]).c_str());
        m_journalShown = records.size();
    }

    void journalAndTearDown() {
        m_say.step("What reached the camera, then detach and shut down");
        m_say.say("journal (kind pid instance slot name arguments hresult result):");
        printJournal(0);
        const CameraSim::Records calls = m_journal->calls();
        const auto init = CameraSim::callsOf(calls, 7);
        m_say.check(init.size() == 1 && init[0].args.size() == 3 &&
                        init[0].args[0].text == utf8ToWide(kCameraUrl) &&
                        init[0].args[2].integer == kCameraPort && init[0].result &&
                        init[0].result->integer == 0,
                    "one InitCtrl reached the camera, with the page's values (the refused "
                    "port never did)");
        const auto snaps = CameraSim::callsOf(calls, 23);
        m_say.check(snaps.size() == 2 && snaps[0].hr == S_OK && snaps[1].hr == E_ACCESSDENIED,
                    "ExtSnapPicture reached it twice: answered, then failed as requested");
        m_say.check(CameraSim::countEvents(m_journal->records()) == 3,
                    "three events were raised and delivered to the page");

        m_plugin->ClearWindow();
        m_say.check(!IsWindow(m_hostWindow), "ClearWindow() -> the control-host window is gone");
        m_plugin->shutdown();
        m_root.reset();
        m_page.forget();
        m_plugin.reset();
        m_say.check(FW::PluginCore::ActivePluginCount() == 0,
                    "shutdown() and release -> no plug-in instance is left");
        m_pluginWindow.reset();
        m_factory->globalPluginDeinitialize();
        m_say.say("globalPluginDeinitialize() done; the journal adds:");
        printJournal(m_journalShown);
        const CameraSim::Records records = m_journal->records();
        m_say.check(!records.empty() &&
                        records.back().kind == CameraSim::JournalRecord::Kind::Life &&
                        records.back().name == L"destroyed",
                    "the camera control was released and destroyed");
        // Destroying a top-level window takes seconds under Xvfb; process exit does it.
    }

    demo::Narrator m_say;
    std::wstring m_journalPath;
    std::wstring m_screenshotPath;
    std::unique_ptr<CameraSim::JournalFile> m_journal;
    demo::DemoPage m_page;
    std::shared_ptr<PluginFactory> m_factory;
    std::unique_ptr<FW::PluginWindowWin> m_pluginWindow;
    std::shared_ptr<orvela> m_plugin;
    FW::JSAPIPtr m_root;
    HWND m_frame = nullptr;
    HWND m_pluginHwnd = nullptr;
    HWND m_hostWindow = nullptr;
    size_t m_seenEvents = 0;
    size_t m_journalShown = 0;
};

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3) {
        std::printf("usage: orvela-demo <journal file> <screenshot .bmp>\n");
        return 2;
    }
    const std::wstring journal = argv[1];
    const std::wstring screenshot = argv[2];
    LocalFree(argv);
    CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
    try {
        Demo demo(journal, screenshot);
        return demo.run();
    } catch (const std::exception& e) {
        std::printf("\norvela demo FAILED: %s\n", e.what());
        return 1;
    }
}
