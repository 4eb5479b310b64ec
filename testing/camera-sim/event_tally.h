#pragma once
// What a native page handler of the benchmarks keeps of the simulator's
// events: burst events ("b<n>@<fire time>", n counting from 0, the time the
// simulator's {qpc} marker) are counted and checked for order, and the rate
// runs from the first one's firing to the last one's arrival; single events
// ("t<fire time>") give the latency from the simulator's call to the handler.

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
            char* end = nullptr;
            if (std::strtol(digits.c_str(), &end, 10) != received_)
                inOrder_ = false;
            if (received_ == 0 && *end == '@')
                firstFired_ = std::strtod(end + 1, nullptr);
            ++received_;
            lastArrival_ = now;
        } else if (text[0] == Char('t')) {
            latencies_.push_back(now - std::strtod(digits.c_str(), nullptr));
        }
    }

    // "received inOrder rate latencies p50 p99" (events/s, microseconds), for
    // the page to split.
    std::string figures() const {
        std::vector<double> sorted = latencies_;
        std::sort(sorted.begin(), sorted.end());
        const double seconds = (lastArrival_ - firstFired_) / 1e6;
        char text[160];
        std::snprintf(text, sizeof text, "%ld %d %.1f %zu %.2f %.2f", received_, inOrder_ ? 1 : 0,
                      seconds > 0 ? received_ / seconds : 0.0, sorted.size(),
                      percentile(sorted, 0.5), percentile(sorted, 0.99));
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
    double firstFired_ = 0;
    double lastArrival_ = 0;
    std::vector<double> latencies_;
};

} // namespace CameraSim
