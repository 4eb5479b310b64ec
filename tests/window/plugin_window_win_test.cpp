#include "PluginWindowWin.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace FW;
using windowtest::ChildWindow;
using windowtest::pumpMessages;
using windowtest::Recorder;
using windowtest::setKeyHeld;

namespace {

class PluginWindowWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<PluginWindowWin>(child.hwnd());
        recorder = std::make_shared<Recorder>();
        window->AttachObserver(recorder);
        recorder->seen.clear();
        child.forgetMessages();
    }
    void TearDown() override {
        window.reset();
        setKeyHeld(VK_SHIFT, false);
        setKeyHeld(VK_CONTROL, false);
        setKeyHeld(VK_MENU, false);
    }

    LRESULT send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageW(child.hwnd(), msg, wParam, lParam);
    }
    bool updatePending() { return GetUpdateRect(child.hwnd(), nullptr, FALSE) != FALSE; }

    ChildWindow child;
    std::unique_ptr<PluginWindowWin> window;
    std::shared_ptr<Recorder> recorder;
};

bool isEvent(PluginEvent* evt, const char* kind) {
    if (std::string(kind) == "refresh")
        return dynamic_cast<RefreshEvent*>(evt) != nullptr;
    if (std::string(kind) == "windows")
        return dynamic_cast<WindowsEvent*>(evt) != nullptr;
    if (std::string(kind) == "down")
        return dynamic_cast<MouseDownEvent*>(evt) != nullptr;
    return false;
}

} // namespace

TEST_F(PluginWindowWinTest, SubclassesTheWindowAndPutsThePreviousProcedureBack) {
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)),
              &PluginWindowWin::SharedWindowProc);
    EXPECT_EQ(window->getHWND(), child.hwnd());
    window.reset();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)),
              ChildWindow::originalProc());
    EXPECT_EQ(send(WM_USER + 1), 777);
}

TEST_F(PluginWindowWinTest, LeavesAProcedureInstalledByOthersInPlace) {
    auto other = reinterpret_cast<WNDPROC>(DefWindowProcW);
    SetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(other));
    window.reset();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)), other);
}

TEST_F(PluginWindowWinTest, MouseButtonsCarryButtonPositionAndModifiers) {
    setKeyHeld(VK_CONTROL, true);
    send(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 20));
    setKeyHeld(VK_CONTROL, false);
    setKeyHeld(VK_SHIFT, true);
    setKeyHeld(VK_MENU, true);
    send(WM_MBUTTONUP, 0, MAKELPARAM(-5, -7));
    setKeyHeld(VK_SHIFT, false);
    setKeyHeld(VK_MENU, false);
    send(WM_LBUTTONDBLCLK, 0, MAKELPARAM(1, 2));
    send(WM_MOUSEMOVE, 0, MAKELPARAM(30, 40));

    auto downs = recorder->of("down");
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].button, 1);
    EXPECT_EQ(downs[0].x, 10);
    EXPECT_EQ(downs[0].y, 20);
    EXPECT_EQ(downs[0].modifiers, 2u);
    auto ups = recorder->of("up");
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].button, 2);
    EXPECT_EQ(ups[0].x, -5);
    EXPECT_EQ(ups[0].y, -7);
    EXPECT_EQ(ups[0].modifiers, 5u);
    auto doubles = recorder->of("dblclick");
    ASSERT_EQ(doubles.size(), 1u);
    EXPECT_EQ(doubles[0].button, 0);
    EXPECT_EQ(doubles[0].modifiers, 0u);
    auto moves = recorder->of("move");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 30);
    EXPECT_EQ(moves[0].y, 40);
    // Every message was offered raw first.
    EXPECT_EQ(recorder->seen.front().kind, "windows");
    EXPECT_EQ(recorder->seen.front().hWnd, child.hwnd());
    EXPECT_EQ(recorder->seen.front().msg, static_cast<unsigned>(WM_RBUTTONDOWN));
}

TEST_F(PluginWindowWinTest, PostedWheelTurnArrivesInClientCoordinates) {
    POINT pt{3, 4};
    ClientToScreen(child.hwnd(), &pt);
    PostMessageW(child.hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)),
                 MAKELPARAM(pt.x, pt.y));
    pumpMessages();
    auto scrolls = recorder->of("scroll");
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].deltaY, -120);
    EXPECT_EQ(scrolls[0].deltaX, 0);
    EXPECT_EQ(scrolls[0].x, 3);
    EXPECT_EQ(scrolls[0].y, 4);
}

