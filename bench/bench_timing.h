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
