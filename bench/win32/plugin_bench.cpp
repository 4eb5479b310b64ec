// A script call of SetBufferTick(int, int) through the camera scripting
// object's Invoke, against the same operation of the in-process camera
// simulator called directly through its interface, in one run. The difference
// is what the plug-in adds to every forwarded call: member lookup, argument
// conversion and the result's script value.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "ax_host.h"
#include "bench_timing.h"
#include "orvelaAPI.h"
#include "sim_settings.h"

namespace {

constexpr int kCallsPerRound = 4000;
constexpr int kRounds = 15;

// The camera simulator's clock, in nanoseconds.
double nowNs() {
    return CameraSim::nowMicroseconds() * 1e3;
}

double perCall(double startNs) {
    return (nowNs() - startNs) / kCallsPerRound;
}

HWND makeWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelaPluginBench";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           400, 300, nullptr, nullptr, wc.hInstance, nullptr);
}

} // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !ATL::AtlAxWinInit()) {
        std::fprintf(stderr, "plugin_bench: COM or the control-host runtime is unavailable\n");
        return 1;
    }
    const HWND window = makeWindow();
    auto api = std::make_shared<orvelaAPI>(nullptr, nullptr);
    if (!window || api->CreateHostedCtrl(window) != 0 || !api->getControl()) {
        std::fprintf(stderr, "plugin_bench: the camera simulator could not be created "
                             "(is it registered?)\n");
        return 1;
    }
    orvelaControl::ICameraControl* control = api->getControl();

    long checksum = 0;
    FW::VariantList args{FW::variant(40), FW::variant(5)};
    auto viaScript = [&](orvelaAPI& target) {
        const double start = nowNs();
        for (int i = 0; i < kCallsPerRound; ++i) {
            args[1] = FW::variant(i & 7);
            checksum += target.Invoke("SetBufferTick", args).get<long>();
        }
        return perCall(start);
    };
    auto direct = [&] {
        const double start = nowNs();
        for (int i = 0; i < kCallsPerRound; ++i) {
            LONG result = 0;
            control->SetBufferTick(40, i & 7, &result);
            checksum += result;
        }
        return perCall(start);
    };

    // Rounds alternate so that both forms see the same machine; the best round counts.
    auto withoutControl = std::make_shared<orvelaAPI>(nullptr, nullptr);
    double bestScript = 1e300, bestDirect = 1e300, bestOwnWork = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        bestScript = std::min(bestScript, viaScript(*api));
        bestDirect = std::min(bestDirect, direct());
        bestOwnWork = std::min(bestOwnWork, viaScript(*withoutControl));
    }

    std::printf("SetBufferTick(int, int), in-process camera simulator, best of %d rounds of %d "
                "calls\n",
                kRounds, kCallsPerRound);
    std::printf("  script Invoke through orvelaAPI: %9.0f ns/call\n", bestScript);
    std::printf("  direct interface call          : %9.0f ns/call\n", bestDirect);
    std::printf("  ratio %.3f (difference %.0f ns/call)\n", bestScript / bestDirect,
                bestScript - bestDirect);
    std::printf("  the plug-in's own work per call (lookup, argument conversion, result; no "
                "control): %.0f ns\n",
                bestOwnWork);
    std::printf("  (checksum %ld)\n", checksum);
    reportRow("camera call: orvelaAPI Invoke, in process (Windows)", bestScript, "ns/call",
              "direct camera interface call", bestDirect, "-");
    api->DetachHostedCtrl();
    // The top-level window goes with the process: destroying it costs seconds under Xvfb.
    ExitProcess(0);
}
