// Small helpers shared by the benchmarks: a monotonic clock, medians and the printed rows that put
// every figure beside its floor (or target) and their ratio.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

// Milliseconds on the monotonic clock.
inline double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline double worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// One printed row: label, measured value, floor, ratio, and a note (the target, usually).
inline void print_row(const char* label, double value, double floor, const char* unit,
                      const char* note = "") {
    if (floor > 0) {
        std::printf("  %-34s %10.3f %-3s floor %10.3f %-3s ratio %6.2fx  %s\n", label, value, unit,
                    floor, unit, value / floor, note);
    } else {
        std::printf("  %-34s %10.3f %-3s %-31s%s\n", label, value, unit, "(no floor: computation)",
                    note);
    }
}

}  // namespace bench
