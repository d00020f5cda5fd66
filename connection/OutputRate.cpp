#include "connection/OutputRate.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vx {

double MeasuredOutputRate(long long messages, long long elapsedMs, long long intervalMs) {
    const long long periodMs = std::max(elapsedMs, intervalMs);
    if (periodMs <= 0) {
        return 0;
    }
    return static_cast<double>(messages) * 1000.0 / static_cast<double>(periodMs);
}

double SnapOutputRate(double measured) {
    struct Row {
        double below;
        double rate;
    };
    static constexpr std::array<Row, 12> kRows{{
        {0.4, 0.25},
        {0.75, 0.5},
        {1.5, 1},
        {2.5, 2},
        {4.5, 4},
        {5.5, 5},
        {8.5, 8},
        {10.5, 10},
        {32.5, 32},
        {40.5, 40},
        {50.5, 50},
        {100.5, 100},
    }};
    for (const Row& row : kRows) {
        if (measured < row.below) {
            return row.rate;
        }
    }
    if (std::isnan(measured)) {
        return 1;
    }
    // 100 Hz is the fastest the instrument sends: a few messages too many in the measured
    // period (a backlog after a busy moment) still mean 100 Hz, not the 1 Hz that would shrink
    // the gust to 30 ms and the averages to seconds.
    return 100;
}

namespace {

int TruncatedWindow(double samples, int capacity) {
    // Rates above 100 Hz would overrun the rings; the windows stop at their capacity.
    if (!(samples >= 1)) {
        return 0;
    }
    return samples >= capacity ? capacity : static_cast<int>(std::trunc(samples));
}

}  // namespace

int GustWindowFor(double outputRate) {
    return TruncatedWindow(outputRate * 3, kGustCapacity);
}

int AveragingWindowFor(int periodSeconds, double outputRate) {
    return TruncatedWindow(periodSeconds * outputRate, kAveragingCapacity);
}

}  // namespace vx
