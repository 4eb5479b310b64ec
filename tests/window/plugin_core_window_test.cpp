#include "PluginCore.h"
#include "PluginWindowWin.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using namespace FW;
using windowtest::ChildWindow;

namespace {

// A plug-in that answers resizes and paints, as a windowed plug-in does.
class PaintingCore : public PluginCore {
public:
    JSAPIPtr createJSAPI() override { return nullptr; }
    bool HandleEvent(PluginEvent* evt, PluginEventSource* src) override {
        if (dynamic_cast<AttachedEvent*>(evt)) {
            auto* window = dynamic_cast<PluginWindowWin*>(src);
            attachedTo = window ? window->getHWND() : nullptr;
            return false;
        }
        if (dynamic_cast<DetachedEvent*>(evt)) {
            ++detaches;
            return false;
        }
        if (dynamic_cast<ResizedEvent*>(evt)) {
            ++resizes;
            return true;
        }
        if (dynamic_cast<RefreshEvent*>(evt)) {
            ++paints;
            return true;
        }
        return false;
    }

    HWND attachedTo = nullptr;
    int detaches = 0;
    int resizes = 0;
    int paints = 0;
};

} // namespace

TEST(PluginCoreOnARealWindow, ReceivesTheWindowsEventsWhileAttached) {
    ChildWindow child;
    PluginWindowWin window(child.hwnd());
    auto core = std::make_shared<PaintingCore>();
    core->SetWindow(&window);
    EXPECT_EQ(core->attachedTo, child.hwnd());

    SetWindowPos(child.hwnd(), nullptr, 0, 0, 150, 80, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(child.hwnd(), nullptr, TRUE);
    UpdateWindow(child.hwnd());
    EXPECT_GE(core->resizes, 1);
    EXPECT_EQ(core->paints, 1);
    EXPECT_EQ(GetUpdateRect(child.hwnd(), nullptr, FALSE), FALSE);

    core->ClearWindow();
    EXPECT_EQ(core->detaches, 1);
    const int resizes = core->resizes;
    SetWindowPos(child.hwnd(), nullptr, 0, 0, 160, 90, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(core->resizes, resizes);
}
