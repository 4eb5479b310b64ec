#pragma once
// What a native page handler of the benchmarks keeps of the simulator's
// events: burst events ("b<n>", n counting from 0) are counted and checked for
// order, single events ("t<fire time>", the simulator's {qpc} marker) give the
// latency from the simulator's call to the handler's.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_settings.h"

namespace CameraSim {

class EventTally {
public:
    // One event's text as the handler received it (UTF-8 or UTF-16).
    template <class Char>
    void take(const Char* text, size_t length) {
        const double now = nowMicroseconds();
        if (length == 0)
            return;
        const std::string digits(text + 1, text + length);
        if (text[0] == Char('b')) {
            if (std::strtol(digits.c_str(), nullptr, 10) != received_)
                inOrder_ = false;
            ++received_;
            lastArrival_ = now;
        } else if (text[0] == Char('t')) {
            latencies_.push_back(now - std::strtod(digits.c_str(), nullptr));
        }
    }

    // "received inOrder lastArrival latencies p50 p99" (times in microseconds),
    // for the page to split.
    std::string figures() const {
        std::vector<double> sorted = latencies_;
        std::sort(sorted.begin(), sorted.end());
        char text[160];
        std::snprintf(text, sizeof text, "%ld %d %.1f %zu %.2f %.2f", received_, inOrder_ ? 1 : 0,
                      lastArrival_, sorted.size(), percentile(sorted, 0.5),
                      percentile(sorted, 0.99));
        return text;
    }

private:
    static double percentile(const std::vector<double>& sorted, double fraction) {
        if (sorted.empty())
            return 0;
        return sorted[std::min(sorted.size() - 1, static_cast<size_t>(fraction * sorted.size()))];
    }

    long received_ = 0;
    bool inOrder_ = true;
    double lastArrival_ = 0;
    std::vector<double> latencies_;
};

} // namespace CameraSim
