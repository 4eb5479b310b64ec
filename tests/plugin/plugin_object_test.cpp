// The plug-in object on a real plug-in window: the control's host window
// follows attach, detach, resize, repaint and keys; and the factory.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "PluginEvents.h"
#include "PluginFactory.h"
#include "PluginWindowWin.h"
#include "orvela.h"
#include "plugin_test_support.h"

using FW::variant;

namespace {

// Records the messages a window receives, then lets its own procedure run.
class MessageRecorder {
public:
    struct Seen {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        MSG forwarded; // for the forwarded-message record
    };

    explicit MessageRecorder(HWND window) : m_window(window) {
        s_current = this;
        m_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&record)));
    }
    ~MessageRecorder() {
        if (IsWindow(m_window))
            SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        s_current = nullptr;
    }
    std::vector<Seen> keys() const { return m_keys; }

private:
    static LRESULT CALLBACK record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        MessageRecorder* self = s_current;
        if (message == 0x037F || message == WM_KEYDOWN || message == WM_KEYUP) {
            Seen seen = {message, wParam, lParam, {}};
            if (message == 0x037F && lParam)
                seen.forwarded = *reinterpret_cast<const MSG*>(lParam);
            self->m_keys.push_back(seen);
        }
        return CallWindowProcW(self->m_previous, hwnd, message, wParam, lParam);
    }

    static MessageRecorder* s_current;
    HWND m_window;
    WNDPROC m_previous = nullptr;
    std::vector<Seen> m_keys;
};
MessageRecorder* MessageRecorder::s_current = nullptr;

class PluginOnWindow : public ::testing::Test {
protected:
    void SetUp() override {
        plugin = std::static_pointer_cast<orvela>(factory()->createPlugin("application/x-orvela"));
        plugin->SetHost(host);
        pluginWindow = std::make_shared<FW::PluginWindowWin>(window.get());
    }
    void TearDown() override {
        if (plugin)
            plugin->ClearWindow();
        pluginWindow.reset();
    }

    static std::shared_ptr<PluginFactory> factory() {
        return std::static_pointer_cast<PluginFactory>(getFactoryInstance());
    }
    std::shared_ptr<orvelaAPI> api() {
        return std::static_pointer_cast<orvelaAPI>(plugin->getRootJSAPI());
    }

    CameraSim::JournalFile journal;
    plugintest::PluginWindowHandle window{400, 300};
    FW::Testing::TestBrowserHostPtr host = FW::Testing::TestBrowserHost::create();
    std::shared_ptr<orvela> plugin;
    std::shared_ptr<FW::PluginWindowWin> pluginWindow;
};

} // namespace

TEST_F(PluginOnWindow, AttachingCreatesTheControlInAHostWindowCoveringThePluginWindow) {
    plugin->SetWindow(pluginWindow.get());
    EXPECT_EQ(plugin->getPluginWindow(), window.get());
    const HWND hostWindow = api()->getHostWindow();
    ASSERT_TRUE(IsWindow(hostWindow));
    EXPECT_EQ(GetParent(hostWindow), window.get());
    wchar_t className[64] = {};
    GetClassNameW(hostWindow, className, 64);
    EXPECT_STREQ(className, L"AtlAxWin100");
    const RECT rect = plugintest::rectInParent(hostWindow);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 400);
    EXPECT_EQ(rect.bottom, 300);
    EXPECT_EQ(GetWindowLongW(hostWindow, GWL_STYLE) & 0x52000000, 0x52000000);
    EXPECT_EQ(api()->Invoke("GetCtrlVersion", {}).get<long>(), 20100);
}