TEST_F(PluginWindowWinTest, KeysAreTranslatedAndKeepTheirVirtualKey) {
    setKeyHeld(VK_SHIFT, true); // key events carry no modifier state
    send(WM_KEYDOWN, 13, 0);
    send(WM_KEYUP, 65, 0);
    PostMessageW(child.hwnd(), WM_KEYDOWN, VK_F5, 0);
    pumpMessages();
    auto downs = recorder->of("keydown");
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].key, 52u);
    EXPECT_EQ(downs[0].osKey, 13u);
    EXPECT_EQ(downs[0].modifiers, 0u);
    EXPECT_EQ(downs[1].key, 28u);
    auto ups = recorder->of("keyup");
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].key, 84u);
    EXPECT_EQ(ups[0].osKey, 65u);
}

TEST_F(PluginWindowWinTest, TimerTicksAndResizesBecomeEvents) {
    SetTimer(child.hwnd(), 77, 1, nullptr);
    for (int i = 0; i < 200 && recorder->of("timer").empty(); ++i) {
        Sleep(5);
        pumpMessages();
    }
    KillTimer(child.hwnd(), 77);
    auto ticks = recorder->of("timer");
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks[0].timerId, 77u);

    int data = 0;
    send(WM_TIMER, 5, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(recorder->of("timer").back().timerParam, &data);

    SetWindowPos(child.hwnd(), nullptr, 0, 0, 120, 60, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_FALSE(recorder->of("resized").empty());
    EXPECT_EQ(window->getWindowWidth(), 120);
    EXPECT_EQ(window->getWindowHeight(), 60);
    RECT r;
    GetWindowRect(child.hwnd(), &r);
    EXPECT_EQ(window->getWindowPosition(), (Rect{r.top, r.left, r.bottom, r.right}));
    EXPECT_EQ(window->getWindowClipping(), window->getWindowPosition());
}

TEST_F(PluginWindowWinTest, UnhandledPaintIsValidatedByThePluginWindow) {
    window->setCallOldWinProc(true);
    InvalidateRect(child.hwnd(), nullptr, TRUE);
    ASSERT_TRUE(updatePending());
    UpdateWindow(child.hwnd());
    auto refreshes = recorder->of("refresh");
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].bounds, (Rect{0, 0, 100, 200}));
    EXPECT_FALSE(updatePending());
    EXPECT_FALSE(child.previousProcSaw(WM_PAINT));
}

TEST_F(PluginWindowWinTest, HandledPaintContinuesToTheNextProcedure) {
    recorder->answer = [](PluginEvent* evt) { return isEvent(evt, "refresh"); };
    window->setCallOldWinProc(true);
    InvalidateRect(child.hwnd(), nullptr, TRUE);
    UpdateWindow(child.hwnd());
    EXPECT_EQ(recorder->of("refresh").size(), 1u);
    EXPECT_TRUE(child.previousProcSaw(WM_PAINT));
    EXPECT_FALSE(updatePending()); // the previous procedure validated it
}

TEST_F(PluginWindowWinTest, EraseIsSuppressedOnlyOnRequest) {
    window->setCallOldWinProc(true);
    HDC dc = GetDC(child.hwnd());
    send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc));
    EXPECT_TRUE(child.previousProcSaw(WM_ERASEBKGND));
    child.forgetMessages();
    window->setSuppressEraseBackground(true);
    EXPECT_TRUE(window->getSuppressEraseBackground());
    EXPECT_EQ(send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 0);
    EXPECT_FALSE(child.previousProcSaw(WM_ERASEBKGND));
    ReleaseDC(child.hwnd(), dc);
}

