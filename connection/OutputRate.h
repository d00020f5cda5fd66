#pragma once
// The anemometer's output rate, measured over 5 s after detection and snapped to the rates the
// instrument offers. The rate sizes the gust and averaging windows.

namespace vx {

// Measured messages per second to output rate in Hz: 0.25, 0.5, 1, 2, 4, 5, 8, 10, 32, 40, 50,
// 100; 100.5 or more is 100 as well (a reading that is not a number gives 1).
double SnapOutputRate(double measured);

// Messages per second counted over a period meant to last `intervalMs` that really lasted
// `elapsedMs`: a timer fired late (a loaded machine, a coarse timer) brings more messages with it,
// and one fired early is taken as the interval.
double MeasuredOutputRate(long long messages, long long elapsedMs, long long intervalMs);

// Samples in the 3-second gust window: trunc(rate * 3), within 0..300.
int GustWindowFor(double outputRate);

// Samples in the averaging window: trunc(periodSeconds * rate), within 0..60000.
int AveragingWindowFor(int periodSeconds, double outputRate);

inline constexpr int kGustCapacity = 300;
inline constexpr int kAveragingCapacity = 60000;

}  // namespace vx
