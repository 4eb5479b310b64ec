#include "FactoryBase.h"
#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using namespace FW;
using windowtest::ChildWindow;

namespace {

class Factory : public FactoryBase {
public:
    PluginCorePtr createPlugin(const std::string&) override { return nullptr; }
};

} // namespace

TEST(FactoryWindows, MakesPluginWindowsFromTheAdaptersContext) {
    Factory factory;
    ChildWindow child;
    {
        std::shared_ptr<PluginWindowWin> window = factory.createPluginWindowWin({child.hwnd()});
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->getHWND(), child.hwnd());
        EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)),
                  &PluginWindowWin::SharedWindowProc);
    }
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child.hwnd(), GWLP_WNDPROC)),
              ChildWindow::originalProc());

    HDC dc = CreateCompatibleDC(nullptr);
    std::shared_ptr<PluginWindowlessWin> windowless = factory.createPluginWindowless({dc});
    ASSERT_NE(windowless, nullptr);
    EXPECT_EQ(windowless->getHDC(), dc);
    DeleteDC(dc);

    EXPECT_EQ(factory.createCOMJSObject(nullptr, JSAPIWeakPtr(), false), nullptr);
    EXPECT_EQ(factory.updateWindowsRegistry(true), E_NOTIMPL);
}