// The host window is the module's own: no ATL runtime is loaded, the window
// answers "WM_ATLGETHOST", and the host it names is the camera's client site,
// so the control was made through the host's CreateControlEx.
TEST_F(PluginOnWindow, TheCameraLivesInTheModulesOwnHostAndFollowsItsWindow) {
    plugin->SetWindow(pluginWindow.get());
    const HWND hostWindow = api()->getHostWindow();
    for (const wchar_t* dll : {L"atl80.dll", L"atl90.dll", L"atl100.dll", L"atl110.dll"})
        EXPECT_EQ(GetModuleHandleW(dll), nullptr) << dll;
    static const UINT getHost = RegisterWindowMessageW(L"WM_ATLGETHOST");
    auto* answered = reinterpret_cast<IUnknown*>(SendMessageW(hostWindow, getHost, 0, 0));
    ASSERT_NE(answered, nullptr);
    ATL::CComQIPtr<IOleObject> camera(api()->getControl());
    ASSERT_TRUE(camera);
    ATL::CComPtr<IOleClientSite> site;
    ASSERT_EQ(camera->GetClientSite(&site), S_OK);
    EXPECT_TRUE(ATL::CComPtr<IUnknown>(answered).IsEqualObject(site));
    site.Release();

    const HWND cameraWindow = GetWindow(hostWindow, GW_CHILD);
    ASSERT_TRUE(IsWindowVisible(cameraWindow));
    RECT rect = plugintest::rectInParent(cameraWindow);
    EXPECT_EQ(rect.right - rect.left, 400);
    EXPECT_EQ(rect.bottom - rect.top, 300);
    SetWindowPos(window.get(), nullptr, 0, 0, 320, 180, SWP_NOMOVE | SWP_NOZORDER);
    rect = plugintest::rectInParent(cameraWindow);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 180);
    SetFocus(hostWindow);
    EXPECT_EQ(GetFocus(), cameraWindow) << "keys go to the camera";

    // Detaching deactivates the camera; it goes when the plug-in lets it go.
    camera.Release();
    plugin->ClearWindow();
    EXPECT_FALSE(IsWindow(cameraWindow));
    plugin.reset();
    pluginWindow.reset();
    std::vector<std::wstring> life;
    for (const CameraSim::JournalRecord& record : journal.records())
        if (record.kind == CameraSim::JournalRecord::Kind::Life)
            life.push_back(record.name);
    EXPECT_EQ(life,
              (std::vector<std::wstring>{L"created", L"activated", L"deactivated", L"destroyed"}));
}

TEST_F(PluginOnWindow, ResizingThePluginWindowResizesTheHostWindowAtTheOrigin) {
    plugin->SetWindow(pluginWindow.get());
    const HWND hostWindow = api()->getHostWindow();
    SetWindowPos(hostWindow, nullptr, 5, 7, 10, 10, SWP_NOZORDER);
    SetWindowPos(window.get(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    const RECT rect = plugintest::rectInParent(hostWindow);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, 300);
    EXPECT_EQ(rect.bottom - rect.top, 200);

    FW::RefreshEvent refresh(FW::Rect{0, 0, 200, 300});
    EXPECT_TRUE(plugin->HandleEvent(&refresh, pluginWindow.get()));
}

TEST_F(PluginOnWindow, KeysReachTheHostWindowForwardedOnPressAndPlainOnRelease) {
    plugin->SetWindow(pluginWindow.get());
    MessageRecorder recorder(api()->getHostWindow());
    SendMessageW(window.get(), WM_KEYDOWN, 'K', 0);
    SendMessageW(window.get(), WM_KEYUP, 'K', 0);
    FW::KeyDownEvent withModifiers(FW::KeyCode(0), VK_F5, 3);
    plugin->HandleEvent(&withModifiers, pluginWindow.get());

    const auto keys = recorder.keys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].message, 0x037Fu);
    EXPECT_EQ(keys[0].wParam, 0u);
    EXPECT_EQ(keys[0].forwarded.hwnd, api()->getHostWindow());
    EXPECT_EQ(keys[0].forwarded.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].forwarded.wParam, static_cast<WPARAM>('K'));
    EXPECT_EQ(keys[0].forwarded.time, 0u);
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>('K'));
    EXPECT_EQ(keys[2].forwarded.wParam, static_cast<WPARAM>(VK_F5));
    EXPECT_EQ(keys[2].forwarded.lParam, 3);
}

TEST_F(PluginOnWindow, DetachTearsTheHostWindowDownAndReattachMakesANewOne) {
    plugin->SetWindow(pluginWindow.get());
    const HWND firstHost = api()->getHostWindow();
    ATL::CComPtr<orvelaControl::ICameraControl> firstControl = api()->getControl();

    plugin->ClearWindow();
    EXPECT_FALSE(IsWindow(firstHost));
    EXPECT_EQ(plugin->getPluginWindow(), window.get()); // kept

    // Without a host window keys, resizes and repaints do nothing to it.
    FW::KeyDownEvent key(FW::KeyCode(0), 'A', 0);
    EXPECT_FALSE(plugin->HandleEvent(&key, pluginWindow.get()));
    FW::ResizedEvent resized;
    EXPECT_TRUE(plugin->HandleEvent(&resized, pluginWindow.get()));

    plugin->SetWindow(pluginWindow.get());
    EXPECT_TRUE(IsWindow(api()->getHostWindow()));
    EXPECT_NE(api()->getHostWindow(), firstHost);
    EXPECT_NE(api()->getControl(), firstControl.p);
}

TEST_F(PluginOnWindow, AttachingTheSameWindowTwiceIsSilentAndKeepsAControlShowing) {
    plugin->SetWindow(pluginWindow.get());
    const HWND firstHost = api()->getHostWindow();
    // The core attaches again; the refused second creation does not leave the handler.
    EXPECT_NO_THROW(plugin->SetWindow(pluginWindow.get()));
    EXPECT_TRUE(IsWindow(api()->getHostWindow()));
    EXPECT_EQ(api()->Invoke("GetCtrlVersion", {}).get<long>(), 20100);
    plugin->ClearWindow();
    DestroyWindow(firstHost);
}

