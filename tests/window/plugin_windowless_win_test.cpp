#include "PluginWindowlessWin.h"
#include "VirtualKeys.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <tuple>

using namespace FW;
using windowtest::Recorder;
using windowtest::setKeyHeld;

namespace {

class PluginWindowlessWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.AttachObserver(recorder);
        recorder->seen.clear();
    }

    bool handle(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        LRESULT lRes = 0;
        return window.HandleEvent(msg, wParam, lParam, lRes);
    }

    PluginWindowlessWin window{nullptr};
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

// A 200x100 white bitmap selected into a memory context.
class Canvas {
public:
    Canvas() {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = 200;
        info.bmiHeader.biHeight = -100;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels),
                                  nullptr, 0);
        old = SelectObject(dc, bitmap);
        for (int i = 0; i < 200 * 100; ++i)
            pixels[i] = 0xFFFFFF;
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // Dark pixels inside the given box.
    int inkIn(int left, int top, int right, int bottom) const {
        GdiFlush();
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if ((pixels[y * 200 + x] & 0xFFFFFF) != 0xFFFFFF)
                    ++count;
        return count;
    }

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    uint32_t* pixels = nullptr;
};

} // namespace

TEST_F(PluginWindowlessWinTest, PositionChangesAreReportedOnce) {
    window.setWindowPosition(10, 20, 200, 100);
    window.setWindowPosition(10, 20, 200, 100);
    EXPECT_EQ(recorder->of("resized").size(), 1u);
    window.setWindowPosition(10, 20, 201, 100);
    EXPECT_EQ(recorder->of("resized").size(), 2u);

    EXPECT_EQ(window.getWindowPosition(), (Rect{20, 10, 120, 211}));
    EXPECT_EQ(window.getWindowWidth(), 201);
    EXPECT_EQ(window.getWindowHeight(), 100);
    window.setWindowClipping(Rect{1, 2, 3, 4});
    EXPECT_EQ(window.getWindowClipping(), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(recorder->of("resized").size(), 2u);
}

TEST_F(PluginWindowlessWinTest, InvalidateCallsTheBrowserWhenItGaveACallback) {
    window.setWindowPosition(10, 20, 200, 100);
    window.InvalidateWindow(); // no callback: nothing happens
    std::vector<std::tuple<int, int, int, int>> calls;
    window.setInvalidateWindowFunc(
        [&](int a, int b, int c, int d) { calls.emplace_back(a, b, c, d); });
    window.InvalidateWindow();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_tuple(0, 0, 200, 100));
}

TEST_F(PluginWindowlessWinTest, MouseInputIsRelativeToThePlugin) {
    window.setWindowPosition(100, 50, 200, 100);
    recorder->seen.clear();
    setKeyHeld(VK_CONTROL, true);
    handle(WM_RBUTTONDOWN, 0, MAKELPARAM(110, 70));
    setKeyHeld(VK_CONTROL, false);
    handle(WM_MOUSEMOVE, 0, MAKELPARAM(90, 40));
    handle(WM_LBUTTONUP, 0, MAKELPARAM(100, 50));
    handle(WM_MBUTTONDOWN, 0, MAKELPARAM(101, 51));

    auto downs = recorder->of("down");
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].button, 1);
    EXPECT_EQ(downs[0].x, 10);
    EXPECT_EQ(downs[0].y, 20);
    EXPECT_EQ(downs[0].modifiers, 2u);
    EXPECT_EQ(downs[1].button, 2);
    auto moves = recorder->of("move");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, -10);
    EXPECT_EQ(moves[0].y, -10);
    EXPECT_EQ(recorder->of("up").at(0).x, 0);
    // The raw message came first, without a window handle.
    EXPECT_EQ(recorder->seen.front().kind, "windows");
    EXPECT_EQ(recorder->seen.front().hWnd, nullptr);
}

TEST_F(PluginWindowlessWinTest, DoubleClicksWheelAndOtherMessagesAreNotHandled) {
    recorder->answer = [](PluginEvent* evt) { return !dynamic_cast<WindowsEvent*>(evt); };
    EXPECT_FALSE(handle(WM_LBUTTONDBLCLK, 0, MAKELPARAM(1, 1)));
    EXPECT_FALSE(handle(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0));
    EXPECT_FALSE(handle(WM_TIMER, 1, 0));
    EXPECT_FALSE(handle(WM_PAINT));
    EXPECT_TRUE(handle(WM_LBUTTONDOWN, 0, 0));
    EXPECT_TRUE(handle(WM_KEYUP, 13, 0));
    EXPECT_EQ(recorder->of("dblclick").size(), 0u);
    EXPECT_EQ(recorder->of("scroll").size(), 0u);
}

