#include "plugin_test_support.h"

#include <gtest/gtest.h>

#include "ax_host.h"

namespace plugintest {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvelaPluginTestWindow";

void registerClass() {
    static const bool registered = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

class ComApartment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_TRUE(ATL::AtlAxWinInit());
    }
    // The frame window and any simulator are left to the end of the process.
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

} // namespace

HWND frameWindow() {
    static const HWND frame = [] {
        registerClass();
        return CreateWindowExW(0, kWindowClass, L"orvela plug-in tests",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 800, 600,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }();
    return frame;
}

PluginWindowHandle::PluginWindowHandle(int width, int height) {
    registerClass();
    m_hwnd =
        CreateWindowExW(0, kWindowClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10,
                        width, height, frameWindow(), nullptr, GetModuleHandleW(nullptr), nullptr);
}

PluginWindowHandle::~PluginWindowHandle() {
    if (IsWindow(m_hwnd))
        DestroyWindow(m_hwnd);
}

RECT rectInParent(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring asAnsiText(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                      &text[0], static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

ATL::CComPtr<ICameraSimTesting> simulatorOf(IUnknown* control) {
    ATL::CComPtr<ICameraSimTesting> testing;
    if (control)
        control->QueryInterface(IID_ICameraSimTesting, reinterpret_cast<void**>(&testing));
    return testing;
}

} // namespace plugintest