TEST_F(PluginWindowWinTest, AnswersActivationDialogCodesAndCursor) {
    window->setCallOldWinProc(true);
    SetFocus(nullptr);
    EXPECT_EQ(send(WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(windowtest::topLevelWindow()),
                   MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_ACTIVATE);
    EXPECT_EQ(GetFocus(), child.hwnd());
    EXPECT_EQ(send(WM_GETDLGCODE), 0x87);
    EXPECT_FALSE(child.previousProcSaw(WM_GETDLGCODE));
    send(WM_SETCURSOR, reinterpret_cast<WPARAM>(child.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_TRUE(child.previousProcSaw(WM_SETCURSOR)); // set, but not handled
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(PluginWindowWinTest, UnhandledMessagesGoToThePreviousProcedureOnlyWhenAsked) {
    EXPECT_FALSE(window->getCallOldWinProc());
    EXPECT_EQ(send(WM_USER + 1), 0); // default procedure
    EXPECT_FALSE(child.previousProcSaw(WM_USER + 1));
    window->setCallOldWinProc(true);
    EXPECT_EQ(send(WM_USER + 1), 777);
    EXPECT_TRUE(child.previousProcSaw(WM_USER + 1));
    // A mouse event nobody handles is passed on as well.
    send(WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1));
    EXPECT_TRUE(child.previousProcSaw(WM_LBUTTONDOWN));
}

TEST_F(PluginWindowWinTest, RawMessageObserversDecideFirst) {
    recorder->answer = [](PluginEvent* evt) {
        auto* raw = dynamic_cast<WindowsEvent*>(evt);
        if (raw && (raw->uMsg == WM_USER + 1 || raw->uMsg == WM_LBUTTONDOWN)) {
            raw->lRes = 1234;
            return true;
        }
        return false;
    };
    window->setCallOldWinProc(true);
    EXPECT_EQ(send(WM_USER + 1), 1234);
    EXPECT_EQ(send(WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1)), 1234);
    EXPECT_TRUE(recorder->of("down").empty());
    EXPECT_FALSE(child.previousProcSaw(WM_USER + 1));
    EXPECT_FALSE(child.previousProcSaw(WM_LBUTTONDOWN));

    // A handled mouse event is not passed on.
    recorder->answer = [](PluginEvent* evt) { return isEvent(evt, "down"); };
    send(WM_RBUTTONDOWN, 0, MAKELPARAM(2, 2));
    EXPECT_FALSE(child.previousProcSaw(WM_RBUTTONDOWN));
}

TEST_F(PluginWindowWinTest, CustomWindowProcedureSeesMessagesFirst) {
    class Custom : public PluginWindowWin {
    public:
        using PluginWindowWin::PluginWindowWin;
        bool CustomWinProc(HWND, UINT msg, WPARAM, LPARAM, LRESULT& lRes) override {
            if (msg != WM_USER + 2)
                return false;
            lRes = 99;
            return true;
        }
    };
    window.reset();
    Custom custom(child.hwnd());
    custom.AttachObserver(recorder);
    recorder->seen.clear();
    EXPECT_EQ(SendMessageW(child.hwnd(), WM_USER + 2, 0, 0), 99);
    EXPECT_TRUE(recorder->seen.empty());
    SendMessageW(child.hwnd(), WM_USER + 3, 0, 0);
    EXPECT_EQ(recorder->seen.size(), 1u);
}

TEST_F(PluginWindowWinTest, AThrowingObserverLeavesTheMessageToTheNextProcedure) {
    recorder->answer = [](PluginEvent* evt) -> bool {
        if (dynamic_cast<WindowsEvent*>(evt))
            throw std::runtime_error("observer failed");
        if (dynamic_cast<ResizedEvent*>(evt))
            throw 42; // not even a standard exception
        return false;
    };
    window->setCallOldWinProc(true);
    EXPECT_EQ(send(WM_USER + 1), 777);
    EXPECT_TRUE(child.previousProcSaw(WM_USER + 1));

    // A paint whose observer throws is still validated (by the next procedure),
    // so it does not come back forever.
    InvalidateRect(child.hwnd(), nullptr, TRUE);
    UpdateWindow(child.hwnd());
    EXPECT_TRUE(child.previousProcSaw(WM_PAINT));
    EXPECT_FALSE(updatePending());

    window->setCallOldWinProc(false);
    recorder->answer = [](PluginEvent* evt) -> bool {
        if (dynamic_cast<ResizedEvent*>(evt))
            throw 42;
        return false;
    };
    EXPECT_EQ(send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 100)), 0);
    EXPECT_EQ(send(WM_GETDLGCODE), 0x87); // the window still works afterwards
}

TEST_F(PluginWindowWinTest, ASecondPluginWindowOnTheSameHandleTakesOver) {
    window->setCallOldWinProc(true);
    auto second = std::make_unique<PluginWindowWin>(child.hwnd());
    second->setCallOldWinProc(true);
    auto other = std::make_shared<Recorder>();
    second->AttachObserver(other);
    other->seen.clear();
    recorder->seen.clear();

    // Reaches the original procedure once, without looping through the shared one.
    EXPECT_EQ(send(WM_USER + 1), 777);
    EXPECT_EQ(other->seen.size(), 1u);
    EXPECT_TRUE(recorder->seen.empty());

    window.reset(); // the older one must not remove the newer one's entry
    send(WM_USER + 5);
    EXPECT_EQ(other->seen.size(), 2u);
    second.reset();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)),
              ChildWindow::originalProc());
}