TEST_F(PluginWindowlessWinTest, KeysAndRawMessagesReachObservers) {
    handle(WM_KEYDOWN, 13, 0);
    handle(WM_KEYUP, 65, 0);
    ASSERT_EQ(recorder->of("keydown").size(), 1u);
    EXPECT_EQ(recorder->of("keydown")[0].key, 52u);
    EXPECT_EQ(recorder->of("keyup")[0].key, 84u);
    EXPECT_EQ(recorder->of("keyup")[0].osKey, 65u);

    recorder->answer = [](PluginEvent* evt) {
        auto* raw = dynamic_cast<WindowsEvent*>(evt);
        if (!raw)
            return false;
        raw->lRes = 55;
        return true;
    };
    LRESULT lRes = 0;
    EXPECT_TRUE(window.HandleEvent(WM_USER + 9, 0, 0, lRes));
    EXPECT_EQ(lRes, 55);
}

TEST_F(PluginWindowlessWinTest, AThrowingObserverMakesTheMessageUnhandled) {
    recorder->answer = [](PluginEvent*) -> bool { throw std::runtime_error("observer failed"); };
    EXPECT_FALSE(handle(WM_LBUTTONDOWN, 0, 0));
    EXPECT_FALSE(handle(WM_USER));
}

TEST_F(PluginWindowlessWinTest, DrawsAPlaceholderUnlessAnObserverDraws) {
    Canvas canvas;
    window.setWindowPosition(0, 0, 200, 100);
    EXPECT_TRUE(window.HandleDraw(canvas.dc, Rect{0, 0, 100, 200}));
    EXPECT_EQ(window.getHDC(), canvas.dc);
    auto refreshes = recorder->of("refresh");
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].bounds, (Rect{0, 0, 100, 200}));
    // Centred on (100, 50) with the baseline there: ink above the middle line,
    // on both sides of the centre, and nothing near the edges.
    EXPECT_GT(canvas.inkIn(40, 35, 100, 50), 0);
    EXPECT_GT(canvas.inkIn(100, 35, 160, 50), 0);
    EXPECT_EQ(canvas.inkIn(0, 0, 200, 20), 0);
    EXPECT_EQ(canvas.inkIn(0, 0, 20, 100), 0);
    EXPECT_EQ(GetTextAlign(canvas.dc), static_cast<UINT>(TA_TOP | TA_LEFT));

    Canvas failing;
    recorder->answer = [](PluginEvent*) -> bool { throw std::runtime_error("observer failed"); };
    EXPECT_TRUE(window.HandleDraw(failing.dc, Rect{0, 0, 100, 200}));
    EXPECT_GT(failing.inkIn(40, 35, 160, 50), 0);

    Canvas clean;
    recorder->answer = [](PluginEvent* evt) { return dynamic_cast<RefreshEvent*>(evt) != nullptr; };
    EXPECT_TRUE(window.HandleDraw(clean.dc, Rect{0, 0, 100, 200}));
    EXPECT_EQ(clean.inkIn(0, 0, 200, 100), 0);
}

TEST(VirtualKeys, TranslateExactlyTheListedKeys) {
    const std::map<unsigned, unsigned> listed = {
        {1, 35},   {2, 51},   {3, 2},    {4, 36},   {8, 68},   {9, 60},   {12, 4},   {13, 52},
        {16, 56},  {17, 5},   {18, 1},   {19, 71},  {20, 3},   {27, 9},   {32, 58},  {33, 50},
        {34, 49},  {35, 69},  {36, 70},  {37, 63},  {38, 61},  {39, 64},  {40, 62},  {41, 54},
        {42, 72},  {43, 10},  {44, 57},  {45, 34},  {46, 7},   {47, 33},  {91, 65},  {92, 67},
        {93, 66},  {96, 39},  {97, 40},  {98, 41},  {99, 42},  {100, 43}, {101, 44}, {102, 45},
        {103, 46}, {104, 47}, {105, 48}, {106, 37}, {107, 0},  {108, 55}, {109, 59}, {110, 6},
        {111, 8},  {112, 11}, {113, 22}, {114, 26}, {115, 27}, {116, 28}, {117, 29}, {118, 30},
        {119, 31}, {120, 32}, {121, 12}, {122, 13}, {123, 14}, {124, 15}, {125, 16}, {126, 17},
        {127, 18}, {128, 19}, {129, 20}, {130, 21}, {131, 23}, {132, 24}, {133, 25}, {144, 38},
        {145, 53},
    };
    for (unsigned vk = 0; vk < 300; ++vk) {
        auto it = listed.find(vk);
        const unsigned expected = it == listed.end() ? 84u : it->second;
        EXPECT_EQ(static_cast<unsigned>(translateVirtualKey(vk)), expected) << "virtual key " << vk;
    }
    EXPECT_EQ(translateVirtualKey(0xFFFFFFFFu), Key_Unknown);
}
