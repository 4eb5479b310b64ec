#pragma once
// Timing for the benchmarks: the best of seven rounds, so that a round
// disturbed by other work on the machine does not count.

#include <algorithm>
#include <chrono>

// Nanoseconds per call of body, over iterations calls a round.
template <class F>
double nsPerCall(F&& body, long iterations) {
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

#include <cstdio>

// One row of the benchmark report (scripts/bench-report collects them): the
// measured figure, its anchor measured in the same run ("-" and 0 when the
// figure stands alone), their ratio and the target (text, or "-" for none).
inline void reportRow(const char* row, double figure, const char* unit, const char* anchor,
                      double anchorFigure, const char* target) {
    char ratio[32] = "-";
    if (anchorFigure > 0)
        std::snprintf(ratio, sizeof ratio, "%.2f", figure / anchorFigure);
    std::printf("BENCH | %s | %.1f | %s | %s | %.1f | %s | %s\n", row, figure, unit, anchor,
                anchorFigure, ratio, target);
}