TEST_F(PluginOnWindow, EventsBeforeAttachOrFromOtherSourcesAreNotHandled) {
    FW::ResizedEvent resized;
    EXPECT_FALSE(plugin->HandleEvent(&resized, pluginWindow.get()));
    FW::RefreshEvent refresh(FW::Rect{0, 0, 1, 1});
    EXPECT_FALSE(plugin->HandleEvent(&refresh, pluginWindow.get()));
    FW::PluginEventSource notAWindow;
    EXPECT_FALSE(plugin->HandleEvent(&resized, &notAWindow));

    plugin->SetWindow(pluginWindow.get());
    FW::MouseDownEvent down(FW::MouseButtonEvent::MouseButton_Left, 1, 1, 0);
    FW::MouseUpEvent up(FW::MouseButtonEvent::MouseButton_Left, 1, 1, 0);
    FW::MouseMoveEvent move(2, 2);
    EXPECT_FALSE(plugin->HandleEvent(&down, pluginWindow.get()));
    EXPECT_FALSE(plugin->HandleEvent(&up, pluginWindow.get()));
    EXPECT_FALSE(plugin->HandleEvent(&move, pluginWindow.get()));
    FW::TimerEvent timer(1, nullptr);
    EXPECT_FALSE(plugin->HandleEvent(&timer, pluginWindow.get()));
}

TEST_F(PluginOnWindow, IsAlwaysWindowedAndItsRootObjectIsTheCameraApi) {
    plugin->setParams({{"windowless", variant(std::string("true"))}});
    EXPECT_FALSE(plugin->isWindowless());
    auto root = api();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getPlugin(), plugin);
    EXPECT_EQ(plugin->getRootJSAPI(), root);
}

TEST(PluginLifetime, DestructionDropsTheRootObjectAndFreesWhatTheHostRetained) {
    auto host = FW::Testing::TestBrowserHost::create();
    auto plugin = std::static_pointer_cast<orvela>(getFactoryInstance()->createPlugin(""));
    plugin->SetHost(host);
    std::weak_ptr<FW::JSAPI> root = plugin->getRootJSAPI();
    auto retained = std::make_shared<orvelaAPI>(nullptr, host);
    std::weak_ptr<orvelaAPI> watched = retained;
    host->retainJSAPIPtr(retained);
    retained.reset();
    const int releasesBefore = host->deferredReleases();

    plugin.reset();
    EXPECT_TRUE(root.expired());
    EXPECT_TRUE(watched.expired());
    EXPECT_GT(host->deferredReleases(), releasesBefore);
}

TEST(Factory, OneFactoryNamesThePluginAndDescribesItsMimeType) {
    auto factory = std::static_pointer_cast<PluginFactory>(getFactoryInstance());
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(getFactoryInstance(), factory);
    EXPECT_EQ(factory->getPluginName(), "orvela");
    EXPECT_EQ(factory->getPluginName("text/other"), "orvela");
    EXPECT_STREQ(PluginFactory::getMimeDescription(), "application/x-orvela::orvela;");
    EXPECT_EQ(factory->getPluginDescription("application/x-orvela"), "orvela");
    EXPECT_EQ(factory->getPluginDescription(""), "");
    EXPECT_EQ(factory->getPluginDescription("text/other"), "");

    auto first = factory->createPlugin("application/x-orvela");
    auto second = factory->createPlugin("anything/else");
    EXPECT_NE(std::dynamic_pointer_cast<orvela>(first), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<orvela>(second), nullptr);
    EXPECT_NE(first, second);

    // Module start on a thread whose apartment is already set up keeps it usable.
    factory->globalPluginInitialize();
    factory->globalPluginDeinitialize();
    ATL::CComPtr<IUnknown> stillWorks;
    EXPECT_EQ(CoCreateInstance(CameraSim::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&stillWorks)),
              S_OK);
}

TEST(Factory, ModuleStopLeavesAThreadOfAnotherApartmentModelInitialised) {
    // The module's start cannot join a multithreaded apartment, so its stop must
    // not end the thread's own COM initialisation either.
    HRESULT joined = E_FAIL;
    HRESULT afterStop = E_FAIL;
    APTTYPE type = APTTYPE_CURRENT;
    std::thread([&] {
        joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        auto factory = getFactoryInstance();
        factory->globalPluginInitialize();
        factory->globalPluginDeinitialize();
        APTTYPEQUALIFIER qualifier;
        afterStop = CoGetApartmentType(&type, &qualifier);
        if (SUCCEEDED(joined))
            CoUninitialize();
    }).join();
    ASSERT_EQ(joined, S_OK);
    EXPECT_EQ(afterStop, S_OK);
    EXPECT_EQ(type, APTTYPE_MTA);
}
