// Cost of one window message through the shared window procedure of the
// plug-in windows: finding the window's object and handing it the message,
// which a CustomWinProc answers at once. The anchor is the same virtual call
// made directly, in the same run.
#include <windows.h>

#include <cstdio>

#include "PluginWindowWin.h"
#include "bench_timing.h"

namespace {

class AnsweringWindow : public FW::PluginWindowWin {
public:
    using PluginWindowWin::PluginWindowWin;
    bool CustomWinProc(HWND, UINT, WPARAM wParam, LPARAM, LRESULT& lRes) override {
        lRes = static_cast<LRESULT>(wParam);
        ++messages;
        return true;
    }
    long messages = 0;
};

HWND makeWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelaWindowBench";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

} // namespace

int main() {
    const HWND first = makeWindow();
    const HWND second = makeWindow();
    if (!first || !second) {
        std::fprintf(stderr, "window_bench: no window\n");
        return 1;
    }
    AnsweringWindow one(first);
    AnsweringWindow two(second);
    const long iterations = 2000000;
    LRESULT sum = 0;

    FW::PluginWindowWin* direct = &one;
    const double directCall = nsPerCall(
        [&] {
            LRESULT r = 0;
            direct->CustomWinProc(first, WM_USER, 1, 0, r);
            sum += r;
        },
        iterations);
    const double shared = nsPerCall(
        [&] { sum += FW::PluginWindowWin::SharedWindowProc(first, WM_USER, 1, 0); }, iterations);
    long turn = 0;
    const double alternating = nsPerCall(
        [&] {
            sum +=
                FW::PluginWindowWin::SharedWindowProc((++turn & 1) ? first : second, WM_USER, 1, 0);
        },
        iterations);

    std::printf("window_bench: best of 7 rounds of %ld messages (sum %ld)\n", iterations,
                static_cast<long>(sum));
    std::printf("  %-40s %8.1f ns/message\n", "direct CustomWinProc", directCall);
    std::printf("  %-40s %8.1f ns/message\n", "shared procedure, one window", shared);
    std::printf("  %-40s %8.1f ns/message\n", "shared procedure, two windows in turn", alternating);
    reportRow("window message: shared procedure to CustomWinProc (Wine)", shared, "ns/message",
              "direct virtual CustomWinProc", directCall, "-");
    reportRow("window message: shared procedure, two windows in turn (Wine)", alternating,
              "ns/message", "direct virtual CustomWinProc", directCall, "-");
    DestroyWindow(first);
    DestroyWindow(second);
    return 0;
}
