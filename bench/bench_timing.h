#pragma once
// Timing for the benchmarks: the best of seven rounds, so that a round
// disturbed by other work on the machine does not count. Under callgrind
// (scripts/run-benchmarks runs every native benchmark a second time there) a
// loop runs once instead, between a reset of the counts and a dump named
// after the loop, and the rows name their loops: instruction counts are
// repeatable where wall time is not.

#if !defined(_WIN32)
#include <valgrind/callgrind.h>
#else
// Windows benchmarks run under Wine, never under valgrind.
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name) static_cast<void>(name)
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace bench_detail {

inline int& lastLoop() {
    static int loop = 0;
    return loop;
}

} // namespace bench_detail

// Nanoseconds per call of body, over iterations calls a round; under
// callgrind, the number of the loop whose counts were dumped.
template <class F>
double nsPerCall(F&& body, long iterations) {
    if (RUNNING_ON_VALGRIND) {
        const long calls = std::max(1000L, iterations / 20);
        const int loop = ++bench_detail::lastLoop();
        const std::string name = "orvela-loop " + std::to_string(loop) + " " + std::to_string(calls);
        CALLGRIND_ZERO_STATS;
        for (long i = 0; i < calls; ++i)
            body();
        CALLGRIND_DUMP_STATS_AT(name.c_str());
        return loop;
    }
    double best = 1e300;
    for (int round = 0; round < 7; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < iterations; ++i)
            body();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::nano>(end - start).count() /
                                  static_cast<double>(iterations));
    }
    return best;
}

// One row of the benchmark report (scripts/bench-report collects them): the
// measured figure, its anchor measured in the same run ("-" and 0 when the
// figure stands alone), their ratio and the target (text, or "-" for none).
// Under callgrind the figures are loop numbers, which scripts/callgrind-rows
// turns into instructions per call.
inline void reportRow(const char* row, double figure, const char* unit, const char* anchor,
                      double anchorFigure, const char* target) {
    if (RUNNING_ON_VALGRIND) {
        std::printf("CALLGRIND | %s | %.0f | %s | %.0f\n", row, figure, anchor, anchorFigure);
        return;
    }
    char ratio[32] = "-";
    if (anchorFigure > 0)
        std::snprintf(ratio, sizeof ratio, "%.2f", figure / anchorFigure);
    std::printf("BENCH | %s | %.1f | %s | %s | %.1f | %s | %s\n", row, figure, unit, anchor,
                anchorFigure, ratio, target);
}