namespace {
WNDPROC g_beforeThirdParty = nullptr;
LRESULT CALLBACK thirdPartyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(g_beforeThirdParty, hwnd, msg, wParam, lParam);
}
} // namespace

TEST_F(PluginWindowWinTest, NeverChainsBackIntoItselfWhenOthersSubclassedInBetween) {
    window->setCallOldWinProc(true);
    g_beforeThirdParty = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&thirdPartyProc)));
    auto second = std::make_unique<PluginWindowWin>(child.hwnd());
    second->setCallOldWinProc(true);
    EXPECT_EQ(send(WM_USER + 1), 777); // reaches the original procedure once

    // A shared procedure left installed without an owner is not taken as "previous".
    second.reset();
    window.reset();
    SetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(&PluginWindowWin::SharedWindowProc));
    PluginWindowWin third(child.hwnd());
    third.setCallOldWinProc(true);
    EXPECT_EQ(send(WM_USER + 1), 0); // the default procedure
}

TEST_F(PluginWindowWinTest, MessagesForUnknownWindowsGoToTheDefaultProcedure) {
    ChildWindow stranger;
    EXPECT_EQ(PluginWindowWin::SharedWindowProc(stranger.hwnd(), WM_GETDLGCODE, 0, 0), 0);
    EXPECT_TRUE(recorder->seen.empty());
}

TEST_F(PluginWindowWinTest, AfterUnsubclassingTheSharedProcedureNoLongerKnowsTheWindow) {
    send(WM_USER + 1);
    ASSERT_EQ(recorder->seen.size(), 1u);
    window.reset();
    recorder->seen.clear();
    // A caller that kept the shared procedure still reaches only the default one.
    EXPECT_EQ(PluginWindowWin::SharedWindowProc(child.hwnd(), WM_GETDLGCODE, 0, 0), 0);
    EXPECT_EQ(send(WM_USER + 1), 777); // the original procedure, directly
    EXPECT_TRUE(recorder->seen.empty());
}

TEST_F(PluginWindowWinTest, AHandleSubclassedAgainReachesItsNewPluginWindow) {
    send(WM_USER + 1);
    window.reset();
    PluginWindowWin again(child.hwnd());
    auto other = std::make_shared<Recorder>();
    again.AttachObserver(other);
    other->seen.clear();
    recorder->seen.clear();
    send(WM_USER + 2);
    EXPECT_EQ(other->seen.size(), 1u);
    EXPECT_TRUE(recorder->seen.empty());
}

TEST_F(PluginWindowWinTest, ManyPluginWindowsInTurnEachGetTheirOwnMessages) {
    constexpr int kWindows = 6; // more than a thread remembers at once
    std::vector<std::unique_ptr<ChildWindow>> children;
    std::vector<std::unique_ptr<PluginWindowWin>> windows;
    std::vector<std::shared_ptr<Recorder>> recorders;
    for (int i = 0; i < kWindows; ++i) {
        children.push_back(std::make_unique<ChildWindow>());
        windows.push_back(std::make_unique<PluginWindowWin>(children.back()->hwnd()));
        recorders.push_back(std::make_shared<Recorder>());
        windows.back()->AttachObserver(recorders.back());
        recorders.back()->seen.clear();
    }
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kWindows; ++i)
            SendMessageW(children[i]->hwnd(), WM_USER + 10 + i, 0, 0);
    }
    for (int i = 0; i < kWindows; ++i) {
        ASSERT_EQ(recorders[i]->seen.size(), 3u) << "window " << i;
        for (const auto& seen : recorders[i]->seen)
            EXPECT_EQ(seen.msg, static_cast<UINT>(WM_USER + 10 + i));
    }
    EXPECT_TRUE(recorder->seen.empty());
}

TEST_F(PluginWindowWinTest, InvalidateWindowAsksForARepaint) {
    UpdateWindow(child.hwnd());
    ASSERT_FALSE(updatePending());
    window->InvalidateWindow();
    EXPECT_TRUE(updatePending());
}

TEST_F(PluginWindowWinTest, OutlivingItsNativeWindowIsHarmless) {
    DestroyWindow(child.hwnd());
    window.reset();
    SUCCEED();
}

TEST(PluginWindowWinHandles, RefusesWhatIsNotAWindow) {
    EXPECT_THROW(PluginWindowWin(nullptr), std::invalid_argument);
    EXPECT_THROW(PluginWindowWin(reinterpret_cast<HWND>(0x7ff0)), std::invalid_argument);
}
